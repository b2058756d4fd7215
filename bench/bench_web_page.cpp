// bench_web_page.cpp -- the bench page's program (build-web/bench.html): the
// scenes' frame passes timed in the browser, with the show's code built
// with the show page's flags. Run by bench/bench_web_run.mjs for
// tavimo-bench; not part of the show's page.
//
// Arguments: BATCHES PER_BATCH. Prints "unpack MS", the milliseconds the
// built-in assets took to unpack (as the show's page does first), then one
// line per pass: its index in
// bench_passes, then each batch's milliseconds per pass; and after each a
// line "frame PASS HASH", a hash of the frame the pass left, so
// that a change of build flags can be checked for changed pictures in a
// few seconds. Exit code 1 when the assets do not unpack, 2 for bad
// arguments.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "assets/assets_web.h"
#include "bench/bench_passes.h"
#include "fx2d/framebuffer.h"

static uint32_t frame_hash(const FrameBuffer& fb)
{
    uint32_t h = 0x811c9dc5;
    for (uint32_t pixel : fb.pixels)
        h = (h ^ pixel) * 0x01000193;
    return h;
}

static double page_now_ms(void)
{
    return emscripten_get_now();
}

int main(int argc, char** argv)
{
    const int batches = argc == 3 ? atoi(argv[1]) : 0, per_batch = argc == 3 ? atoi(argv[2]) : 0;
    if (batches < 1 || batches > 1000 || per_batch < 1) {
        fprintf(stderr, "usage: bench page BATCHES (1..1000) PER_BATCH (at least 1)\n");
        return 2;
    }
    const double start = page_now_ms();
    if (!unpack_assets()) {
        fprintf(stderr, "bench page: the built-in assets do not unpack\n");
        return 1;
    }
    printf("unpack %.3f\n", page_now_ms() - start);
    static FrameBuffer fb;
    static double samples[1000];
    bench_passes_setup(&fb);
    for (int p = 0; p < bench_pass_count; p++) {
        bench_time_pass(bench_passes[p], batches, per_batch, page_now_ms, samples);
        printf("%d", p);
        for (int b = 0; b < batches; b++)
            printf(" %.5f", samples[b]);
        printf("\nframe %d %08x\n", p, unsigned(frame_hash(fb)));
    }
    return 0;
}
