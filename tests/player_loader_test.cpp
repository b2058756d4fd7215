// player_loader_test.cpp -- the XM loader: records built, and files refused or mended.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "player/module_file.h"
#include "player/song.h"
#include "player/stream.h"
#include "tools/formats/xm_writer.h"

static Song* load_bytes(const std::vector<uint8_t>& bytes)
{
    memory_file_register(bytes.data(), static_cast<int32_t>(bytes.size()));
    Song* song = song_create("test", nullptr);
    memory_file_set(nullptr, 0);
    return song;
}

static Song* load(const XmModule& module)
{
    return load_bytes(xm_write(module));
}

// Offset of the first pattern's packed data in a file written by xm_write.
enum { FIRST_PATTERN_DATA = XM_HEADER_OFFSET + XM_SONG_HEADER_SIZE + XM_PATTERN_HEADER };

TEST(PlayerLoader, HeaderFieldsAndTickFunction)
{
    XmModule module;
    module.channels = 3;
    module.song_length = 2;
    module.restart_position = 1;
    module.order = {0, 0};
    module.speed = 5;
    module.bpm = 140;
    module.flags = 0;
    Song* song = load(module);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->song_length, 2);
    EXPECT_EQ(song->restart_position, 1);
    EXPECT_EQ(song->channel_count, 3);
    EXPECT_EQ(song->default_speed, 5);
    EXPECT_EQ(song->default_bpm, 140);
    EXPECT_EQ(song->module_flags, 0);
    EXPECT_EQ(song->initial_global_volume, 64);
    EXPECT_NE(song->tick_function, nullptr);
    EXPECT_EQ(song->next, song);
    EXPECT_EQ(song->prev, song);
    EXPECT_EQ(song->playing, 0);
    song_free(song);
}

TEST(PlayerLoader, RefusesWrongIdAndMissingStream)
{
    std::vector<uint8_t> bytes = xm_write(XmModule{});
    bytes[9] = 'm';  // "Extended module: "
    EXPECT_EQ(load_bytes(bytes), nullptr);
    EXPECT_EQ(xm_refusal, XM_NOT_XM);
    register_stream_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(song_create("test", nullptr), nullptr);
    EXPECT_EQ(xm_refusal, XM_UNOPENED);
}

// The tools show a module from what the loader kept: the header's texts and
// facts, and every instrument's and sample's name, bytes as in the file.
TEST(PlayerLoader, KeepsNamesAndHeaderFacts)
{
    XmModule module;
    module.song_length = 2;
    module.order = {1, 3};
    module.patterns.resize(2);
    XmInstrument first = xm_instrument({1, 2, 3});
    first.name = "lead\x01synth";
    first.samples.push_back(first.samples[0]);
    XmInstrument second;
    second.name = "twenty-two characters";
    module.instruments = {first, second, xm_instrument({4})};
    std::vector<uint8_t> bytes = xm_write(module);
    memcpy(&bytes[17], "a song\x7f", 7);
    // The first instrument's sample headers follow its header.
    size_t instrument = size_t(std::search(bytes.begin(), bytes.end(), first.name.begin(),
                                           first.name.end()) - bytes.begin()) - 4;
    size_t sample_name = instrument + XM_INSTRUMENT_HEADER + XM_SAMPLE_NAME;
    memcpy(&bytes[sample_name], "kick  ", 6);
    memcpy(&bytes[sample_name + XM_SAMPLE_HEADER], "\x80snare", 6);
    Song* song = load_bytes(bytes);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(xm_refusal, XM_LOADED);
    EXPECT_EQ(memcmp(song->facts.name, "a song\x7f\0", 8), 0);
    EXPECT_EQ(song->facts.version, XM_VERSION);
    EXPECT_EQ(song->facts.header_size, uint32_t(XM_SONG_HEADER_SIZE));
    EXPECT_EQ(song->facts.file_patterns, 2);
    EXPECT_EQ(song->pattern_slots, 4);
    char text[XM_ITEM_NAME_BYTES + 1];
    xm_name_text(text, song->facts.name, XM_MODULE_NAME_BYTES);
    EXPECT_STREQ(text, "a song");
    xm_name_text(text, song->facts.tracker, XM_MODULE_NAME_BYTES);
    EXPECT_STREQ(text, "FastTracker v2.00");
    const char* expected[][3] = {{"lead synth", "kick", " snare"},
                                 {"twenty-two characters", nullptr, nullptr},
                                 {"", "", nullptr}};
    for (int n = 0; n < 3; n++) {
        const Instrument& in = song->instruments[n];
        xm_name_text(text, in.name, XM_ITEM_NAME_BYTES);
        EXPECT_STREQ(text, expected[n][0]) << n;
        ASSERT_EQ(in.sample_count, n == 0 ? 2 : n == 1 ? 0 : 1);
        for (int s = 0; s < in.sample_count; s++) {
            xm_name_text(text, in.sample_names[s], XM_ITEM_NAME_BYTES);
            EXPECT_STREQ(text, expected[n][s + 1]) << n << " " << s;
        }
    }
    song_free(song);
}

TEST(PlayerLoader, OrderTableNamesPatternsTheFileLacks)
{
    XmModule module;
    module.song_length = 3;
    module.order = {0, 20, 1};
    module.patterns.resize(17);
    Song* song = load(module);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->referenced_patterns, 21);
    EXPECT_EQ(song->pattern_slots, 21);
    for (int p = 17; p <= 20; p++) {
        EXPECT_EQ(song->patterns[p].rows, 64);
        ASSERT_NE(song->patterns[p].cells, nullptr);
        for (int c = 0; c < 64 * 4; c++)
            EXPECT_EQ(song->patterns[p].cells[c].note, 0);
    }
    song_free(song);
}

TEST(PlayerLoader, PackedAndUnpackedCells)
{
    XmModule module;
    module.channels = 1;
    module.patterns[0].rows = 4;
    // 0x80: all zero; 0x9F: all five fields; unpacked 97 with instrument 200;
    // unpacked note 5 with instrument 128.
    module.patterns[0].raw_data = {0x80, 0x9F, 10, 2, 0x40, 12, 0x20,
                                   97, 200, 0, 0, 0, 5, 128, 0x10, 15, 3};
    Song* song = load(module);
    ASSERT_NE(song, nullptr);
    const Cell* cells = song->patterns[0].cells;
    EXPECT_EQ(cells[0].note | cells[0].instrument | cells[0].volume | cells[0].effect |
                  cells[0].parameter, 0);
    EXPECT_EQ(cells[1].note, 10);
    EXPECT_EQ(cells[1].instrument, 2);
    EXPECT_EQ(cells[1].volume, 0x40);
    EXPECT_EQ(cells[1].effect, 12);
    EXPECT_EQ(cells[1].parameter, 0x20);
    EXPECT_EQ(cells[2].note, 255);
    EXPECT_EQ(cells[2].instrument, 0);
    EXPECT_EQ(cells[3].note, 5);
    EXPECT_EQ(cells[3].instrument, 128);
    EXPECT_EQ(cells[3].effect, 15);
    song_free(song);
}

TEST(PlayerLoader, NoteBytesThatAreNotNotesBecomeNoNote)
{
    XmModule module;
    module.channels = 1;
    module.patterns[0].rows = 3;
    module.patterns[0].raw_data = {0x81, 98, 0x81, 254, 0x81, 96};
    Song* song = load(module);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[0].cells[0].note, 0);
    EXPECT_EQ(song->patterns[0].cells[1].note, 0);
    EXPECT_EQ(song->patterns[0].cells[2].note, 96);
    song_free(song);
}

TEST(PlayerLoader, EmptyPackedPatternReadsNothing)
{
    XmModule module;
    module.patterns[0].empty_packed = true;
    module.patterns.push_back(XmPattern{});
    module.patterns[1].rows = 2;
    module.patterns[1].raw_data = {0x81, 49, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
    Song* song = load(module);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[0].rows, 64);
    EXPECT_EQ(song->patterns[1].cells[0].note, 49);
    song_free(song);
}

TEST(PlayerLoader, InstrumentEnvelopesFadeoutAndSamples)
{
    XmModule module;
    XmInstrument instrument = xm_instrument({16, 32, 16});
    instrument.keymap[50] = 3;
    instrument.volume_envelope.points = {{0, 64}, {10, 0}};
    instrument.volume_envelope.type = ENVELOPE_ON | ENVELOPE_SUSTAIN;
    instrument.panning_envelope.points = {{0, 32}};
    instrument.panning_envelope.type = ENVELOPE_ON;
    instrument.fadeout = 0x8100;  // doubled as 16 bits: wraps to 0x0200
    instrument.vibrato_type = 2;
    instrument.vibrato_depth = 9;
    module.instruments.push_back(instrument);
    module.instruments.push_back(XmInstrument{});  // no samples: 29-byte header
    module.instruments.push_back(xm_instrument({100, -100}, true));
    Song* song = load(module);
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(song->instrument_count, 3);
    const Instrument* first = &song->instruments[0];
    EXPECT_EQ(first->sample_count, 1);
    EXPECT_EQ(first->keymap[50], 3);
    EXPECT_EQ(first->volume_points, 2);
    EXPECT_EQ(first->volume_envelope[1].x, 10);
    EXPECT_EQ(first->volume_type, ENVELOPE_ON | ENVELOPE_SUSTAIN);
    EXPECT_EQ(first->panning_type, 0);  // a single point is no envelope
    EXPECT_EQ(first->fadeout, 0x0200);
    EXPECT_EQ(first->vibrato_type, 2);
    EXPECT_EQ(first->vibrato_depth, 9);
    for (int s = 1; s < 16; s++)
        EXPECT_EQ(first->samples[s], &empty_sample);
    const Sample* sample = first->samples[0];
    // 8-bit deltas 0x10, 0x10, 0xF0 load as 4096, 8192, 4096; the guard
    // behind the (loop-less) end repeats the first value.
    ASSERT_EQ(sample->length, 3u);
    EXPECT_EQ(sample->bits, 16);
    EXPECT_EQ(sample->loop_type, LOOP_NONE);
    EXPECT_EQ(sample->loop_start, 0u);
    EXPECT_EQ(sample->loop_length, 3u);
    EXPECT_EQ(sample->data[0], 4096);
    EXPECT_EQ(sample->data[1], 8192);
    EXPECT_EQ(sample->data[2], 4096);
    EXPECT_EQ(sample->data[3], 4096);
    EXPECT_EQ(song->instruments[1].sample_count, 0);
    EXPECT_EQ(song->instruments[1].samples[0], &empty_sample);
    const Sample* wide = song->instruments[2].samples[0];
    ASSERT_EQ(wide->length, 2u);
    EXPECT_EQ(wide->data[0], 100);
    EXPECT_EQ(wide->data[1], -100);
    EXPECT_EQ(wide->data[2], 100);
    song_free(song);
}

TEST(PlayerLoader, LoopTypesAndGuards)
{
    XmModule module;
    XmInstrument instrument;
    XmSample forward;
    forward.values = {1, 2, 3, 4, 5, 6};
    forward.loop_start = 2;
    forward.loop_length = 3;
    forward.loop_bits = 1;
    XmSample pingpong = forward;
    pingpong.loop_bits = 3;  // both bits: ping-pong wins
    XmSample wide_tiny_loop;  // 16-bit, loop of one byte: no loop at all
    wide_tiny_loop.values = {7, 8, 9};
    wide_tiny_loop.sixteen_bit = true;
    wide_tiny_loop.loop_bits = 1;
    wide_tiny_loop.raw_lengths = true;
    wide_tiny_loop.raw_length = 6;
    wide_tiny_loop.raw_loop_start = 2;
    wide_tiny_loop.raw_loop_length = 1;
    instrument.samples = {forward, pingpong, wide_tiny_loop};
    module.instruments.push_back(instrument);
    Song* song = load(module);
    ASSERT_NE(song, nullptr);
    Sample* const* samples = song->instruments[0].samples;
    EXPECT_EQ(samples[0]->loop_type, LOOP_FORWARD);
    EXPECT_EQ(samples[0]->data[5], samples[0]->data[2]);  // first loop value behind the loop
    EXPECT_EQ(samples[1]->loop_type, LOOP_PINGPONG);
    EXPECT_EQ(samples[1]->data[5], samples[1]->data[4]);  // last loop value repeated
    EXPECT_EQ(samples[2]->loop_type, LOOP_NONE);
    EXPECT_EQ(samples[2]->loop_start, 0u);
    EXPECT_EQ(samples[2]->loop_length, 3u);
    EXPECT_EQ(samples[2]->data[3], 7);
    song_free(song);
}

// Mended faults: loops past the sample are clamped into it.
TEST(PlayerLoader, LoopRunningPastTheSampleIsClamped)
{
    XmModule module;
    XmInstrument instrument;
    XmSample past;
    past.values = std::vector<int16_t>(100, 5);
    past.loop_start = 60;
    past.loop_length = 1000;
    past.loop_bits = 1;
    XmSample outside = past;
    outside.loop_start = 500;
    outside.loop_length = 10;
    instrument.samples = {past, outside};
    module.instruments.push_back(instrument);
    Song* song = load(module);
    ASSERT_NE(song, nullptr);
    const Sample* clamped = song->instruments[0].samples[0];
    EXPECT_EQ(clamped->loop_type, LOOP_FORWARD);
    EXPECT_EQ(clamped->loop_start, 60u);
    EXPECT_EQ(clamped->loop_length, 40u);
    const Sample* dropped = song->instruments[0].samples[1];
    EXPECT_EQ(dropped->loop_type, LOOP_NONE);
    EXPECT_EQ(dropped->loop_start, 0u);
    EXPECT_EQ(dropped->loop_length, 100u);
    song_free(song);
}

TEST(PlayerLoader, RefusesCountsThePlayerCannotHold)
{
    XmModule too_long;
    too_long.song_length = 257;
    EXPECT_EQ(load(too_long), nullptr);
    XmModule too_wide;
    too_wide.channels = 257;
    EXPECT_EQ(load(too_wide), nullptr);
    XmModule no_tempo;
    no_tempo.bpm = 0;
    EXPECT_EQ(load(no_tempo), nullptr);
    XmModule widest;  // the limits themselves load
    widest.channels = 256;
    widest.song_length = 256;
    widest.order.assign(256, 0);
    Song* song = load(widest);
    ASSERT_NE(song, nullptr);
    song_free(song);
}

TEST(PlayerLoader, RestartPositionOutsideTheSongPlaysFromTheStart)
{
    XmModule module;
    module.song_length = 2;
    module.order = {0, 0};
    module.restart_position = 2;
    Song* song = load(module);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->restart_position, 0);
    song_free(song);
}

TEST(PlayerLoader, MoreThanSixteenSamplesIsRefused)
{
    XmModule module;
    XmInstrument instrument = xm_instrument({1, 2});
    module.instruments.push_back(instrument);
    std::vector<uint8_t> bytes = xm_write(module);
    size_t count_offset = FIRST_PATTERN_DATA + 64 * 4 + 27;
    ASSERT_EQ(bytes[count_offset], 1);
    bytes[count_offset] = 17;
    EXPECT_EQ(load_bytes(bytes), nullptr);
}

// A short read is never success: every cut inside the headers or pattern
// data is refused; a cut inside the last sample's data keeps what is there.
TEST(PlayerLoader, TruncatedFiles)
{
    XmModule module;
    module.channels = 2;
    xm_cell(module, 0, 0, 0) = XmCell{49, 1, 0, 0, 0};
    module.instruments.push_back(xm_instrument({10, 20, 30, 40, 50, 60, 70, 80}));
    std::vector<uint8_t> bytes = xm_write(module);
    size_t sample_data = bytes.size() - 8;
    for (size_t cut = 0; cut < sample_data; cut++) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + cut);
        EXPECT_EQ(load_bytes(part), nullptr) << "cut at " << cut;
        // Within the signature the file is no XM; after it, a damaged one.
        EXPECT_EQ(xm_refusal, cut < XM_ID_BYTES ? XM_NOT_XM : XM_DAMAGED) << "cut at " << cut;
    }
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + sample_data + 3);
    Song* song = load_bytes(part);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(xm_refusal, XM_LOADED);
    const Sample* sample = song->instruments[0].samples[0];
    ASSERT_EQ(sample->length, 8u);
    EXPECT_EQ(sample->data[0], 10 * 256);
    EXPECT_EQ(sample->data[2], 30 * 256);
    for (int i = 3; i < 8; i++)
        EXPECT_EQ(sample->data[i], 0) << i;  // silence, not the last value held
    EXPECT_EQ(sample->data[8], 10 * 256);  // guard
    song_free(song);
}

TEST(PlayerLoader, EnvelopePointCountsAboveTwelveAreCapped)
{
    XmModule module;
    XmInstrument instrument = xm_instrument({1});
    instrument.volume_envelope.points = {{0, 64}, {4, 0}};
    instrument.volume_envelope.type = ENVELOPE_ON;
    module.instruments.push_back(instrument);
    std::vector<uint8_t> bytes = xm_write(module);
    size_t points_offset = FIRST_PATTERN_DATA + 64 * 4 + 29 + 4 + 96 + 96;
    ASSERT_EQ(bytes[points_offset], 2);
    bytes[points_offset] = 200;
    Song* song = load_bytes(bytes);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instruments[0].volume_points, 12);
    song_free(song);
}

TEST(PlayerLoader, SampleReaderDeliversDecodedValues)
{
    XmModule module;
    module.instruments.push_back(xm_instrument({5, 5, 5}));
    module.instruments.push_back(xm_instrument({1, 1, 1, 1}));
    std::vector<uint8_t> bytes = xm_write(module);
    memory_file_register(bytes.data(), static_cast<int32_t>(bytes.size()));
    static int calls;
    calls = 0;
    Song* song = song_create("test", [](uint8_t* d, int32_t n, int32_t bits, int32_t instrument,
                                        int32_t sample) {
        EXPECT_EQ(bits, 8);
        EXPECT_EQ(n, 3 + instrument);
        EXPECT_EQ(sample, 0);
        calls++;
        for (int32_t i = 0; i < n; i++)
            d[i] = static_cast<uint8_t>(i + 1);
    });
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(calls, 2);
    // Already decoded: no delta decoding on top; the stream skips the bytes.
    EXPECT_EQ(song->instruments[0].samples[0]->data[0], 1 * 256);
    EXPECT_EQ(song->instruments[0].samples[0]->data[2], 3 * 256);
    EXPECT_EQ(song->instruments[1].samples[0]->data[3], 4 * 256);
    song_free(song);
}
