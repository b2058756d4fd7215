// tunnel.h -- the closing scene: a flight down an XOR-textured tube.
// Main thread only.
#pragma once

// One-time set-up of the tube's grids; called by run_timeline's set-up.
void init_tunnel_scene(void);
// Scene handler "fade+tausta" (138000..153000 ms); argument ignored.
void tunnel_scene(int argument);
