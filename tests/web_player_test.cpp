// web_player_test.cpp -- the web page's module player over the fake device:
// what the page shows (facts, refusals, rows as trackers write them, the
// position heard one ring behind the mixing), and that what it plays and
// renders is what tavimo-xm renders.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/fake_sound.h"
#include "tests/support/golden.h"
#include "tests/support/voice_probe.h"
#include "tools/formats/xm_writer.h"
#include "tools/webplayer/web_player.h"

namespace {

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::string run(const std::string& command)
{
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    std::string out;
    if (!p)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        out.append(buffer, n);
    pclose(p);
    return out;
}

std::string load(const std::string& name, const std::vector<uint8_t>& bytes)
{
    uint8_t* buffer = web_player_buffer(int32_t(bytes.size()));
    if (!buffer)
        return "no buffer";
    if (!bytes.empty())
        memcpy(buffer, bytes.data(), bytes.size());
    return web_player_load(name.c_str(), int32_t(bytes.size()));
}

// Moves the device on to `frames` frames played, half a block at a time,
// mixing what is due at each step as the page's frames do.
const WebPlayerStatus* play_to(int64_t frames)
{
    int64_t at = int64_t(fake_sound.position / 4);
    while (at < frames) {
        at = at + block_frames / 2 < frames ? at + block_frames / 2 : frames;
        fake_sound.position = uint64_t(at) * 4;
        web_player_frame();
    }
    return web_player_frame();
}

struct WebPlayerTest : ::testing::Test {
    void SetUp() override
    {
        FakeSoundScript script;
        script.threaded = false;
        fake_sound_reset(script);
        ASSERT_TRUE(web_player_open(44100));
        web_player_set_loop(false);
    }
    void TearDown() override
    {
        web_player_buffer(0);
        web_player_load("", 0);  // refused: frees the song
        fake_sound_reset();
    }
};

// Speed 6 at 125 BPM: 882 frames a tick, 5292 a row. Two orders of an
// eight-row pattern; channel 0 plays a loud looping square, channel 1 nothing.
std::vector<uint8_t> tiny_module(void)
{
    XmModule m;
    m.channels = 2;
    m.song_length = 2;
    m.order = {0, 1};
    m.patterns = {XmPattern{}, XmPattern{}};
    m.patterns[0].rows = 8;
    m.patterns[1].rows = 8;
    std::vector<int16_t> square(64);
    for (int i = 0; i < 64; i++)
        square[i] = i < 32 ? 100 : -100;
    XmInstrument in = xm_instrument(square);
    in.samples[0].loop_bits = 1;
    in.samples[0].loop_length = 64;
    in.name = "square lead";
    XmInstrument quiet;  // no samples: its header is all there is
    quiet.name = "nothing here";
    m.instruments = {in, quiet, in};
    m.instruments[2].name = "";
    XmCell& c = xm_cell(m, 0, 0, 0);
    c.note = 49;
    c.instrument = 1;
    xm_cell(m, 1, 2, 0).effect = 0x0F;  // F06 in order 1's third row
    xm_cell(m, 1, 2, 0).parameter = 6;
    return xm_write(m);
}

enum { ROW = 5292 };

}  // namespace

TEST(WebPlayerRows, CellsAsTrackersWriteThem)
{
    struct Case {
        Cell cell;
        const char* text;
    } cases[] = {
        {{0, 0, 0, 0, 0}, "... .. .. ..."},
        {{1, 1, 0x10, 0, 0}, "C-0 01 00 ..."},
        {{96, 0x80, 0x50, 0x0F, 0x06}, "B-7 80 40 F06"},
        {{50, 0x1A, 0x3F, 0, 0x37}, "C#4 1A 2F 037"},  // arpeggio keeps its 0
        {{255, 0, 0x65, 33, 0x12}, "=== .. -5 X12"},
        {{0, 0, 0x0F, 0x0E, 0xC3}, "... .. .. EC3"},  // below 10: nothing
        {{0, 0, 0xF3, 35, 0xFF}, "... .. M3 ZFF"},
        {{0, 0, 0xA4, 20, 0}, "... .. S4 K00"},
    };
    for (const Case& c : cases) {
        char out[14];
        web_player_format_cell(&c.cell, out);
        EXPECT_STREQ(out, c.text);
    }
}

TEST_F(WebPlayerTest, ShowsTheRowsOfAPatternOneCellPerChannelAndTheNames)
{
    ASSERT_EQ(load("tiny.xm", tiny_module()), "");
    // Found past both patterns and each instrument's sample data.
    EXPECT_STREQ(web_player_names(),
                 "instrument   1  square lead\n    sample  0  \n"
                 "instrument   2  nothing here\n"
                 "instrument   3  \n    sample  0  \n");
    EXPECT_STREQ(web_player_row_text(0, 0), "C-4 01 .. ...|... .. .. ...");
    EXPECT_STREQ(web_player_row_text(1, 2), "... .. .. F06|... .. .. ...");
    EXPECT_STREQ(web_player_row_text(1, 8), "");   // past the pattern
    EXPECT_STREQ(web_player_row_text(2, 0), "");   // no such pattern
}

// Facts, length, the places where the sound jumps and the rendered file,
// against the tool itself.
TEST_F(WebPlayerTest, FactsAndRenderEqualTavimoXm)
{
    std::vector<std::string> files = xm_corpus_files();
    std::string path = files.empty() ? test_source_path("assets/module_data.xm") : files[0];
    for (const std::string& f : files)
        if (f.find("gameover") != std::string::npos)
            path = f;  // a short one
    printf("module: %s\n", path.c_str());
    ASSERT_EQ(load(path, read_file(path)), "");
    std::string tool = test_build_path("tavimo-xm");
    EXPECT_EQ(web_player_info(false), run(tool + " info " + path));
    EXPECT_EQ(web_player_info(true), run(tool + " info " + path + " --json"));
    EXPECT_EQ(web_player_findings(), run(tool + " check " + path));

    std::string ours = test_build_path("web-player-render.wav");
    std::string theirs = test_build_path("web-player-render-xm.wav");
    ASSERT_TRUE(web_player_render_begin(ours.c_str()));
    int32_t progress = 0, steps = 0, last = 0;
    while ((progress = web_player_render_step(50)) >= 0 && progress < 1000) {
        EXPECT_GE(progress, last);
        last = progress;
        steps++;
    }
    EXPECT_EQ(progress, 1000);
    EXPECT_GT(steps, 3) << "progress is reported along the way";
    EXPECT_EQ(web_player_status()->state, WEB_PLAYER_STOPPED);
    run(tool + " render " + path + " " + theirs);
    std::vector<uint8_t> a = read_file(ours), b = read_file(theirs);
    EXPECT_GT(a.size(), 44u + 44100u * 4u);
    EXPECT_TRUE(a == b) << a.size() << " bytes against " << b.size();
    remove(ours.c_str());
    remove(theirs.c_str());
    EXPECT_TRUE(fake_sound.ring != nullptr) << "the device is open again after the render";
}

// A render (and the check at load) runs at 44100 Hz offline; afterwards the
// device is open again at the rate the page opened it at, however many frames
// the page drew meanwhile.
TEST_F(WebPlayerTest, ReopensTheDeviceAtItsOwnRateAfterARender)
{
    ASSERT_TRUE(web_player_open(48000));
    ASSERT_EQ(load("tiny.xm", tiny_module()), "");
    EXPECT_EQ(fake_sound.rate, 48000) << "the load's check gave the device back";
    std::string wav = test_build_path("web-player-rate.wav");
    for (bool cancel : {false, true}) {
        ASSERT_TRUE(web_player_render_begin(wav.c_str()));
        EXPECT_EQ(web_player_frame()->state, WEB_PLAYER_RENDERING);
        if (cancel)
            web_player_render_cancel();
        while (!cancel && web_player_render_step(1) < 1000)
            web_player_frame();
        EXPECT_EQ(fake_sound.rate, 48000) << (cancel ? "cancelled" : "finished");
        EXPECT_EQ(web_player_frame()->rate, 48000);
    }
    EXPECT_EQ(read_file(wav).size(), 44u) << "the cancelled render's file holds its header";
    remove(wav.c_str());
}

// Foreign, damaged and oversized files: the tool's words, and the next good
// file still loads and plays.
TEST_F(WebPlayerTest, RefusesBadFilesAsTavimoXmDoesAndRecovers)
{
    std::vector<uint8_t> good = tiny_module();
    std::string dir = test_build_path("web-player-bad");
    run("mkdir -p " + dir);
    std::string text = "this is not a module at all, just some text\n";
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {dir + "/text.xm", std::vector<uint8_t>(text.begin(), text.end())},
        {dir + "/cut.xm", std::vector<uint8_t>(good.begin(), good.begin() + 200)},
        {dir + "/empty.xm", {}},
    };
    std::string tool = test_build_path("tavimo-xm");
    for (const Case& c : cases) {
        std::ofstream(c.name, std::ios::binary)
            .write(reinterpret_cast<const char*>(c.bytes.data()), std::streamsize(c.bytes.size()));
        EXPECT_EQ("tavimo-xm: " + load(c.name, c.bytes) + "\n", run(tool + " info " + c.name));
        EXPECT_STREQ(web_player_info(false), "");
        EXPECT_FALSE(web_player_play());
        EXPECT_EQ(web_player_status()->state, WEB_PLAYER_EMPTY);
    }
    EXPECT_STREQ(web_player_size_refusal("big.xm", WEB_PLAYER_SIZE_LIMIT), "");
    EXPECT_STREQ(web_player_size_refusal("big.xm", 40.0 * 1048576),
                 "big.xm: too large (40.0 MiB; at most 32 MiB)");
    EXPECT_EQ(web_player_buffer(WEB_PLAYER_SIZE_LIMIT + 1), nullptr);

    ASSERT_EQ(load("tiny.xm", good), "");
    ASSERT_TRUE(web_player_play());
    const WebPlayerStatus* st = play_to(2 * ring_frames);
    EXPECT_EQ(st->state, WEB_PLAYER_PLAYING);
    EXPECT_GT(st->block_count, 0);
}

// The page shows what is heard: one ring behind what is mixed. Rows, order,
// time and levels follow the device's position; a seek is heard a ring
// later from the order's first row; with looping off the song ends where
// it wraps, with looping on it plays on.
TEST_F(WebPlayerTest, ShowsThePositionHeardAndSeeksEndsAndLoops)
{
    ASSERT_EQ(load("tiny.xm", tiny_module()), "");
    const WebPlayerStatus* st = web_player_status();
    EXPECT_EQ(st->length_ms, 16 * ROW * 1000 / 44100);
    ASSERT_TRUE(web_player_play());
    const int64_t ring = ring_frames;
    for (int64_t heard : {int64_t(0), int64_t(100), int64_t(ROW - 1), int64_t(ROW),
                          int64_t(3 * ROW + 500), int64_t(9 * ROW + 7)}) {
        st = play_to(ring + heard);
        EXPECT_EQ(st->heard_ms, int32_t(heard * 1000 / 44100)) << heard;
        EXPECT_EQ(st->order, int32_t(heard / ROW / 8)) << heard;
        EXPECT_EQ(st->row, int32_t(heard / ROW % 8)) << heard;
        EXPECT_EQ(st->rows, 8);
        EXPECT_EQ(st->state, WEB_PLAYER_PLAYING);
        EXPECT_GT(web_player_levels()[0], 0) << "the square sounds";
        EXPECT_EQ(web_player_levels()[1], 0) << "channel 1 is silent";
    }

    // Seek back to order 0 while order 1 row 1 is heard: the jump is mixed
    // into the next block and heard one ring later.
    int64_t now = ring + 9 * ROW + 7;
    int64_t jump_block = now / block_frames + ring_blocks;  // where the next block mixed is heard
    web_player_seek(0);
    st = play_to(now + ring - 2 * block_frames);
    EXPECT_EQ(st->order, 1) << "not heard yet";
    st = play_to(jump_block * block_frames + 10);
    EXPECT_EQ(st->order, 0);
    EXPECT_EQ(st->row, 0);
    EXPECT_EQ(st->heard_ms, int32_t((jump_block * block_frames + 10 - ring) * 1000 / 44100));

    // From the jump: 16 rows to the end, looping off.
    int64_t end = jump_block * block_frames + 16 * ROW;
    st = play_to(end - 100);
    EXPECT_EQ(st->state, WEB_PLAYER_PLAYING);
    EXPECT_EQ(st->order, 1);
    EXPECT_EQ(st->row, 7);
    st = play_to(end + 100);
    EXPECT_EQ(st->state, WEB_PLAYER_ENDED);
    EXPECT_EQ(web_player_levels()[0], 0);

    // Looping on: past the end it is back at order 0 (the restart position).
    ASSERT_TRUE(web_player_play());
    web_player_set_loop(true);
    int64_t start = (fake_sound.position / 4 / block_frames + ring_blocks) * block_frames;
    st = play_to(start + 16 * ROW + ROW + 10);
    EXPECT_EQ(st->state, WEB_PLAYER_PLAYING);
    EXPECT_EQ(st->order, 0);
    EXPECT_EQ(st->row, 1);
}

// Pausing holds the position and the song's place; what is played after a
// stop and a restart is exactly the render: every start gives the voices
// back their fresh state (the note sounding when it stopped left its gains).
TEST_F(WebPlayerTest, PlaysExactlyWhatItRendersAfterPausesAndRestarts)
{
    ASSERT_EQ(load("tiny.xm", tiny_module()), "");
    std::string wav = test_build_path("web-player-blocks.wav");
    ASSERT_TRUE(web_player_render_begin(wav.c_str()));
    while (web_player_render_step(1000) < 1000) {
    }
    std::vector<uint8_t> rendered = read_file(wav);
    remove(wav.c_str());
    ASSERT_GT(rendered.size(), 44u);
    const int16_t* samples = reinterpret_cast<const int16_t*>(rendered.data() + 44);
    int32_t rendered_blocks = int32_t((rendered.size() - 44) / 4 / size_t(block_frames));

    ASSERT_TRUE(web_player_play());
    int64_t at = int64_t(fake_sound.position / 4);
    play_to(at += 3 * ring_frames);
    web_player_stop();
    ASSERT_TRUE(web_player_play());
    for (int i = 0; i < 30; i++)
        play_to(at += block_frames);
    web_player_pause(true, false);
    const WebPlayerStatus* st = play_to(at += 2 * ring_frames);
    int32_t held = st->heard_ms;
    int32_t blocks = st->block_count;
    st = play_to(at += ring_frames);
    EXPECT_EQ(st->state, WEB_PLAYER_PAUSED);
    EXPECT_EQ(st->heard_ms, held);
    EXPECT_EQ(st->block_count, blocks);
    web_player_pause(false, false);
    for (int i = 0; i < 100; i++)
        play_to(at += block_frames);
    st = web_player_status();
    ASSERT_GE(st->block_count, rendered_blocks);
    int32_t mismatched = 0;
    for (int32_t k = 0; k < rendered_blocks; k++) {
        uint32_t expected = web_player_checksum(samples + size_t(k) * block_frames * 2, block_frames * 2);
        mismatched += web_player_block_sums()[k] != expected;
    }
    EXPECT_EQ(mismatched, 0) << "of " << rendered_blocks << " blocks";
}
