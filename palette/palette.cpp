// palette.cpp -- HSV conversion and the 256-entry colour ramps.
#include "palette/palette.h"

#include <cmath>

// Below this a hue is brought near 0 with fmod first: adding whole turns one
// by one would take too long, and from about -2^33 on a float no longer
// changes when 360 is added, so the plain loop would never end.
static const float HUE_LOOP_FLOOR = -360.0f * 4096.0f;

static float hold_fraction(float v)
{
    if (!(v > 0.0f))  // also NaN
        return 0.0f;
    return v < 1.0f ? v : 1.0f;
}

void hsv_to_rgb(float hue_degrees, float saturation, float value,
                int* red, int* green, int* blue)
{
    // Held to 0..1 so that every channel lands in 0..255 and every
    // conversion below is of a number well inside the int range.
    saturation = hold_fraction(saturation);
    value = hold_fraction(value);

    const float v255 = float(double(value) * 255.0);
    if (saturation == 0.0f) {
        *red = *green = *blue = int(v255);
        return;
    }

    float hue = hue_degrees;
    if (!std::isfinite(hue))
        hue = 0.0f;
    if (hue < HUE_LOOP_FLOOR)
        hue = float(std::fmod(double(hue), 360.0));
    while (hue < 0.0f)
        hue = hue + 360.0f;

    const double h = std::fmod(double(hue), 360.0) * (1.0 / 60.0);
    int sector = int(h);  // 0..5: a float hue below 360 stays below 6 here
    const double f = h - sector;
    const double s = saturation;
    const float p = float(v255 * (1.0 - s));
    const float q = float(v255 * (1.0 - s * f));
    const float t = float(v255 * (1.0 - s * (1.0 - f)));

    float r, g, b;
    switch (sector) {
    case 0: r = v255; g = t; b = p; break;
    case 1: r = q; g = v255; b = p; break;
    case 2: r = p; g = v255; b = t; break;
    case 3: r = p; g = q; b = v255; break;
    case 4: r = t; g = p; b = v255; break;
    default: r = v255; g = p; b = q; break;
    }
    *red = int(r);
    *green = int(g);
    *blue = int(b);
}

void build_gradient_palette(uint32_t colour, Palette* palette)
{
    const uint32_t kr = (colour >> 16) & 0xFF;
    const uint32_t kg = (colour >> 8) & 0xFF;
    const uint32_t kb = colour & 0xFF;
    for (uint32_t i = 0; i < 128; i++) {
        palette->colours[i] = ((i * kr) >> 7) << 16 | ((i * kg) >> 7) << 8 | ((i * kb) >> 7);
        palette->colours[128 + i] = (kr + ((i * (255 - kr)) >> 7)) << 16 |
                                    (kg + ((i * (255 - kg)) >> 7)) << 8 |
                                    (kb + ((i * (255 - kb)) >> 7));
    }
}

void build_cycling_palette(int hue, int saturation, int value, Palette* palette)
{
    // 360/255 and 1/255: byte 255 becomes exactly 360 degrees, sector 0 again.
    const float hue_degrees = float((hue & 0xFF) * 1.4117647058823528);
    const float s = float((saturation & 0xFF) * 0.00392156862745098);
    const float v = float((value & 0xFF) * 0.00392156862745098);
    int r, g, b;
    hsv_to_rgb(hue_degrees, s, v, &r, &g, &b);
    const uint32_t colour = uint32_t(r & 0xFF) << 16 | uint32_t(g & 0xFF) << 8 | uint32_t(b & 0xFF);
    build_gradient_palette(colour, palette);
}
