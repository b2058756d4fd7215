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

#include "raytracer/ray_sample.h"
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
