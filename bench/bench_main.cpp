// bench_main.cpp -- tavimo-bench: times the subsystems, prints one table.
//
// Usage: tavimo-bench [--frames N] [--json] [--only SECTION]
// Figures are wall-clock times of single calls on the calling thread; on a
// busy machine they are noisy, so read the median and run it more than once.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench.h"

struct BenchSection {
    const char* name;
    void (*run)(const BenchOptions& options);
};

// One line per section.
static const BenchSection sections[] = {
    {"raytracer", bench_raytracer},
    {"scenes", bench_scenes},
    {"release", bench_release},
    {"mixer", bench_mixer},
    {"capture", bench_capture},
    {"web", bench_web},
};

struct BenchRow {
    std::string section, what;
    int count;
    double median_ms, min_ms, max_ms;
};

static std::vector<BenchRow> rows;

struct BenchRatio {
    std::string section, what;
    double ratio, limit;
};

static std::vector<BenchRatio> ratios;

void bench_report_ratio(const char* section, const char* what, double ratio, double limit)
{
    ratios.push_back({section, what, ratio, limit});
}

double bench_median_ms(std::vector<double> samples_ms)
{
    std::sort(samples_ms.begin(), samples_ms.end());
    const size_t n = samples_ms.size();
    return n % 2 ? samples_ms[n / 2] : (samples_ms[n / 2 - 1] + samples_ms[n / 2]) / 2.0;
}

void bench_report_timings(const char* section, const char* what, std::vector<double> samples_ms)
{
    if (samples_ms.empty())
        return;
    const auto [low, high] = std::minmax_element(samples_ms.begin(), samples_ms.end());
    rows.push_back({section, what, int(samples_ms.size()), bench_median_ms(samples_ms), *low, *high});
}

static void print_table(void)
{
    printf("%-12s %-32s %7s %10s %10s %10s\n", "section", "what", "calls", "median ms",
           "min ms", "max ms");
    for (const BenchRow& r : rows)
        printf("%-12s %-32s %7d %10.3f %10.3f %10.3f\n", r.section.c_str(), r.what.c_str(),
               r.count, r.median_ms, r.min_ms, r.max_ms);
    if (ratios.empty())
        return;
    printf("\n%-12s %-32s %7s %10s %10s\n", "section", "what", "ratio", "at most", "goal");
    for (const BenchRatio& r : ratios)
        printf("%-12s %-32s %7.2f %10.2f %10s\n", r.section.c_str(), r.what.c_str(), r.ratio,
               r.limit, r.ratio <= r.limit ? "met" : "not met");
}

static void print_json(void)
{
    printf("[\n");
    for (size_t i = 0; i < rows.size(); i++) {
        const BenchRow& r = rows[i];
        printf("  {\"section\": \"%s\", \"what\": \"%s\", \"calls\": %d, "
               "\"median_ms\": %.4f, \"min_ms\": %.4f, \"max_ms\": %.4f}%s\n",
               r.section.c_str(), r.what.c_str(), r.count, r.median_ms, r.min_ms, r.max_ms,
               i + 1 < rows.size() || !ratios.empty() ? "," : "");
    }
    for (size_t i = 0; i < ratios.size(); i++) {
        const BenchRatio& r = ratios[i];
        printf("  {\"section\": \"%s\", \"what\": \"%s\", \"ratio\": %.4f, \"limit\": %.4f, "
               "\"met\": %s}%s\n",
               r.section.c_str(), r.what.c_str(), r.ratio, r.limit, r.ratio <= r.limit ? "true" : "false",
               i + 1 < ratios.size() ? "," : "");
    }
    printf("]\n");
}

int main(int argc, char** argv)
{
    BenchOptions options = {300, false};
    bool json = false;
    const char* only = nullptr;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--frames") && i + 1 < argc) {
            options.frames = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--json")) {
            json = true;
            options.json = true;
        } else if (!strcmp(argv[i], "--only") && i + 1 < argc) {
            only = argv[++i];
        } else {
            fprintf(stderr, "usage: %s [--frames N] [--json] [--only SECTION]\n", argv[0]);
            return 2;
        }
    }
    if (options.frames < 1) {
        fprintf(stderr, "--frames must be at least 1\n");
        return 2;
    }
    bool ran = false;
    for (const BenchSection& s : sections) {
        if (only && strcmp(only, s.name))
            continue;
        s.run(options);
        ran = true;
    }
    if (!ran) {
        fprintf(stderr, "no section named %s\n", only);
        return 2;
    }
    if (json)
        print_json();
    else
        print_table();
    return 0;
}
