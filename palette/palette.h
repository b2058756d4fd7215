// palette.h -- the colour-cycling palette shared by the background scenes.
//
// A hue/saturation/value triple becomes one colour, and the colour becomes a
// 256-entry ramp from black (entry 0) up to the colour (entry 128) and on
// towards white (entry 255). The background scenes ("fade+tausta", "tausta",
// "raytausta") rebuild it every frame from the running hue counter with
// build_cycling_palette and then map their byte maps through it with
// map_through_palette (fx2d/framebuffer.h). No state; nothing allocates.
// Main thread only.
#pragma once
#include <cstdint>

struct Palette {
    uint32_t colours[256];  // 0x00RRGGBB, indexed by an 8-bit pixel value
};

// Hue in degrees (any finite value; negative hues are raised by whole turns),
// saturation and value as fractions 0..1 (values outside are held to 0..1).
// Writes the channels 0..255, each truncated toward zero. Single-precision
// stores, double-precision products.
void hsv_to_rgb(float hue_degrees, float saturation, float value,
                int* red, int* green, int* blue);

// Fills all 256 entries from `colour` (0x00RRGGBB): for channel k,
// entry i = (i * k) >> 7 and entry 128 + i = k + ((i * (255 - k)) >> 7).
void build_gradient_palette(uint32_t colour, Palette* palette);

// The scenes' entry point: only the low 8 bits of each argument count; the
// bytes become hue 0..360 degrees and fractions 0..1, the colour is converted
// with hsv_to_rgb and spread with build_gradient_palette.
void build_cycling_palette(int hue, int saturation, int value, Palette* palette);
