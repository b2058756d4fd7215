// bench_passes.cpp -- the scenes' frame passes timed natively and in a browser.
#include "bench/bench_passes.h"

#include "fx2d/framebuffer.h"
#include "fx2d/scenes.h"
#include "fx2d/tunnel.h"
#include "raytracer/raytracer.h"
#include "runtime/timeline.h"

namespace {

// The swarm starts from the white fade, its phase from 0.
void prepare_swarm(void)
{
    prepare_scenes();
    white_level = 255;
}

// The other passes go on from where the pass before left the scenes, as
// in the show: the opening's later spans with the fade-in done and the
// band open.
void keep_state(void) {}

}  // namespace

const BenchPass bench_passes[] = {
    {"opening 8-13 s", 10000, prepare_scenes,
     {{scene_opening_background, 0}, {scene_band_overlay, 1}, {nullptr, 0}}},
    {"opening 13-43 s", 20000, keep_state,
     {{scene_opening_background, 0}, {scene_band_overlay, 2}, {scene_scroll_text, 5}}},
    {"opening 43-48 s", 45000, keep_state,
     {{scene_opening_background, 0}, {scene_band_overlay, 4}, {scene_band_overlay, 3}}},
    {"swarm", 50000, prepare_swarm,
     {{scene_gradient_background, 4}, {scene_points_swarm, 5}, {nullptr, 0}}},
    {"raytracer", 100000, keep_state,
     {{raytrace_scene, 4}, {scene_mirrored_picture, 4}, {nullptr, 0}}},
    {"tube", 145000, keep_state, {{tunnel_scene, 8}, {nullptr, 0}, {nullptr, 0}}},
};
const int bench_pass_count = int(sizeof bench_passes / sizeof bench_passes[0]);

void bench_passes_setup(FrameBuffer* fb)
{
    frame_buffer = fb;
    prepare_scenes();
    prepare_timeline();
}

static void run_batch(const BenchPass& pass, int count)
{
    for (int f = 0; f < count; f++)
        for (const BenchPassRow& row : pass.rows) {
            if (!row.handler)
                break;
            row.handler(row.argument);
        }
}

void bench_time_pass(const BenchPass& pass, int batches, int per_batch, double (*now_ms)(void),
                     double* samples_ms)
{
    pass.prepare();
    run_batch(pass, per_batch);
    for (int b = 0; b < batches; b++) {
        const double t0 = now_ms();
        run_batch(pass, per_batch);
        samples_ms[b] = (now_ms() - t0) / per_batch;
    }
}
