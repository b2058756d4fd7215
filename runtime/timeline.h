// timeline.h -- the scene time table and the frame loop.
//
// The show is a fixed table of scene rows, each active while the elapsed
// time lies strictly inside its window. Every pass of the frame loop calls,
// in table order, the handler of each active row (later rows draw over
// earlier ones in the one frame buffer), then presents the frame. The loop
// ends after the first pass in which no row was active; that pass presents
// too. Called by the entry on the main thread.
#pragma once
#include <cstdint>

using SceneHandler = void (*)(int argument);

struct SceneEntry {
    int32_t start_ms;      // active only when elapsed > start_ms
    int32_t end_ms;        // active only when elapsed < end_ms
    int32_t kind;          // -1 marks the terminator row; read for nothing else
    SceneHandler handler;  // the scene to run; null in the terminator
    int32_t argument;      // passed to handler on every call
    const char* name;      // the row's name; never read by the program
};

enum { SCENE_TABLE_ROWS = 12 };  // eleven scenes and the terminator

// The show's table. Its windows cover 1..152999 ms without a gap.
extern const SceneEntry scene_table[SCENE_TABLE_ROWS];

// Runs frame passes over `table` against the time base t0 (a process clock
// value) until a pass finds no active row. Returns the number of passes,
// including the last one. Every pass presents the frame buffer.
int64_t run_scene_passes(const SceneEntry* table, int64_t t0);

// One-time set-up of what the scenes draw from: the ray tracer's world,
// the tube's texture and swings, and background_map (the opening picture
// enlarged to 320x200). The scene variables' first values are
// prepare_scenes' (fx2d/scenes.h); tests and the bench call both, in that
// order, to start as the show does.
void prepare_timeline(void);

// The show's frame loop: prepare_timeline, the 100 ms wait from the time
// base, then run_scene_passes over scene_table.
void run_timeline(void);
