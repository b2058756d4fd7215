// ray_scene.h -- the ray tracer's world: spheres, materials, the light, the
// XOR texture and the four animation angles, and their per-frame motion.
//
// One static record, `ray_scene`, of process lifetime. init_ray_scene fills
// it once (run_timeline's set-up); animate_ray_scene moves it once at the
// start of every ray-traced frame (raytrace_scene). The casting code
// (ray_cast.h) and the frame tracer only read it. Main thread only.
//
// Every value is stored as a single-precision float; the motion is computed
// in double and rounded to float at each store, as noted per step.
#pragma once
#include <cstdint>

constexpr int RAY_MAX_SPHERES = 6;
constexpr int RAY_MATERIALS = 2;
constexpr int RAY_TEXTURE_SIZE = 256;  // the texture is 256 x 256 bytes

// The camera is fixed: eye at (0, 80, 96), looking along -z, tilted down 45
// degrees (the frame tracer builds the primary rays).
constexpr float RAY_EYE_X = 0.0f;
constexpr float RAY_EYE_Y = 80.0f;
constexpr float RAY_EYE_Z = 96.0f;

// 2 pi in single precision: the wrap of the angles and the ring's swing.
constexpr float RAY_TWO_PI_F = 6.2831855f;

struct Vec3 {
    float x, y, z;
};

struct Rgb {
    float red, green, blue;  // 0..1 in materials, 0..255 in samples
};

// Cosine and sine of one inverse rotation.
struct CosSin {
    float c, s;
};

struct Sphere {
    Vec3 position;       // world position used for tracing; rest_position moved this frame
    Vec3 rest_position;  // position before animation
    float radius;        // > 0
    int32_t material;    // index into RayScene::materials
    CosSin inv_rot_x;    // cos, sin of minus this frame's rotation about x
    CosSin inv_rot_y;    // the same about y
    CosSin inv_rot_z;    // the same about z
};

struct Material {
    float specular;        // factor of the highlight term
    float shininess;       // exponent of the highlight term
    float diffuse;         // factor of the diffuse term
    float ambient;         // light added everywhere, also in shadow
    Rgb colour;            // surface tint, 0..1 per channel
    int32_t textured;      // 1: brightness from the texture; else plain colour
    float reflectivity;    // share of the reflected image, 0..1
};

struct RayScene {
    int32_t sphere_count;               // spheres in use, 1..6 (6 in the show)
    Sphere spheres[RAY_MAX_SPHERES];    // ring at 0..4, the core last
    Material materials[RAY_MATERIALS];  // 0: the core's, 1: the ring's
    Vec3 light;                         // the single point light
    float angle0, angle1, angle2, angle3;  // radians, each kept in 0..2 pi
    uint8_t texture[RAY_TEXTURE_SIZE * RAY_TEXTURE_SIZE];  // texel (y, x) at y * 256 + x
};

extern RayScene ray_scene;

// Fills the whole record with the show's world: five ring spheres of radius
// 16 around a core of radius 32 at the origin, two materials, the light at
// (0, 256, 256), the XOR texture; positions, rotations and angles zero.
void init_ray_scene(void);

// Moves the world by one frame: positions and inverse rotations from the
// current angles, then the angles advance and the light turns by -0.1 rad.
void animate_ray_scene(void);
