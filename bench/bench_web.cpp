// bench_web.cpp -- the web build's page as a browser fetches it: the bytes
// of build-web/index.html, tavimo.js and tavimo.wasm, raw and compressed
// with gzip -9 (what a server sending gzip transfers), against the goal of
// 64 KiB compressed for everything. `make web` builds the page; its frame
// times per scene are in the browser test's report (tests/web/check.mjs).
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench.h"

namespace {

const std::string web_dir = TAVIMO_WEB_BUILD_DIR;

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
}
