// scenes.cpp -- placeholder scenes: each paints a flat frame until the real
// scene replaces it.
#include "fx2d/scenes.h"

#include "fx2d/framebuffer.h"

uint8_t background_map[320 * 200];

void prepare_scenes(void) {}

static void fill(uint32_t colour)
{
    for (uint32_t& p : frame_buffer->pixels)
        p = colour;
}

void scene_opening_background(int) { fill(0x203040); }
void scene_band_overlay(int) {}
void scene_scroll_text(int) {}
void scene_gradient_background(int) { fill(0x404020); }
void scene_points_swarm(int) {}
void scene_mirrored_picture(int) {}
