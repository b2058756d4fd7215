// swarm.cpp -- 48 to 58 seconds: a colour-cycling vertical gradient, ten
// thousand bright points on a looping 3D curve, and a swinging line of text.
#include <cmath>

#include "fx2d/font.h"
#include "fx2d/framebuffer.h"
#include "fx2d/scenes.h"
#include "assets/assets.h"

enum { SWARM_POINTS = 10000 };

void scene_gradient_background(int)
{
    // Row y takes palette entry y: black at the top, the hue's colour at
    // row 128, a light tint at the bottom.
    scene_map_cycling(gradient_map, frame_buffer->pixels, FB_PIXELS);
}

// The curve (10 sin, 10 cos, 10 sin at three rates) projected with focal
// length 64 onto the centre (160, 100); Z is the depth, stored as a float.
// Everything else is double precision in the order written. A point with Z
// near 0 lands far off (or at an infinite or undefined place when Z is 0):
// such coordinates are tested as doubles and never converted, so the test
// "-1 < v < limit" (truncation toward zero keeps (-1, 0) on the frame) also
// rejects NaN, infinities and anything outside the int range.
bool swarm_project_point(int i, float phase, int* x, int* y)
{
    const double p = phase;
    const double di = i;
    const float z = float(std::sin((di + p * 1.02) * 0.03333333333333333) * 10.0);
    const double fy = std::cos((di + p * 1.03) * 0.05) * 10.0 * 64.0 / z + 100.0;
    if (!(fy > -1.0 && fy < double(FB_HEIGHT)))
        return false;
    const double fx = std::sin((di + p) * 0.1) * 10.0 * 64.0 / z + 160.0;
    if (!(fx > -1.0 && fx < double(FB_WIDTH)))
        return false;
    *x = int(fx);
    *y = int(fy);
    return true;
}

void scene_points_swarm(int)
{
    // Fade from white by the level before its decrease.
    if (white_level != 0) {
        const int level = white_level;
        white_level = level - 1;
        fb_brighten(level);
    }

    // The phase moves on by 0.01 per point, each step rounded to single
    // precision; from 262144.0 on the step is lost and the swarm stands still.
    float phase = swarm_phase;
    for (int i = 0; i < SWARM_POINTS; i++) {
        int x, y;
        if (swarm_project_point(i, phase, &x, &y))
            fb_brighten_point(x, y);
        phase += 0.01f;
    }
    swarm_phase = phase;

    // The text's left end swings between -150 and 130.
    const int text_x = int(std::sin(double(swarm_text_phase)) * 140.0 - 10.0);
    draw_text(swarm_text, text_x, 150);
    swarm_text_phase += 0.1f;
}
