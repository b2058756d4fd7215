// tunnel.cpp -- the closing tube: grid geometry, then 2x2 blocks of
// averaged texture and shade.
#include "fx2d/tunnel.h"

#include <cmath>

#include "fx2d/framebuffer.h"

uint8_t tunnel_texture[256 * 256];
uint8_t tunnel_scroll;
float tunnel_turn0;
float tunnel_turn1;
float tunnel_turn2;
int32_t grid_column[TUNNEL_GRID_POINTS];
int32_t grid_row[TUNNEL_GRID_POINTS];
int32_t grid_shade[TUNNEL_GRID_POINTS];

void init_tunnel_scene(void)
{
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            tunnel_texture[y * 256 + x] = uint8_t(y ^ x);
    tunnel_scroll = 0;
    tunnel_turn0 = 0.0f;
    tunnel_turn1 = 0.0f;
    tunnel_turn2 = 0.0f;
}

static float turn_on(float angle, float step)
{
    angle += step;
    if (angle > 6.283185307179586)
        angle -= 6.2831855f;
    return angle;
}

struct TunnelView {
    float ca, sa, cb, sb, cg, sg;  // cosines and sines of the three swings
    float ca4, sa4;                // 0.4 cos a, 0.4 sin a
};

// One grid point: the view direction for grid row I and column J, turned by
// the swings, hits the tube x^2 + y^2 = 1 seen from the origin.
static void tunnel_grid_point(const TunnelView& v, int column_j, int row_i, int index)
{
    const float x = float(row_i - 50) * 0.02f;
    const float y = float(column_j - 80) * 0.0125f;
    const float x1 = x * v.ca - v.sa4;
    const float z1 = x * v.sa + v.ca4;
    const float y2 = y * v.cb - z1 * v.sb;
    const float z2 = z1 * v.cb + y * v.sb;
    const float x3 = x1 * v.cg + y2 * v.sg;
    const float y3 = y2 * v.cg - x1 * v.sg;

    // On the axis (x3 = y3 = 0) k is infinite and the hit undefined: the
    // point counts as infinitely far, as does any whose numbers overflow.
    const double radius2 = double(x3) * x3 + double(y3) * y3;
    const float k = radius2 > 0.0 ? float(1.0 / std::sqrt(radius2)) : HUGE_VALF;
    const float px = x3 * k;
    const float py = y3 * k;
    const float pz = z2 * k;
    const double distance = std::sqrt(double(pz) * pz + double(px) * px + double(py) * py);
    // 25.6 in single precision; the distance is at least 1, so at most 230.
    const double shade = (10.0 - distance) * double(25.6f);
    // Far points keep a fixed low shade and never show; this also keeps the
    // truncations below inside the int range (|pz| < 50 here). NaN fails too.
    if (!(shade > double(TUNNEL_FAR_SHADE))) {
        grid_shade[index] = TUNNEL_FAR_SHADE;
        grid_column[index] = 0;
        grid_row[index] = tunnel_scroll;
        return;
    }
    grid_shade[index] = int32_t(shade);
    grid_column[index] = std::abs(int32_t(255.0f * py));
    grid_row[index] = tunnel_scroll + int32_t(64.0f * pz);
}

// A pixel from a shade and texture coordinates: blue at v, green at v/2,
// red at v/4. Not written at all when the shade is 0 or less.
static inline void tunnel_pixel(uint32_t* pixel, int32_t shade, int32_t column, int32_t row)
{
    if (shade <= 0)
        return;
    const uint32_t texel = tunnel_texture[(row & 255) * 256 + (column & 255)];
    uint32_t v = (texel * uint32_t(shade)) >> 8;
    if (v > 255)
        v = 255;
    *pixel = (v >> 2) << 16 | (v >> 1) << 8 | v;
}

void tunnel_scene(int)
{
    // The state moves on before it is used: the first frame has scroll 8.
    tunnel_scroll = uint8_t(tunnel_scroll + 8);
    tunnel_turn0 = turn_on(tunnel_turn0, 0.013523523f);
    tunnel_turn1 = turn_on(tunnel_turn1, 0.024356324f);
    tunnel_turn2 = turn_on(tunnel_turn2, 0.034521367f);

    // 0.3f times pi: each swing stays within about 54 degrees.
    const double a = 0.9424778335276408 * std::sin(double(tunnel_turn0));
    const double b = 0.9424778335276408 * std::sin(double(tunnel_turn1));
    const double g = 0.9424778335276408 * std::sin(double(tunnel_turn2));
    TunnelView view;
    view.ca = float(std::cos(a));
    view.sa = float(std::sin(a));
    view.cb = float(std::cos(b));
    view.sb = float(std::sin(b));
    view.cg = float(std::cos(g));
    view.sg = float(std::sin(g));
    view.ca4 = float(0.4 * std::cos(a));
    view.sa4 = float(0.4 * std::sin(a));

    for (int j = 0; j < TUNNEL_GRID_COLUMNS; j++)
        for (int i = 0; i < TUNNEL_GRID_ROWS; i++)
            tunnel_grid_point(view, j, i, j * TUNNEL_GRID_ROWS + i);

    // 2x2 blocks: the top left pixel from its grid point alone, the others
    // from that point paired with the one to the right, below, or diagonal.
    // Shades average with truncation toward zero, texture coordinates with
    // arithmetic shifts (toward minus infinity).
    uint32_t* pixels = frame_buffer->pixels;
    for (int q = 0; q < 160; q++) {
        for (int p = 0; p < 100; p++) {
            const int n = q * TUNNEL_GRID_ROWS + p;
            const int right = n + TUNNEL_GRID_ROWS;
            const int below = n + 1;
            const int diagonal = right + 1;
            uint32_t* top = pixels + (2 * p) * FB_WIDTH + 2 * q;
            uint32_t* under = top + FB_WIDTH;
            tunnel_pixel(&top[0], grid_shade[n], grid_column[n], grid_row[n]);
            tunnel_pixel(&top[1], (grid_shade[n] + grid_shade[right]) / 2,
                         (grid_column[n] + grid_column[right]) >> 1,
                         (grid_row[n] + grid_row[right]) >> 1);
            tunnel_pixel(&under[0], (grid_shade[n] + grid_shade[below]) / 2,
                         (grid_column[n] + grid_column[below]) >> 1,
                         (grid_row[n] + grid_row[below]) >> 1);
            tunnel_pixel(&under[1], (grid_shade[n] + grid_shade[diagonal]) / 2,
                         (grid_column[n] + grid_column[diagonal]) >> 1,
                         (grid_row[n] + grid_row[diagonal]) >> 1);
        }
    }
}
