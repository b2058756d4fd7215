// bench.h -- the benchmark program's sections and their shared helpers.
//
// tavimo-bench runs every section in turn on the main thread and prints one
// table (or JSON with --json). A section times one subsystem and reports
// rows through bench_report_timings. To add one: write bench/bench_<name>.cpp
// with a `void bench_<name>(const BenchOptions&)` declared below, add the
// file to bench/CMakeLists.txt and one line to the section list in
// bench_main.cpp.
#pragma once
#include <time.h>

#include <chrono>
#include <vector>

struct BenchOptions {
    int frames;  // calls to time per row (--frames N, default 300)
    bool json;   // --json: stdout carries only the JSON rows
};

// Wall-clock milliseconds since an arbitrary start, for timing one call.
static inline double bench_now_ms(void)
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Processor time of the calling thread in milliseconds: less disturbed than
// wall-clock time when other processes compete for the cores.
static inline double bench_thread_cpu_ms(void)
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// The median of `samples_ms` (not empty).
double bench_median_ms(std::vector<double> samples_ms);

// Adds one row to the output: median, minimum and maximum of `samples_ms`
// (each the time of one call), labelled section/what.
void bench_report_timings(const char* section, const char* what, std::vector<double> samples_ms);

// Adds one row to the ratios printed after the timings: `ratio` against
// the goal of at most `limit`, labelled section/what.
void bench_report_ratio(const char* section, const char* what, double ratio, double limit);

// The sections.
void bench_raytracer(const BenchOptions& options);
void bench_scenes(const BenchOptions& options);
void bench_release(const BenchOptions& options);
void bench_mixer(const BenchOptions& options);
void bench_capture(const BenchOptions& options);
void bench_web(const BenchOptions& options);
