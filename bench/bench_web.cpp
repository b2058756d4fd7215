// bench_web.cpp -- the web build's page as a browser fetches it: the bytes
// of build-web/index.html, tavimo.js and tavimo.wasm, raw and compressed
// with gzip -9 (what a server sending gzip transfers), against the goal of
// 64 KiB compressed for everything; and every scene's frame passes timed in
// headless chromium (the bench page, bench_web_page.cpp) against the same
// passes timed here, against the goal of at most twice the native time.
// `make web` builds both pages.
#include <sys/wait.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/bench_passes.h"
#include "fx2d/framebuffer.h"

namespace {

const std::string web_dir = TAVIMO_WEB_BUILD_DIR;
const std::string source_dir = TAVIMO_SOURCE_DIR;

// A browser's frame time may be at most this many times the native one.
const double WEB_SLOWDOWN_LIMIT = 2.0;

bool read_file(const std::string& path, std::vector<unsigned char>* data)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        data->insert(data->end(), buffer, buffer + n);
    fclose(f);
    return true;
}

// Bytes of `data` in a gzip stream at the best compression; 0 on failure.
size_t gzip_size(const std::vector<unsigned char>& data)
{
    z_stream z = {};
    if (deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return 0;
    std::vector<unsigned char> out(deflateBound(&z, uLong(data.size())) + 64);
    z.next_in = const_cast<unsigned char*>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int status = deflate(&z, Z_FINISH);
    const size_t size = z.total_out;
    deflateEnd(&z);
    return status == Z_STREAM_END ? size : 0;
}

// The bench page's figures, read from bench_web_run.mjs's lines (see
// bench_web_page.cpp): samples[pass] holds `batches` figures per pass, or
// stays empty; unpack_ms the time the page's assets took to unpack, left
// as it is when not given. False when the runner failed; it said why on
// stderr.
bool run_bench_page(int batches, int per_batch, std::vector<std::vector<double>>* samples, double* unpack_ms)
{
    const std::string command = "node '" + source_dir + "/bench/bench_web_run.mjs' '" + web_dir +
                                "' " + std::to_string(batches) + " " + std::to_string(per_batch);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        fprintf(stderr, "web: cannot start node for the bench page\n");
        return false;
    }
    samples->assign(bench_pass_count, {});
    char line[65536];
    while (fgets(line, sizeof line, pipe)) {
        char* at = line;
        if (!strncmp(line, "unpack ", 7)) {
            *unpack_ms = strtod(line + 7, nullptr);
            continue;
        }
        const long pass = strtol(at, &at, 10);
        if (at == line || pass < 0 || pass >= bench_pass_count)
            continue;
        std::vector<double>& figures = (*samples)[pass];
        figures.clear();
        for (char* end;; at = end) {
            const double ms = strtod(at, &end);
            if (end == at)
                break;
            figures.push_back(ms);
        }
        if (int(figures.size()) != batches)
            figures.clear();
    }
    const int status = pclose(pipe);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 127)
        fprintf(stderr, "web: node is not installed (tools/install-deps.sh web)\n");
    else if (code != 0 && code != 77)
        fprintf(stderr, "web: the bench page failed in chromium (exit code %d)\n", code);
    return code == 0;
}

// Each scene's passes natively and in the browser, in batches of up to 40
// passes (a browser's clock is read once per batch).
void bench_web_scenes(const BenchOptions& options)
{
    const int per_batch = options.frames < 40 ? options.frames : 40;
    const int batches = options.frames / 20 > 1 ? options.frames / 20 : 1;
    std::vector<std::vector<double>> wasm;
    double unpack_ms = -1;
    if (!run_bench_page(batches, per_batch, &wasm, &unpack_ms))
        return;
    if (unpack_ms >= 0)
        bench_report_timings("web", "wasm unpack the assets", {unpack_ms});

    static FrameBuffer fb;
    FrameBuffer* saved = frame_buffer;
    bench_passes_setup(&fb);
    for (int p = 0; p < bench_pass_count; p++) {
        const BenchPass& pass = bench_passes[p];
        std::vector<double> native(batches);
        bench_time_pass(pass, batches, per_batch, bench_now_ms, native.data());
        if (wasm[p].empty()) {
            fprintf(stderr, "web: the bench page gave no figures for %s\n", pass.name);
            continue;
        }
        const std::string name = pass.name;
        bench_report_timings("web", ("wasm " + name).c_str(), wasm[p]);
        bench_report_timings("web", ("native " + name).c_str(), native);
        bench_report_ratio("web", ("wasm/native " + name).c_str(),
                           bench_median_ms(wasm[p]) / bench_median_ms(native), WEB_SLOWDOWN_LIMIT);
    }
    frame_buffer = saved;
}

}  // namespace

void bench_web(const BenchOptions& options)
{
    FILE* out = options.json ? stderr : stdout;  // JSON keeps stdout to itself
    const char* files[] = {"index.html", "tavimo.js", "tavimo.wasm"};
    size_t raw_total = 0, gzip_total = 0;
    fprintf(out, "%-24s %10s %10s\n", "web page (build-web)", "bytes", "gzip -9");
    for (const char* name : files) {
        std::vector<unsigned char> data;
        if (!read_file(web_dir + "/" + name, &data)) {
            fprintf(stderr, "web: no %s/%s (make web builds it)\n", web_dir.c_str(), name);
            return;
        }
        const size_t packed = gzip_size(data);
        fprintf(out, "%-24s %10zu %10zu\n", name, data.size(), packed);
        raw_total += data.size();
        gzip_total += packed;
    }
    fprintf(out, "%-24s %10zu %10zu  (goal: at most 65536 compressed, %s)\n\n", "total", raw_total,
            gzip_total, gzip_total <= 65536 ? "met" : "not met");
    bench_web_scenes(options);
}
