// scenes.h -- the 2D scenes of the show and their shared state.
//
// Each scene is a handler of the scene table (runtime/timeline.h), called
// with its row's argument once per frame pass while its row is active, and
// drawing into `frame_buffer`. Scene variables are process-wide, given their
// first values once by prepare_scenes and never reset; each handler changes
// them by a fixed step per call, so motion follows the frame rate while the
// scene changes follow the clock. Floats are single precision: every change
// is stored back rounded to single. Main thread only; nothing allocates.
//
// Who calls what: the entry calls prepare_scenes once after the start-up
// wait; run_timeline fills background_map in its set-up (prepare_timeline)
// and then calls the handlers. Tests may read and set the variables directly.
#pragma once
#include <cstdint>

#include "palette/palette.h"

// The opening picture enlarged to 320x200; filled by prepare_timeline.
extern uint8_t background_map[320 * 200];
// 320x200 bytes; every byte of row y holds y. Filled by prepare_scenes.
extern uint8_t gradient_map[320 * 200];
// Rebuilt whole by each background scene before use.
extern Palette cycle_palette;

extern float hue_counter;        // 128.0 first; +0.1 per background frame; its
                                 // truncation's low 8 bits are the hue byte
extern float fade_in_level;      // 255.0 first; -0.5 per opening frame while > 0
extern float band_edge;          // 100.0 first; -0.3 per "auki" call while > 50
extern float blend_factor;       // 0.0 first; 0..0.16, weight of the band picture
extern int32_t white_level;      // 0 first; 0..255, brightening of the white fade
extern int32_t scroll_x;         // 0 first; -2 per "teksti" call, pixels
extern int32_t mirror_text_x;    // 0 first; -2 per "raytausta" call, pixels
extern float swarm_phase;        // 0.0 first; +0.01 per swarm point
extern float swarm_text_phase;   // 0.0 first; +0.1 per swarm call, radians

// First values of every scene variable and the gradient byte map. Called
// once by the entry after the start-up wait, before the song starts.
void prepare_scenes(void);

void scene_opening_background(int argument);   // "fade+tausta", 0..48000 ms
void scene_band_overlay(int argument);         // "auki" 1, "tekstipuoltausta" 2, "unfade" 3, "tekstusta" 4
void scene_scroll_text(int argument);          // "teksti"
void scene_gradient_background(int argument);  // "tausta"
void scene_points_swarm(int argument);         // "pist"
void scene_mirrored_picture(int argument);     // "raytausta"

// Blends `picture` (width x height colour indices into `palette`, row after
// row) into the frame at (x, y) with weight `factor`, and stretches each
// row's first and last colours over frame columns 0..79 (weight rising from
// 0 by factor/80) and 240..319 (falling from factor). One pixel at weight w:
// each channel becomes trunc(source * w + frame * (1 - w)) in double
// precision, held to 0..255. Pixels outside the frame are skipped.
void blend_picture(const uint8_t* picture, const uint32_t* palette, float factor,
                   int x, int y, int width, int height);

// The colour-cycling step shared by the background scenes: rebuilds
// cycle_palette from trunc(hue_counter) (saturation and value 128), maps
// `count` bytes of `map` through it into `destination`, then advances
// hue_counter by 0.1.
void scene_map_cycling(const uint8_t* map, uint32_t* destination, int count);

// x - 2, held at the int minimum: the text positions fall without wrapping.
int32_t scene_step_left(int32_t x);

// One point of the swarm: point i at phase p projected to the frame. Returns
// false, leaving *x and *y alone, when the point misses the frame (also when
// a coordinate is not a finite number or leaves the int range).
bool swarm_project_point(int i, float phase, int* x, int* y);
