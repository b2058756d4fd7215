// web_replay.cpp -- the show rendered natively at the very clock readings a
// run of the web build made (recorded by the browser test), so that the
// browser's frames can be set beside the native program's at the same show
// time and the same frame pass: the scenes move on per pass, so frames of
// runs with different frame rates differ at the same show time.
//
// Usage: web_replay CLOCK_FILE OUT_DIR PASS[,PASS...]
// CLOCK_FILE holds "value count" lines: the clock read `count` times in a
// row as `value` ms. Writes OUT_DIR/pass-N.ppm for each pass asked for (the
// Nth presented frame, from 1). Past the recording the clock moves on 1 ms
// per read, so the show runs to its end.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/clock.h"
#include "runtime/entry.h"
#include "video/display_headless.h"

namespace {

struct ClockRun {
    int64_t value, count;
};
std::vector<ClockRun> runs;
size_t run_index;
int64_t reads_in_run;
int64_t last_value;

std::vector<long> passes_wanted;  // sorted
size_t next_wanted;
long passes;
const char* out_dir;
bool write_failed;

void on_flip(const uint32_t* pixels, int width, int height)
{
    passes++;
    if (next_wanted >= passes_wanted.size() || passes_wanted[next_wanted] != passes)
        return;
    next_wanted++;
    std::string path = std::string(out_dir) + "/pass-" + std::to_string(passes) + ".ppm";
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        write_failed = true;
        return;
    }
    fprintf(f, "P6\n%d %d\n255\n", width, height);
    for (int i = 0; i < width * height; i++) {
        const unsigned char rgb[3] = {uint8_t(pixels[i] >> 16), uint8_t(pixels[i] >> 8), uint8_t(pixels[i])};
        fwrite(rgb, 1, 3, f);
    }
    write_failed |= fclose(f) != 0;
}

bool read_clock(const char* path)
{
    FILE* f = fopen(path, "r");
    if (!f)
        return false;
    long long value, count;
    while (fscanf(f, "%lld %lld", &value, &count) == 2) {
        if (count <= 0)
            break;
        runs.push_back({value, count});
    }
    const bool ok = feof(f) && !runs.empty();
    fclose(f);
    return ok;
}

bool parse_passes(const char* text)
{
    while (*text) {
        char* end;
        long n = strtol(text, &end, 10);
        if (end == text || n <= 0 || (*end && *end != ','))
            return false;
        passes_wanted.push_back(n);
        text = *end ? end + 1 : end;
    }
    for (size_t i = 1; i < passes_wanted.size(); i++)
        if (passes_wanted[i] <= passes_wanted[i - 1])
            return false;
    return !passes_wanted.empty();
}

}  // namespace

int64_t process_clock_ms(void)
{
    if (run_index < runs.size()) {
        last_value = runs[run_index].value;
        if (++reads_in_run == runs[run_index].count) {
            run_index++;
            reads_in_run = 0;
        }
        return last_value;
    }
    return ++last_value;
}

int main(int argc, char** argv)
{
    if (argc != 4 || !parse_passes(argv[3])) {
        fprintf(stderr, "usage: web_replay CLOCK_FILE OUT_DIR PASS[,PASS...] (passes rising, from 1)\n");
        return 2;
    }
    if (!read_clock(argv[1])) {
        fprintf(stderr, "web_replay: %s is not a list of \"value count\" lines\n", argv[1]);
        return 1;
    }
    out_dir = argv[2];
    headless_on_flip = on_flip;
    const int code = tavimo_run();
    if (code != 0 || write_failed || next_wanted != passes_wanted.size()) {
        fprintf(stderr, "web_replay: exit code %d, %zu of %zu frames written\n", code, next_wanted,
                passes_wanted.size());
        return 1;
    }
    return 0;
}
