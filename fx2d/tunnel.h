// tunnel.h -- the closing scene: a flight down an XOR-textured tube.
//
// The view geometry is worked out on a coarse grid of 161 x 101 points, one
// for every second pixel each way; the pixels between take averaged values.
// The wall is bright blue near the eye and fades to black in the distance;
// pixels whose shade is not positive are not written and keep what the frame
// held. Called by run_timeline on the main thread: init_tunnel_scene once in
// its set-up, tunnel_scene as the handler of the last scene row. All state is
// static; nothing allocates. Tests may read and set the state.
#pragma once
#include <cstdint>

enum {
    TUNNEL_GRID_COLUMNS = 161,  // grid column J covers screen column 2J
    TUNNEL_GRID_ROWS = 101,     // grid row I covers screen row 2I
    TUNNEL_GRID_POINTS = TUNNEL_GRID_COLUMNS * TUNNEL_GRID_ROWS,
};

extern uint8_t tunnel_texture[256 * 256];  // texel (y, x) at y * 256 + x: y XOR x
extern uint8_t tunnel_scroll;              // texture row offset; +8 per frame, wraps
extern float tunnel_turn0;                 // radians, 0..2pi; +0.013523523 per frame
extern float tunnel_turn1;                 // radians, 0..2pi; +0.024356324 per frame
extern float tunnel_turn2;                 // radians, 0..2pi; +0.034521367 per frame
// Per grid point, at J * 101 + I (J-major): texture column 0..255, texture
// row before reduction to 8 bits, and brightness (at most 230; not positive
// from distance 10 on; far points are held at TUNNEL_FAR_SHADE).
extern int32_t grid_column[TUNNEL_GRID_POINTS];
extern int32_t grid_row[TUNNEL_GRID_POINTS];
extern int32_t grid_shade[TUNNEL_GRID_POINTS];

// The shade of a point too far to matter (also of one straight down the
// axis, which has no hit): low enough that any pair it is averaged into has
// a shade of 0 or less, so its texture coordinates are never read.
enum { TUNNEL_FAR_SHADE = -1024 };

// Fills the texture and sets the scroll and the three angles to 0.
void init_tunnel_scene(void);
// Scene handler "fade+tausta" (138000..153000 ms); argument ignored.
void tunnel_scene(int argument);
