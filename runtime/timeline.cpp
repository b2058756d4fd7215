// timeline.cpp -- the scene table and the frame loop.
#include "runtime/timeline.h"

#include "fx2d/framebuffer.h"
#include "fx2d/scenes.h"
#include "fx2d/tunnel.h"
#include "raytracer/raytracer.h"
#include "runtime/clock.h"
#include "video/display.h"

const SceneEntry scene_table[SCENE_TABLE_ROWS] = {
    {0, 48000, 0, scene_opening_background, 0, "fade+tausta"},
    {8000, 13000, 1, scene_band_overlay, 1, "auki"},
    {12999, 43000, 2, scene_band_overlay, 2, "tekstipuoltausta"},
    {42999, 48000, 2, scene_band_overlay, 4, "tekstusta"},
    {12999, 43000, 5, scene_scroll_text, 5, "teksti"},
    {42999, 48000, 3, scene_band_overlay, 3, "unfade"},
    {47999, 58000, 4, scene_gradient_background, 4, "tausta"},
    {47999, 58000, 5, scene_points_swarm, 5, "pist"},
    {57999, 138000, 4, raytrace_scene, 4, "raytrace"},
    {57999, 138000, 4, scene_mirrored_picture, 4, "raytausta"},
    {137999, 153000, 8, tunnel_scene, 8, "fade+tausta"},
    {-1, -1, -1, nullptr, -1, "loppu"},
};

int64_t run_scene_passes(const SceneEntry* table, int64_t t0)
{
    int64_t passes = 0;
    bool done = false;
    while (!done) {
        bool none_active = true;
        if (table[0].kind != -1) {
            for (const SceneEntry* row = table; row->kind != -1; row++) {
                // The clock is read anew for each test, so a row late in the
                // table is tested against a later time than an early one.
                if (!(row->start_ms < process_clock_ms() - t0))
                    continue;
                if (!(row->end_ms > process_clock_ms() - t0))
                    continue;
                row->handler(row->argument);
                none_active = false;
            }
        }
        if (none_active)
            done = true;
        // The last pass presents too, showing the previous pixels once more.
        display_present(frame_buffer->pixels);
        passes++;
    }
    return passes;
}

void run_timeline(void)
{
    prepare_timeline();

    // The first pass must see at least 100 ms: row 0 starts strictly after 0.
    int64_t t0 = process_clock_ms();
    while (process_clock_ms() - t0 < 100) {
    }
    run_scene_passes(scene_table, t0);
}
