// mirror.cpp -- 58 to 138 seconds: a colour-cycling picture over the top 50
// rows of the ray-traced frame, the same band turned by half a turn over the
// bottom 50 rows, and a line of text scrolling through the top band.
#include "fx2d/font.h"
#include "fx2d/framebuffer.h"
#include "fx2d/scenes.h"
#include "assets/assets.h"

enum { MIRROR_PIXELS = MIRROR_PICTURE_WIDTH * MIRROR_PICTURE_HEIGHT };  // 16000

// The picture in colour, rebuilt every call.
static uint32_t mirror_buffer[MIRROR_PIXELS];

void scene_mirrored_picture(int)
{
    scene_map_cycling(mirror_picture, mirror_buffer, MIRROR_PIXELS);

    uint32_t* pixels = frame_buffer->pixels;
    for (int i = 0; i < MIRROR_PIXELS; i++)
        pixels[i] = mirror_buffer[i];
    // Rows 150..199 read the buffer backwards: upside down and left to right.
    uint32_t* bottom = pixels + 150 * FB_WIDTH;
    for (int i = 0; i < MIRROR_PIXELS; i++)
        bottom[i] = mirror_buffer[MIRROR_PIXELS - 1 - i];

    // Rows 30..49, inside the top band; drawn after both bands.
    draw_text(mirror_text, mirror_text_x, 30);
    mirror_text_x = scene_step_left(mirror_text_x);
}
