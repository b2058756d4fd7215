// bench_raytracer.cpp -- time per raytrace_scene call and per traced frame.
#include <cstdlib>
#include <vector>

#include "bench/bench.h"
#include "fx2d/framebuffer.h"
#include "raytracer/raytracer.h"

void bench_raytracer(const BenchOptions& options)
{
    static FrameBuffer fb;
    FrameBuffer* saved = frame_buffer;
    frame_buffer = &fb;
    init_ray_scene();

    // Whole scene calls: motion, tracing and the sharp copy or the smear, as
    // the show runs them (a burst every 46 calls).
    std::vector<double> scene, scene_cpu;
    for (int f = 0; f < options.frames; f++) {
        const double t0 = bench_now_ms(), c0 = bench_thread_cpu_ms();
        raytrace_scene(4);
        scene.push_back(bench_now_ms() - t0);
        scene_cpu.push_back(bench_thread_cpu_ms() - c0);
    }
    bench_report_timings("raytracer", "raytrace_scene", scene);
    bench_report_timings("raytracer", "raytrace_scene (thread cpu)", scene_cpu);

    // The parts on their own.
    std::vector<double> trace, smear;
    for (int f = 0; f < options.frames; f++) {
        animate_ray_scene();
        double t0 = bench_now_ms();
        trace_frame();
        trace.push_back(bench_now_ms() - t0);
        t0 = bench_now_ms();
        smear_band(ray_picture, fb.pixels, RAY_SMEAR_MAX);
        smear.push_back(bench_now_ms() - t0);
    }
    bench_report_timings("raytracer", "trace_frame", trace);
    bench_report_timings("raytracer", "smear_band strength 20", smear);
    frame_buffer = saved;
}
