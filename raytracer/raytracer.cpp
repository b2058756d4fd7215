// raytracer.cpp -- placeholder traced scene: a flat frame until the tracer lands.
#include "raytracer/raytracer.h"

#include "fx2d/framebuffer.h"

void init_ray_scene(void) {}

void raytrace_scene(int)
{
    for (uint32_t& p : frame_buffer->pixels)
        p = 0x306030;
}
