// ray_scene.cpp -- the sphere world, its first values and its motion.
#include "raytracer/ray_scene.h"

#include <cmath>

RayScene ray_scene;

static const double TWO_PI = 6.283185307179586;

// Per-frame steps of the four angles (radians).
static const float ANGLE0_STEP = 0.03824562f;
static const float ANGLE1_STEP = 0.0957354f;
static const float ANGLE2_STEP = 0.0121352f;
static const float ANGLE3_STEP = 0.02376346f;

// Rotations by `a`, computed in double; each coordinate is stored back as a
// float before the next rotation reads it.
static void rotate_x(Vec3* p, double a)
{
    const double c = std::cos(a), s = std::sin(a);
    const float y = float(p->y * c - p->z * s);
    const float z = float(p->y * s + p->z * c);
    p->y = y;
    p->z = z;
}

static void rotate_y(Vec3* p, double a)
{
    const double c = std::cos(a), s = std::sin(a);
    const float x = float(p->x * c - p->z * s);
    const float z = float(p->x * s + p->z * c);
    p->x = x;
    p->z = z;
}

static void rotate_z(Vec3* p, double a)
{
    const double c = std::cos(a), s = std::sin(a);
    const float x = float(p->x * c - p->y * s);
    const float y = float(p->x * s + p->y * c);
    p->x = x;
    p->y = y;
}

static CosSin inverse_rotation(float angle)
{
    return {float(std::cos(-double(angle))), float(std::sin(-double(angle)))};
}

// One step and the wrap: only a value strictly above 2 pi is reduced, once.
static float advance_angle(float angle, float step)
{
    angle += step;
    if (angle > RAY_TWO_PI_F)
        angle -= RAY_TWO_PI_F;
    return angle;
}

void init_ray_scene(void)
{
    // The show calls this once on a zeroed record; clearing it first makes
    // a second call (tests) start from the same state.
    ray_scene = RayScene{};
    RayScene& w = ray_scene;
    w.sphere_count = 6;
    for (int k = 0; k < 5; k++) {
        // k * 0.2 with 0.2 in single precision, times 2 pi in double.
        const double theta = k * double(0.2f) * TWO_PI;
        Sphere& s = w.spheres[k];
        s.rest_position = {float(64.0 * std::cos(theta)), 0.0f, float(64.0 * std::sin(theta))};
        s.radius = 16.0f;
        s.material = 1;
    }
    w.spheres[5].rest_position = {0.0f, 0.0f, 0.0f};
    w.spheres[5].radius = 32.0f;
    w.spheres[5].material = 0;

    w.materials[0] = {256.0f, 256.0f, 1.0f, 0.3f, {1.0f, 0.9f, 0.8f}, 1, 0.5f};
    w.materials[1] = {256.0f, 256.0f, 1.0f, 0.3f, {0.8f, 0.9f, 1.0f}, 1, 0.0f};
    w.light = {0.0f, 256.0f, 256.0f};
    for (int y = 0; y < RAY_TEXTURE_SIZE; y++)
        for (int x = 0; x < RAY_TEXTURE_SIZE; x++)
            w.texture[y * RAY_TEXTURE_SIZE + x] = uint8_t(y ^ x);
}

void animate_ray_scene(void)
{
    RayScene& w = ray_scene;
    for (int k = 0; k < w.sphere_count; k++)
        w.spheres[k].position = w.spheres[k].rest_position;

    // The core (last sphere) only spins: its position stays at its rest
    // point, the inverse rotations turn its texture.
    Sphere& core = w.spheres[w.sphere_count - 1];
    rotate_x(&core.position, w.angle2);
    rotate_y(&core.position, w.angle3);
    rotate_z(&core.position, w.angle1);
    core.inv_rot_x = inverse_rotation(w.angle2);
    core.inv_rot_y = inverse_rotation(w.angle3);
    core.inv_rot_z = inverse_rotation(w.angle1);

    if (w.sphere_count > 1) {
        // The swing is an angle, not a rate: over one turn of angle2 it runs
        // from +2 pi to -2 pi and back.
        const float swing = float(RAY_TWO_PI_F * std::cos(double(w.angle2)));
        for (int k = 0; k < w.sphere_count - 1; k++) {
            Sphere& s = w.spheres[k];
            rotate_x(&s.position, w.angle3);
            rotate_y(&s.position, swing);
            rotate_z(&s.position, w.angle0);
            s.inv_rot_x = inverse_rotation(w.angle3);
            s.inv_rot_y = inverse_rotation(swing);
            s.inv_rot_z = inverse_rotation(w.angle0);
        }
    }

    w.angle3 = advance_angle(w.angle3, ANGLE3_STEP);
    w.angle0 = advance_angle(w.angle0, ANGLE0_STEP);
    w.angle1 = advance_angle(w.angle1, ANGLE1_STEP);
    w.angle2 = advance_angle(w.angle2, ANGLE2_STEP);

    // The light circles the y axis by -0.1 rad per frame.
    const double c = std::cos(-0.1), s = std::sin(-0.1);
    const float x = float(w.light.x * c - w.light.z * s);
    const float z = float(w.light.x * s + w.light.z * c);
    w.light.x = x;
    w.light.z = z;
}
