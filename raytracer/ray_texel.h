// ray_texel.h -- the texel under a hit point, in the sphere's own frame.
// Shared inline by the reference casting code and the frame tracer so that
// both do exactly the same arithmetic.
#pragma once
#include <cstdint>

#include "raytracer/ray_scene.h"

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
