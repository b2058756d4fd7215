// tunnel.cpp -- placeholder closing scene: a flat frame until the tube lands.
#include "palette/tunnel.h"

#include "fx2d/framebuffer.h"

void init_tunnel_scene(void) {}

void tunnel_scene(int)
{
    for (uint32_t& p : frame_buffer->pixels)
        p = 0x102060;
}
