// gen_pictures.cpp -- the band picture with its palette and the mirror
// picture, drawn procedurally.
#include "tools/art/art.h"
#include "tools/art/art_math.h"

// ---------------------------------------------------------------------------
// Band picture: a striped sun setting behind a mountain range, over a
// glowing grid. Seen at no more than 16% over a darkened background, so it is
// made of large, bright, saturated areas. Rendered in colour, then each pixel
// takes the nearest entry of a palette built from the picture's colour ramps.

enum { BAND_W = 160, BAND_H = 100 };
static const int BAND_HORIZON = 62;                   // first row of the floor
static const int BAND_FLOOR_FIRST = 144;              // palette entries 144..223: the floor ramp
static const double BAND_SUN_X = 80.0, BAND_SUN_Y = 40.0, BAND_SUN_R = 30.0;

struct ArtRgb {
    double r, g, b;  // 0..255 each
};

static ArtRgb rgb_mix(ArtRgb a, ArtRgb b, double t)
{
    return {art_mix(a.r, b.r, t), art_mix(a.g, b.g, t), art_mix(a.b, b.b, t)};
}

// Piecewise-linear ramp through `count` colours at t = 0..1.
static ArtRgb rgb_ramp(const ArtRgb* stops, int count, double t)
{
    t = art_clamp(t, 0.0, 1.0) * (count - 1);
    int i = (int)t;
    if (i >= count - 1) return stops[count - 1];
    return rgb_mix(stops[i], stops[i + 1], t - i);
}

static const ArtRgb band_sky[] = {{8, 4, 36}, {48, 12, 92}, {150, 28, 132}, {236, 70, 110}, {255, 150, 70}};
static const ArtRgb band_sun[] = {{255, 246, 120}, {255, 190, 60}, {255, 110, 70}, {250, 40, 150}};
static const ArtRgb band_floor[] = {{6, 2, 26}, {40, 8, 80}, {255, 40, 190}, {255, 210, 255}};
static const ArtRgb band_hills[] = {{14, 4, 40}, {50, 14, 96}, {60, 230, 255}};

static double band_hill_row(double x)
{
    double n = art_noise1(x * 0.06, 303u) * 0.7 + art_noise1(x * 0.17, 304u) * 0.3;
    double valley = std::fabs(x - BAND_SUN_X) / 80.0;      // lower where the sun sets
    return BAND_HORIZON - 3.0 - 16.0 * n * (0.35 + 0.65 * valley);
}

// Colour at (x, y) above the horizon: sky, sun and the range of hills.
static ArtRgb band_sample(double x, double y)
{
    double hill = band_hill_row(x);
    if (y >= hill) {
        // Dark range with a bright cyan rim along its crest.
        double rim = art_exp(-(y - hill) * 1.6);
        return rgb_ramp(band_hills, 3, 0.45 + 0.55 * rim);
    }
    double dx = x - BAND_SUN_X, dy = y - BAND_SUN_Y;
    double d = std::sqrt(dx * dx + dy * dy);
    double t = (y - BAND_SUN_Y + BAND_SUN_R) / (2.0 * BAND_SUN_R);   // 0 at the sun's top
    // Gaps cut across the sun's lower half, widening towards the horizon.
    double u = (y - BAND_SUN_Y + 6.0) / 5.0;
    bool gap = u > 0.0 && u - std::floor(u) > 0.86 - 0.09 * std::floor(u);
    if (d < BAND_SUN_R && !gap) return rgb_ramp(band_sun, 4, t);
    ArtRgb sky = rgb_ramp(band_sky, 5, y / BAND_HORIZON);
    double glow = art_exp(-(d - BAND_SUN_R) / 16.0) * 0.35;
    return rgb_mix(sky, {255, 120, 110}, glow);
}

// Position 0..1 on the floor ramp at (x, y) below the horizon: lines of
// constant depth and lines converging on the sun's centre, drawn as thin
// glows that fade into the distance.
static double band_floor_level(double x, double y)
{
    double z = 1.0 / (y - BAND_HORIZON + 0.6);                  // depth, far near the horizon
    double depth_row = z * 40.0;
    double fz = depth_row - std::floor(depth_row);
    double across = (x - BAND_SUN_X) * z * 3.0;
    double fx = across - std::floor(across + 0.5);
    double line_w = 0.06 + z * 0.2;
    double line = art_exp(-std::fabs(fx) / line_w * 2.5) * 0.9
                + art_exp(-std::fabs(fz - 0.5) / (line_w * 2.0) * 2.5) * 0.9;
    double fade = art_smoothstep(0.0, 30.0, y - BAND_HORIZON) * 0.7 + 0.3;
    double base = art_smoothstep(0.0, 38.0, y - BAND_HORIZON);
    return 0.05 + 0.3 * (1.0 - base) + art_clamp(line * fade, 0.0, 1.0) * 0.62;
}

static uint32_t rgb_pack(ArtRgb c)
{
    uint32_t r = (uint32_t)art_clamp(c.r + 0.5, 0.0, 255.0);
    uint32_t g = (uint32_t)art_clamp(c.g + 0.5, 0.0, 255.0);
    uint32_t b = (uint32_t)art_clamp(c.b + 0.5, 0.0, 255.0);
    return r << 16 | g << 8 | b;
}

// The band palette: the four ramps of the picture, sampled evenly.
static void band_build_palette(uint32_t palette[256])
{
    for (int i = 0; i < 80; i++) palette[i] = rgb_pack(rgb_ramp(band_sky, 5, i / 79.0));
    for (int i = 0; i < 64; i++) palette[80 + i] = rgb_pack(rgb_ramp(band_sun, 4, i / 63.0));
    for (int i = 0; i < 80; i++) palette[BAND_FLOOR_FIRST + i] = rgb_pack(rgb_ramp(band_floor, 4, i / 79.0));
    for (int i = 0; i < 32; i++) palette[224 + i] = rgb_pack(rgb_ramp(band_hills, 3, i / 31.0));
}

static int band_nearest(const uint32_t palette[256], ArtRgb c)
{
    int best = 0;
    double best_d = 1e30;
    for (int i = 0; i < 256; i++) {
        double dr = (palette[i] >> 16 & 255) - c.r, dg = (palette[i] >> 8 & 255) - c.g, db = (palette[i] & 255) - c.b;
        double d = dr * dr * 0.3 + dg * dg * 0.59 + db * db * 0.11;
        if (d < best_d) { best_d = d; best = i; }
    }
    return best;
}

void art_make_band_picture(uint8_t picture[160 * 100], uint32_t palette[256])
{
    band_build_palette(palette);
    for (int y = 0; y < BAND_H; y++) {
        for (int x = 0; x < BAND_W; x++) {
            if (y >= BAND_HORIZON) {
                // The floor takes its ramp's entries directly, in steps of
                // three: the grid's faint glow needs no finer shades.
                double level = 0.0;
                for (int s = 0; s < 16; s++)
                    level += band_floor_level(x + ((s & 3) + 0.5) / 4.0, y + ((s >> 2) + 0.5) / 4.0);
                picture[y * BAND_W + x] = (uint8_t)(BAND_FLOOR_FIRST + 3 * (int)(level / 16.0 * 79.0 / 3.0 + 0.5));
                continue;
            }
            ArtRgb sum = {0, 0, 0};
            for (int sy = 0; sy < 4; sy++) {
                for (int sx = 0; sx < 4; sx++) {
                    ArtRgb c = band_sample(x + (sx + 0.5) / 4.0, y + (sy + 0.5) / 4.0);
                    sum.r += c.r; sum.g += c.g; sum.b += c.b;
                }
            }
            picture[y * BAND_W + x] = (uint8_t)band_nearest(palette, {sum.r / 16.0, sum.g / 16.0, sum.b / 16.0});
        }
    }
}

// ---------------------------------------------------------------------------
// Mirror picture: a city at night, far blocks in the haze and near towers
// with lit windows against a sky that glows towards the horizon. The strip
// frames the ray tracer with the city's foot beside it, above and, turned
// over, below. Text scrolls over the towers (rows 30..49), so they are dark
// there and the windows small.

enum { MIRROR_W = 320, MIRROR_H = 50 };

struct ArtBuilding {
    int32_t left, right;  // columns covered, left..right-1
    int32_t top;          // first row of the roof
    uint32_t seed;        // window pattern and details
};

// Lays buildings side by side across the strip; returns how many.
static int mirror_lay_out(ArtBuilding* out, int capacity, uint32_t seed, int min_w, int span_w,
                          int min_h, int span_h)
{
    int n = 0;
    int32_t x = -(int32_t)(art_hash(0, 0, seed) % 9u);
    for (int k = 1; x < MIRROR_W && n < capacity; k++) {
        uint32_t h = art_hash(k, 0, seed);
        int32_t w = min_w + (int32_t)(h % (uint32_t)span_w);
        int32_t height = min_h + (int32_t)((h >> 8) % (uint32_t)span_h);
        out[n++] = {x, x + w, MIRROR_H - height, h};
        x += w + (int32_t)((h >> 16) % 3u);
    }
    return n;
}

static double mirror_sky(int x, int y)
{
    double t = y / 40.0;
    double b = 0.04 + 0.62 * t * t * t;
    // Long thin clouds, lit from below by the city.
    double c = art_noise2(x * 0.018, y * 0.22, 11u) * 0.7 + art_noise2(x * 0.05, y * 0.4, 12u) * 0.3;
    b += art_smoothstep(0.5, 0.8, c) * (0.08 + 0.22 * t);
    // Sparse stars in the dark upper sky.
    uint32_t h = art_hash(x, y, 7u);
    if (y < 30 && h % 97u == 0u) b += 0.35 + 0.3 * ((h >> 8 & 255) / 255.0) * (1.0 - y / 30.0);
    return b;
}

// Brightness of a near tower at (x, y), or -1 where the tower is not. Towers
// differ by their seed: some step back near the top, some carry a mast with
// a light, and their windows are dots, lit floors or vertical strips.
static double mirror_tower(const ArtBuilding& n, int x, int y)
{
    uint32_t s = n.seed;
    int width = n.right - n.left;
    bool mast = (s >> 20) % 4u == 0u;
    bool setback = (s >> 22) % 3u == 0u && width >= 12;
    int centre = (n.left + n.right) / 2;
    if (mast && x == centre && y >= n.top - 6 && y < n.top) return y == n.top - 6 ? 0.96 : 0.07;
    int top = n.top, left = n.left, right = n.right;
    if (setback && y < n.top + 5) {
        // The upper floors, narrower: the roof of the wider part below is lit.
        left += 3;
        right -= 3;
    }
    if (x < left || x >= right || y < top) return -1.0;
    if (setback && y == n.top + 5) return 0.2;
    double b = 0.06 + 0.08 * (y - top) / 30.0;              // glow of the streets below
    if (x == right - 1 || y == top) return 0.2;             // lit roof line and edge
    int wx = x - left - 2, wy = y - top - 2;
    if (wx < 0 || wy < 0 || x >= right - 2) return b;
    uint32_t h;
    switch ((s >> 26) % 3u) {
    case 0:  // single windows
        if (wx % 3 == 2 || wy % 3 != 0) return b;
        h = art_hash(wx / 3, wy / 3, s);
        if (h % 10u < 4u) b = 0.62 + 0.38 * ((h >> 8 & 255) / 255.0);
        return b;
    case 1:  // whole floors lit or dark
        if (wy % 4 != 0) return b;
        h = art_hash(0, wy / 4, s);
        if (h % 10u < 5u) b = 0.45 + 0.3 * ((h >> 8 & 255) / 255.0);
        return b;
    default:  // vertical strips of glass
        if (wx % 4 != 1) return b;
        h = art_hash(wx / 4, wy / 6, s);
        if (h % 10u < 5u) b = 0.35 + 0.25 * ((h >> 8 & 255) / 255.0);
        return b;
    }
}

void art_make_mirror_picture(uint8_t picture[320 * 50])
{
    static ArtBuilding far[64], near[64];
    int far_n = mirror_lay_out(far, 64, 1001u, 10, 16, 16, 16);
    int near_n = mirror_lay_out(near, 64, 2002u, 9, 14, 7, 24);
    for (int y = 0; y < MIRROR_H; y++) {
        for (int x = 0; x < MIRROR_W; x++) {
            double b = mirror_sky(x, y);
            for (int i = 0; i < far_n; i++) {
                const ArtBuilding& f = far[i];
                if (x < f.left || x >= f.right || y < f.top) continue;
                b = 0.30 + 0.10 * (y - f.top) / 24.0;
                // A few dim windows in the far blocks.
                int cx = (x - f.left) / 3, cy = (y - f.top) / 4;
                if ((x - f.left) % 3 == 1 && (y - f.top) % 4 == 2 && art_hash(cx, cy, f.seed) % 9u == 0u)
                    b = 0.55;
            }
            for (int i = 0; i < near_n; i++) {
                double v = mirror_tower(near[i], x, y);
                if (v >= 0.0) b = v;
            }
            // Steps of three ramp entries: invisible on screen, and the
            // sky's gradients pack much smaller.
            int levels = ART_MIRROR_MAX_INDEX / 3;
            picture[y * MIRROR_W + x] = (uint8_t)(3 * (int)(art_clamp(b, 0.0, 1.0) * levels + 0.5));
        }
    }
}
