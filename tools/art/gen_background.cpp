// gen_background.cpp -- the opening picture: a moonlit mountain lake, ray
// marched over a noise heightfield. The summit stands left of centre with
// its tip above the band that later darkens picture rows 25..75, the moon
// hangs to the right, and the lake below mirrors both, so the top and bottom
// quarters stay worth looking at while the band is open.
#include "tools/art/art.h"
#include "tools/art/art_math.h"

static const int BG_W = 160, BG_H = 100;

struct Vec3 {
    double x, y, z;  // world units: x right, y up, z away from the eye
};
static Vec3 v_add(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
static Vec3 v_scale(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
static double v_dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
static Vec3 v_norm(Vec3 a) { return v_scale(a, 1.0 / std::sqrt(v_dot(a, a))); }

// Camera: eye above the water, looking north, tilted up so that the
// horizon falls on row 68.
static const int BG_WATERLINE_ROW = 72;                // first row below the far shore
static const double FOCAL = 100.0;                    // pixels
static const double EYE_HEIGHT = 1.6;
static const double TILT = 0.18;                      // tan of the upward tilt
static const double MOON_X = 118.0, MOON_Y = 14.0;        // where the moon's centre appears
// Towards the light that models the slopes (normalised at use): from the
// right, where the moon stands, and a little from behind the eye so that the
// faces turned to the viewer show it.
static const Vec3 MOON_LIGHT = {0.80, 0.45, -0.25};

static Vec3 bg_ray(double px, double py)
{
    double u = (px - 0.5 * BG_W) / FOCAL, v = (py - 0.5 * BG_H) / FOCAL;
    double c = 1.0 / std::sqrt(1.0 + TILT * TILT), s = TILT * c;
    // forward (0, s, c), up (0, c, -s), right (1, 0, 0)
    return v_norm({u, s - v * c, c + v * s});
}

// Ground height at (x, z): ridged noise ranges rising behind the lake, and
// the summit.
static double bg_height(double x, double z)
{
    double f = 0.045, a = 1.0, h = 0.0, weight = 1.0;
    for (int o = 0; o < 4; o++) {
        double n = 1.0 - std::fabs(2.0 * art_noise2(x * f, z * f, 31u + o) - 1.0);
        n *= n;
        h += n * a * weight;
        weight = art_clamp(n * 1.6, 0.0, 1.0);        // crisper detail on the crests
        f *= 2.05;
        a *= 0.48;
    }
    double rise = art_smoothstep(16.0, 46.0, z);
    double height = h * 11.0 * rise - 3.0 + 6.0 * art_smoothstep(60.0, 120.0, z);
    // The summit: a four-sided pyramid turned a little from the eye, so that
    // one face takes the light and its neighbour stays dark, with the noise
    // roughening its faces.
    double dx = x + 14.0, dz = z - 70.0;
    double u = dx * 0.866 + dz * 0.5, w = dz * 0.866 - dx * 0.5;
    double r = std::fabs(u) + std::fabs(w) * 0.9 + 0.35 * std::sqrt(u * u + w * w);
    if (r < 40.0) {
        double k = 1.0 - r / 40.0;
        height += 50.0 * k * (0.8 + 0.2 * h);
    }
    return height;
}

// Distance along `dir` from `origin` to the ground, or -1 when the ray
// leaves the scene (above every mountain or past the far limit).
static double bg_march(Vec3 origin, Vec3 dir)
{
    double t = 0.5, last_t = 0.0, last_gap = 1.0;
    for (int i = 0; i < 300 && t < 260.0; i++) {
        Vec3 p = v_add(origin, v_scale(dir, t));
        double gap = p.y - bg_height(p.x, p.z);
        if (gap < 0.0) {
            // Between the last two samples the ray crossed the ground.
            return last_t + (t - last_t) * last_gap / (last_gap - gap);
        }
        if (p.y > 48.0 && dir.y > 0.0) return -1.0;
        last_t = t;
        last_gap = gap;
        t += art_clamp(gap * 0.45, 0.05 + t * 0.004, 4.0);
    }
    return -1.0;
}

static double bg_sky(Vec3 dir, bool with_stars)
{
    Vec3 moon = v_norm(bg_ray(MOON_X, MOON_Y));
    double up = art_clamp(dir.y, 0.0, 1.0);
    double b = 0.05 + 0.42 * art_exp(-up * 9.0);
    double c = v_dot(dir, moon);
    double angle2 = 2.0 * (1.0 - c);                  // about the squared angle from the moon
    const double R2 = 0.085 * 0.085;
    if (angle2 < R2) {
        // The disc: darker maria, a slightly dimmer limb.
        double n = art_noise2(dir.x * 40.0, dir.y * 40.0, 5u);
        return 1.0 - 0.15 * art_smoothstep(0.5, 0.8, n) - 0.1 * angle2 / R2;
    }
    b += 0.45 * art_exp(-(std::sqrt(angle2) - 0.085) * 9.0);
    if (with_stars && dir.y > 0.12) {
        double sx = dir.x / dir.z * 22.0, sy = dir.y / dir.z * 22.0;
        int32_t cx = (int32_t)std::floor(sx), cy = (int32_t)std::floor(sy);
        uint32_t h = art_hash(cx, cy, 99u);
        if (h % 19u == 0u) {
            double ox = cx + 0.2 + 0.6 * (h >> 8 & 255) / 255.0, oy = cy + 0.2 + 0.6 * (h >> 16 & 255) / 255.0;
            double d2 = (sx - ox) * (sx - ox) + (sy - oy) * (sy - oy);
            b += (0.3 + 0.4 * (h >> 24) / 255.0) * art_exp(-d2 * 30.0);
        }
    }
    return b;
}

// Brightness seen along a ray that does not meet the water.
static double bg_trace_land(Vec3 origin, Vec3 dir, bool with_stars)
{
    double t = bg_march(origin, dir);
    if (t < 0.0) return bg_sky(dir, with_stars);
    Vec3 p = v_add(origin, v_scale(dir, t));
    const double e = 0.15;
    double hx = bg_height(p.x + e, p.z) - bg_height(p.x - e, p.z);
    double hz = bg_height(p.x, p.z + e) - bg_height(p.x, p.z - e);
    Vec3 n = v_norm({-hx, 2.0 * e, -hz});
    Vec3 to_light = v_norm(MOON_LIGHT);
    double light = art_clamp(v_dot(n, to_light), 0.0, 1.0);
    if (light > 0.0 && bg_march(v_add(p, v_scale(n, 0.2)), to_light) >= 0.0) light *= 0.15;
    // Patchy snow high up, where the slope lets it lie.
    double snow = art_smoothstep(0.25, 0.6, n.y) * art_smoothstep(14.0, 24.0, p.y + 8.0 * art_noise2(p.x * 0.3, p.z * 0.3, 9u));
    double albedo = art_mix(0.7, 1.1, snow);
    double b = 0.02 + albedo * light + 0.06 * n.y;
    // Mist over the water and haze with distance.
    double haze = 1.0 - art_exp(-t * 0.004);
    double mist = art_exp(-art_clamp(p.y, 0.0, 40.0) * 0.45) * 0.5;
    double fog = art_clamp(haze + mist * (1.0 - haze), 0.0, 1.0);
    return art_mix(b, 0.38, fog);
}

static double bg_trace(Vec3 dir)
{
    Vec3 eye = {0.0, EYE_HEIGHT, 0.0};
    if (dir.y >= 0.0) return bg_trace_land(eye, dir, true);
    double t = -EYE_HEIGHT / dir.y;
    Vec3 p = v_add(eye, v_scale(dir, t));
    double land = bg_march(eye, dir);
    if (land >= 0.0 && land < t) return bg_trace_land(eye, dir, true);
    // The lake: ripples tilt the mirror a little, more so near the eye.
    double w1 = art_sin(p.z * 1.9 + art_sin(p.x * 0.35) * 1.4);
    double w2 = art_sin(p.z * 3.3 - p.x * 0.6);
    double strength = 0.005 + 0.035 * art_exp(-t * 0.08);
    Vec3 r = {dir.x + (w2 * 0.4) * strength, -dir.y + (w1 + 0.5 * w2) * strength, dir.z};
    r = v_norm(r);
    if (r.y < 0.002) r.y = 0.002;
    double b = bg_trace_land(p, r, false) * 0.8;
    // The moon's glitter path: ripple crests in line with the moon, in a
    // column that widens towards the eye.
    Vec3 moon = bg_ray(MOON_X, MOON_Y);
    double off = (dir.x / dir.z - moon.x / moon.z) / (0.02 + 0.5 / t);
    double crest = art_smoothstep(0.2, 0.9, 0.5 * (w1 + w2));
    return b + 0.75 * art_exp(-off * off) * crest;
}

void art_make_background_picture(uint8_t picture[160 * 100])
{
    for (int y = 0; y < BG_H; y++) {
        for (int x = 0; x < BG_W; x++) {
            double sum = 0.0;
            for (int s = 0; s < 4; s++)
                sum += bg_trace(bg_ray(x + 0.25 + 0.5 * (s & 1), y + 0.25 + 0.5 * (s >> 1)));
            // Levels a few ramp steps apart look the same on screen and pack
            // much smaller; the broken reflections take coarser steps still.
            double b = art_clamp(sum / 4.0, 0.0, 1.0);
            int step = y < BG_WATERLINE_ROW ? 3 : 5;
            int levels = ART_BACKGROUND_MAX_INDEX / step;
            picture[y * BG_W + x] = (uint8_t)(step * (int)(b * levels + 0.5));
        }
    }
}
