// music_test.cpp -- the soundtrack module: reproducible, well-formed, in key.
//
// The committed module must be exactly what the generator (tools/music/)
// writes; read through our own loader it must be, cell for cell and sample
// for sample, the module the generator described, with the show's fixed
// facts and nothing to mend; and the composition must keep to its rules (one
// key, the final chord resolving on A minor).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <vector>

#include "mixer/voice.h"
#include "player/module_file.h"
#include "player/render.h"
#include "player/replay.h"
#include "player/song.h"
#include "player/stream.h"
#include "assets/assets.h"
#include "tests/support/voice_probe.h"
#include "tools/formats/clicks.h"
#include "tools/xm/xm_check.h"
#include "tools/music/gen_music.h"

namespace {

constexpr int SIZE = MODULE_DATA_SIZE;
constexpr uint8_t KEY_OFF = 255;   // the loader's key-off (the file's 97)

// Loads the embedded module the way the show does.
Song* load_module()
{
    module_position = 0;
    register_stream_callbacks(module_open, module_close, module_read, module_seek, module_tell);
    return song_create("module", nullptr);
}

// The loaded module, freed at the end of each test.
struct LoadedModule {
    Song* song = load_module();
    ~LoadedModule() { song_free(song); }
    const Cell& cell(int pattern, int row, int channel) const
    {
        return song->patterns[pattern].cells[row * song->channel_count + channel];
    }
};

void expect_envelope(const XmEnvelope& made, const EnvelopePoint* points, uint8_t count,
                     uint8_t sustain, uint8_t loop_start, uint8_t loop_end, uint8_t type,
                     int instrument)
{
    ASSERT_EQ(count, made.points.size()) << "instrument " << instrument;
    for (size_t i = 0; i < made.points.size(); i++) {
        EXPECT_EQ(points[i].x, made.points[i].first) << "instrument " << instrument;
        EXPECT_EQ(points[i].y, made.points[i].second) << "instrument " << instrument;
    }
    EXPECT_EQ(sustain, made.sustain) << "instrument " << instrument;
    EXPECT_EQ(loop_start, made.loop_start) << "instrument " << instrument;
    EXPECT_EQ(loop_end, made.loop_end) << "instrument " << instrument;
    EXPECT_EQ(type, made.type) << "instrument " << instrument;
}

// The whole show's length played through our own replay engine and mixer as
// the mixing thread plays it (render_songs, block by block).
std::vector<int16_t> render_show_music(size_t total)
{
    voice_probe_install();
    Song* song = load_module();
    EXPECT_NE(song, nullptr);
    std::vector<int16_t> out(2 * (total + 884));
    if (!song || !song_start(song)) {
        song_free(song);
        voice_probe_remove();
        return out;
    }
    const int32_t block = mix_block_frames(44100);
    std::vector<float> mix(2 * block);
    for (size_t at = 0; at < total; at += block)
        render_songs(mix.data(), out.data() + 2 * at, block);
    song_free(song);
    voice_probe_remove();
    return out;
}

constexpr size_t ORDER_FRAMES = 338688;   // 64 rows x 6 ticks x 882 frames = 7.68 s

}  // namespace

TEST(MusicModule, GeneratorWritesTheEmbeddedModuleByteForByte)
{
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(music_build_file(bytes));
    ASSERT_EQ(bytes.size(), (size_t)SIZE);
    size_t first_difference = 0;
    while (first_difference < bytes.size() && bytes[first_difference] == module_data[first_difference])
        first_difference++;
    EXPECT_EQ(first_difference, (size_t)SIZE) << "regenerate assets/module_data.xm with tavimo-gen-music";
}

// The loader reads to the module's last byte, mends nothing, and finds the
// show's facts and every cell, instrument and sample the generator made;
// only the silent tail that pads the file is new.
TEST(MusicModule, LoadsAsTheGeneratorMadeItWithNothingToMend)
{
    LoadedModule loaded;
    const Song* song = loaded.song;
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(module_position, SIZE);
    EXPECT_EQ(xm_mended, 0u);

    EXPECT_EQ(song->song_length, 20);
    EXPECT_EQ(song->restart_position, 0);
    EXPECT_EQ(song->channel_count, 14);
    EXPECT_EQ(song->instrument_count, 11);
    EXPECT_EQ(song->pattern_slots, 17);
    EXPECT_EQ(song->module_flags & LINEAR_PERIODS, LINEAR_PERIODS);
    EXPECT_EQ(song->default_speed, 6);
    EXPECT_EQ(song->default_bpm, 125);
    const uint8_t orders[20] = {1, 6, 7, 2, 8, 9, 4, 5, 0, 3, 4, 5, 10, 12, 11, 5, 13, 14, 15, 16};
    for (int i = 0; i < 256; i++) EXPECT_EQ(song->order_table[i], i < 20 ? orders[i] : 0) << "order " << i;

    XmModule made = music_module();
    size_t tail = SIZE - xm_write(made).size();   // silence that pads the file
    for (int p = 0; p < song->pattern_slots; p++) {
        ASSERT_EQ(song->patterns[p].rows, 64);
        ASSERT_NE(song->patterns[p].cells, nullptr);
        for (int c = 0; c < 64 * 14; c++) {
            const Cell& cell = song->patterns[p].cells[c];
            const XmCell& want = made.patterns[p].cells[c];
            ASSERT_EQ(cell.note, want.note == 97 ? KEY_OFF : want.note) << "pattern " << p << " cell " << c;
            ASSERT_EQ(cell.instrument, want.instrument) << "pattern " << p << " cell " << c;
            ASSERT_EQ(cell.volume, want.volume) << "pattern " << p << " cell " << c;
            ASSERT_EQ(cell.effect, want.effect) << "pattern " << p << " cell " << c;
            ASSERT_EQ(cell.parameter, want.parameter) << "pattern " << p << " cell " << c;
            EXPECT_LE(cell.instrument, 11);
            // Volume column: empty, or a set volume of 0..64, or a command.
            EXPECT_TRUE(cell.volume == 0 || (cell.volume >= 0x10 && cell.volume <= 0x50) ||
                        cell.volume >= 0x60) << "pattern " << p;
        }
    }

    for (int i = 0; i < song->instrument_count; i++) {
        const Instrument& in = song->instruments[i];
        const XmInstrument& want = made.instruments[i];
        ASSERT_EQ(in.sample_count, (int)want.samples.size()) << "instrument " << i;
        for (int k = 0; k < 96; k++) EXPECT_EQ(in.keymap[k], want.keymap[k]) << "instrument " << i;
        expect_envelope(want.volume_envelope, in.volume_envelope, in.volume_points, in.volume_sustain,
                        in.volume_loop_start, in.volume_loop_end, in.volume_type, i);
        expect_envelope(want.panning_envelope, in.panning_envelope, in.panning_points,
                        in.panning_sustain, in.panning_loop_start, in.panning_loop_end,
                        in.panning_type, i);
        EXPECT_EQ(in.vibrato_type, want.vibrato_type) << "instrument " << i;
        EXPECT_EQ(in.vibrato_sweep, want.vibrato_sweep) << "instrument " << i;
        EXPECT_EQ(in.vibrato_depth, want.vibrato_depth) << "instrument " << i;
        EXPECT_EQ(in.vibrato_rate, want.vibrato_rate) << "instrument " << i;
        EXPECT_EQ(in.fadeout, 2 * want.fadeout) << "instrument " << i;
        for (int s = 0; s < in.sample_count; s++) {
            const Sample* smp = in.samples[s];
            const XmSample& w = want.samples[s];
            bool padded = i == MUSIC_PAD_INSTRUMENT && s == 0;
            ASSERT_EQ(smp->length, w.values.size() + (padded ? tail : 0)) << "instrument " << i;
            bool looped = w.loop_bits != 0;
            EXPECT_EQ(w.sixteen_bit, false) << "8-bit samples, instrument " << i;
            EXPECT_EQ(smp->loop_type, looped ? LOOP_FORWARD : LOOP_NONE) << "instrument " << i;
            EXPECT_EQ(smp->loop_start, looped ? w.loop_start : 0u) << "instrument " << i;
            EXPECT_EQ(smp->loop_length, looped ? w.loop_length : smp->length) << "instrument " << i;
            EXPECT_EQ(smp->volume, w.volume) << "instrument " << i;
            EXPECT_EQ(smp->finetune, w.finetune) << "instrument " << i;
            EXPECT_EQ(smp->panning, w.panning) << "instrument " << i;
            EXPECT_EQ(smp->relative_note, w.relative_note) << "instrument " << i;
            size_t wrong = 0;
            for (uint32_t v = 0; v < smp->length; v++)
                wrong += smp->data[v] != (v < w.values.size() ? w.values[v] * 256 : 0);
            EXPECT_EQ(wrong, 0u) << "sample values of instrument " << i << " sample " << s;
        }
        for (int s = in.sample_count; s < 16; s++) EXPECT_EQ(in.samples[s], &empty_sample);
    }
}

// The whole show's music: nothing reaches the 16-bit limits, the peak keeps
// headroom, every order position is audible at a sensible level, and after
// the first second there is no near-silence (-60 dBFS) longer than a second.
TEST(MusicModule, PlaysThroughOurEngineWithHeadroomAndNoGaps)
{
    const size_t order_frames = ORDER_FRAMES;
    const size_t total = 20 * order_frames;
    std::vector<int16_t> out = render_show_music(total);

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

// No click anywhere in the show's music by the project's rule
// (tools/formats/clicks.h): no note restarts a sounding voice with a jump.
TEST(MusicModule, HasNoClick)
{
    const size_t total = 20 * ORDER_FRAMES;
    std::vector<int16_t> out = render_show_music(total);
    Click where[5] = {};
    int64_t clicks = clicks_count(out.data(), (int64_t)total, 44100, where, 5);
    EXPECT_EQ(clicks, 0);
    for (int64_t i = 0; i < clicks && i < 5; i++)
        ADD_FAILURE() << "click at " << where[i].frame / 44100.0 << " s, channel " << where[i].channel
                      << ": " << where[i].before << " -> " << where[i].after;
}

// The composer's check (tavimo-xm check) finds no place where the sound
// jumps: no restart, no start away from zero, no one-shot ending or loop
// seam with a step.
TEST(MusicModule, CheckFindsNoPlaceWhereTheSoundJumps)
{
    Song* song = load_module();
    ASSERT_NE(song, nullptr);
    XmCheck check;
    EXPECT_TRUE(xm_check_run(song, 44100, 200, &check));
    EXPECT_TRUE(check.end_found);
    EXPECT_EQ(check.findings.size(), 0u);
    for (size_t i = 0; i < check.findings.size() && i < 5; i++) {
        char line[256];
        xm_check_line(line, sizeof line, song, &check, &check.findings[i]);
        ADD_FAILURE() << line;
    }
    song_free(song);
}

// Every pitched note (bass, pads, lead, pluck, strings, bell on channels
// 3..11) stays in A minor (G sharp allowed: the leading tone, third of E);
// the last pattern resolves onto an A minor chord at row 32.
TEST(MusicModule, CompositionKeepsToOneKeyAndEndsOnTheTonic)
{
    LoadedModule m;
    ASSERT_NE(m.song, nullptr);
    const std::set<int> a_minor = {9, 11, 0, 2, 4, 5, 7, 8};   // A B C D E F G, G sharp
    int pitched = 0;
    for (int p = 0; p < m.song->pattern_slots; p++) {
        for (int r = 0; r < 64; r++) {
            for (int ch = 3; ch <= 11; ch++) {
                const Cell& c = m.cell(p, r, ch);
                if (c.note == 0 || c.note == KEY_OFF) continue;
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

    std::set<int> final_chord;
    for (int r = 32; r < 64; r++)
        for (int ch = 3; ch <= 11; ch++) {
            const Cell& c = m.cell(16, r, ch);
            if (c.note && c.note != KEY_OFF) final_chord.insert((c.note - 1) % 12);
        }
    EXPECT_EQ(final_chord, (std::set<int>{9, 0, 4}));   // A, C, E
}

// The three pad voices (channels 4..6) sound a major or minor triad at the
// start of every bar they play in, each voice within E3..C5, and voices
// that keep their pitch across a bar line are not struck again.
TEST(MusicModule, PadVoicesFormTriadsAndHoldCommonTones)
{
    LoadedModule m;
    ASSERT_NE(m.song, nullptr);
    int bars_checked = 0;
    for (int p = 0; p < m.song->pattern_slots; p++) {
        int sounding[3] = {0, 0, 0};   // MIDI pitch per voice, 0 = none yet
        for (int r = 0; r < 64; r++) {
            for (int v = 0; v < 3; v++) {
                const Cell& c = m.cell(p, r, 4 + v);
                if (c.note && c.note != KEY_OFF) {
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
    LoadedModule m;
    ASSERT_NE(m.song, nullptr);
    int kicks = 0;
    for (int p = 0; p < m.song->pattern_slots; p++)
        for (int r = 0; r < 64; r++) {
            const Cell& c = m.cell(p, r, 0);
            if (!c.note) continue;
            EXPECT_EQ(r % 4, 0) << "pattern " << p << " row " << r;
            EXPECT_EQ(c.instrument, 1);
            kicks++;
        }
    EXPECT_GT(kicks, 150);
}
