// The offline tools as a user runs them: the show captured to PNG and WAV
// (deterministic, golden frames, silence until the music starts), and the
// documented messages and exit codes of tavimo-xm and tavimo-capture.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "tools/formats/png.h"
#include "tools/formats/xm_writer.h"

namespace {

struct ToolRun {
    int code;
    std::string output;  // standard output and standard error together
};

ToolRun run(const std::string& command)
{
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    ToolRun r{-1, ""};
    if (!p)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        r.output.append(buffer, n);
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string tool(const char* name) { return test_build_path(name); }

std::vector<char> read_all(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), {});
}

// RMS of the 16-bit samples of one second of a 44100 Hz stereo WAV.
double second_rms(const std::vector<char>& wav, int second)
{
    const int16_t* samples = reinterpret_cast<const int16_t*>(wav.data() + 44);
    size_t count = (wav.size() - 44) / 2;
    size_t begin = size_t(second) * 88200, end = std::min(count, begin + 88200);
    double sum = 0;
    for (size_t i = begin; i < end; i++)
        sum += double(samples[i]) * samples[i];
    return end > begin ? std::sqrt(sum / double(end - begin)) : 0.0;
}

TEST(Capture, ShowRendersDeterministicallyWithGoldenFramesAndTimedMusic)
{
    const std::string dir = test_build_path("capture-test");
    const std::string a = dir + "/a.wav", b = dir + "/b.wav";
    ToolRun first = run(tool("tavimo-capture") + " --wav " + a + " --png " + dir +
                    " --at 20000,90000,145000");
    ASSERT_EQ(first.code, 0) << first.output;
    ToolRun second = run(tool("tavimo-capture") + " --wav " + b);
    ASSERT_EQ(second.code, 0) << second.output;

    std::vector<char> wav_a = read_all(a), wav_b = read_all(b);
    ASSERT_GT(wav_a.size(), 44u + 150u * 176400u);
    EXPECT_TRUE(wav_a == wav_b) << "two renders of the show differ";
    // About 156 s in all: the 3.1 s start-up, the 153 s table, the last pass.
    EXPECT_NEAR(double(wav_a.size() - 44) / 176400.0, 156.1, 1.0);
    // Silent until the song starts a little over 3 s in; music from then on.
    for (int s = 0; s < 3; s++)
        EXPECT_EQ(second_rms(wav_a, s), 0.0) << "second " << s;
    for (int s = 5; s < 152; s += 7)
        EXPECT_GT(second_rms(wav_a, s), 100.0) << "second " << s;

    for (const char* at : {"020000", "090000", "145000"}) {
        PngImage frame;
        ASSERT_TRUE(png_read((dir + "/frame-" + at + ".png").c_str(), &frame)) << at;
        ASSERT_EQ(frame.width, 320);
        EXPECT_TRUE(golden_match(std::string("capture_") + at, frame.pixels.data(), 320, 200));
    }
}

TEST(XmTool, RendersAModuleAndReportsItsFacts)
{
    const std::string module = test_source_path("assets/module_data.xm");
    ToolRun info = run(tool("tavimo-xm") + " info " + module);
    ASSERT_EQ(info.code, 0) << info.output;
    EXPECT_NE(info.output.find("channels      14"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("tracker       FastTracker v2.00"), std::string::npos);
    EXPECT_NE(info.output.find("length        15"), std::string::npos) << "about 153.6 s";

    const std::string out = test_build_path("xm-tool-test.wav");
    ToolRun render = run(tool("tavimo-xm") + " render " + module + " " + out + " --seconds 2");
    ASSERT_EQ(render.code, 0) << render.output;
    std::vector<char> wav = read_all(out);
    EXPECT_EQ(wav.size(), 44u + 2u * 176400u);
    // --declick, a flag without a value, among the others.
    render = run(tool("tavimo-xm") + " render " + module + " " + out + " --declick --seconds 2");
    ASSERT_EQ(render.code, 0) << render.output;
    EXPECT_EQ(read_all(out).size(), wav.size());
    remove(out.c_str());
}

// A song of three patterns (8, 4 and 6 rows, one note each) written to
// `path`; with `jump_back`, order 2 jumps back to order 1 in its row 2.
void write_small_song(const std::string& path, bool jump_back)
{
    XmModule module;
    module.channels = 1;
    module.patterns.assign(3, XmPattern{});
    module.patterns[0].rows = 8;
    module.patterns[1].rows = 4;
    module.patterns[2].rows = 6;
    module.order = {0, 1, 2};
    module.song_length = 3;
    std::vector<int16_t> values(2000);
    for (size_t i = 0; i < values.size(); i++)
        values[i] = int16_t((i * 29) % 160 - 80);
    module.instruments.push_back(xm_instrument(values));
    module.instruments[0].name = "pluck";
    for (int p = 0; p < 3; p++)
        xm_cell(module, p, 0, 0) = XmCell{uint8_t(49 + p), 1, 0, 0, 0};
    if (jump_back)
        xm_cell(module, 2, 2, 0) = XmCell{0, 0, 0, 0xB, 1};
    std::vector<uint8_t> bytes = xm_write(module);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
}

// Frames in a 16-bit stereo WAV as written by tavimo-xm (44-byte header).
long wav_frames(const std::string& path)
{
    std::vector<char> wav = read_all(path);
    return wav.size() < 44 ? -1 : long(wav.size() - 44) / 4;
}

// A row at speed 6 and 125 BPM: six ticks of 882 frames at 44100 Hz.
TEST(XmTool, LengthAndRenderStopWhereTheSongEnds)
{
    const std::string dir = test_build_path("xm-tool-end");
    run("mkdir -p " + dir);
    const std::string plain = dir + "/plain.xm", back = dir + "/back.xm", out = dir + "/out.wav";
    write_small_song(plain, false);
    write_small_song(back, true);
    const std::string xm = tool("tavimo-xm");

    // The order list runs out after 18 rows: the render has exactly their frames.
    ToolRun info = run(xm + " info " + plain);
    EXPECT_NE(info.output.find("length        2.16 s (the order list ends), then back to order 0\n"),
              std::string::npos) << info.output;
    ASSERT_EQ(run(xm + " render " + plain + " " + out).code, 0);
    EXPECT_EQ(wav_frames(out), 18 * 5292);
    ASSERT_EQ(run(xm + " render " + plain + " " + out + " --rate 22050").code, 0);
    EXPECT_EQ(wav_frames(out), 18 * 6 * 441);

    // Jumping back after 8 + 4 + 3 rows; then two more passes of 7 rows.
    info = run(xm + " info " + back);
    EXPECT_NE(info.output.find("length        1.80 s, then back to order 1\n"), std::string::npos)
        << info.output;
    ToolRun json = run(xm + " info " + back + " --json");
    EXPECT_EQ(json.code, 0);
    EXPECT_NE(json.output.find("\"length\": {\"seconds\": 1.800, \"frames\": 79380, \"rate\": 44100, "
                               "\"ends_by\": \"return\", \"back_order\": 1, \"back_row\": 0}}"),
              std::string::npos) << json.output;
    EXPECT_EQ(json.output.front(), '{');
    ASSERT_EQ(run(xm + " render " + back + " " + out).code, 0);
    EXPECT_EQ(wav_frames(out), 15 * 5292);
    ASSERT_EQ(run(xm + " render " + back + " " + out + " --loops 2").code, 0);
    EXPECT_EQ(wav_frames(out), (15 + 2 * 7) * 5292);
    // --seconds caps, whatever the loops.
    ASSERT_EQ(run(xm + " render " + back + " " + out + " --loops 2 --seconds 1").code, 0);
    EXPECT_EQ(wav_frames(out), 44100);
    remove(out.c_str());
}

// The small song's sample runs out 0.239 s in, away from zero; the notes of
// orders 1 and 2 then start it at its first value, -80 of 128, on the voice
// whose gain stayed up (63 of 255): 0.625 x 63 / 255 = 0.154.
TEST(XmTool, CheckListsWhereTheSoundJumps)
{
    const std::string dir = test_build_path("xm-tool-check");
    run("mkdir -p " + dir);
    const std::string song = dir + "/small.xm";
    write_small_song(song, false);
    ToolRun text = run(tool("tavimo-xm") + " check " + song);
    EXPECT_EQ(text.code, 0);
    const char* expected[] = {
        "order   0  pattern   0  row   1  channel  1  instrument   1 \"pluck\" sample 0 \"\"     0.239 s  "
        "end: the sample ends away from zero, jump 0.056\n",
        "order   1  pattern   1  row   0  channel  1  instrument   1 \"pluck\" sample 0 \"\"     0.960 s  "
        "start: a note starts away from zero with the gain up, jump 0.154\n",
        "order   2  pattern   2  row   0  channel  1  instrument   1 \"pluck\" sample 0 \"\"     1.440 s  "
        "start: a note starts away from zero with the gain up, jump 0.154\n",
        "3 places where the sound jumps\n",
    };
    EXPECT_EQ(text.output, std::string(expected[0]) + expected[1] + expected[2] + expected[3]);
    ToolRun json = run(tool("tavimo-xm") + " check " + song + " --json");
    EXPECT_EQ(json.code, 0);
    EXPECT_NE(json.output.find("{\"kind\": \"start\", \"order\": 2, \"pattern\": 2, \"row\": 0, "
                               "\"tick\": 0, \"channel\": 1, \"instrument\": 1, "
                               "\"instrument_name\": \"pluck\""),
              std::string::npos) << json.output;
    EXPECT_NE(json.output.find("\"count\": 3, \"end_found\": true"), std::string::npos)
        << json.output;
}

// play on SDL's dummy sound driver (which consumes the sound in real time):
// it says the length and stops by itself at the end, or after --loops more
// passes; never sooner than the song lasts.
TEST(XmTool, PlayStopsAtTheEnd)
{
    const std::string dir = test_build_path("xm-tool-play");
    run("mkdir -p " + dir);
    const std::string back = dir + "/back.xm";
    write_small_song(back, true);
    struct Case {
        const char* loops;
        double song_seconds;
    } cases[] = {{"", 1.8}, {" --loops 1", 1.8 + 7 * 0.12}};
    for (const Case& c : cases) {
        auto start = std::chrono::steady_clock::now();
        ToolRun r = run("SDL_AUDIODRIVER=dummy timeout 120 " + tool("tavimo-xm") + " play " + back +
                        c.loops + " </dev/null");
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (r.code == 3)
            GTEST_SKIP() << "SDL's dummy sound driver cannot be opened: " << r.output;
        printf("play%s: %.2f s\n", c.loops, seconds);
        EXPECT_EQ(r.code, 0) << r.output;
        EXPECT_NE(r.output.find("length 1.80 s, then back to order 1\n"), std::string::npos) << r.output;
        EXPECT_GE(seconds, c.song_seconds);
    }
}

// Without a sound device play says so in one line and ends with exit code
// 3, as the show does.
TEST(XmTool, PlayWithoutASoundDeviceExitsWithCode3)
{
    ToolRun r = run("SDL_AUDIODRIVER=no-such-driver " + tool("tavimo-xm") + " play " +
                    test_source_path("assets/module_data.xm") + " </dev/null");
    EXPECT_EQ(r.code, 3) << r.output;
    EXPECT_EQ(r.output, "tavimo-xm: no sound device can be opened\n");
}

TEST(XmTool, BadFilesGiveOneLineNamingTheFileAndExitCode1)
{
    const std::string dir = test_build_path("xm-tool-bad");
    run("mkdir -p " + dir);
    const std::string not_xm = dir + "/not.xm", truncated = dir + "/truncated.xm";
    {
        std::ofstream(not_xm) << "this is not a module at all, just some text\n";
        std::vector<char> module = read_all(test_source_path("assets/module_data.xm"));
        std::ofstream(truncated, std::ios::binary).write(module.data(), 300);
    }
    struct Case {
        std::string file, reason;
    } cases[] = {
        {dir + "/missing.xm", "No such file"},
        {not_xm, "not an XM module"},
        {truncated, "damaged XM module"},
    };
    for (const Case& c : cases) {
        for (const char* command : {"info", "play", "check"}) {
            ToolRun r = run(tool("tavimo-xm") + " " + command + " " + c.file);
            EXPECT_EQ(r.code, 1) << command << " " << c.file << ": " << r.output;
            EXPECT_EQ(r.output, "tavimo-xm: " + c.file + ": " + c.reason +
                                    (c.reason == "No such file" ? " or directory\n"
                                     : c.reason == "damaged XM module"
                                         ? " (truncated or inconsistent data)\n"
                                         : "\n"));
        }
    }
}

TEST(Tools, BadArgumentsGiveTheUsageAndExitCode2)
{
    const char* bad[] = {
        "tavimo-xm",
        "tavimo-xm frobnicate x.xm",
        "tavimo-xm info",
        "tavimo-xm render x.xm",
        "tavimo-xm render x.xm out.wav --seconds -1",
        "tavimo-xm render x.xm out.wav --rate abc",
        "tavimo-xm render x.xm out.wav --loops -1",
        "tavimo-xm info x.xm --frobnicate",
        "tavimo-xm play x.xm --loops",
        "tavimo-xm check",
        "tavimo-xm check x.xm --frobnicate",
        "tavimo-xm play x.xm --declick --loops",
        "tavimo-xm render x.xm out.wav --declick --rate",
        "tavimo-capture",
        "tavimo-capture --fps 0 --wav x.wav",
        "tavimo-capture --png dir",
        "tavimo-capture --at 100",
        "tavimo-capture --wav",
        "tavimo-capture --png dir --at 1,x",
        "tavimo-gen-music",
        "tavimo-gen-music out.xm preview.wav",
        "tavimo-render-music out.wav more",
        "tavimo-gen-assets",
        "tavimo-preview-assets assets",
    };
    for (const char* command : bad) {
        ToolRun r = run(test_build_path(command));
        EXPECT_EQ(r.code, 2) << command << ": " << r.output;
        EXPECT_EQ(r.output.rfind("usage: ", 0), 0u) << command << ": " << r.output;
    }
}

}  // namespace
