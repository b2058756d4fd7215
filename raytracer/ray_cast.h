// ray_cast.h -- one ray through the sphere world: the nearest sphere, its
// shading under the point light with hard shadows, the XOR texture turned
// into the sphere's own frame, and one level of mirror reflection.
//
// These are the reference definitions of a pixel's colour; the frame tracer
// (raytracer.cpp) computes the same values with per-frame work hoisted out,
// and the tests hold the two to the same pixels. They read `ray_scene` and
// change nothing in it. Records are plain values on the caller's stack.
// Arithmetic is single precision throughout. Main thread only.
#pragma once
#include <cstdint>

#include "raytracer/ray_scene.h"

constexpr float RAY_NO_HIT_T = 64000.0f;  // distance reported when nothing is hit

struct Ray {
    Vec3 origin;               // start point
    Vec3 direction;            // need not be of unit length; t is in its units
    float t;                   // out: distance parameter of the nearest hit, 64000 if none
    int32_t hit;               // out: index of the nearest sphere, -1 if none
    int32_t skip;              // sphere this ray ignores, -1 for none
    int32_t allow_reflection;  // 1 for a primary ray, 0 for a reflection ray
};

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

// Fills ray->t and ray->hit with the nearest sphere ahead (t >= 0, below
// 64000) other than ray->skip; equal distances keep the lower index.
void nearest_hit(Ray* ray);
// Scales sample->view to unit length and sets view_normalised.
void normalise_view(TraceSample* sample);
// Fills diffuse and specular from point, normal, view, material and hit;
// diffuse must enter as 0.
void shade(TraceSample* sample);
// d - 2 (d . n) n.
Vec3 reflect_vector(Vec3 normal, Vec3 d);
// The nearest hit, shaded and coloured; black with hit -1 on a miss.
TraceSample trace_ray(const Ray* ray);
// Mixes the reflected image into the colour of a primary ray's sample on a
// reflective material (one level: the reflection ray does not reflect).
void add_reflection(TraceSample* sample);

// The pixel seen by the primary ray from `origin` along `direction`:
// trace_ray, add_reflection on a reflective material, packed as 0x00RRGGBB.
uint32_t primary_ray_pixel(Vec3 origin, Vec3 direction);

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
