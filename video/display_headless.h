// display_headless.h -- a display device with no screen, for the offline
// tools: it always opens (32-bit RGB), reports the application active at the
// first message pump, and hands every flipped frame to a hook instead of a
// monitor. Main thread only.
#pragma once
#include <cstdint>

// Called with each flipped frame: width x height 0x00RRGGBB words, no gaps.
// Null: frames are dropped.
extern void (*headless_on_flip)(const uint32_t* pixels, int width, int height);
