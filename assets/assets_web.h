// assets_web.h -- unpacking the web build's asset blob (assets/assets_web.cpp).
#pragma once

// Fills asset_blob from the packed pieces built in; false when they are
// damaged or do not fit it. Called once, before anything reads an asset.
bool unpack_assets(void);
