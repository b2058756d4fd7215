// timeline_setup.cpp -- the one-time set-up of what the timeline's scenes
// draw from. A file of its own so that the bench and the tests can set up
// as the show does without linking the frame loop and its display.
#include "fx2d/framebuffer.h"
#include "fx2d/scenes.h"
#include "fx2d/tunnel.h"
#include "raytracer/raytracer.h"
#include "assets/assets.h"
#include "runtime/timeline.h"

void prepare_timeline(void)
{
    init_ray_scene();
    init_tunnel_scene();
    for (int x = 0; x < FB_WIDTH; x++)
        for (int y = 0; y < FB_HEIGHT; y++)
            background_map[y * FB_WIDTH + x] =
                background_picture[(y / 2) * BACKGROUND_PICTURE_WIDTH + x / 2];
}
