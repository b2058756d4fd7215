// scenes.cpp -- the scene variables shared by the 2D scenes, and their first values.
#include "fx2d/scenes.h"

#include "fx2d/framebuffer.h"

uint8_t background_map[320 * 200];
uint8_t gradient_map[320 * 200];
Palette cycle_palette;

// Also given their first values here, so that a scene run before
// prepare_scenes still draws its band inside the frame.
float hue_counter = 128.0f;
float fade_in_level = 255.0f;
float band_edge = 100.0f;
float blend_factor = 0.0f;
int32_t white_level = 0;
int32_t scroll_x = 0;
int32_t mirror_text_x = 0;
float swarm_phase = 0.0f;
float swarm_text_phase = 0.0f;

void prepare_scenes(void)
{
    hue_counter = 128.0f;
    fade_in_level = 255.0f;
    band_edge = 100.0f;
    blend_factor = 0.0f;
    white_level = 0;
    scroll_x = 0;
    mirror_text_x = 0;
    swarm_phase = 0.0f;
    swarm_text_phase = 0.0f;
    for (int y = 0; y < FB_HEIGHT; y++)
        for (int x = 0; x < FB_WIDTH; x++)
            gradient_map[y * FB_WIDTH + x] = uint8_t(y);
}

void scene_map_cycling(const uint8_t* map, uint32_t* destination, int count)
{
    // The counter stops growing near 2^21, where 0.1 no longer moves a
    // float, so its truncation always fits an int.
    build_cycling_palette(int(hue_counter), 128, 128, &cycle_palette);
    map_through_palette(map, destination, cycle_palette.colours, count);
    hue_counter += 0.1f;
}

int32_t scene_step_left(int32_t x)
{
    return x >= INT32_MIN + 2 ? x - 2 : INT32_MIN;
}
