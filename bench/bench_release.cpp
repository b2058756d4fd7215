// bench_release.cpp -- the 64-kilobyte release: its byte budget (code, each
// asset compressed, the stub, the total, as `make release` measured them)
// and the time its stub takes to unpack the program before the show starts.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench.h"

namespace {

const std::string release_dir = std::string(TAVIMO_SOURCE_DIR) + "/build-release";

// The second line of the packed file's stub: "...|xz ...>"...". Returns the
// xz command between "|" and ">", or "" if the file has no such line.
std::string stub_unpack_command(const std::string& packed)
{
    FILE* f = fopen(packed.c_str(), "rb");
    if (!f)
        return "";
    char line[1024];
    std::string second;
    for (int i = 0; i < 2 && fgets(line, sizeof line, f); i++)
        second = line;
    fclose(f);
    const size_t bar = second.find("|xz ");
    if (bar == std::string::npos)
        return "";
    const size_t end = second.find('>', bar);
    if (end == std::string::npos)
        return "";
    return second.substr(bar + 1, end - bar - 1);
}

}  // namespace

void bench_release(const BenchOptions& options)
{
    FILE* out = options.json ? stderr : stdout;  // JSON keeps stdout to itself
    FILE* budget = fopen((release_dir + "/budget.txt").c_str(), "r");
    if (!budget) {
        fprintf(stderr, "release: no %s/budget.txt (make release writes it)\n",
                release_dir.c_str());
        return;
    }
    char line[256];
    while (fgets(line, sizeof line, budget))
        fputs(line, out);
    fclose(budget);
    fputc('\n', out);

    const std::string packed = release_dir + "/tavimo-64k";
    const std::string unpack = stub_unpack_command(packed);
    if (unpack.empty()) {
        fprintf(stderr, "release: no unpack command in %s\n", packed.c_str());
        return;
    }
    // What the stub does before the show starts, less the file handling:
    // separate the payload and unpack it. Spawning processes dominates on a
    // busy machine, so a few calls are enough.
    const std::string command = "tail -n+3 '" + packed + "' | " + unpack + " >/dev/null";
    std::vector<double> samples;
    const int calls = options.frames < 20 ? options.frames : 20;
    for (int i = 0; i < calls; i++) {
        const double t0 = bench_now_ms();
        if (system(command.c_str()) != 0) {
            fprintf(stderr, "release: '%s' failed\n", command.c_str());
            return;
        }
        samples.push_back(bench_now_ms() - t0);
    }
    bench_report_timings("release", "unpack tavimo-64k", samples);
}
