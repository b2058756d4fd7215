// display_headless.h -- a display device with no screen, for the offline
// tools: it opens at any size up to 320x200, reports the display active at
// the first event drain, and hands every presented frame to a hook instead
// of a monitor. Main thread only.
#pragma once
#include <cstdint>

// Called with each presented frame: width x height 0x00RRGGBB words, no
// gaps. Null: frames are dropped.
extern void (*headless_on_flip)(const uint32_t* pixels, int width, int height);
