// player_replay_test.cpp -- the replay engine played tick by tick on tiny
// modules, checking the voice commands and channel state of every tick.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "mixer/voice.h"
#include "player/channel.h"
#include "player/replay.h"
#include "player/song.h"
#include "tests/support/voice_probe.h"
#include "tools/formats/xm_writer.h"

static XmCell note(uint8_t n, uint8_t instrument = 1, uint8_t volume = 0, uint8_t effect = 0,
                   uint8_t parameter = 0)
{
    return XmCell{n, instrument, volume, effect, parameter};
}

static XmCell effect(uint8_t type, uint8_t parameter)
{
    return XmCell{0, 0, 0, type, parameter};
}

// One instrument with a 1000-value sample (no loop), volume 64, panning 128.
// Note r + 1 in row r of the last channel of a pattern: the channel's
// stored note (note - 1) then tells which row was entered.
static void mark_rows(XmModule& module, int pattern)
{
    for (int r = 0; r < module.patterns[pattern].rows; r++)
        xm_cell(module, pattern, r, module.channels - 1) = XmCell{static_cast<uint8_t>(r + 1), 0, 0, 0, 0};
}

static XmModule basic_module(int channels = 1)
{
    XmModule module;
    module.channels = channels;
    std::vector<int16_t> values(1000);
    for (size_t i = 0; i < values.size(); i++)
        values[i] = static_cast<int16_t>(i % 50);
    module.instruments.push_back(xm_instrument(values));
    return module;
}

class PlayerReplay : public ::testing::Test {
protected:
    void SetUp() override { voice_probe_install(); }
    void TearDown() override
    {
        song_free(song);
        voice_probe_remove();
    }
    Song* play(const XmModule& module)
    {
        song = probe_load(module);
        EXPECT_NE(song, nullptr);
        if (song) {
            EXPECT_TRUE(song_start(song));
        }
        return song;
    }
    std::vector<int32_t> frequencies(int channel, int ticks)
    {
        std::vector<int32_t> result;
        for (const VoiceCommands& c : probe_ticks(song, channel, ticks))
            result.push_back(c.frequency_sent ? c.frequency : -1);
        return result;
    }
    // The channel's volume after each of `ticks` ticks.
    std::vector<int32_t> volumes(int channel, int ticks)
    {
        std::vector<int32_t> result;
        for (int t = 0; t < ticks; t++) {
            song_tick(song);
            result.push_back(song->channels[channel].volume);
        }
        return result;
    }
    // The rows entered by `ticks` ticks at speed 1, read from the note that
    // mark_rows put in every row of the last channel.
    std::vector<int32_t> entered_rows(int ticks)
    {
        std::vector<int32_t> rows;
        for (int t = 0; t < ticks; t++) {
            song_tick(song);
            rows.push_back(song->channels[song->channel_count - 1].note);
        }
        return rows;
    }
    Song* song = nullptr;
};

using Ints = std::vector<int32_t>;

TEST_F(PlayerReplay, LinearPeriodsAndFrequencies)
{
    XmModule module = basic_module(3);
    module.instruments.push_back(module.instruments[0]);
    module.instruments.push_back(module.instruments[0]);
    module.instruments[1].samples[0].finetune = 127;
    module.instruments[2].samples[0].finetune = -128;
    xm_cell(module, 0, 0, 0) = note(49, 1);
    xm_cell(module, 0, 0, 1) = note(49, 2);
    xm_cell(module, 0, 0, 2) = note(49, 3);
    xm_cell(module, 0, 1, 0) = note(61, 0);
    play(module);
    voice_probe_arm();
    song_tick(song);
    const int32_t periods[3] = {4608, 4545, 4672};
    const int32_t hertz[3] = {8363, 8852, 7893};
    for (int c = 0; c < 3; c++) {
        VoiceCommands commands = voice_probe_read(c);
        EXPECT_TRUE(commands.started);
        EXPECT_EQ(commands.sample, song->instruments[c].samples[0]);
        EXPECT_EQ(song->channels[c].period, periods[c]);
        EXPECT_EQ(commands.frequency, hertz[c]);
    }
    for (int t = 1; t < 6; t++)
        song_tick(song);
    VoiceCommands next_row = probe_tick(song, 0);
    EXPECT_EQ(song->channels[0].period, 3840);
    EXPECT_EQ(next_row.frequency, 16726);
}

// The 16.16 slope between envelope points, worked in 32 bits, against the
// 64-bit quotient kept as 32 bits, over every kind of pair of points a file
// can hold: rising, falling, flat, one tick apart, points out of order and
// values far past 64 (quotients that wrap).
TEST(EnvelopeSlope, MatchesThe64BitQuotientForEveryPairOfPoints)
{
    const uint16_t values[] = {0, 1, 2, 3, 32, 63, 64, 65, 255, 1000, 32767, 32768, 65534, 65535};
    for (uint16_t x0 : values)
        for (uint16_t x1 : values)
            for (uint16_t y0 : values)
                for (uint16_t y1 : values) {
                    EnvelopePoint from = {x0, y0}, to = {x1, y1};
                    int32_t dx = int32_t(x1) - int32_t(x0);
                    int32_t expected = dx == 0 ? 0 : int32_t((int64_t(y1) * 65536 - int64_t(y0) * 65536) / dx);
                    ASSERT_EQ(envelope_slope(&from, &to), expected) << x0 << "," << y0 << " " << x1 << "," << y1;
                }
}

TEST_F(PlayerReplay, AmigaPeriods)
{
    EXPECT_EQ(amiga_period(48, 0), 1712);
    EXPECT_EQ(amiga_period(60, 0), 856);
    EXPECT_EQ(amiga_period(0, 0), 27392);
    EXPECT_EQ(amiga_period(48, 127), 1616);
    EXPECT_EQ(amiga_period(48, -128), 1813);
    XmModule module = basic_module();
    module.flags = 0;
    xm_cell(module, 0, 0, 0) = note(49);
    play(module);
    VoiceCommands commands = probe_tick(song, 0);
    EXPECT_EQ(song->channels[0].period, 1712);
    EXPECT_EQ(commands.frequency, 8362);  // 14317056 / 1712
}

TEST_F(PlayerReplay, VolumeFormulaAndDefaultPanning)
{
    XmModule module = basic_module(2);
    module.instruments[0].samples[0].panning = 200;
    xm_cell(module, 0, 0, 0) = note(49);
    xm_cell(module, 0, 0, 1) = note(49, 1, 0x30);  // volume 32
    play(module);
    voice_probe_arm();
    song_tick(song);
    EXPECT_EQ(voice_probe_read(0).volume, 127);
    EXPECT_EQ(voice_probe_read(0).panning, 200);
    EXPECT_EQ(voice_probe_read(1).volume, 63);
}

TEST_F(PlayerReplay, PanningEnvelopeWeighting)
{
    Song state = {};
    state.global_volume = 64;
    Channel channel = {};
    channel.voice = &voices[0];
    channel.voice_index = 0;
    Sample sample = {};
    const int32_t cases[][3] = {
        // panning, penv_out, sent
        {128, 64, 256}, {128, 0, 0}, {128, 32, 128}, {20, 64, 20}, {240, 0, 240}, {96, 40, 120},
    };
    for (const auto& c : cases) {
        channel.panning = c[0];
        channel.penv_out = c[1];
        channel.flags = UPDATE_PANNING;
        voice_probe_arm();
        update_voice(&channel, &sample, &state);
        EXPECT_EQ(voice_probe_read(0).panning, c[2]) << c[0] << " " << c[1];
        EXPECT_FALSE(voice_probe_read(0).volume_sent);
        EXPECT_FALSE(voice_probe_read(0).started);
    }
}

TEST_F(PlayerReplay, VolumeEnvelopeFallsThenStaysFinished)
{
    XmModule module = basic_module();
    module.instruments[0].volume_envelope.points = {{0, 64}, {10, 0}};
    module.instruments[0].volume_envelope.type = ENVELOPE_ON;
    xm_cell(module, 0, 0, 0) = note(49);
    play(module);
    Ints outputs;
    for (int t = 0; t < 13; t++) {
        song_tick(song);
        outputs.push_back(song->channels[0].venv_out);
    }
    EXPECT_EQ(outputs, (Ints{64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0, 0, 0}));
    EXPECT_EQ(song->channels[0].venv_done, 1);
}

// The loop jump is tested before the end and sustain tests: with a loop
// ending on the last point, the envelope never reaches its end.
TEST_F(PlayerReplay, EnvelopeSustainThenLoop)
{
    Instrument instrument = {};
    EnvelopePoint points[3] = {{0, 10}, {2, 20}, {4, 30}};
    Channel channel = {};
    EnvelopeState state = {&channel.venv_tick, &channel.venv_index, &channel.venv_value,
                           &channel.venv_out, &channel.venv_step, &channel.venv_done};
    (void)instrument;
    Ints outputs;
    for (int t = 0; t < 6; t++) {
        envelope_step(&channel, points, 3, 1, 1, 2,
                      ENVELOPE_ON | ENVELOPE_SUSTAIN | ENVELOPE_LOOP, state, UPDATE_VOLUME);
        outputs.push_back(channel.venv_out);
    }
    EXPECT_EQ(outputs, (Ints{10, 15, 20, 20, 20, 20}));  // held at the sustain point
    EXPECT_EQ(channel.flags & UPDATE_VOLUME, UPDATE_VOLUME);
    channel.key_off = 1;
    outputs.clear();
    for (int t = 0; t < 6; t++) {
        envelope_step(&channel, points, 3, 1, 1, 2,
                      ENVELOPE_ON | ENVELOPE_SUSTAIN | ENVELOPE_LOOP, state, UPDATE_VOLUME);
        outputs.push_back(channel.venv_out);
    }
    EXPECT_EQ(outputs, (Ints{20, 25, 20, 25, 20, 25}));
    EXPECT_EQ(channel.venv_done, 0);
}

TEST_F(PlayerReplay, ArpeggioOffsets)
{
    XmModule module = basic_module();
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 0, 0x47);
    xm_cell(module, 0, 1, 0) = effect(0, 0x00);
    play(module);
    EXPECT_EQ(frequencies(0, 6), (Ints{8363, 10536, 12530, 8363, 10536, 12530}));
    EXPECT_EQ(frequencies(0, 6), (Ints{8363, 8363, 8363, 8363, 8363, 8363}));
    // The deltas themselves: 0, 4 and 7 semitones of 64 units.
    song_start(song);
    Ints deltas;
    for (int t = 0; t < 6; t++) {
        song_tick(song);
        deltas.push_back(song->channels[0].period_delta);
    }
    EXPECT_EQ(deltas, (Ints{0, 256, 448, 0, 256, 448}));
}

TEST_F(PlayerReplay, VolumeColumnSlideAndFineSlide)
{
    XmModule module = basic_module(2);
    xm_cell(module, 0, 0, 0) = note(49, 1, 0x64);
    xm_cell(module, 0, 0, 1) = note(49, 1, 0x84);
    play(module);
    Ints slide, fine;
    for (int t = 0; t < 6; t++) {
        song_tick(song);
        slide.push_back(song->channels[0].volume);
        fine.push_back(song->channels[1].volume);
    }
    EXPECT_EQ(slide, (Ints{60, 56, 52, 48, 44, 40}));  // 24 in all
    EXPECT_EQ(fine, (Ints{60, 60, 60, 60, 60, 60}));
}

TEST_F(PlayerReplay, VolumeSlideMemory)
{
    XmModule module = basic_module();
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 10, 0x02);
    xm_cell(module, 0, 1, 0) = XmCell{0, 0, 0x30, 10, 0x20};
    xm_cell(module, 0, 2, 0) = effect(10, 0x00);
    xm_cell(module, 0, 3, 0) = effect(5, 0x03);   // tone portamento shares the memory
    xm_cell(module, 0, 4, 0) = effect(10, 0x00);
    play(module);
    EXPECT_EQ(volumes(0, 6), (Ints{64, 62, 60, 58, 56, 54}));
    EXPECT_EQ(volumes(0, 6), (Ints{32, 34, 36, 38, 40, 42}));
    EXPECT_EQ(volumes(0, 6), (Ints{42, 44, 46, 48, 50, 52}));
    EXPECT_EQ(volumes(0, 6), (Ints{52, 49, 46, 43, 40, 37}));
    EXPECT_EQ(volumes(0, 6), (Ints{37, 34, 31, 28, 25, 22}));
}

TEST_F(PlayerReplay, PortamentoUpFloorAndDownWithoutLimit)
{
    XmModule module = basic_module(2);
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 1, 0xFF);
    xm_cell(module, 0, 0, 1) = note(49, 1, 0, 2, 0xFF);
    xm_cell(module, 0, 1, 1) = effect(2, 0x00);  // memory
    play(module);
    Ints up, down;
    for (int t = 0; t < 12; t++) {
        song_tick(song);
        up.push_back(song->channels[0].period);
        down.push_back(song->channels[1].period);
    }
    EXPECT_EQ(up, (Ints{4608, 3588, 2568, 1548, 528, 56, 56, 56, 56, 56, 56, 56}));
    EXPECT_EQ(down[5], 4608 + 5 * 1020);
    EXPECT_EQ(down[11], 4608 + 10 * 1020);
}

TEST_F(PlayerReplay, SetVolumeClampsAt64)
{
    XmModule module = basic_module();
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 12, 0x50);
    xm_cell(module, 0, 1, 0) = effect(12, 0x20);
    play(module);
    EXPECT_EQ(volumes(0, 6)[0], 64);
    VoiceCommands commands = probe_tick(song, 0);
    EXPECT_EQ(song->channels[0].volume, 32);
    EXPECT_EQ(commands.volume, 63);
}

TEST_F(PlayerReplay, SampleOffset)
{
    XmModule module = basic_module();
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 9, 0x03);
    xm_cell(module, 0, 1, 0) = note(49, 1, 0, 9, 0x04);  // 1024: past the 1000 values
    xm_cell(module, 0, 2, 0) = effect(9, 0x02);          // no note: waits in the voice
    xm_cell(module, 0, 3, 0) = note(49, 1);
    play(module);
    VoiceCommands first = probe_tick(song, 0);
    EXPECT_TRUE(first.started);
    EXPECT_EQ(first.position, 768u);
    for (int t = 1; t < 6; t++)
        song_tick(song);
    VoiceCommands past = probe_tick(song, 0);
    EXPECT_TRUE(past.stopped);
    EXPECT_FALSE(past.started);
    EXPECT_EQ(voices[0].start_offset, 0u);
    for (int t = 1; t < 6; t++)
        song_tick(song);
    VoiceCommands waiting = probe_tick(song, 0);
    EXPECT_FALSE(waiting.started);
    EXPECT_EQ(voices[0].start_offset, 512u);
    for (int t = 1; t < 6; t++)
        song_tick(song);
    VoiceCommands later = probe_tick(song, 0);
    EXPECT_TRUE(later.started);
    EXPECT_EQ(later.position, 512u);
}

TEST_F(PlayerReplay, NoteDelay)
{
    XmModule module = basic_module(2);
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 14, 0xD3);
    xm_cell(module, 0, 0, 1) = note(49, 1, 0, 14, 0xD0);
    play(module);
    for (int t = 0; t < 6; t++) {
        voice_probe_arm();
        song_tick(song);
        VoiceCommands delayed = voice_probe_read(0);
        VoiceCommands never = voice_probe_read(1);
        EXPECT_EQ(delayed.started, t == 3) << t;
        EXPECT_EQ(delayed.volume_sent, t == 3) << t;
        EXPECT_EQ(delayed.panning_sent, t == 3) << t;
        EXPECT_FALSE(never.started) << t;
        EXPECT_FALSE(never.volume_sent) << t;
    }
    EXPECT_EQ(song->channels[0].volume, 64);
    EXPECT_EQ(song->channels[1].volume, 0);
}

TEST_F(PlayerReplay, NoteCut)
{
    XmModule module = basic_module(2);
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 14, 0xC2);
    xm_cell(module, 0, 0, 1) = note(49, 1, 0, 14, 0xC0);
    play(module);
    Ints cut, never;
    for (int t = 0; t < 6; t++) {
        song_tick(song);
        cut.push_back(song->channels[0].volume);
        never.push_back(song->channels[1].volume);
    }
    EXPECT_EQ(cut, (Ints{64, 64, 0, 0, 0, 0}));
    EXPECT_EQ(never, (Ints{64, 64, 64, 64, 64, 64}));
}

TEST_F(PlayerReplay, MultiRetrigger)
{
    XmModule module = basic_module(2);
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 27, 0x01);
    xm_cell(module, 0, 0, 1) = note(49, 1, 0, 27, 0x23);
    play(module);
    for (int t = 0; t < 6; t++) {
        voice_probe_arm();
        song_tick(song);
        EXPECT_TRUE(voice_probe_read(0).started) << t;
        EXPECT_EQ(voice_probe_read(1).started, t == 0 || t == 3) << t;
        EXPECT_EQ(song->channels[0].volume, 64);
        EXPECT_EQ(song->channels[1].volume, t < 3 ? 64 : 62) << t;
    }
    // Each action on a volume of 40.
    const int32_t expected[16] = {40, 39, 38, 36, 32, 24, 26, 20, 40, 41, 42, 44, 48, 56, 60, 64};
    for (uint8_t action = 0; action < 16; action++) {
        XmModule m = basic_module();
        xm_cell(m, 0, 0, 0) = note(49, 1, 0x38, 27, static_cast<uint8_t>(action << 4 | 2));
        song_free(song);
        play(m);
        song_tick(song);
        song_tick(song);
        song_tick(song);
        EXPECT_EQ(song->channels[0].volume, expected[action]) << int(action);
    }
}

TEST_F(PlayerReplay, Retrigger)
{
    XmModule module = basic_module();
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 14, 0x93);
    play(module);
    probe_tick(song, 0);
    for (int t = 1; t < 6; t++) {
        VoiceCommands commands = probe_tick(song, 0);
        EXPECT_EQ(commands.started, t == 3) << t;
        EXPECT_EQ(commands.volume_sent, t == 3) << t;
    }
}

TEST_F(PlayerReplay, GlobalVolumeSlideReachesVoicesOnTheirNextVolume)
{
    XmModule module = basic_module(2);
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 17, 0x01);
    xm_cell(module, 0, 0, 1) = note(49);
    xm_cell(module, 0, 1, 1) = effect(16, 0x70);  // G: at most 64
    play(module);
    Ints global;
    for (int t = 0; t < 6; t++) {
        VoiceCommands commands = probe_tick(song, 0);
        global.push_back(song->global_volume);
        if (t > 0) {
            EXPECT_FALSE(commands.volume_sent);
        }
    }
    EXPECT_EQ(global, (Ints{64, 63, 62, 61, 60, 59}));
    voice_probe_arm();
    song_tick(song);
    EXPECT_EQ(song->global_volume, 64);
    EXPECT_EQ(voice_probe_read(1).volume, 127);
}

TEST_F(PlayerReplay, PatternLoopPlaysThreeTimes)
{
    XmModule module = basic_module(2);
    module.speed = 1;
    module.song_length = 2;
    module.order = {0, 0};
    mark_rows(module, 0);
    xm_cell(module, 0, 8, 0) = effect(14, 0x60);
    xm_cell(module, 0, 15, 0) = effect(14, 0x62);
    play(module);
    Ints rows = entered_rows(40);
    Ints expected;
    for (int r = 0; r < 16; r++)
        expected.push_back(r);
    for (int pass = 0; pass < 2; pass++)
        for (int r = 8; r < 16; r++)
            expected.push_back(r);
    for (int r = 16; r < 24; r++)
        expected.push_back(r);
    EXPECT_EQ(rows, expected);
}

TEST_F(PlayerReplay, JumpAndBreakInBothChannelOrders)
{
    for (int jump_first = 0; jump_first < 2; jump_first++) {
        XmModule module = basic_module(4);
        module.speed = 1;
        module.song_length = 3;
        module.order = {0, 1, 2};
        module.patterns.resize(3);
        int jump_channel = jump_first ? 0 : 3;
        int break_channel = jump_first ? 3 : 0;
        xm_cell(module, 0, 0, jump_channel) = effect(11, 0x02);
        xm_cell(module, 0, 0, break_channel) = effect(13, 0x32);
        song_free(song);
        play(module);
        song_tick(song);
        song_tick(song);
        EXPECT_EQ(song->order_pos, 2);
        EXPECT_EQ(song->row, jump_first ? 32 : 0);
    }
}

TEST_F(PlayerReplay, JumpAndBreakTargetsOutsideTheSong)
{
    XmModule module = basic_module();
    module.speed = 1;
    module.song_length = 2;
    module.order = {0, 0};
    xm_cell(module, 0, 0, 0) = effect(11, 0x07);  // past the song: order 0
    xm_cell(module, 0, 1, 0) = effect(13, 0x64);  // row 64: row 0
    play(module);
    song_tick(song);
    EXPECT_EQ(song->next_order, 0);
    EXPECT_EQ(song->next_row, 0);
}

TEST_F(PlayerReplay, SpeedAndTempo)
{
    XmModule module = basic_module();
    xm_cell(module, 0, 0, 0) = effect(15, 0x00);
    play(module);
    Ints rows;
    for (int t = 0; t < 4; t++) {
        song_tick(song);
        rows.push_back(song->row);
    }
    EXPECT_EQ(rows, (Ints{0, 1, 2, 3}));  // speed 0: every tick is a row start

    XmModule tempo = basic_module();
    xm_cell(tempo, 0, 0, 0) = effect(15, 0x20);
    song_free(song);
    play(tempo);
    song_tick(song);
    EXPECT_EQ(song->bpm, 32);
    EXPECT_EQ(song->samples_per_tick, 3445);
    EXPECT_EQ(song->speed, 6);
}

TEST_F(PlayerReplay, PatternDelayKeepsArpeggioCycling)
{
    XmModule module = basic_module(2);
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 0, 0x47);
    xm_cell(module, 0, 0, 1) = effect(14, 0xE2);
    play(module);
    Ints ticks, deltas;
    for (int t = 0; t < 19; t++) {
        ticks.push_back(song->tick);
        song_tick(song);
        deltas.push_back(song->channels[0].period_delta);
    }
    for (int t = 0; t < 18; t++) {
        EXPECT_EQ(ticks[t], t);
        EXPECT_EQ(deltas[t], (Ints{0, 256, 448})[t % 3]) << t;
    }
    EXPECT_EQ(ticks[18], 0);
    EXPECT_EQ(song->row, 1);
}

TEST_F(PlayerReplay, TonePortamentoWithNoteAndInstrument)
{
    XmModule module = basic_module();
    module.instruments[0].samples[0].volume = 40;
    module.instruments[0].samples[0].panning = 100;
    module.instruments.push_back(xm_instrument({5, 6, 7}));
    module.instruments[1].samples[0].volume = 20;
    xm_cell(module, 0, 0, 0) = note(49, 1, 0x30);
    xm_cell(module, 0, 1, 0) = note(61, 2, 0, 3, 0x10);
    play(module);
    for (int t = 0; t < 6; t++)
        song_tick(song);
    EXPECT_EQ(voices[0].sample, song->instruments[0].samples[0]);
    VoiceCommands row_start = probe_tick(song, 0);
    EXPECT_FALSE(row_start.started);
    EXPECT_EQ(song->channels[0].instrument, 0);
    EXPECT_EQ(song->channels[0].period, 4608);
    EXPECT_EQ(song->channels[0].porta_target, 3840);
    EXPECT_EQ(song->channels[0].volume, 40);  // the kept sample's default
    EXPECT_EQ(row_start.panning, 100);
    Ints periods;
    for (int t = 1; t < 6; t++) {
        VoiceCommands commands = probe_tick(song, 0);
        EXPECT_FALSE(commands.started);
        periods.push_back(song->channels[0].period);
    }
    EXPECT_EQ(periods, (Ints{4544, 4480, 4416, 4352, 4288}));
}

TEST_F(PlayerReplay, KeyOffWithoutVolumeEnvelopeSilences)
{
    XmModule module = basic_module();
    xm_cell(module, 0, 0, 0) = note(49);
    xm_cell(module, 0, 1, 0) = XmCell{97, 0, 0, 0, 0};
    play(module);
    VoiceCommands first = probe_tick(song, 0);
    EXPECT_EQ(first.volume, 127);
    for (int t = 1; t < 6; t++)
        song_tick(song);
    VoiceCommands off = probe_tick(song, 0);
    EXPECT_TRUE(off.volume_sent);
    EXPECT_EQ(off.volume, 0);
    EXPECT_FALSE(off.started);
    for (int t = 0; t < 11; t++) {
        VoiceCommands later = probe_tick(song, 0);
        if (later.volume_sent) {
            EXPECT_EQ(later.volume, 0);
        }
    }
}

TEST_F(PlayerReplay, TremorAcrossRows)
{
    XmModule module = basic_module();
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 29, 0x12);
    xm_cell(module, 0, 1, 0) = effect(29, 0x00);
    play(module);
    Ints sent;
    for (int t = 0; t < 12; t++)
        sent.push_back(probe_tick(song, 0).volume);
    EXPECT_EQ(sent, (Ints{127, 127, 0, 0, 0, 127, 127, 0, 0, 0, 127, 127}));
}

TEST_F(PlayerReplay, RampAndSquareVibrato)
{
    Channel channel = {};
    channel.vibrato_depth = 8;
    channel.waveform = 1;
    const int32_t ramp[][2] = {{0, 0}, {31, -60}, {-32, 60}, {-1, 0}, {-4, 4}, {4, -8}};
    for (const auto& c : ramp) {
        channel.vibrato_pos = static_cast<int8_t>(c[0]);
        apply_vibrato(&channel);
        EXPECT_EQ(channel.period_delta, c[1]) << c[0];
    }
    channel.waveform = 2;
    channel.vibrato_pos = 5;
    apply_vibrato(&channel);
    EXPECT_EQ(channel.period_delta, -60);
    channel.vibrato_pos = -5;
    apply_vibrato(&channel);
    EXPECT_EQ(channel.period_delta, 60);
}

TEST_F(PlayerReplay, SineVibratoIsOneSmoothSymmetricCycle)
{
    Channel channel = {};
    channel.vibrato_depth = 15;
    Ints delta(64);
    for (int p = -32; p < 32; p++) {
        channel.vibrato_pos = static_cast<int8_t>(p);
        apply_vibrato(&channel);
        delta[p + 32] = channel.period_delta;
    }
    // Zero at both ends of each half, largest in the middle of each half.
    EXPECT_EQ(delta[0], 0);
    EXPECT_EQ(delta[32], 0);
    EXPECT_EQ(delta[16], 116);   // p = -16: (255 x 15) >> 5, low bits cleared
    EXPECT_EQ(delta[48], -116);  // p = 16
    for (int i = 0; i < 32; i++) {
        EXPECT_EQ(delta[i], -delta[i + 32]) << i;       // the halves mirror in sign
        EXPECT_GE(delta[i], 0);
        EXPECT_LE(abs(delta[i] - delta[(32 - i) % 32]), 4) << i;  // symmetric in a half
    }
    for (int i = 0; i < 64; i++)
        EXPECT_LE(abs(delta[(i + 1) % 64] - delta[i]), 16) << i;  // smooth, also across the wrap
    // Through the effect: the position advances by the speed after each use.
    XmModule module = basic_module();
    xm_cell(module, 0, 0, 0) = note(49, 1, 0, 4, 0x4F);
    play(module);
    Ints positions;
    for (int t = 0; t < 6; t++) {
        song_tick(song);
        positions.push_back(song->channels[0].vibrato_pos);
    }
    EXPECT_EQ(positions, (Ints{0, 4, 8, 12, 16, 20}));
}

TEST_F(PlayerReplay, AutoVibratoShapesAndSweep)
{
    Instrument instrument = {};
    instrument.vibrato_depth = 64;
    instrument.vibrato_rate = 1;
    Channel channel = {};
    const int32_t cases[][3] = {
        // type, position, delta: v x 64 >> 6 = v
        {1, 0, 64}, {1, 128, -64}, {2, 0, 0}, {2, 127, -64}, {2, 128, 64}, {2, 255, 0},
        {3, 0, 0}, {3, 128, 64}, {3, 129, -64}, {3, 255, -1}, {0, 64, 63}, {0, 192, -63},
        {7, 100, 0},
    };
    for (const auto& c : cases) {
        instrument.vibrato_type = static_cast<uint8_t>(c[0]);
        channel.autovib_pos = c[1];
        channel.period_delta = 0;
        channel.flags = 0;
        apply_auto_vibrato(&channel, &instrument);
        EXPECT_EQ(channel.period_delta, c[2]) << c[0] << " " << c[1];
        EXPECT_EQ(channel.flags, UPDATE_FREQUENCY);
    }
    // Sweep 4: nothing on the first tick, full depth after four.
    instrument.vibrato_type = 1;
    instrument.vibrato_sweep = 4;
    instrument.vibrato_rate = 0;
    channel.autovib_pos = 0;
    channel.autovib_sweep = 0;
    Ints deltas;
    for (int t = 0; t < 6; t++) {
        channel.period_delta = 0;
        apply_auto_vibrato(&channel, &instrument);
        deltas.push_back(channel.period_delta);
    }
    EXPECT_EQ(deltas, (Ints{0, 16, 32, 48, 64, 64}));
}

TEST_F(PlayerReplay, RowAdvanceOrderWrapAndEnded)
{
    XmModule module = basic_module();
    module.song_length = 2;
    module.order = {0, 1};
    module.patterns.resize(2);
    module.restart_position = 1;
    play(module);
    for (int t = 0; t < 384; t++)
        song_tick(song);
    EXPECT_EQ(song->ended, 0);
    song_tick(song);
    EXPECT_EQ(song->order_pos, 1);
    EXPECT_EQ(song->row, 0);
    for (int t = 1; t < 384; t++)
        song_tick(song);
    EXPECT_EQ(song->ended, 1);  // chosen at the last row's start
    song_tick(song);
    EXPECT_EQ(song->order_pos, 1);  // the restart position
    EXPECT_EQ(song->row, 0);
}

// Mended: a break or loop naming a row the entered pattern lacks starts at row 0.
TEST_F(PlayerReplay, BreakOrLoopPastAShortPatternEntersRowZero)
{
    XmModule module = basic_module(2);
    module.speed = 1;
    module.song_length = 2;
    module.order = {0, 1};
    module.patterns.resize(2);
    module.patterns[1].rows = 16;
    mark_rows(module, 0);
    mark_rows(module, 1);
    xm_cell(module, 0, 0, 0) = effect(13, 0x40);
    xm_cell(module, 1, 2, 0) = effect(14, 0x62);  // loop start 40, kept from pattern 0
    play(module);
    song->channels[0].loop_row = 40;
    EXPECT_EQ(entered_rows(8), (Ints{0, 0, 1, 2, 0, 1, 2, 0}));
    EXPECT_EQ(song->order_pos, 1);
}

TEST_F(PlayerReplay, InstrumentBeyondTheSongPlaysTheSilentEmptySample)
{
    XmModule module = basic_module();
    xm_cell(module, 0, 0, 0) = note(49, 9);
    play(module);
    VoiceCommands commands = probe_tick(song, 0);
    EXPECT_TRUE(commands.started);
    EXPECT_EQ(commands.sample, &empty_sample);
    EXPECT_EQ(commands.volume, 0);
}

// Mended: a restart position at or past the song length (a song built by
// hand; the loader already mends the file's) plays from order 0.
TEST_F(PlayerReplay, RestartPositionOutsideTheSongWrapsToOrderZero)
{
    XmModule module = basic_module();
    module.speed = 1;
    module.song_length = 2;
    module.order = {0, 0};
    module.patterns[0].rows = 2;
    play(module);
    song->restart_position = 7;
    for (int t = 0; t < 4; t++)
        song_tick(song);
    EXPECT_EQ(song->ended, 1);
    EXPECT_EQ(song->next_order, 0);
    song_tick(song);
    EXPECT_EQ(song->order_pos, 0);
}

// What an observer hears: each event with the sample its voice held at that
// moment (a note is reported before the voice restarts, a stop before it
// silences the voice).
struct HeardEvent {
    SongEvent event;
    const Sample* voice_sample;
};

static void hear(void* context, const Song*, const SongEvent* event)
{
    const Sample* held = event->voice >= 0 ? voices[event->voice].sample : nullptr;
    static_cast<std::vector<HeardEvent>*>(context)->push_back(HeardEvent{*event, held});
}

TEST_F(PlayerReplay, ObserverHearsRowsNotesAndStopsBeforeTheVoices)
{
    XmModule module = basic_module(2);
    module.speed = 2;
    module.song_length = 2;
    module.order = {1, 0};
    module.patterns.resize(2);
    module.patterns[0].rows = module.patterns[1].rows = 2;
    XmInstrument second = module.instruments[0];
    second.samples.push_back(second.samples[0]);
    for (uint8_t& slot : second.keymap)
        slot = 1;
    module.instruments.push_back(second);
    xm_cell(module, 1, 0, 0) = note(49, 1);
    xm_cell(module, 1, 0, 1) = note(49, 2);
    xm_cell(module, 1, 1, 0) = note(49, 2, 0, 14, 0xD1);  // delayed to tick 1
    xm_cell(module, 0, 0, 1) = note(49, 2, 0, 9, 0x10);   // offset 4096: past the end
    play(module);
    std::vector<HeardEvent> heard;
    song->observer = hear;
    song->observer_context = &heard;
    for (int t = 0; t < 8; t++)
        song_tick(song);
    const Sample* first = song->instruments[0].samples[0];
    const Sample* other = song->instruments[1].samples[1];
    struct Expected {
        uint8_t kind;
        int32_t order, pattern, row, tick, channel, instrument, sample;
        const Sample* voice_sample;
    };
    const Expected expected[] = {
        {SONG_EVENT_ROW, 0, 1, 0, 0, -1, -1, -1, nullptr},
        {SONG_EVENT_NOTE, 0, 1, 0, 0, 0, 0, 0, nullptr},
        {SONG_EVENT_NOTE, 0, 1, 0, 0, 1, 1, 1, nullptr},
        {SONG_EVENT_ROW, 0, 1, 1, 0, -1, -1, -1, nullptr},
        {SONG_EVENT_NOTE, 0, 1, 1, 1, 0, 1, 1, first},
        {SONG_EVENT_ROW, 1, 0, 0, 0, -1, -1, -1, nullptr},
        {SONG_EVENT_STOP, 1, 0, 0, 0, 1, 1, 1, other},
        {SONG_EVENT_ROW, 1, 0, 1, 0, -1, -1, -1, nullptr},
    };
    ASSERT_EQ(heard.size(), std::size(expected));
    for (size_t i = 0; i < heard.size(); i++) {
        const SongEvent& e = heard[i].event;
        SCOPED_TRACE(i);
        EXPECT_EQ(e.kind, expected[i].kind);
        EXPECT_EQ(Ints({e.order, e.pattern, e.row, e.tick, e.channel, e.instrument, e.sample}),
                  Ints({expected[i].order, expected[i].pattern, expected[i].row, expected[i].tick,
                        expected[i].channel, expected[i].instrument, expected[i].sample}));
        EXPECT_EQ(e.voice, e.channel);
        if (e.kind != SONG_EVENT_ROW) {
            EXPECT_EQ(heard[i].voice_sample, expected[i].voice_sample);
        }
    }
}
