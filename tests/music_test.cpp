// music_test.cpp -- the soundtrack module: reproducible, well-formed, in key.
//
// The committed module must be exactly what tools/gen_music writes; its
// header must hold the show's fixed facts; it must load through our loader
// to its last byte with nothing to clamp or repair; and the composition must
// keep to its rules (one key, the final chord resolving on A minor).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "audio/voice.h"
#include "player/module_file.h"
#include "player/replay.h"
#include "player/song.h"
#include "player/stream.h"
#include "runtime/assets.h"
#include "tests/support/voice_probe.h"

namespace {

constexpr int SIZE = MODULE_DATA_SIZE;
const uint8_t ORDERS[20] = {1, 6, 7, 2, 8, 9, 4, 5, 0, 3, 4, 5, 10, 12, 11, 5, 13, 14, 15, 16};

int u16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t u32(const uint8_t* p) { return (uint32_t)u16(p) | ((uint32_t)u16(p + 2) << 16); }

// The generator next to this test binary (build/tools/gen_music), or in
// TAVIMO_BUILD_DIR when ctest provides it.
void register_module()
{
    module_position = 0;
    register_stream_callbacks(module_open, module_close, module_read, module_seek, module_tell);
}

std::string generator_path()
{
    if (const char* dir = std::getenv("TAVIMO_BUILD_DIR")) return std::string(dir) + "/tools/gen_music";
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    std::string path(self, (size_t)n);
    path = path.substr(0, path.rfind('/'));        // build/tests
    path = path.substr(0, path.rfind('/'));        // build
    return path + "/tools/gen_music";
}

// A parsed cell of the raw file.
struct RawCell {
    uint8_t note, instrument, volume, effect, parameter;
};

struct RawSample {
    uint32_t length, loop_start, loop_length;  // bytes as in the file
    uint8_t volume, type;
    int8_t relative_note;
};

struct RawModule {
    std::vector<std::vector<RawCell>> patterns;  // 64 x 14 each
    std::vector<int> sample_counts;
    std::vector<std::vector<RawSample>> samples;
    size_t end;                                  // offset after the last byte read
    bool packed_sizes_match;
};

// Walks the file the way the XM format lays it out, keeping every field.
RawModule parse(const uint8_t* d)
{
    RawModule m{};
    m.packed_sizes_match = true;
    size_t p = 60 + u32(d + 60);
    int channels = u16(d + 68), npat = u16(d + 70), nins = u16(d + 72);
    for (int i = 0; i < npat; i++) {
        int rows = u16(d + p + 5), packed = u16(d + p + 7);
        p += u32(d + p);
        size_t start = p;
        std::vector<RawCell> cells((size_t)rows * channels);
        for (RawCell& c : cells) {
            uint8_t f[5] = {0, 0, 0, 0, 0};
            uint8_t b = d[p++];
            if (b & 0x80) {
                for (int k = 0; k < 5; k++) if (b & (1 << k)) f[k] = d[p++];
            } else {
                f[0] = b;
                for (int k = 1; k < 5; k++) f[k] = d[p++];
            }
            c = RawCell{f[0], f[1], f[2], f[3], f[4]};
        }
        if (p - start != (size_t)packed) m.packed_sizes_match = false;
        m.patterns.push_back(cells);
    }
    for (int i = 0; i < nins; i++) {
        size_t start = p;
        int ns = u16(d + p + 27);
        m.sample_counts.push_back(ns);
        p = start + u32(d + start);
        std::vector<RawSample> ss;
        for (int s = 0; s < ns; s++) {
            RawSample r{u32(d + p), u32(d + p + 4), u32(d + p + 8), d[p + 12], d[p + 14],
                        (int8_t)d[p + 16]};
            ss.push_back(r);
            p += 40;
        }
        for (const RawSample& r : ss) p += r.length;
        m.samples.push_back(ss);
    }
    m.end = p;
    return m;
}

}  // namespace

TEST(MusicModule, GeneratorWritesTheEmbeddedModuleByteForByte)
{
    std::string gen = generator_path();
    ASSERT_EQ(access(gen.c_str(), X_OK), 0) << "build the gen_music tool first: " << gen;
    char out[] = "/tmp/tavimo_music_XXXXXX";
    int fd = mkstemp(out);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string cmd = "'" + gen + "' '" + out + "' 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::vector<uint8_t> bytes(SIZE + 1);
    FILE* f = std::fopen(out, "rb");
    ASSERT_NE(f, nullptr);
    size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    std::remove(out);
    ASSERT_EQ(n, (size_t)SIZE);
    size_t first_difference = 0;
    while (first_difference < n && bytes[first_difference] == module_data[first_difference])
        first_difference++;
    EXPECT_EQ(first_difference, (size_t)SIZE) << "regenerate assets/module_data.xm with gen_music";
}

TEST(MusicModule, HeaderHoldsTheShowsFacts)
{
    const uint8_t* d = module_data;
    EXPECT_EQ(std::memcmp(d, "Extended Module: ", 17), 0);
    for (int i = 17; i < 37; i++) EXPECT_EQ(d[i], 0) << "module name byte " << i;
    EXPECT_EQ(d[37], 0x1A);
    EXPECT_EQ(std::memcmp(d + 38, "FastTracker v2.00   ", 20), 0);
    EXPECT_EQ(u16(d + 58), 0x0104);
    EXPECT_EQ(u32(d + 60), 276u);
    EXPECT_EQ(u16(d + 64), 20);    // song length
    EXPECT_EQ(u16(d + 66), 0);     // restart position
    EXPECT_EQ(u16(d + 68), 14);    // channels
    EXPECT_EQ(u16(d + 70), 17);    // patterns
    EXPECT_EQ(u16(d + 72), 11);    // instruments
    EXPECT_EQ(u16(d + 74), 1);     // linear frequency table
    EXPECT_EQ(u16(d + 76), 6);     // speed
    EXPECT_EQ(u16(d + 78), 125);   // tempo
    for (int i = 0; i < 256; i++) EXPECT_EQ(d[80 + i], i < 20 ? ORDERS[i] : 0) << "order " << i;
}

TEST(MusicModule, FileIsExactlyLaidOutWithNothingToRepair)
{
    RawModule m = parse(module_data);
    EXPECT_EQ(m.end, (size_t)SIZE);
    EXPECT_TRUE(m.packed_sizes_match);
    ASSERT_EQ(m.patterns.size(), 17u);
    for (size_t p = 0; p < m.patterns.size(); p++) {
        ASSERT_EQ(m.patterns[p].size(), 64u * 14u) << "pattern " << p;
        for (const RawCell& c : m.patterns[p]) {
            EXPECT_TRUE(c.note <= 97) << "pattern " << p;
            EXPECT_LE(c.instrument, 11) << "pattern " << p;
            if (c.volume) {
                EXPECT_GE(c.volume, 0x10) << "pattern " << p;
            }
            if (c.volume >= 0x10 && c.volume < 0x60) {
                EXPECT_LE(c.volume, 0x50) << "pattern " << p;
            }
        }
    }
    for (size_t i = 0; i < m.samples.size(); i++) {
        EXPECT_GE(m.sample_counts[i], 1);
        EXPECT_LE(m.sample_counts[i], 16);
        for (const RawSample& s : m.samples[i]) {
            EXPECT_GT(s.length, 0u);
            EXPECT_LE(s.volume, 64);
            EXPECT_EQ(s.type & 0x10, 0) << "8-bit samples";
            if (s.type & 3) {
                EXPECT_GT(s.loop_length, 0u);
                EXPECT_LE(s.loop_start + s.loop_length, s.length) << "instrument " << i;
            } else {
                EXPECT_EQ(s.loop_start, 0u);
                EXPECT_EQ(s.loop_length, 0u);
            }
        }
    }
}

TEST(MusicModule, LoadsThroughTheLoaderToItsLastByte)
{
    // Song creation runs the loader over the module stream, whose read
    // position then stands exactly at the end of the module.
    register_module();
    Song* song = song_create("module", nullptr);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(module_position, SIZE);

    EXPECT_EQ(song->song_length, 20);
    EXPECT_EQ(song->restart_position, 0);
    EXPECT_EQ(song->channel_count, 14);
    EXPECT_EQ(song->instrument_count, 11);
    EXPECT_EQ(song->pattern_slots, 17);
    EXPECT_EQ(song->module_flags & LINEAR_PERIODS, LINEAR_PERIODS);
    EXPECT_EQ(song->default_speed, 6);
    EXPECT_EQ(song->default_bpm, 125);
    for (int p = 0; p < song->pattern_slots; p++) {
        ASSERT_EQ(song->patterns[p].rows, 64);
        ASSERT_NE(song->patterns[p].cells, nullptr);
        for (int c = 0; c < 64 * 14; c++) {
            const Cell& cell = song->patterns[p].cells[c];
            EXPECT_TRUE(cell.note <= 96 || cell.note == 255);
            EXPECT_LE(cell.instrument, 11);
        }
    }
    // What the loader made of every sample equals the file's own header:
    // no loop was clamped, and loops end inside their samples.
    RawModule raw = parse(module_data);
    for (int i = 0; i < song->instrument_count; i++) {
        const Instrument& in = song->instruments[i];
        ASSERT_EQ(in.sample_count, raw.sample_counts[i]);
        for (int s = 0; s < in.sample_count; s++) {
            const Sample* smp = in.samples[s];
            const RawSample& r = raw.samples[i][s];
            EXPECT_EQ(smp->length, r.length);
            bool looped = (r.type & 3) != 0;
            EXPECT_EQ(smp->loop_type, looped ? LOOP_FORWARD : LOOP_NONE);
            EXPECT_EQ(smp->loop_start, looped ? r.loop_start : 0u);
            EXPECT_EQ(smp->loop_length, looped ? r.loop_length : r.length);
            EXPECT_LE(smp->loop_start + smp->loop_length, smp->length);
            EXPECT_EQ(smp->relative_note, r.relative_note);
        }
        for (int s = in.sample_count; s < 16; s++) EXPECT_EQ(in.samples[s], &empty_sample);
        for (int k = 0; k < 96; k++) EXPECT_LT(in.keymap[k], in.sample_count);
        // A sustaining volume envelope has its sustain point among its points.
        if (in.volume_type & ENVELOPE_SUSTAIN) {
            EXPECT_LT(in.volume_sustain, in.volume_points);
        }
        if (in.volume_type & ENVELOPE_LOOP) {
            EXPECT_LE(in.volume_loop_start, in.volume_loop_end);
            EXPECT_LT(in.volume_loop_end, in.volume_points);
        }
    }
    song_free(song);
}

// The whole show's length played through our own replay engine and mixer as
// the mixing thread plays it (blocks of 884 frames, a tick whenever the tick
// runs out, the voices mixed in between, each block clipped): nothing
// reaches the 16-bit limits, the peak keeps headroom, every order position
// is audible at a sensible level, and after the first second there is no
// near-silence (-60 dBFS) longer than a second.
TEST(MusicModule, PlaysThroughOurEngineWithHeadroomAndNoGaps)
{
    voice_probe_install();
    register_module();
    Song* song = song_create("module", nullptr);
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(song_start(song));

    const int32_t block = 884;
    const size_t order_frames = 338688;   // 64 rows x 6 ticks x 882 frames = 7.68 s
    const size_t total = 20 * order_frames;
    std::vector<int16_t> out(2 * (total + block));
    std::vector<float> mix(2 * block);
    int32_t until_tick = 0;
    for (size_t at = 0; at < total; at += block) {
        std::fill(mix.begin(), mix.end(), 0.0f);
        for (int32_t done = 0; done < block;) {
            if (until_tick == 0) {
                song_tick(song);
                until_tick = song->samples_per_tick;
            }
            int32_t piece = std::min(until_tick, block - done);
            mix_voices(mix.data() + 2 * done, &voice_list, piece);
            done += piece;
            until_tick -= piece;
        }
        clip_output(out.data() + 2 * at, mix.data(), block);
    }
    song_free(song);
    voice_probe_remove();

    int peak = 0;
    size_t at_limits = 0;
    for (size_t i = 0; i < 2 * total; i++) {
        peak = std::max(peak, std::abs((int)out[i]));
        at_limits += out[i] == 32767 || out[i] == -32768;
    }
    EXPECT_EQ(at_limits, 0u);
    EXPECT_LT(peak, 29205);   // at least 1 dB of headroom
    EXPECT_GT(peak, 16384);   // and not needlessly quiet

    size_t run = 0, longest = 0;
    for (size_t f = 44100; f < total; f++) {
        bool silent = std::abs(out[2 * f]) <= 33 && std::abs(out[2 * f + 1]) <= 33;
        run = silent ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_LT(longest, 44100u);

    for (size_t o = 0; o < 20; o++) {
        double sum = 0;
        for (size_t i = 2 * o * order_frames; i < 2 * (o + 1) * order_frames; i++)
            sum += (double)out[i] * out[i];
        double rms_db = 10.0 * std::log10(sum / (2.0 * order_frames)) - 20.0 * std::log10(32768.0);
        EXPECT_GT(rms_db, o == 0 ? -36.0 : -26.0) << "order " << o;
        EXPECT_LT(rms_db, -14.0) << "order " << o;
    }
}

// Every pitched note (bass, pads, lead, pluck, strings, bell on channels
// 3..11) stays in A minor (G sharp allowed: the leading tone, third of E);
// the last pattern resolves onto an A minor chord at row 32.
TEST(MusicModule, CompositionKeepsToOneKeyAndEndsOnTheTonic)
{
    RawModule m = parse(module_data);
    const std::set<int> a_minor = {9, 11, 0, 2, 4, 5, 7, 8};   // A B C D E F G, G sharp
    int pitched = 0;
    for (size_t p = 0; p < m.patterns.size(); p++) {
        for (int r = 0; r < 64; r++) {
            for (int ch = 3; ch <= 11; ch++) {
                const RawCell& c = m.patterns[p][r * 14 + ch];
                if (c.note == 0 || c.note == 97) continue;
                int pc = (c.note - 1) % 12;   // XM note 1 is C
                EXPECT_TRUE(a_minor.count(pc)) << "pattern " << p << " row " << r << " ch " << ch;
                pitched++;
                // Chip arpeggios stay on the chord: minor third or major third, and a fifth.
                if (c.effect == 0 && c.parameter) {
                    EXPECT_TRUE(c.parameter == 0x37 || c.parameter == 0x47);
                }
            }
        }
    }
    EXPECT_GT(pitched, 1500);

    const std::vector<RawCell>& last = m.patterns[16];
    std::set<int> final_chord;
    for (int r = 32; r < 64; r++)
        for (int ch = 3; ch <= 11; ch++) {
            const RawCell& c = last[r * 14 + ch];
            if (c.note && c.note != 97) final_chord.insert((c.note - 1) % 12);
        }
    EXPECT_EQ(final_chord, (std::set<int>{9, 0, 4}));   // A, C, E
}

// The three pad voices (channels 4..6) sound a major or minor triad at the
// start of every bar they play in, each voice within E3..C5, and voices
// that keep their pitch across a bar line are not struck again.
TEST(MusicModule, PadVoicesFormTriadsAndHoldCommonTones)
{
    RawModule m = parse(module_data);
    int bars_checked = 0;
    for (size_t p = 0; p < m.patterns.size(); p++) {
        int sounding[3] = {0, 0, 0};   // MIDI pitch per voice, 0 = none yet
        for (int r = 0; r < 64; r++) {
            for (int v = 0; v < 3; v++) {
                const RawCell& c = m.patterns[p][r * 14 + 4 + v];
                if (c.note && c.note != 97) {
                    int midi = c.note + 11;
                    EXPECT_NE(midi, sounding[v]) << "restruck common tone, pattern " << p << " row " << r;
                    EXPECT_GE(midi, 52);
                    EXPECT_LE(midi, 72);
                    sounding[v] = midi;
                }
            }
            if (r % 16 || !sounding[0] || !sounding[1] || !sounding[2]) continue;
            std::set<int> pcs;
            for (int v = 0; v < 3; v++) pcs.insert(sounding[v] % 12);
            ASSERT_EQ(pcs.size(), 3u) << "pattern " << p << " row " << r;
            bool triad = false;
            for (int root : pcs) {
                for (int third : {3, 4})
                    if (pcs == std::set<int>{root, (root + third) % 12, (root + 7) % 12}) triad = true;
            }
            EXPECT_TRUE(triad) << "pattern " << p << " row " << r;
            bars_checked++;
        }
    }
    EXPECT_GE(bars_checked, 60);
}

// The kick (channel 0) only ever falls on a beat: four to the floor, half
// time, or the final hit.
TEST(MusicModule, KickKeepsToTheBeat)
{
    RawModule m = parse(module_data);
    int kicks = 0;
    for (size_t p = 0; p < m.patterns.size(); p++)
        for (int r = 0; r < 64; r++) {
            const RawCell& c = m.patterns[p][r * 14];
            if (!c.note) continue;
            EXPECT_EQ(r % 4, 0) << "pattern " << p << " row " << r;
            EXPECT_EQ(c.instrument, 1);
            kicks++;
        }
    EXPECT_GT(kicks, 150);
}
