// ray_sample.h -- what one traced ray gives: the record that the reference
// casting code (ray_cast.cpp) and the frame tracer (raytracer.cpp) fill, and
// the rule that turns its colour into bytes. Plain values on the caller's
// stack; main thread only.
#pragma once
#include <cstdint>

#include "raytracer/ray_scene.h"

struct TraceSample {
    Vec3 point;                // hit point
    Vec3 normal;               // outward unit normal at the hit point
    Vec3 view;                 // the ray's direction; unit length once view_normalised
    float diffuse;             // light factor: ambient plus the diffuse term
    float specular;            // highlight term, >= 0
    Rgb colour;                // 0..255 per channel
    int32_t material;          // material index of the hit sphere
    int32_t hit;               // index of the hit sphere, -1 for a miss
    int32_t view_normalised;   // 1 once view has unit length
    float reflectivity;        // material's reflectivity (0 while shading a non-primary ray)
};

// 0..255 from a colour channel, truncating toward zero; values outside
// (including NaN, which valid scenes never produce) are held to 0..255.
static inline uint32_t ray_channel_byte(float c)
{
    if (!(c > 0.0f))
        return 0;
    if (c >= 255.0f)
        return 255;
    return uint32_t(int32_t(c));
}
