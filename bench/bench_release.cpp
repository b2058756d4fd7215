// bench_release.cpp -- the 64-kilobyte releases: their byte budgets (code,
// each asset compressed, the stub, the total, as `make release` and `make
// release-windows` measured them; the Windows one with each piece's bytes
// under LZMA beside our context-mixing coder's) and the time each takes to
// unpack the program before the show starts.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "release/unpack_cm.h"

namespace {

const std::string release_dir = TAVIMO_RELEASE_BUILD_DIR;

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

bool print_budget(const std::string& dir, const char* make, FILE* out)
{
    FILE* budget = fopen((dir + "/budget.txt").c_str(), "r");
    if (!budget) {
        fprintf(stderr, "release: no %s/budget.txt (%s writes it)\n", dir.c_str(), make);
        return false;
    }
    char line[256];
    while (fgets(line, sizeof line, budget))
        fputs(line, out);
    fclose(budget);
    fputc('\n', out);
    return true;
}

std::vector<uint8_t> read_file(const std::string& path)
{
    std::vector<uint8_t> data;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return data;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    fclose(f);
    return data;
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// What the Windows stub does before the show starts, less binding and
// protecting: decode the payload of tavimo-64k.exe into its image, from
// fresh zeroed memory as the stub's is.
void bench_windows_unpack(const BenchOptions& options, const std::string& dir)
{
    std::vector<uint8_t> exe = read_file(dir + "/tavimo-64k.exe");
    const uint8_t magic[8] = {'p', 'a', 'c', 'k', 'l', 'i', 'v', 'e'};
    auto found = std::search(exe.begin(), exe.end(), magic, magic + 8);
    if (exe.size() < 0x40 || found == exe.end()) {
        fprintf(stderr, "release: no unpack table in %s/tavimo-64k.exe\n", dir.c_str());
        return;
    }
    CmTable table;
    memcpy(&table, &*found, sizeof table);
    // The payload where the table says, in the section holding that address.
    uint32_t nt = le32(&exe[0x3c]);
    unsigned sections = exe[nt + 6] | exe[nt + 7] << 8, optional = exe[nt + 20] | exe[nt + 21] << 8;
    uint64_t payload_at = 0;
    for (unsigned i = 0; i < sections; i++) {
        const uint8_t* s = &exe[nt + 24 + optional + 40 * i];
        if (table.payload >= le32(s + 12) && table.payload - le32(s + 12) < le32(s + 16))
            payload_at = le32(s + 20) + uint64_t(table.payload - le32(s + 12));
    }
    if (!payload_at || payload_at + table.payload_size > exe.size() || table.count > CM_MAX_PIECES) {
        fprintf(stderr, "release: %s/tavimo-64k.exe is damaged\n", dir.c_str());
        return;
    }
    uint32_t size = 0;
    for (uint32_t i = 0; i < table.count; i++)
        size += table.piece[i].size;
    std::vector<uint8_t> image(size);
    std::vector<double> samples;
    const int calls = options.frames < 10 ? options.frames : 10;
    for (int i = 0; i < calls; i++) {
        std::fill(image.begin(), image.end(), 0);
        const double t0 = bench_now_ms();
        Cm* cm = static_cast<Cm*>(calloc(1, sizeof(Cm)));
        int r = cm ? cm_unpack_image(&table, &exe[payload_at], table.payload_size, image.data(), size, cm) : -1;
        free(cm);
        samples.push_back(bench_now_ms() - t0);
        if (r != 0) {
            fprintf(stderr, "release: the payload of %s/tavimo-64k.exe does not decode\n", dir.c_str());
            return;
        }
    }
    const std::string what = "unpack " + dir.substr(dir.rfind('/') + 1) + "/tavimo-64k.exe (context mixing)";
    bench_report_timings("release", what.c_str(), samples);
}

}  // namespace

void bench_release(const BenchOptions& options)
{
    FILE* out = options.json ? stderr : stdout;  // JSON keeps stdout to itself
    for (const char* dir : {TAVIMO_RELEASE_WIN32_BUILD_DIR, TAVIMO_RELEASE_WIN64_BUILD_DIR}) {
        if (print_budget(dir, "make release-windows", out))
            bench_windows_unpack(options, dir);
    }
    if (!print_budget(release_dir, "make release", out))
        return;

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
