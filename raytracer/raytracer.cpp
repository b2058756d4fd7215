// raytracer.cpp -- the traced frame, the sideways smear and the scene handler.
#include "raytracer/raytracer.h"

#include <cmath>
#include <cstring>

#include "fx2d/framebuffer.h"

uint32_t ray_picture[FB_PIXELS];
int32_t smear_countdown;

// The camera's tilt of -pi/4 and its projection: distance 128, centre
// column 160, centre band row 49.
static const double CAMERA_TILT = -0.7853981633974483;

struct Camera {
    float cos_tilt, sin_tilt;  // cos, sin of the tilt, as floats
    float far_cos, far_sin;    // -128 cos, -128 sin of the tilt, as floats
};

static Camera camera_constants(void)
{
    Camera c;
    c.cos_tilt = float(std::cos(CAMERA_TILT));
    c.sin_tilt = float(std::sin(CAMERA_TILT));
    c.far_cos = -128.0f * c.cos_tilt;
    c.far_sin = -128.0f * c.sin_tilt;
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

void trace_frame(void)
{
    const Camera cam = camera_constants();
    const Vec3 eye = {RAY_EYE_X, RAY_EYE_Y, RAY_EYE_Z};
    for (int x = 0; x < FB_WIDTH; x++)
        for (int i = 0; i < RAY_BAND_ROWS; i++)
            ray_picture[(RAY_BAND_FIRST_ROW + i) * FB_WIDTH + x] =
                primary_ray_pixel(eye, camera_direction(cam, x, i));
}

void smear_band(const uint32_t* source, uint32_t* destination, int n)
{
    for (int x = 0; x < FB_WIDTH; x++) {
        for (int y = RAY_BAND_FIRST_ROW; y < RAY_BAND_FIRST_ROW + 100; y++) {
            uint32_t r = 0, g = 0, b = 0, count = 0;
            for (int k = 0; k < n; k++) {
                const int c = x - n + 2 * k;
                if (c < 0 || c >= FB_WIDTH)
                    continue;
                const uint32_t p = source[y * FB_WIDTH + c];
                r += (p >> 16) & 0xFF;
                g += (p >> 8) & 0xFF;
                b += p & 0xFF;
                count++;
            }
            destination[y * FB_WIDTH + x] =
                count ? ((r / count) << 16) | ((g / count) << 8) | (b / count) : 0;
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
