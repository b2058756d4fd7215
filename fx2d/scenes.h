// scenes.h -- the 2D scenes of the show and their shared state.
//
// Each scene is a handler of the scene table (runtime/timeline.h), called
// with its row's argument once per frame pass while its row is active, and
// drawing into `frame_buffer`. Scene variables are process-wide, given their
// first values once by prepare_scenes and never reset; each handler changes
// them by a fixed step per call, so motion follows the frame rate while the
// scene changes follow the clock. Main thread only.
#pragma once
#include <cstdint>

// The opening picture enlarged to 320x200; filled by run_timeline's set-up.
extern uint8_t background_map[320 * 200];

// First values of every scene variable and the gradient byte map. Called
// once by the entry after the start-up wait, before the song starts.
void prepare_scenes(void);

void scene_opening_background(int argument);   // "fade+tausta", 0..48000 ms
void scene_band_overlay(int argument);         // "auki" 1, "tekstipuoltausta" 2, "unfade" 3, "tekstusta" 4
void scene_scroll_text(int argument);          // "teksti"
void scene_gradient_background(int argument);  // "tausta"
void scene_points_swarm(int argument);         // "pist"
void scene_mirrored_picture(int argument);     // "raytausta"
