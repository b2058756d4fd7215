// raytracer.cpp -- the traced frame, the sideways smear and the scene handler.
//
// trace_frame gives exactly the pixels of primary_ray_pixel (ray_cast.cpp)
// for every camera ray, but does once per frame what does not change within
// it, and leaves out work that cannot change a pixel:
// - the primary rays share their origin, so each sphere's offset from the
//   eye and |offset|^2 - r^2 are formed once per frame;
// - a sphere is tested only in the columns whose plane of rays passes within
//   its radius (plus a margin far above float rounding): elsewhere the
//   reference test would find a negative discriminant anyway;
// - a shadow ray from sphere h is tested only against the spheres that can
//   lie between any point of h and the light (again with a wide margin), and
//   stops at the first blocker, since any blocker within the light's
//   distance puts the point in shadow;
// - the highlight's power is skipped where it is certain to underflow to 0.
// The arithmetic itself is shared with the reference code (ray_math.h), and
// the tests hold both to the same pixels.
#include "raytracer/raytracer.h"

#include <cmath>
#include <cstring>

#include "fx2d/framebuffer.h"
#include "raytracer/ray_math.h"

uint32_t ray_picture[FB_PIXELS];
int32_t smear_countdown;

// The camera's tilt of -pi/4 and its projection: distance 128, centre
// column 160, centre band row 49.
static const double CAMERA_TILT = -0.7853981633974483;
static const float PROJECTION = 128.0f;

// Widening of a sphere in the per-frame visibility tests, in world units
// and radians. Float rounding in the reference test moves an edge by well
// under a thousandth of a unit.
static const double CULL_MARGIN = 0.5;
static const double CULL_ANGLE_MARGIN = 0.01;

struct Camera {
    float cos_tilt, sin_tilt;  // cos, sin of the tilt, as floats
    float far_cos, far_sin;    // -128 cos, -128 sin of the tilt, as floats
};

static Camera camera_constants(void)
{
    Camera c;
    c.cos_tilt = float(std::cos(CAMERA_TILT));
    c.sin_tilt = float(std::sin(CAMERA_TILT));
    c.far_cos = -PROJECTION * c.cos_tilt;
    c.far_sin = -PROJECTION * c.sin_tilt;
    return c;
}

static inline Vec3 camera_direction(const Camera& c, int x, int i)
{
    // (x - 160, 49 - i, -128) turned about the x axis by the tilt.
    const float row = float(49 - i);
    return {float(x - 160), row * c.cos_tilt - c.far_sin, row * c.sin_tilt + c.far_cos};
}

Vec3 camera_ray_direction(int x, int i)
{
    return camera_direction(camera_constants(), x, i);
}

// What one frame's rays share, rebuilt at the start of every trace_frame.
struct FrameSphere {
    Vec3 eye_offset;  // eye - position, the primary rays' D
    float eye_m;      // |eye_offset|^2 - radius^2
    float radius_sq;  // radius^2
};

struct FrameSetup {
    Vec3 ray_yz[RAY_BAND_ROWS];                 // y and z of the direction per band row (x unused)
    FrameSphere spheres[RAY_MAX_SPHERES];
    uint8_t column_spheres[FB_WIDTH][RAY_MAX_SPHERES];  // spheres a column may hit, index order
    uint8_t column_count[FB_WIDTH];
    uint8_t casters[RAY_MAX_SPHERES][RAY_MAX_SPHERES];  // spheres that may shadow sphere h
    uint8_t caster_count[RAY_MAX_SPHERES];
    float pow_floor[RAY_MATERIALS];  // highlight base below which pow gives exactly 0
};

static FrameSetup frame;

// The float next below f towards 0, as nextafter(f, 0.0f) gives it, for f
// zero or up: the bit pattern of a non-negative float counts upwards.
// (The Windows build's C library brings 0.2 KB of code for nextafter.)
static float float_below(float f)
{
    uint32_t bits;
    memcpy(&bits, &f, sizeof bits);
    bits -= bits != 0;
    memcpy(&f, &bits, sizeof f);
    return f;
}

static void prepare_frame(const Camera& cam)
{
    const RayScene& w = ray_scene;
    const Vec3 eye = {RAY_EYE_X, RAY_EYE_Y, RAY_EYE_Z};
    for (int i = 0; i < RAY_BAND_ROWS; i++)
        frame.ray_yz[i] = camera_direction(cam, 0, i);

    for (int k = 0; k < w.sphere_count; k++) {
        const Sphere& s = w.spheres[k];
        FrameSphere& f = frame.spheres[k];
        f.eye_offset = {eye.x - s.position.x, eye.y - s.position.y, eye.z - s.position.z};
        f.radius_sq = s.radius * s.radius;
        f.eye_m = ray_dot(f.eye_offset, f.eye_offset) - f.radius_sq;
    }

    // Columns: the rays of column x span the plane through the eye that
    // holds the camera's y axis and (x - 160, 0, -128) in camera space. A
    // sphere farther from that plane than its radius is missed by them all.
    const double ct = std::cos(CAMERA_TILT), st = std::sin(CAMERA_TILT);
    double cam_x[RAY_MAX_SPHERES], cam_z[RAY_MAX_SPHERES], reach[RAY_MAX_SPHERES];
    for (int k = 0; k < w.sphere_count; k++) {
        const Sphere& s = w.spheres[k];
        const double wy = double(s.position.y) - eye.y, wz = double(s.position.z) - eye.z;
        cam_x[k] = double(s.position.x) - eye.x;
        cam_z[k] = -wy * st + wz * ct;  // world = camera turned by the tilt about x
        reach[k] = double(s.radius) + CULL_MARGIN;
    }
    for (int x = 0; x < FB_WIDTH; x++) {
        const double dx = x - 160.0;
        const double norm = std::sqrt(double(PROJECTION) * PROJECTION + dx * dx);
        int n = 0;
        for (int k = 0; k < w.sphere_count; k++) {
            const double distance = std::fabs(PROJECTION * cam_x[k] + dx * cam_z[k]) / norm;
            if (!(distance > reach[k]))
                frame.column_spheres[x][n++] = uint8_t(k);
        }
        frame.column_count[x] = uint8_t(n);
    }

    // Shadows: every segment from a point of sphere h to the light lies in
    // the cone from the light around h; a sphere k outside that cone never
    // blocks it. Cones are compared by their axes' angle from the light.
    for (int h = 0; h < w.sphere_count; h++) {
        int n = 0;
        const Sphere& sh = w.spheres[h];
        const double hx = double(sh.position.x) - w.light.x, hy = double(sh.position.y) - w.light.y,
                     hz = double(sh.position.z) - w.light.z;
        const double dh = std::sqrt(hx * hx + hy * hy + hz * hz);
        for (int k = 0; k < w.sphere_count; k++) {
            if (k == h)
                continue;
            const Sphere& sk = w.spheres[k];
            const double kx = double(sk.position.x) - w.light.x,
                         ky = double(sk.position.y) - w.light.y,
                         kz = double(sk.position.z) - w.light.z;
            const double dk = std::sqrt(kx * kx + ky * ky + kz * kz);
            const double rh = double(sh.radius) + CULL_MARGIN, rk = double(sk.radius) + CULL_MARGIN;
            bool may_block = true;
            if (dh > rh && dk > rk) {
                double c = (hx * kx + hy * ky + hz * kz) / (dh * dk);
                c = c > 1.0 ? 1.0 : (c < -1.0 ? -1.0 : c);
                const double apart = std::acos(c);
                may_block = apart <= std::asin(rh / dh) + std::asin(rk / dk) + CULL_ANGLE_MARGIN;
            }
            if (may_block)
                frame.casters[h][n++] = uint8_t(k);
        }
        frame.caster_count[h] = uint8_t(n);
    }

    // pow(e, p) < 2^-160 for e < 2^(-160 / p): far below half the smallest
    // float, so the reference's pow returns exactly 0 there.
    for (int m = 0; m < RAY_MATERIALS; m++) {
        const float p = w.materials[m].shininess;
        float lowest = 0.0f;
        if (p > 0.0f)
            lowest = float_below(float(std::exp2(-160.0 / double(p))));
        frame.pow_floor[m] = lowest;
    }
}

// shade() of ray_cast.cpp, with the shadow ray tested only against the
// spheres that may block it and stopped at the first blocker.
static void frame_shade(TraceSample* sample)
{
    const RayScene& w = ray_scene;
    const Material& m = w.materials[sample->material];
    sample->specular = 0.0f;

    Vec3 l = {w.light.x - sample->point.x, w.light.y - sample->point.y,
              w.light.z - sample->point.z};
    const float dist = std::sqrt(ray_dot(l, l));
    l.x /= dist;
    l.y /= dist;
    l.z /= dist;

    // The reference is in shadow when the nearest blocker's t (64000 if
    // none) is <= dist; that is when any blocker ahead has t <= dist.
    bool in_shadow = RAY_NO_HIT_T <= dist;
    const float a = ray_dot(l, l);
    const int h = sample->hit;
    for (int c = 0; c < frame.caster_count[h] && !in_shadow; c++) {
        const int k = frame.casters[h][c];
        const Sphere& s = w.spheres[k];
        const Vec3 o = {sample->point.x - s.position.x, sample->point.y - s.position.y,
                        sample->point.z - s.position.z};
        float t;
        if (sphere_distance(a, 2.0f * ray_dot(o, l), ray_dot(o, o) - frame.spheres[k].radius_sq, &t))
            in_shadow = t >= 0.0f && t < RAY_NO_HIT_T && t <= dist;
    }
    if (!in_shadow) {
        const float d = ray_dot(l, sample->normal);
        sample->diffuse = d * m.diffuse;
        if (sample->diffuse < 0.0f)
            sample->diffuse = 0.0f;
        if (m.specular > 0.0f && m.shininess > 0.0f) {
            const Vec3 r = {l.x - 2.0f * d * sample->normal.x,
                            l.y - 2.0f * d * sample->normal.y,
                            l.z - 2.0f * d * sample->normal.z};
            if (!sample->view_normalised)
                normalise_view(sample);
            const float e = ray_dot(r, sample->view);
            if (e > 0.0f && !(e < frame.pow_floor[sample->material]))
                sample->specular = std::pow(e, m.shininess) * m.specular;
        }
    }
    sample->diffuse = m.ambient + sample->diffuse;
}

// trace_ray() for a ray whose nearest hit (sphere `hit` at `t`) is known.
static void frame_hit_sample(Vec3 origin, Vec3 direction, float t, int hit,
                             int allow_reflection, TraceSample* out)
{
    const Sphere& s = ray_scene.spheres[hit];
    const Material& m = ray_scene.materials[s.material];
    *out = TraceSample{};
    out->hit = hit;
    out->point = {origin.x + t * direction.x, origin.y + t * direction.y,
                  origin.z + t * direction.z};
    out->view = direction;
    out->normal = {(out->point.x - s.position.x) / s.radius,
                   (out->point.y - s.position.y) / s.radius,
                   (out->point.z - s.position.z) / s.radius};
    out->material = s.material;
    out->reflectivity = allow_reflection ? m.reflectivity : 0.0f;
    frame_shade(out);
    surface_colour(s, m, out);
}

// add_reflection() of ray_cast.cpp.
static void frame_add_reflection(TraceSample* sample)
{
    const RayScene& w = ray_scene;
    if (!sample->view_normalised)
        normalise_view(sample);
    const Vec3 d = ray_reflect(sample->normal, sample->view);
    const Vec3 origin = sample->point;
    const float a = ray_dot(d, d);
    float best_t = RAY_NO_HIT_T;
    int best = -1;
    for (int k = 0; k < w.sphere_count; k++) {
        if (k == sample->hit)
            continue;
        const Sphere& s = w.spheres[k];
        const Vec3 o = {origin.x - s.position.x, origin.y - s.position.y,
                        origin.z - s.position.z};
        float t;
        if (sphere_distance(a, 2.0f * ray_dot(o, d), ray_dot(o, o) - frame.spheres[k].radius_sq, &t) &&
            t >= 0.0f && t < best_t) {
            best_t = t;
            best = k;
        }
    }
    TraceSample q = {};
    if (best >= 0)
        frame_hit_sample(origin, d, best_t, best, 0, &q);
    mix_reflection(sample, q);
}

void trace_frame(void)
{
    const RayScene& w = ray_scene;
    const Camera cam = camera_constants();
    prepare_frame(cam);
    const Vec3 eye = {RAY_EYE_X, RAY_EYE_Y, RAY_EYE_Z};
    for (int x = 0; x < FB_WIDTH; x++) {
        const float dx = float(x - 160);
        const int count = frame.column_count[x];
        const uint8_t* candidates = frame.column_spheres[x];
        uint32_t* out = ray_picture + RAY_BAND_FIRST_ROW * FB_WIDTH + x;
        for (int i = 0; i < RAY_BAND_ROWS; i++, out += FB_WIDTH) {
            const Vec3 dir = {dx, frame.ray_yz[i].y, frame.ray_yz[i].z};
            const float a = ray_dot(dir, dir);
            float best_t = RAY_NO_HIT_T;
            int best = -1;
            for (int c = 0; c < count; c++) {
                const int k = candidates[c];
                const FrameSphere& f = frame.spheres[k];
                float t;
                if (sphere_distance(a, 2.0f * ray_dot(f.eye_offset, dir), f.eye_m, &t) &&
                    t >= 0.0f && t < best_t) {
                    best_t = t;
                    best = k;
                }
            }
            if (best < 0) {
                *out = 0;
                continue;
            }
            TraceSample s;
            frame_hit_sample(eye, dir, best_t, best, 1, &s);
            if (w.materials[s.material].reflectivity > 0.0f)
                frame_add_reflection(&s);
            *out = pack_colour(s.colour);
        }
    }
}

// quotient[d] = ceil(2^24 / d): (s * quotient[d]) >> 24 == s / d for every
// channel sum s of up to 160 pixels (the error stays below 1 / d).
struct SmearDivisors {
    uint32_t m[161];
};

static constexpr SmearDivisors smear_divisors(void)
{
    SmearDivisors d = {};
    for (uint32_t i = 1; i <= 160; i++)
        d.m[i] = ((1u << 24) + i - 1) / i;
    return d;
}

void smear_band(const uint32_t* source, uint32_t* destination, int n)
{
    static constexpr SmearDivisors divide = smear_divisors();
    // Wider than the row changes nothing: the columns are cut off anyway.
    if (n > 2 * FB_WIDTH)
        n = 2 * FB_WIDTH;
    for (int y = RAY_BAND_FIRST_ROW; y < RAY_BAND_FIRST_ROW + 100; y++) {
        const uint32_t* row = source + y * FB_WIDTH;
        uint32_t* to = destination + y * FB_WIDTH;
        if (n <= 0) {
            memset(to, 0, FB_WIDTH * sizeof(uint32_t));
            continue;
        }
        // Running sums over every second column, the three channels packed
        // 21 bits apart (at most 160 * 255 each, so no carries).
        uint64_t sums[FB_WIDTH];
        for (int c = 0; c < FB_WIDTH; c++) {
            const uint32_t p = row[c];
            const uint64_t packed = (uint64_t((p >> 16) & 0xFF) << 42) |
                                    (uint64_t((p >> 8) & 0xFF) << 21) | (p & 0xFF);
            sums[c] = packed + (c >= 2 ? sums[c - 2] : 0);
        }
        for (int x = 0; x < FB_WIDTH; x++) {
            // Columns x - n, x - n + 2, ..., x + n - 2, kept within the row.
            int first = x - n, last = x + n - 2;
            if (first < 0)
                first &= 1;
            if (last > FB_WIDTH - 1)
                last = FB_WIDTH - 2 + (last & 1);
            if (last < first) {
                to[x] = 0;
                continue;
            }
            const uint64_t sum = sums[last] - (first >= 2 ? sums[first - 2] : 0);
            const uint64_t m = divide.m[(last - first) / 2 + 1];
            const uint32_t r = uint32_t((((sum >> 42) & 0x1FFFFF) * m) >> 24);
            const uint32_t g = uint32_t((((sum >> 21) & 0x1FFFFF) * m) >> 24);
            const uint32_t b = uint32_t(((sum & 0x1FFFFF) * m) >> 24);
            to[x] = (r << 16) | (g << 8) | b;
        }
    }
}

void raytrace_scene(int)
{
    animate_ray_scene();
    trace_frame();
    smear_countdown--;
    if (smear_countdown < -RAY_SMEAR_SHARP) {
        smear_countdown = RAY_SMEAR_MAX;
        smear_band(ray_picture, frame_buffer->pixels, RAY_SMEAR_MAX);
    } else if (smear_countdown > 0) {
        smear_band(ray_picture, frame_buffer->pixels, smear_countdown);
    } else {
        memcpy(frame_buffer->pixels, ray_picture, sizeof(ray_picture));
    }
}
