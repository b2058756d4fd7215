// bench_scenes.cpp -- time per call of every 2D scene handler and the tube,
// and of whole passes of the rows that run together.
#include <string>
#include <vector>

#include "bench/bench.h"
#include "fx2d/framebuffer.h"
#include "fx2d/scenes.h"
#include "fx2d/tunnel.h"
#include "runtime/timeline.h"

namespace {

using Handler = void (*)(int);
struct Row {
    Handler handler;
    int argument;
};

// Times `frames` passes of `rows` (in order, as the frame loop calls them):
// wall-clock per pass, and the thread's processor time when `cpu` is set.
void time_passes(const char* what, std::initializer_list<Row> rows, int frames, bool cpu)
{
    std::vector<double> wall, thread;
    for (int f = 0; f < frames; f++) {
        const double t0 = bench_now_ms(), c0 = bench_thread_cpu_ms();
        for (const Row& r : rows)
            r.handler(r.argument);
        wall.push_back(bench_now_ms() - t0);
        thread.push_back(bench_thread_cpu_ms() - c0);
    }
    bench_report_timings("scenes", what, wall);
    if (cpu) {
        std::string label = std::string(what) + " (cpu)";
        bench_report_timings("scenes", label.c_str(), thread);
    }
}

}  // namespace

void bench_scenes(const BenchOptions& options)
{
    static FrameBuffer fb;
    FrameBuffer* saved = frame_buffer;
    frame_buffer = &fb;
    const int n = options.frames;

    prepare_scenes();
    prepare_timeline();

    // The opening, handler by handler, then its passes as the table runs them.
    time_passes("scene_opening_background", {{scene_opening_background, 0}}, n, false);
    time_passes("scene_band_overlay 1 auki", {{scene_band_overlay, 1}}, n, false);
    time_passes("scene_band_overlay 2 blend", {{scene_band_overlay, 2}}, n, false);
    time_passes("scene_scroll_text", {{scene_scroll_text, 5}}, n, false);
    time_passes("scene_band_overlay 4", {{scene_band_overlay, 4}}, n, false);
    time_passes("scene_band_overlay 3 unfade", {{scene_band_overlay, 3}}, n, false);
    prepare_scenes();
    time_passes("opening pass 8-13 s", {{scene_opening_background, 0}, {scene_band_overlay, 1}},
                n, true);
    time_passes("opening pass 13-43 s",
                {{scene_opening_background, 0}, {scene_band_overlay, 2}, {scene_scroll_text, 5}},
                n, true);
    time_passes("opening pass 43-48 s",
                {{scene_opening_background, 0}, {scene_band_overlay, 4}, {scene_band_overlay, 3}},
                n, true);

    // The swarm from its start: fading from white, phase from 0.
    prepare_scenes();
    white_level = 255;
    time_passes("scene_gradient_background", {{scene_gradient_background, 4}}, n, false);
    time_passes("scene_points_swarm", {{scene_points_swarm, 5}}, n, false);
    prepare_scenes();
    white_level = 255;
    time_passes("swarm pass", {{scene_gradient_background, 4}, {scene_points_swarm, 5}}, n, true);

    time_passes("scene_mirrored_picture", {{scene_mirrored_picture, 4}}, n, true);
    time_passes("tunnel_scene", {{tunnel_scene, 8}}, n, true);

    frame_buffer = saved;
}
