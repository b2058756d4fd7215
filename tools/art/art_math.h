// art_math.h -- deterministic numeric helpers for the asset generators.
//
// The generators must give identical bytes on every run, build type and
// machine, so they use only +, -, *, / and sqrt (exactly rounded in IEEE
// double) and floor; sine and exponential are polynomial evaluations here
// rather than the C library's, whose last bits may differ between versions.
// Noise comes from an integer hash of lattice points.
#pragma once
#include <cmath>
#include <cstdint>

static const double ART_PI = 3.14159265358979323846;

static inline double art_clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }
static inline double art_mix(double a, double b, double t) { return a + (b - a) * t; }
static inline double art_smoothstep(double e0, double e1, double v)
{
    double t = art_clamp((v - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// sin(x) to about 1e-15 over any range the generators use.
static inline double art_sin(double x)
{
    double turns = std::floor(x / (2.0 * ART_PI) + 0.5);
    double r = x - turns * (2.0 * ART_PI);            // -pi..pi
    if (r > 0.5 * ART_PI) r = ART_PI - r;             // fold into -pi/2..pi/2
    else if (r < -0.5 * ART_PI) r = -ART_PI - r;
    double r2 = r * r, term = r, sum = r;
    for (int n = 1; n <= 10; n++) {
        term *= -r2 / ((2.0 * n) * (2.0 * n + 1.0));
        sum += term;
    }
    return sum;
}
static inline double art_cos(double x) { return art_sin(x + 0.5 * ART_PI); }

// e^x for x in about -700..700.
static inline double art_exp(double x)
{
    double k = std::floor(x / 0.69314718055994530942 + 0.5);
    double r = x - k * 0.69314718055994530942;        // |r| <= 0.35
    double term = 1.0, sum = 1.0;
    for (int n = 1; n <= 14; n++) {
        term *= r / n;
        sum += term;
    }
    return std::ldexp(sum, (int)k);
}

static inline uint32_t art_hash(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = (uint32_t)x * 0x8DA6B343u ^ (uint32_t)y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 15; h *= 0x2C1B3C6Du;
    h ^= h >> 12; h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}
// Uniform in 0..1 from a lattice point.
static inline double art_hash01(int32_t x, int32_t y, uint32_t seed)
{
    return (art_hash(x, y, seed) >> 8) * (1.0 / 16777216.0);
}

// Smooth value noise, 0..1.
static inline double art_noise1(double x, uint32_t seed)
{
    double fx = std::floor(x);
    double t = x - fx;
    t = t * t * (3.0 - 2.0 * t);
    int32_t i = (int32_t)fx;
    return art_mix(art_hash01(i, 0, seed), art_hash01(i + 1, 0, seed), t);
}
static inline double art_noise2(double x, double y, uint32_t seed)
{
    double fx = std::floor(x), fy = std::floor(y);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0 - 2.0 * tx);
    ty = ty * ty * (3.0 - 2.0 * ty);
    int32_t i = (int32_t)fx, j = (int32_t)fy;
    double a = art_mix(art_hash01(i, j, seed), art_hash01(i + 1, j, seed), tx);
    double b = art_mix(art_hash01(i, j + 1, seed), art_hash01(i + 1, j + 1, seed), tx);
    return art_mix(a, b, ty);
}
