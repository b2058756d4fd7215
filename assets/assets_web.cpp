// assets_web.cpp -- the web build's asset blob is carried packed (see
// tools/release/pack_web.py) and unpacked into place before the show starts.
#include "assets/assets_web.h"

#include "assets/assets.h"
#include "release/unpack.h"

extern "C" const uint8_t assets_packed[];
extern "C" const uint32_t assets_packed_size;

static uint16_t probabilities[UNPACK_PROBS(UNPACK_MAX_LC_LP)];

bool unpack_assets(void)
{
    UnpackTable table;
    if (assets_packed_size < sizeof table)
        return false;
    __builtin_memcpy(&table, assets_packed, sizeof table);
    if (table.magic[0] != UNPACK_MAGIC0 || table.magic[1] != UNPACK_MAGIC1 ||
        table.image_end != uint32_t(ASSET_BLOB_SIZE))
        return false;
    // The blob is only read once the show runs; until then it is this room.
    return unpack_image(&table, assets_packed + sizeof table, assets_packed_size - sizeof table,
                        asset_blob, probabilities) == 0;
}
