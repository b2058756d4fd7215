// Ray tracer world: first values, one frame of motion, the angle wrap, the
// swing of the ring and the single-sphere world.
#include <gtest/gtest.h>

#include <cmath>

#include "raytracer/ray_scene.h"

namespace {

struct RaySceneTest : ::testing::Test {
    void SetUp() override { init_ray_scene(); }
};

void expect_vec(Vec3 v, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

TEST_F(RaySceneTest, StartsWithTheRingTheCoreTheMaterialsAndTheLight)
{
    const RayScene& w = ray_scene;
    ASSERT_EQ(w.sphere_count, 6);
    const float rest[5][2] = {{64.0f, 0.0f}, {19.777086f, 60.867619f},
                              {-51.777088f, 37.618256f}, {-51.777084f, -37.618259f},
                              {19.777092f, -60.867615f}};
    for (int k = 0; k < 5; k++) {
        // Exact: the stores round to these floats.
        EXPECT_EQ(w.spheres[k].rest_position.x, rest[k][0]) << k;
        EXPECT_EQ(w.spheres[k].rest_position.y, 0.0f) << k;
        EXPECT_EQ(w.spheres[k].rest_position.z, rest[k][1]) << k;
        EXPECT_EQ(w.spheres[k].radius, 16.0f);
        EXPECT_EQ(w.spheres[k].material, 1);
    }
    expect_vec(w.spheres[5].rest_position, 0, 0, 0);
    EXPECT_EQ(w.spheres[5].radius, 32.0f);
    EXPECT_EQ(w.spheres[5].material, 0);
    for (int k = 0; k < 6; k++) {
        expect_vec(w.spheres[k].position, 0, 0, 0);
        EXPECT_EQ(w.spheres[k].inv_rot_x.c, 0.0f);
        EXPECT_EQ(w.spheres[k].inv_rot_z.s, 0.0f);
    }

    const Material& core = w.materials[0];
    EXPECT_EQ(core.specular, 256.0f);
    EXPECT_EQ(core.shininess, 256.0f);
    EXPECT_EQ(core.diffuse, 1.0f);
    EXPECT_EQ(core.ambient, 0.3f);
    EXPECT_EQ(core.colour.green, 0.9f);
    EXPECT_EQ(core.colour.blue, 0.8f);
    EXPECT_EQ(core.textured, 1);
    EXPECT_EQ(core.reflectivity, 0.5f);
    const Material& ring = w.materials[1];
    EXPECT_EQ(ring.colour.red, 0.8f);
    EXPECT_EQ(ring.colour.blue, 1.0f);
    EXPECT_EQ(ring.reflectivity, 0.0f);

    expect_vec(w.light, 0, 256, 256);
    EXPECT_EQ(w.angle0 + w.angle1 + w.angle2 + w.angle3, 0.0f);
}

TEST_F(RaySceneTest, TextureIsRowXorColumn)
{
    const uint8_t* t = ray_scene.texture;
    EXPECT_EQ(t[3 * 256 + 5], 6);
    EXPECT_EQ(t[255 * 256 + 0], 255);
    EXPECT_EQ(t[0 * 256 + 255], 255);
    for (int i = 0; i < 256; i++)
        EXPECT_EQ(t[i * 256 + i], 0) << i;
    EXPECT_EQ(t[0xA5 * 256 + 0x0F], 0xAA);
}

TEST_F(RaySceneTest, FirstFrameUsesAnglesAtZeroThenStepsThemAndTurnsTheLight)
{
    animate_ray_scene();
    const RayScene& w = ray_scene;
    expect_vec(w.spheres[5].position, 0, 0, 0);
    for (int k = 0; k < 5; k++) {
        // Turned about y by 2 pi: where they rest, within float precision.
        const Sphere& s = w.spheres[k];
        EXPECT_NEAR(s.position.x, s.rest_position.x, 1e-4) << k;
        EXPECT_NEAR(s.position.y, s.rest_position.y, 1e-4) << k;
        EXPECT_NEAR(s.position.z, s.rest_position.z, 1e-4) << k;
        // cos(-0) and sin(-0), cos(-2 pi) and sin(-2 pi) stored as floats.
        EXPECT_EQ(s.inv_rot_x.c, 1.0f);
        EXPECT_EQ(s.inv_rot_x.s, 0.0f);
        EXPECT_EQ(s.inv_rot_z.s, 0.0f);
        EXPECT_EQ(s.inv_rot_y.c, 1.0f);
        EXPECT_NEAR(s.inv_rot_y.s, 0.0f, 1e-6);
    }
    EXPECT_EQ(w.spheres[5].inv_rot_y.s, 0.0f);
    EXPECT_EQ(w.angle0, 0.03824562f);
    EXPECT_EQ(w.angle1, 0.0957354f);
    EXPECT_EQ(w.angle2, 0.0121352f);
    EXPECT_EQ(w.angle3, 0.02376346f);
    EXPECT_FLOAT_EQ(w.light.x, 25.557354f);
    EXPECT_EQ(w.light.y, 256.0f);
    EXPECT_FLOAT_EQ(w.light.z, 254.72107f);

    // The light circles at radius 256 once in about 62.8 frames.
    for (int f = 1; f < 63; f++)
        animate_ray_scene();
    EXPECT_NEAR(std::hypot(w.light.x, w.light.z), 256.0, 0.01);
    EXPECT_NEAR(std::atan2(w.light.x, w.light.z), 63 * 0.1 - 2 * M_PI, 1e-3);
}

TEST_F(RaySceneTest, AngleExactlyAtTwoPiStaysAndIsReducedOnceWhenAbove)
{
    const float step = 0.02376346f;
    float a = RAY_TWO_PI_F - step;
    while (a + step > RAY_TWO_PI_F)
        a = std::nextafter(a, 0.0f);
    while (a + step < RAY_TWO_PI_F)
        a = std::nextafter(a, 10.0f);
    ASSERT_EQ(a + step, RAY_TWO_PI_F);
    ray_scene.angle3 = a;
    animate_ray_scene();
    EXPECT_EQ(ray_scene.angle3, RAY_TWO_PI_F);
    animate_ray_scene();
    EXPECT_EQ(ray_scene.angle3, (RAY_TWO_PI_F + step) - RAY_TWO_PI_F);

    // Far above: one subtraction only.
    ray_scene.angle1 = 20.0f;
    animate_ray_scene();
    EXPECT_EQ(ray_scene.angle1, (20.0f + 0.0957354f) - RAY_TWO_PI_F);
}

// The ring sphere k's position and inverse rotations for angles chosen
// away from 0, against a rotation computed here in double.
TEST_F(RaySceneTest, RingTiltsSwingsAndRollsCoreOnlySpins)
{
    RayScene& w = ray_scene;
    w.angle0 = 0.7f;   // roll about z
    w.angle1 = 1.9f;   // core spin about z
    w.angle2 = 1.1f;   // core about x; swing about y
    w.angle3 = 0.4f;   // tilt about x; core about y
    animate_ray_scene();
    const double swing = double(float(RAY_TWO_PI_F * std::cos(1.1)));
    for (int k = 0; k < 5; k++) {
        const Sphere& s = w.spheres[k];
        double x = s.rest_position.x, y = s.rest_position.y, z = s.rest_position.z;
        double c = std::cos(0.4), sn = std::sin(0.4);
        double ny = y * c - z * sn, nz = y * sn + z * c;
        y = ny, z = nz;
        c = std::cos(swing), sn = std::sin(swing);
        double nx = x * c - z * sn;
        nz = x * sn + z * c;
        x = nx, z = nz;
        c = std::cos(double(0.7f)), sn = std::sin(double(0.7f));
        nx = x * c - y * sn;
        ny = x * sn + y * c;
        EXPECT_NEAR(s.position.x, nx, 1e-4) << k;
        EXPECT_NEAR(s.position.y, ny, 1e-4) << k;
        EXPECT_NEAR(s.position.z, nz, 1e-4) << k;
        EXPECT_FLOAT_EQ(s.inv_rot_x.s, float(std::sin(-double(0.4f))));
        EXPECT_FLOAT_EQ(s.inv_rot_y.c, float(std::cos(-swing)));
        EXPECT_FLOAT_EQ(s.inv_rot_y.s, float(std::sin(-swing)));
        EXPECT_FLOAT_EQ(s.inv_rot_z.s, float(std::sin(-double(0.7f))));
    }
    const Sphere& core = w.spheres[5];
    expect_vec(core.position, 0, 0, 0);
    EXPECT_FLOAT_EQ(core.inv_rot_x.s, float(std::sin(-double(1.1f))));
    EXPECT_FLOAT_EQ(core.inv_rot_y.s, float(std::sin(-double(0.4f))));
    EXPECT_FLOAT_EQ(core.inv_rot_z.c, float(std::cos(-double(1.9f))));
    EXPECT_FLOAT_EQ(core.inv_rot_z.s, float(std::sin(-double(1.9f))));
}

TEST_F(RaySceneTest, SingleSphereWorldRunsOnlyTheCoreStep)
{
    RayScene& w = ray_scene;
    w.sphere_count = 1;
    w.spheres[0].rest_position = {5.0f, 0.0f, 0.0f};
    w.angle2 = 1.1f;
    w.angle3 = 0.5f;
    animate_ray_scene();
    // Sphere 0 is the core now: spun about x by angle2, y by angle3, and its
    // inverse rotation about y is that of angle3, not of the swing.
    EXPECT_FLOAT_EQ(w.spheres[0].inv_rot_y.s, float(std::sin(-double(0.5f))));
    EXPECT_FLOAT_EQ(w.spheres[0].inv_rot_x.s, float(std::sin(-double(1.1f))));
    EXPECT_NEAR(w.spheres[0].position.x, 5.0 * std::cos(0.5), 1e-5);
    EXPECT_NEAR(w.spheres[0].position.z, 5.0 * std::sin(0.5), 1e-5);
    // The spheres beyond the count are left alone.
    for (int k = 1; k < 6; k++) {
        expect_vec(w.spheres[k].position, 0, 0, 0);
        EXPECT_EQ(w.spheres[k].inv_rot_y.s, 0.0f);
    }
}

}  // namespace
