// Ray casting and shading: nearest hits and their ties, shadows, the
// highlight on a side turned from the light, texture coordinates through
// the inverse rotations, clamping, and the one level of reflection.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "raytracer/ray_cast.h"
#include "raytracer/ray_math.h"

namespace {

// Small hand-made worlds on top of the show's materials and texture.
struct RayCastTest : ::testing::Test {
    void SetUp() override { init_ray_scene(); }
    void world(int count) { ray_scene.sphere_count = count; }
    void sphere(int k, Vec3 p, float radius, int material)
    {
        Sphere& s = ray_scene.spheres[k];
        s = Sphere{};
        s.position = p;
        s.rest_position = p;
        s.radius = radius;
        s.material = material;
    }
    static Ray ray(Vec3 origin, Vec3 direction, int skip = -1, int allow = 1)
    {
        return Ray{origin, direction, 0.0f, -1, skip, allow};
    }
    // A sample on sphere k at unit normal n, ready for shade.
    static TraceSample sample_at(int k, Vec3 n, Vec3 view)
    {
        const Sphere& s = ray_scene.spheres[k];
        TraceSample t = {};
        t.point = {s.position.x + s.radius * n.x, s.position.y + s.radius * n.y,
                   s.position.z + s.radius * n.z};
        t.normal = n;
        t.view = view;
        t.material = s.material;
        t.hit = k;
        return t;
    }
};

TEST_F(RayCastTest, NearestHitPicksNearerRootAheadAndSkipsOneSphere)
{
    world(3);
    sphere(0, {0, 0, -100}, 10, 1);
    sphere(1, {0, 0, -50}, 10, 1);
    sphere(2, {0, 0, 100}, 10, 1);  // behind the ray
    Ray r = ray({0, 0, 0}, {0, 0, -2});
    nearest_hit(&r);
    EXPECT_EQ(r.hit, 1);
    EXPECT_FLOAT_EQ(r.t, 20.0f);  // units of the direction's length 2

    r = ray({0, 0, 0}, {0, 0, -1}, 1);
    nearest_hit(&r);
    EXPECT_EQ(r.hit, 0);
    EXPECT_FLOAT_EQ(r.t, 90.0f);

    // From inside a sphere: the farther root.
    r = ray({0, 0, -50}, {0, 0, 1});
    nearest_hit(&r);
    EXPECT_EQ(r.hit, 1);
    EXPECT_FLOAT_EQ(r.t, 10.0f);
}

TEST_F(RayCastTest, NearestHitMissesTiesAndTheEdgesOfItsRange)
{
    world(2);
    sphere(0, {0, 0, -50}, 10, 1);
    sphere(1, {0, 0, -50}, 10, 1);
    Ray r = ray({0, 0, 0}, {0, 1, 0});
    nearest_hit(&r);
    EXPECT_EQ(r.hit, -1);
    EXPECT_EQ(r.t, 64000.0f);

    // Equal distances: the lower index.
    r = ray({0, 0, 0}, {0, 0, -1});
    nearest_hit(&r);
    EXPECT_EQ(r.hit, 0);
    EXPECT_EQ(r.t, 40.0f);

    // A hit exactly at distance 0 counts.
    r = ray({0, 0, -40}, {0, 0, -1});
    nearest_hit(&r);
    EXPECT_EQ(r.hit, 0);
    EXPECT_EQ(r.t, 0.0f);

    // At 64000 or beyond nothing is seen.
    world(1);
    sphere(0, {0, 0, -64010}, 10, 1);
    r = ray({0, 0, 0}, {0, 0, -1});
    nearest_hit(&r);
    EXPECT_EQ(r.hit, -1);
    sphere(0, {0, 0, -63000}, 10, 1);
    nearest_hit(&r);
    EXPECT_EQ(r.hit, 0);
}

TEST_F(RayCastTest, SideTurnedFromTheLightGetsAmbientAndStillAHighlight)
{
    world(1);
    sphere(0, {0, 0, 0}, 1, 1);
    ray_scene.light = {0, 10, 0};
    // Bottom point, facing away; its own sphere never shadows it.
    TraceSample s = sample_at(0, {0, -1, 0}, {0, -1, 0});
    shade(&s);
    EXPECT_EQ(s.diffuse, 0.3f);
    // r = l - 2 (l.n) n = (0, -1, 0) meets the view head on: e = 1.
    EXPECT_EQ(s.specular, 256.0f);
    EXPECT_EQ(s.view_normalised, 1);

    // Lit from straight above, looking sideways: full diffuse, no highlight.
    s = sample_at(0, {0, 1, 0}, {3, 0, 0});
    shade(&s);
    EXPECT_FLOAT_EQ(s.diffuse, 1.3f);
    EXPECT_EQ(s.specular, 0.0f);
    EXPECT_EQ(s.view.x, 1.0f);
}

TEST_F(RayCastTest, ShadowCastByAnotherSphereLeavesAmbientAndNoHighlight)
{
    world(2);
    sphere(0, {0, 0, 0}, 1, 1);
    ray_scene.light = {0, 11, 0};
    // The blocker's near surface is exactly at the light's distance (10).
    sphere(1, {0, 13, 0}, 2, 1);
    TraceSample s = sample_at(0, {0, 1, 0}, {0, -1, 0});
    shade(&s);
    EXPECT_EQ(s.diffuse, 0.3f);
    EXPECT_EQ(s.specular, 0.0f);

    // Moved just beyond the light it no longer shadows.
    sphere(1, {0, 13.5f, 0}, 2, 1);
    s = sample_at(0, {0, 1, 0}, {0, -1, 0});
    shade(&s);
    EXPECT_FLOAT_EQ(s.diffuse, 1.3f);
    EXPECT_EQ(s.specular, 256.0f);
}

TEST_F(RayCastTest, MissIsBlackAndBrightTexelIsClampedPerChannel)
{
    world(1);
    sphere(0, {0, 0, 0}, 10, 1);
    Ray miss = ray({0, 50, 0}, {0, 1, 0});
    TraceSample s = trace_ray(&miss);
    EXPECT_EQ(s.hit, -1);
    EXPECT_EQ(s.colour.red + s.colour.green + s.colour.blue, 0.0f);
    EXPECT_EQ(primary_ray_pixel({0, 50, 0}, {0, 1, 0}), 0u);

    // Hit at normal (0.8, 0.6, 0), light along the normal (l.n = 1), no
    // highlight: texel (row 50, column 228) = 214 under diffuse 1.3.
    ray_scene.materials[1].specular = 0.0f;
    ray_scene.light = {88, 66, 0};
    Ray hit = ray({40, 30, 0}, {-0.8f, -0.6f, 0});
    s = trace_ray(&hit);
    ASSERT_EQ(s.hit, 0);
    EXPECT_NEAR(s.diffuse, 1.3f, 1e-6);
    EXPECT_EQ(s.specular, 0.0f);
    EXPECT_EQ(int(s.colour.red), 222);    // 214 * 0.8 * 1.3
    EXPECT_EQ(int(s.colour.green), 250);  // 214 * 0.9 * 1.3
    EXPECT_EQ(s.colour.blue, 255.0f);     // 278 clamped
    EXPECT_EQ(primary_ray_pixel({40, 30, 0}, {-0.8f, -0.6f, 0}), 0xDEFAFFu);
}

TEST_F(RayCastTest, TextureEdgesMapToColumnsAndRowsZeroAnd254)
{
    world(1);
    sphere(0, {0, 0, 0}, 1, 1);
    const Sphere& s = ray_scene.spheres[0];
    struct { Vec3 n; int row, column; } cases[] = {
        {{-1, 0, 0}, 127, 0}, {{1, 0, 0}, 127, 254},
        {{0, 1, 0}, 0, 127}, {{0, -1, 0}, 254, 127},
    };
    for (auto& c : cases) {
        memset(ray_scene.texture, 0, sizeof(ray_scene.texture));
        ray_scene.texture[c.row * 256 + c.column] = 77;
        EXPECT_EQ(sphere_texel(s, c.n, c.n), 77) << c.row << "," << c.column;
    }
}

// A ring sphere turned by all three angles shows at its world normal the
// texel of the matching normal in its unrotated frame.
TEST_F(RayCastTest, TextureTurnsWithTheSphere)
{
    ray_scene.angle0 = 0.7f;
    ray_scene.angle2 = 1.1f;
    ray_scene.angle3 = 0.4f;
    animate_ray_scene();
    const Sphere& s = ray_scene.spheres[2];
    const double swing = double(float(RAY_TWO_PI_F * std::cos(1.1)));
    const double n0[3] = {0.3, 0.5, std::sqrt(1 - 0.34)};  // column 165, row 63
    // Forward: about x by angle3, y by the swing, z by angle0.
    double x = n0[0], y = n0[1], z = n0[2], t;
    t = y * std::cos(0.4) - z * std::sin(0.4); z = y * std::sin(0.4) + z * std::cos(0.4); y = t;
    t = x * std::cos(swing) - z * std::sin(swing); z = x * std::sin(swing) + z * std::cos(swing); x = t;
    t = x * std::cos(0.7) - y * std::sin(0.7); y = x * std::sin(0.7) + y * std::cos(0.7); x = t;
    const Vec3 n = {float(x), float(y), float(z)};
    const Vec3 p = {s.position.x + 16 * n.x, s.position.y + 16 * n.y, s.position.z + 16 * n.z};
    memset(ray_scene.texture, 0, sizeof(ray_scene.texture));
    ray_scene.texture[63 * 256 + 165] = 99;
    EXPECT_EQ(sphere_texel(s, p, n), 99);
    // Before any motion the world normal is used as it is.
    init_ray_scene();
    memset(ray_scene.texture, 0, sizeof(ray_scene.texture));
    ray_scene.texture[63 * 256 + 165] = 98;
    EXPECT_EQ(sphere_texel(ray_scene.spheres[2], {0, 0, 0}, {0.3f, 0.5f, 0.81f}), 98);
}

TEST_F(RayCastTest, ReflectVectorMirrorsAboutTheNormal)
{
    const Vec3 r = reflect_vector({0, 1, 0}, {1, -2, 3});
    EXPECT_EQ(r.x, 1.0f);
    EXPECT_EQ(r.y, 2.0f);
    EXPECT_EQ(r.z, 3.0f);
}

// The core alone: its reflection ray skips it and sees nothing, so half the
// texture colour remains, lit by the core's own light factor.
TEST_F(RayCastTest, ReflectionSkipsTheCoreAndMixesInBlack)
{
    world(1);
    sphere(0, {0, 0, 0}, 32, 0);
    ray_scene.materials[0].specular = 0.0f;
    ray_scene.light = {0, 300, 0};
    const Vec3 eye = {10, 100, 0}, down = {0, -1, 0};
    Ray primary = ray(eye, down);
    TraceSample s = trace_ray(&primary);
    ASSERT_EQ(s.hit, 0);
    EXPECT_EQ(s.reflectivity, 0.5f);
    const Rgb unlit = s.colour;
    const float diffuse = s.diffuse;
    add_reflection(&s);
    EXPECT_FLOAT_EQ(s.colour.red, 0.5f * unlit.red * diffuse);
    EXPECT_FLOAT_EQ(s.colour.blue, 0.5f * unlit.blue * diffuse);

    // A reflection ray (allow_reflection 0) on the same surface shades it
    // fully lit instead of leaving it for a mix.
    Ray second = ray(eye, down, -1, 0);
    const TraceSample q = trace_ray(&second);
    EXPECT_FLOAT_EQ(q.colour.red, std::min(255.0f, unlit.red * diffuse));
    EXPECT_EQ(q.reflectivity, 0.5f);  // the material's, whatever the ray
}

// A perfect mirror shows only what its reflection ray meets.
TEST_F(RayCastTest, PerfectMirrorShowsOnlyTheReflectedSphere)
{
    world(2);
    sphere(0, {0, 0, 0}, 32, 0);
    ray_scene.materials[0].reflectivity = 1.0f;
    ray_scene.materials[0].specular = 0.0f;
    ray_scene.light = {0, 300, 0};
    sphere(1, {0, 5000, 0}, 16, 1);  // out of the way
    const Vec3 eye = {10, 100, 0}, down = {0, -1, 0};
    EXPECT_EQ(primary_ray_pixel(eye, down), 0u);

    // Put the ring sphere on the reflected ray.
    Ray primary = ray(eye, down);
    TraceSample s = trace_ray(&primary);
    ASSERT_EQ(s.hit, 0);
    EXPECT_EQ(s.colour.red + s.colour.green + s.colour.blue, 0.0f);
    const Vec3 v = {0, -1, 0};
    const Vec3 r = reflect_vector(s.normal, v);
    sphere(1, {s.point.x + 60 * r.x, s.point.y + 60 * r.y, s.point.z + 60 * r.z}, 16, 1);
    const Ray bounce = ray(s.point, r, 0, 0);
    const TraceSample q = trace_ray(&bounce);
    ASSERT_EQ(q.hit, 1);
    const uint32_t pixel = primary_ray_pixel(eye, down);
    EXPECT_NE(pixel, 0u);
    EXPECT_EQ(pixel >> 16, ray_channel_byte(std::min(255.0f, q.colour.red * s.diffuse)));
    EXPECT_EQ(pixel & 0xFF, ray_channel_byte(std::min(255.0f, q.colour.blue * s.diffuse)));
}

TEST(RayChannel, TruncatesTowardZeroAndHoldsOddValuesInRange)
{
    EXPECT_EQ(ray_channel_byte(254.99f), 254u);
    EXPECT_EQ(ray_channel_byte(255.0f), 255u);
    EXPECT_EQ(ray_channel_byte(0.999f), 0u);
    EXPECT_EQ(ray_channel_byte(-3.5f), 0u);
    EXPECT_EQ(ray_channel_byte(1e30f), 255u);
    EXPECT_EQ(ray_channel_byte(NAN), 0u);
    EXPECT_EQ(texel_coordinate(-0.5f), 0);
    EXPECT_EQ(texel_coordinate(254.9f), 254);
    EXPECT_EQ(texel_coordinate(1e9f), 255);
    EXPECT_EQ(texel_coordinate(NAN), 0);
}

}  // namespace
