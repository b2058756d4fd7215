// art_ramp.cpp -- the colour-cycling ramp, rebuilt for the asset previews
// with the show's arithmetic (single-precision HSV, integer ramps).
#include <cmath>

#include "tools/art/art.h"

void art_cycling_ramp(int hue, uint32_t ramp[256])
{
    float s = (float)(128 * 0.00392156862745098);
    float v255 = (float)(128 * 0.00392156862745098) * 255.0f;
    float degrees = (float)((hue & 255) * 1.4117647058823528);
    double h = std::fmod((double)degrees, 360.0) * (1.0 / 60.0);
    int sector = (int)h;
    double f = h - sector;
    float p = v255 * (1.0f - s), q = (float)(v255 * (1.0 - s * f)), t = (float)(v255 * (1.0 - s * (1.0 - f)));
    const float rgb[6][3] = {{v255, t, p}, {q, v255, p}, {p, v255, t}, {p, q, v255}, {t, p, v255}, {v255, p, q}};
    int k[3] = {(int)rgb[sector][0] & 255, (int)rgb[sector][1] & 255, (int)rgb[sector][2] & 255};
    for (int i = 0; i < 128; i++) {
        uint32_t lo = 0, hi = 0;
        for (int c = 0; c < 3; c++) {
            lo = lo << 8 | (uint32_t)((i * k[c]) >> 7);
            hi = hi << 8 | (uint32_t)(k[c] + ((i * (255 - k[c])) >> 7));
        }
        ramp[i] = lo;
        ramp[128 + i] = hi;
    }
}
