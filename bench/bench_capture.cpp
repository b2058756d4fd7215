// bench_capture.cpp -- the time to render the whole show offline: the
// capture tool of this build run to a WAV file (frames made and discarded,
// no encoding), timed from outside as a user would time it.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "bench/bench.h"

void bench_capture(const BenchOptions&)
{
    const std::string tool = std::string(TAVIMO_BINARY_DIR) + "/tavimo-capture";
    if (access(tool.c_str(), X_OK) != 0) {
        fprintf(stderr, "capture: %s is not built; skipped\n", tool.c_str());
        return;
    }
    char wav[] = "/tmp/tavimo-bench-XXXXXX";
    int fd = mkstemp(wav);
    if (fd < 0)
        return;
    close(fd);
    const std::string command = tool + " --wav " + wav + " 2>/dev/null";
    std::vector<double> runs;
    for (int i = 0; i < 3; i++) {
        double start = bench_now_ms();
        if (system(command.c_str()) != 0)
            break;
        runs.push_back(bench_now_ms() - start);
    }
    remove(wav);
    if (!runs.empty())
        bench_report_timings("capture", "whole show, WAV, no encoding", runs);
}
