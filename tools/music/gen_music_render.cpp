// gen_music_render.cpp -- renders the embedded module through the show's own
// player and mixer, offline, and measures the result.
//
// Usage: tavimo-render-music [OUT.wav]
// Loads the module from the asset blob exactly as the show does (module
// stream callbacks, voices at 44100 Hz, song_create, song_start) and
// renders 153.6 s of it block by block with the mixing thread's render
// function (player/render.h), as the sound device would (no device, no
// thread). It
// optionally writes the result as a WAV file, and prints: samples at the
// 16-bit limits, peak level, RMS of each section and of each order
// position, the longest near-silence after the first second, and the clicks
// (tools/formats/clicks.h) with where the first of them are. Exit code
// 0 on success, 1 when the voices or the song could not be opened or
// the WAV not written, 2 with a usage line for bad arguments.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "mixer/voice.h"
#include "player/module_file.h"
#include "player/render.h"
#include "player/song.h"
#include "player/stream.h"
#include "tools/music/gen_music.h"
#include "tools/formats/clicks.h"
#include "tools/formats/wav.h"

namespace {

constexpr int RATE = OUTPUT_RATE_DEFAULT;  // the show's
constexpr double ORDER_SECONDS = 64 * MUSIC_SPEED * 2.5 / MUSIC_BPM;   // 7.68 s
constexpr int SILENCE_LEVEL = 33;   // |sample| at or below this (-60 dBFS) counts as silent

double db(double v) { return v > 0 ? 20.0 * std::log10(v / 32768.0) : -999.0; }

double rms_of(const std::vector<int16_t>& s, size_t from_frame, size_t to_frame)
{
    double sum = 0;
    size_t n = 0;
    for (size_t i = 2 * from_frame; i < 2 * to_frame && i < s.size(); i++, n++)
        sum += (double)s[i] * s[i];
    return n ? std::sqrt(sum / n) : 0.0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2) {
        std::fprintf(stderr, "usage: tavimo-render-music [OUT.wav]\n");
        return 2;
    }
    module_position = 0;
    register_stream_callbacks(module_open, module_close, module_read, module_seek, module_tell);
    if (!render_open(RATE)) {
        std::fprintf(stderr, "tavimo-render-music: the voices did not open\n");
        return 1;
    }
    Song* song = song_create("module", nullptr);
    if (!song) {
        std::fprintf(stderr, "tavimo-render-music: the module did not load\n");
        render_close();
        return 1;
    }
    song_start(song);

    size_t total = (size_t)std::llround(MUSIC_SONG_LENGTH * ORDER_SECONDS * RATE);
    const int32_t block = mix_block_frames(RATE);
    std::vector<float> mix(2 * (size_t)block);
    std::vector<int16_t> out(2 * (total + (size_t)block));
    for (size_t at = 0; at < total; at += (size_t)block)
        render_songs(mix.data(), out.data() + 2 * at, block);
    song_free(song);
    render_close();
    out.resize(2 * total);

    if (argc > 1) {
        WavWriter wav{};
        bool ok = wav_open(&wav, argv[1], RATE);
        if (ok) wav_write(&wav, out.data(), (int64_t)total);
        if (!wav_close(&wav) || !ok) {
            std::fprintf(stderr, "tavimo-render-music: cannot write %s\n", argv[1]);
            return 1;
        }
    }

    size_t at_limits = 0;
    int peak = 0;
    for (int16_t v : out) {
        if (v == 32767 || v == -32768) at_limits++;
        peak = std::max(peak, std::abs((int)v));
    }
    size_t longest = 0, run = 0, longest_end = 0;
    for (size_t f = RATE; f < total; f++) {
        bool silent = std::abs(out[2 * f]) <= SILENCE_LEVEL && std::abs(out[2 * f + 1]) <= SILENCE_LEVEL;
        run = silent ? run + 1 : 0;
        if (run > longest) { longest = run; longest_end = f; }
    }
    std::printf("frames %zu (%.1f s at %d Hz)\n", total, (double)total / RATE, RATE);
    std::printf("samples at the 16-bit limits: %zu\n", at_limits);
    std::printf("peak: %d (%.2f dBFS)\n", peak, db(peak));
    std::printf("RMS overall: %.2f dBFS\n", db(rms_of(out, 0, total)));
    std::printf("longest run below %.0f dBFS after 1 s: %.1f ms", db(SILENCE_LEVEL),
                1000.0 * (double)longest / RATE);
    if (longest) std::printf(" (ending at %.2f s)", (double)longest_end / RATE);
    std::printf("\n");

    Click clicks[8];
    int64_t click_count = clicks_count(out.data(), (int64_t)total, RATE, clicks, 8);
    std::printf("clicks: %lld", (long long)click_count);
    for (int64_t i = 0; i < click_count && i < 8; i++)
        std::printf("%s%.3f s %s %+.2f -> %+.2f", i ? ", " : " (", (double)clicks[i].frame / RATE,
                    clicks[i].channel ? "right" : "left", clicks[i].before, clicks[i].after);
    std::printf("%s\n", click_count > 8 ? ", ...)" : click_count ? ")" : "");

    struct Section { const char* name; int from, to; };
    const Section sections[] = {
        {"intro      orders  0-1 ", 0, 2},  {"build      orders  2-5 ", 2, 6},
        {"drop       orders  6-7 ", 6, 8},  {"main body  orders  8-17", 8, 18},
        {"finale     orders 18-19", 18, 20},
    };
    for (const Section& s : sections) {
        size_t a = (size_t)(s.from * ORDER_SECONDS * RATE), b = (size_t)(s.to * ORDER_SECONDS * RATE);
        std::printf("RMS %s: %.2f dBFS\n", s.name, db(rms_of(out, a, b)));
    }
    for (int o = 0; o < MUSIC_SONG_LENGTH; o++) {
        size_t a = (size_t)(o * ORDER_SECONDS * RATE), b = (size_t)((o + 1) * ORDER_SECONDS * RATE);
        int pk = 0;
        for (size_t i = 2 * a; i < 2 * b; i++) pk = std::max(pk, std::abs((int)out[i]));
        std::printf("order %2d (pattern %2d, %6.2f s): RMS %.2f dBFS, peak %.2f dBFS\n", o,
                    music_order_table[o], o * ORDER_SECONDS, db(rms_of(out, a, b)), db(pk));
    }
    return 0;
}
