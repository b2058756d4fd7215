// api_test.cpp -- the C library (api/tavimo_xm.h) on a small module written
// here: rows and notes reported at the frames counted from the tempo, the
// position, seeking, passes, both sample formats, and refused input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "api/tavimo_xm.h"
#include "tools/formats/xm_writer.h"

namespace {

// At 44100 Hz a tick lasts 882 frames at 125 BPM and 1378 at 80 BPM (from
// row 4 on, set there by F50); a row is six ticks.
enum { RATE = 44100, TICK = 882, SLOW_TICK = 1378, ROW = 6 * TICK, SLOW_ROW = 6 * SLOW_TICK };

int64_t row_frame(int row)  // rows counted through both orders
{
    return row <= 4 ? int64_t(row) * ROW : 4 * ROW + int64_t(row - 4) * SLOW_ROW;
}
const int64_t LENGTH = row_frame(32);  // the order list runs out after 32 rows

// Four channels; order 0 plays pattern 0, order 1 pattern 1, 16 rows each.
std::vector<uint8_t> test_module()
{
    XmModule module;
    module.song_length = 2;
    module.order = {0, 1};
    module.patterns = {XmPattern{}, XmPattern{}};
    module.patterns[0].rows = module.patterns[1].rows = 16;
    for (int i = 0; i < 2; i++) {
        std::vector<int16_t> wave(64);
        for (int k = 0; k < 64; k++)
            wave[size_t(k)] = int16_t(20000 * std::sin(k * (i + 1) * 6.2831853 / 64));
        XmInstrument instrument = xm_instrument(wave, true);
        instrument.samples[0].loop_bits = 1;
        instrument.samples[0].loop_length = 64;
        instrument.name = i == 0 ? "lead  " : "bass\x01";
        module.instruments.push_back(instrument);
    }
    xm_cell(module, 0, 0, 0) = XmCell{49, 1, 0, 0, 0};
    xm_cell(module, 0, 2, 1) = XmCell{61, 2, 0, 0xE, 0xD3};  // note delayed by 3 ticks
    xm_cell(module, 0, 4, 2) = XmCell{0, 0, 0, 0xF, 80};     // 80 BPM
    xm_cell(module, 0, 6, 0) = XmCell{0, 0, 0x20, 0, 0};     // volume 16: a gain ramp
    xm_cell(module, 0, 8, 3) = XmCell{49, 2, 0, 0, 0};
    xm_cell(module, 1, 0, 0) = XmCell{55, 1, 0, 0, 0};
    xm_cell(module, 1, 5, 1) = XmCell{97, 0, 0, 0, 0};       // key-off
    return xm_write(module);
}

TavimoXm* load_test_module(const char** why = nullptr)
{
    std::vector<uint8_t> bytes = test_module();
    return tavimo_xm_load(bytes.data(), bytes.size(), RATE, why);
}

struct Heard {
    std::vector<TavimoXmEvent> events;
    int64_t buffer_start = 0;  // frame of the buffer being rendered
    bool offsets_right = true;
};

void hear(void* user, const TavimoXmEvent* event)
{
    Heard* heard = static_cast<Heard*>(user);
    heard->offsets_right &= event->frame == heard->buffer_start + event->offset;
    heard->events.push_back(*event);
}

// Renders to the end in buffers of `chunk` frames from frame `start`; the
// frame it ends at.
int64_t render_all(TavimoXm* xm, Heard* heard, int chunk, int64_t start = 0)
{
    std::vector<int16_t> buffer(size_t(chunk) * 2);
    int64_t total = start;
    for (;;) {
        heard->buffer_start = total;
        int n = tavimo_xm_render_s16(xm, buffer.data(), chunk);
        total += n;
        if (n < chunk)
            return total;
    }
}

std::vector<TavimoXmEvent> of_kind(const std::vector<TavimoXmEvent>& events, int kind)
{
    std::vector<TavimoXmEvent> out;
    for (const TavimoXmEvent& e : events)
        if (e.kind == kind)
            out.push_back(e);
    return out;
}

}  // namespace

TEST(Api, FactsAndLength)
{
    TavimoXm* xm = load_test_module();
    ASSERT_NE(xm, nullptr);
    TavimoXmInfo info;
    tavimo_xm_info(xm, &info);
    EXPECT_STREQ(info.name, "");
    EXPECT_STREQ(info.tracker, "FastTracker v2.00");
    EXPECT_EQ(info.version, 0x0104);
    EXPECT_EQ(info.channels, 4);
    EXPECT_EQ(info.orders, 2);
    EXPECT_EQ(info.patterns, 2);
    EXPECT_EQ(info.instruments, 2);
    EXPECT_EQ(info.samples, 2);
    EXPECT_EQ(info.speed, 6);
    EXPECT_EQ(info.tempo, 125);
    EXPECT_EQ(info.linear_periods, 1);
    EXPECT_EQ(info.rate, RATE);
    EXPECT_EQ(info.length_frames, LENGTH);
    EXPECT_DOUBLE_EQ(info.length_seconds, double(LENGTH) / double(RATE));
    EXPECT_EQ(info.end_kind, TAVIMO_XM_END_ORDER_LIST);
    EXPECT_EQ(info.end_back_order, 0);
    EXPECT_EQ(tavimo_xm_order_pattern(xm, 1), 1);
    EXPECT_EQ(tavimo_xm_order_pattern(xm, 2), -1);
    EXPECT_EQ(tavimo_xm_pattern_rows(xm, 0), 16);
    EXPECT_EQ(tavimo_xm_instrument_samples(xm, 1), 1);
    EXPECT_STREQ(tavimo_xm_instrument_name(xm, 0), "lead");
    EXPECT_STREQ(tavimo_xm_instrument_name(xm, 1), "bass");
    EXPECT_STREQ(tavimo_xm_instrument_name(xm, 2), "");
    EXPECT_STREQ(tavimo_xm_sample_name(xm, 1, 0), "");
    EXPECT_STREQ(tavimo_xm_sample_name(xm, 1, 1), "");
    tavimo_xm_free(xm);
}

// Each row and note at the first frame of its tick, in buffers that cut
// across blocks and ticks; the song ends at its length and then gives nothing.
TEST(Api, RowsAndNotesAtTheirFrames)
{
    TavimoXm* xm = load_test_module();
    ASSERT_NE(xm, nullptr);
    Heard heard;
    tavimo_xm_set_event_function(xm, hear, &heard);
    EXPECT_EQ(render_all(xm, &heard, 1000), LENGTH);
    EXPECT_TRUE(heard.offsets_right);

    std::vector<TavimoXmEvent> rows = of_kind(heard.events, TAVIMO_XM_EVENT_ROW);
    ASSERT_EQ(rows.size(), 32u);
    for (int r = 0; r < 32; r++) {
        EXPECT_EQ(rows[size_t(r)].frame, row_frame(r)) << "row " << r;
        EXPECT_EQ(rows[size_t(r)].order, r / 16);
        EXPECT_EQ(rows[size_t(r)].pattern, r / 16);
        EXPECT_EQ(rows[size_t(r)].row, r % 16);
        EXPECT_EQ(rows[size_t(r)].channel, -1);
    }
    struct Note { int64_t frame; int channel, instrument, row, tick; };
    const Note expected[] = {{0, 0, 0, 0, 0},
                             {row_frame(2) + 3 * TICK, 1, 1, 2, 3},
                             {row_frame(8), 3, 1, 8, 0},
                             {row_frame(16), 0, 0, 0, 0}};
    std::vector<TavimoXmEvent> notes = of_kind(heard.events, TAVIMO_XM_EVENT_NOTE);
    ASSERT_EQ(notes.size(), 4u);
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(notes[i].frame, expected[i].frame) << "note " << i;
        EXPECT_EQ(notes[i].channel, expected[i].channel);
        EXPECT_EQ(notes[i].instrument, expected[i].instrument);
        EXPECT_EQ(notes[i].sample, 0);
        EXPECT_EQ(notes[i].row, expected[i].row);
        EXPECT_EQ(notes[i].tick, expected[i].tick);
    }
    int16_t after[8];
    EXPECT_EQ(tavimo_xm_render_s16(xm, after, 4), 0);
    TavimoXmPosition p;
    tavimo_xm_position(xm, &p);
    EXPECT_EQ(p.finished, 1);
    EXPECT_EQ(p.frame, LENGTH);
    tavimo_xm_free(xm);
}

// The position is that of the last frame rendered.
TEST(Api, PositionOfTheLastFrame)
{
    TavimoXm* xm = load_test_module();
    ASSERT_NE(xm, nullptr);
    TavimoXmPosition p;
    tavimo_xm_position(xm, &p);
    EXPECT_EQ(p.order, 0);
    EXPECT_EQ(p.row, 0);
    EXPECT_EQ(p.frame, 0);
    std::vector<int16_t> buffer(size_t(2) * LENGTH);
    struct Expect { int64_t upto; int order, row, tick, tempo; };
    const Expect steps[] = {{row_frame(2) + 3 * TICK, 0, 2, 2, 125},
                            {row_frame(2) + 3 * TICK + 1, 0, 2, 3, 125},
                            {row_frame(4), 0, 3, 5, 125},
                            {row_frame(4) + 1, 0, 4, 0, 80},
                            {row_frame(17) + SLOW_TICK + 1, 1, 1, 1, 80}};
    int64_t done = 0;
    for (const Expect& e : steps) {
        ASSERT_EQ(tavimo_xm_render_s16(xm, buffer.data(), int(e.upto - done)), int(e.upto - done));
        done = e.upto;
        tavimo_xm_position(xm, &p);
        EXPECT_EQ(p.frame, e.upto);
        EXPECT_EQ(p.order, e.order) << "at " << e.upto;
        EXPECT_EQ(p.pattern, e.order);
        EXPECT_EQ(p.row, e.row) << "at " << e.upto;
        EXPECT_EQ(p.tick, e.tick) << "at " << e.upto;
        EXPECT_EQ(p.tempo, e.tempo);
        EXPECT_EQ(p.speed, 6);
        EXPECT_DOUBLE_EQ(p.seconds, double(e.upto) / double(RATE));
    }
    tavimo_xm_free(xm);
}

// A seek goes on from the order's first row at the next frame; the rows
// before it do not count towards the end, which comes when the order list
// runs out after it.
TEST(Api, SeekToAnOrder)
{
    TavimoXm* xm = load_test_module();
    ASSERT_NE(xm, nullptr);
    Heard heard;
    tavimo_xm_set_event_function(xm, hear, &heard);
    std::vector<int16_t> buffer(size_t(2) * 10000);
    ASSERT_EQ(tavimo_xm_render_s16(xm, buffer.data(), 10000), 10000);
    heard.events.clear();
    EXPECT_EQ(tavimo_xm_seek_order(xm, 7), 1);  // held to the last order
    TavimoXmPosition p;
    tavimo_xm_position(xm, &p);
    EXPECT_EQ(p.order, 1);
    EXPECT_EQ(p.row, 0);
    EXPECT_EQ(p.frame, 10000);
    heard.buffer_start = 10000;
    ASSERT_EQ(tavimo_xm_render_s16(xm, buffer.data(), 10000), 10000);
    ASSERT_GE(heard.events.size(), 3u);
    EXPECT_EQ(heard.events[0].kind, TAVIMO_XM_EVENT_ROW);
    EXPECT_EQ(heard.events[0].order, 1);
    EXPECT_EQ(heard.events[0].row, 0);
    EXPECT_EQ(heard.events[0].frame, 10000);
    EXPECT_EQ(heard.events[0].offset, 0);
    EXPECT_EQ(heard.events[1].kind, TAVIMO_XM_EVENT_NOTE);
    EXPECT_EQ(heard.events[1].frame, 10000);
    EXPECT_EQ(heard.events[2].frame, 10000 + ROW);  // still 125 BPM: row 4 was never played
    EXPECT_EQ(render_all(xm, &heard, 4096, 20000), 10000 + 16 * ROW);
    EXPECT_TRUE(heard.offsets_right);

    // After the end a seek plays on, a first pass again.
    EXPECT_EQ(tavimo_xm_seek_order(xm, 0), 0);
    EXPECT_EQ(tavimo_xm_render_s16(xm, buffer.data(), 10000), 10000);
    tavimo_xm_position(xm, &p);
    EXPECT_EQ(p.finished, 0);
    EXPECT_EQ(p.pass, 0);
    EXPECT_EQ(p.row, 1);
    tavimo_xm_free(xm);
}

// One more pass plays the song again from order 0, now at 80 BPM throughout;
// for ever never ends.
TEST(Api, LoopCount)
{
    TavimoXm* xm = load_test_module();
    ASSERT_NE(xm, nullptr);
    tavimo_xm_set_loops(xm, 1);
    Heard heard;
    EXPECT_EQ(render_all(xm, &heard, 5000), LENGTH + 32 * SLOW_ROW);
    TavimoXmPosition p;
    tavimo_xm_position(xm, &p);
    EXPECT_EQ(p.pass, 1);
    EXPECT_EQ(p.finished, 1);
    tavimo_xm_free(xm);

    xm = load_test_module();
    ASSERT_NE(xm, nullptr);
    tavimo_xm_set_loops(xm, TAVIMO_XM_LOOP_FOREVER);
    std::vector<int16_t> buffer(size_t(2) * 100000);
    int64_t total = 0;
    for (int i = 0; i < 20; i++)
        total += tavimo_xm_render_s16(xm, buffer.data(), 100000);
    EXPECT_EQ(total, 2000000);
    tavimo_xm_position(xm, &p);
    EXPECT_GE(p.pass, 5);
    EXPECT_EQ(p.finished, 0);
    tavimo_xm_free(xm);
}

// Float values round to the 16-bit ones, and neither depends on how the
// frames are split into calls.
TEST(Api, FloatAndSixteenBitAgreeWhateverTheSplit)
{
    std::vector<int16_t> whole(size_t(LENGTH) * 2), pieces(size_t(LENGTH) * 2);
    std::vector<float> floats(size_t(LENGTH) * 2);
    TavimoXm* xm = load_test_module();
    ASSERT_NE(xm, nullptr);
    EXPECT_EQ(tavimo_xm_render_s16(xm, whole.data(), int(LENGTH)), LENGTH);
    tavimo_xm_free(xm);

    xm = load_test_module();
    ASSERT_NE(xm, nullptr);
    int64_t done = 0;
    for (int n = 1; done < LENGTH; n = n % 997 + 7)
        done += tavimo_xm_render_s16(xm, pieces.data() + done * 2, int(std::min<int64_t>(n, LENGTH - done)));
    tavimo_xm_free(xm);
    EXPECT_TRUE(whole == pieces);

    xm = load_test_module();
    ASSERT_NE(xm, nullptr);
    for (done = 0; done < LENGTH;)
        done += tavimo_xm_render_float(xm, floats.data() + done * 2, int(std::min<int64_t>(333, LENGTH - done)));
    tavimo_xm_free(xm);
    int loud = 0, differ = 0;
    for (size_t i = 0; i < whole.size(); i++) {
        loud += std::abs(whole[i]) > 1000;
        differ += std::lrint(floats[i] * 32768.0f) != whole[i];
    }
    EXPECT_GT(loud, LENGTH / 2);  // the comparison is over sound, not silence
    EXPECT_EQ(differ, 0);
}

TEST(Api, RefusedInputGivesAReason)
{
    const char* why = nullptr;
    EXPECT_EQ(tavimo_xm_load(nullptr, 100, RATE, &why), nullptr);
    EXPECT_STREQ(why, "not an XM module");
    const char text[] = "Extended Modul";
    EXPECT_EQ(tavimo_xm_load(text, sizeof text, RATE, &why), nullptr);
    EXPECT_STREQ(why, "not an XM module");
    std::vector<uint8_t> bytes = test_module();
    for (size_t cut : {size_t(60), size_t(300), bytes.size() / 2}) {
        why = nullptr;
        EXPECT_EQ(tavimo_xm_load(bytes.data(), cut, RATE, &why), nullptr) << cut;
        EXPECT_STREQ(why, "damaged XM module (truncated or inconsistent data)") << cut;
    }
    EXPECT_EQ(tavimo_xm_load(bytes.data(), bytes.size(), 4000, &why), nullptr);
    EXPECT_STREQ(why, "output rate outside 8000..384000 Hz");
    EXPECT_EQ(tavimo_xm_load(bytes.data(), bytes.size(), 4000, nullptr), nullptr);

    TavimoXm* xm = tavimo_xm_load(bytes.data(), bytes.size(), RATE, &why);
    ASSERT_NE(xm, nullptr);
    EXPECT_EQ(tavimo_xm_load(bytes.data(), bytes.size(), RATE, &why), nullptr);
    EXPECT_STREQ(why, "another module is loaded (one per process)");
    tavimo_xm_free(xm);

    // Nothing loaded: every call is harmless.
    int16_t s16[4] = {1, 1, 1, 1};
    float f32[4];
    TavimoXmInfo info = {};
    TavimoXmPosition p = {};
    EXPECT_EQ(tavimo_xm_render_s16(nullptr, s16, 2), 0);
    EXPECT_EQ(tavimo_xm_render_float(nullptr, f32, 2), 0);
    tavimo_xm_info(nullptr, &info);
    tavimo_xm_position(nullptr, &p);
    EXPECT_EQ(tavimo_xm_seek_order(nullptr, 1), 0);
    tavimo_xm_set_loops(nullptr, 1);
    tavimo_xm_set_event_function(nullptr, hear, nullptr);
    EXPECT_EQ(tavimo_xm_order_pattern(nullptr, 0), -1);
    EXPECT_STREQ(tavimo_xm_instrument_name(nullptr, 0), "");
    tavimo_xm_free(nullptr);
}
