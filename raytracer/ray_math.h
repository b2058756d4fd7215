// ray_math.h -- the arithmetic shared by the reference casting code
// (ray_cast.cpp) and the frame tracer (raytracer.cpp): one sphere's hit
// distance, the texel under a hit point, a surface's colour and the mix of
// a reflection. Both include these inline so that they do exactly the same
// single-precision operations in the same order; only the search around
// them differs. Internal to the ray tracer and its tests.
#pragma once
#include <cmath>
#include <cstdint>

#include "raytracer/ray_sample.h"
#include "raytracer/ray_scene.h"

static inline float ray_dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// One sphere against a ray with a = |direction|^2, b = 2 (D . direction)
// and m = |D|^2 - radius^2, D = origin - centre. False when the ray's line
// misses; else *t is the nearer root when it lies ahead, else the farther
// one (negative when the sphere is behind).
static inline bool sphere_distance(float a, float b, float m, float* t)
{
    const float discriminant = b * b - 4.0f * a * m;
    if (discriminant < 0.0f)
        return false;
    const float root = std::sqrt(discriminant);
    const float t1 = (root - b) / (2.0f * a);
    const float t2 = (-b - root) / (2.0f * a);
    *t = (t1 > t2 && t2 >= 0.0f) ? t2 : t1;
    return true;
}

// d - 2 (d . n) n.
static inline Vec3 ray_reflect(Vec3 normal, Vec3 d)
{
    const float k = 2.0f * ray_dot(d, normal);
    return {d.x - k * normal.x, d.y - k * normal.y, d.z - k * normal.z};
}

// Texture row or column from its float coordinate, truncating toward zero.
// On a sphere the coordinate lies in 0..254.x; anything else (a degenerate
// scene) is held to 0..255 so that the lookup stays inside the texture.
static inline int32_t texel_coordinate(float f)
{
    if (!(f > 0.0f))
        return 0;
    if (f >= 255.0f)
        return 255;
    return int32_t(f);
}

// The texel (0..255) at `point` with outward unit `normal` on sphere `s`.
// The inverse rotations undo this frame's animation, so u, v are the x and y
// of the normal in the sphere's unrotated frame and the texture turns with
// the sphere. Before any motion (all sines exactly 0) the normal is used.
static inline uint8_t sphere_texel(const Sphere& s, Vec3 point, Vec3 normal)
{
    const float cx = s.inv_rot_x.c, sx = s.inv_rot_x.s;
    const float cy = s.inv_rot_y.c, sy = s.inv_rot_y.s;
    const float cz = s.inv_rot_z.c, sz = s.inv_rot_z.s;
    float u, v;
    if (sx == 0.0f && sy == 0.0f && sz == 0.0f) {
        u = normal.x;
        v = normal.y;
    } else {
        float x = point.x, y = point.y, z = point.z;
        if (sz != 0.0f) {
            const float nx = x * cz - y * sz;
            const float ny = x * sz + y * cz;
            x = nx;
            y = ny;
        }
        if (sy != 0.0f) {
            const float nx = x * cy - z * sy;
            const float nz = x * sy + z * cy;
            x = nx;
            z = nz;
        }
        if (sx != 0.0f)
            y = y * cx - z * sx;
        u = (x - s.rest_position.x) / s.radius;
        v = (y - s.rest_position.y) / s.radius;
    }
    const int32_t column = texel_coordinate((u + 1.0f) * 127.0f);
    const int32_t row = texel_coordinate(127.0f - v * 127.0f);
    return ray_scene.texture[row * RAY_TEXTURE_SIZE + column];
}

static inline void clamp_colour(Rgb* c)
{
    if (c->red > 255.0f) c->red = 255.0f;
    if (c->green > 255.0f) c->green = 255.0f;
    if (c->blue > 255.0f) c->blue = 255.0f;
}

// The colour of a shaded sample on sphere `s` of material `m`, by its
// `reflectivity` (0 for any ray that may not reflect): a reflective surface
// gets its unlit colour, which the reflection mix lights later; a perfect
// mirror stays black. Then the material's reflectivity and the clamp.
static inline void surface_colour(const Sphere& s, const Material& m, TraceSample* out)
{
    if (out->reflectivity < 1.0f) {
        if (m.textured == 1) {
            const float texel = float(sphere_texel(s, out->point, out->normal));
            if (out->reflectivity > 0.0f) {
                out->colour = {texel * m.colour.red, texel * m.colour.green,
                               texel * m.colour.blue};
            } else {
                out->colour = {texel * m.colour.red * out->diffuse + out->specular,
                               texel * m.colour.green * out->diffuse + out->specular,
                               texel * m.colour.blue * out->diffuse + out->specular};
            }
        } else if (out->reflectivity > 0.0f) {
            out->colour = {m.colour.red * 255.0f, m.colour.green * 255.0f,
                           m.colour.blue * 255.0f};
        } else {
            out->colour = {out->diffuse * m.colour.red * 255.0f + out->specular,
                           out->diffuse * m.colour.green * 255.0f + out->specular,
                           out->diffuse * m.colour.blue * 255.0f + out->specular};
        }
    }
    out->reflectivity = m.reflectivity;
    clamp_colour(&out->colour);
}

// The reflected sample `q` mixed into `sample` by its reflectivity f, lit by
// the sample's own light factor and highlight, clamped.
static inline void mix_reflection(TraceSample* sample, const TraceSample& q)
{
    const float f = sample->reflectivity;
    Rgb& c = sample->colour;
    c.red = ((1.0f - f) * c.red + f * q.colour.red) * sample->diffuse + sample->specular;
    c.green = ((1.0f - f) * c.green + f * q.colour.green) * sample->diffuse + sample->specular;
    c.blue = ((1.0f - f) * c.blue + f * q.colour.blue) * sample->diffuse + sample->specular;
    clamp_colour(&c);
}

static inline uint32_t pack_colour(Rgb c)
{
    return (ray_channel_byte(c.red) << 16) | (ray_channel_byte(c.green) << 8) |
           ray_channel_byte(c.blue);
}
