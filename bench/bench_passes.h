// bench_passes.h -- every scene's frame passes as the scene table runs them,
// timed the same way by tavimo-bench natively (bench_web.cpp) and by the
// bench page in a browser (bench_web_page.cpp), so that the two compare.
//
// Who calls what (main thread only): the caller puts the assets in place,
// calls bench_passes_setup once, then bench_time_pass for each pass in
// order. The scenes' state carries over from pass to pass, as each pass's
// prepare step leaves it; both sides run the same sequence.
#pragma once

struct FrameBuffer;

struct BenchPassRow {
    void (*handler)(int argument);  // a scene table handler; null ends the list
    int argument;                   // its row's argument
};

struct BenchPass {
    const char* name;           // scene and span of the show, e.g. "opening 13-43 s"
    int show_ms;                // a show time inside the span, ms from the table's start
    void (*prepare)(void);      // sets the scene variables where the span starts
    BenchPassRow rows[3];       // the scene table's rows active at show_ms, in the
                                // table's order: called once per pass, as the frame loop does
};

extern const BenchPass bench_passes[];
extern const int bench_pass_count;

// Points frame_buffer at `fb` and does the show's one-time set-up of what
// the scenes draw from (the asset blob must be readable).
void bench_passes_setup(FrameBuffer* fb);

// Runs `pass` for one untimed batch (a browser compiles hot code anew while
// it warms up), then `batches` timed batches of `per_batch` passes each,
// writing each batch's milliseconds per pass to samples_ms[0..batches).
// One clock reading spans a whole batch, so a coarse clock (a browser's
// performance.now is rounded to 0.1 ms) still gives fine figures.
void bench_time_pass(const BenchPass& pass, int batches, int per_batch, double (*now_ms)(void),
                     double* samples_ms);
