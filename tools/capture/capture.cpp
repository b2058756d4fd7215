// capture.cpp -- tavimo-capture: renders the whole show without a screen or
// a sound card, frame by frame and block by block, as if the display flipped
// at a fixed rate. The same build always gives the same pixels and samples.
//
// The show runs through its own start-up order (runtime/entry.h) on the
// headless display and the offline sound layer. The process clock is
// simulated: it starts at 0, moves on 1 ms per read until the first frame is
// presented (the start-up waits), and from then on only each presented frame
// moves it on, by 1000/fps ms. Show times are process times in milliseconds.
// Audio: the device would start playing the silent ring when the sound
// device opens, and the mixing thread renders one block each time the device
// enters a new block; this tool renders each block with the same function
// (render_songs, player/render.h) at that same simulated moment, so the
// audio equals what the device would have played.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sound/sound.h"
#include "mixer/voice.h"
#include "player/render.h"
#include "runtime/clock.h"
#include "runtime/entry.h"
#include "tools/formats/png.h"
#include "tools/formats/wav.h"
#include "video/display_headless.h"

namespace {

struct Options {
    int fps = 60;
    const char* wav_path = nullptr;
    const char* png_dir = nullptr;
    std::vector<int64_t> png_times;  // sorted show times, ms
    int scale = 1;
    const char* video_path = nullptr;
};

Options options;

// Simulated time in microseconds, and whether frames have begun.
int64_t now_us;
bool frames_started;

// Audio: the blocks mixed so far and where the device started playing.
bool sound_seen_open;
int64_t sound_open_us;
int64_t blocks_mixed;
std::vector<int16_t> mixed;      // every block mixed, in order (show audio)
std::vector<float> block_mix;    // one block's float scratch
std::vector<int16_t> block;      // one block of output

// Pictures.
std::vector<uint32_t> on_screen(320 * 200, 0);  // what the screen shows now
size_t next_png;
int64_t next_video_us;
int64_t frames_presented;
FILE* video_pipe;
std::string video_wav;

std::chrono::steady_clock::time_point wall_start;

void usage(FILE* out)
{
    fprintf(out,
            "usage: tavimo-capture [--fps N] [--wav FILE] [--png DIR --at MS[,MS...] [--scale K]]\n"
            "                      [--video FILE]\n"
            "Renders the show offline. --wav writes its audio (44100 Hz 16-bit stereo), --png\n"
            "the frame on screen at each show time MS (ms since start), --video an MP4 with\n"
            "sound at 1280x800, each pixel a 4x4 block (needs ffmpeg). --fps sets the simulated frame rate (default 60).\n");
}

// Mixes every block the device has entered by now.
void advance_audio(void)
{
    if (!output_ring) {
        sound_seen_open = false;
        return;
    }
    if (!sound_seen_open) {
        sound_seen_open = true;
        sound_open_us = now_us;
        blocks_mixed = 0;
    }
    int64_t frames_played = (now_us - sound_open_us) * output_rate / 1000000;
    int64_t blocks_entered = frames_played / block_frames;
    while (blocks_mixed < blocks_entered) {
        block_mix.resize(size_t(block_frames) * 2);
        block.resize(size_t(block_frames) * 2);
        render_songs(block_mix.data(), block.data(), block_frames);
        mixed.insert(mixed.end(), block.begin(), block.end());
        blocks_mixed++;
    }
}

void write_png(int64_t time_ms)
{
    char path[4096];
    snprintf(path, sizeof path, "%s/frame-%06lld.png", options.png_dir, (long long)time_ms);
    if (!png_write(path, on_screen.data(), 320, 200, options.scale))
        fprintf(stderr, "tavimo-capture: cannot write %s\n", path);
}

// Emits video frames up to simulated time `until_us`, each showing the
// picture on screen at its moment.
void emit_video(int64_t until_us)
{
    if (!video_pipe)
        return;
    while (next_video_us < until_us) {
        fwrite(on_screen.data(), 4, on_screen.size(), video_pipe);
        next_video_us += 1000000 / options.fps;
    }
}

void progress(bool final)
{
    if (!isatty(2))
        return;
    double show_s = double(now_us) / 1e6;
    double wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
    const double total_s = 156.2;
    int filled = int(std::min(1.0, show_s / total_s) * 30);
    fprintf(stderr, "\r[%.*s%*s] frames %lld  show %6.1f s  %5.1fx real time%s",
            filled, "##############################", 30 - filled, "",
            (long long)frames_presented, show_s, wall_s > 0 ? show_s / wall_s : 0.0,
            final ? "\n" : "");
}

void on_flip(const uint32_t* pixels, int width, int height)
{
    frames_started = true;
    // The previous picture was on screen until now: it answers every
    // requested time before this moment.
    while (next_png < options.png_times.size() && options.png_times[next_png] * 1000 < now_us)
        write_png(options.png_times[next_png++]);
    emit_video(now_us);
    if (width == 320 && height == 200)
        memcpy(on_screen.data(), pixels, on_screen.size() * 4);
    frames_presented++;
    now_us += 1000000 / options.fps;
    advance_audio();
    if (frames_presented % 64 == 0)
        progress(false);
}

bool parse_int(const char* text, int64_t low, int64_t high, int64_t* out)
{
    char* end;
    long long v = strtoll(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        return false;
    *out = v;
    return true;
}

bool parse_args(int argc, char** argv)
{
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        int64_t n;
        if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            usage(stdout);
            exit(0);
        } else if (strcmp(a, "--fps") == 0 && value && parse_int(value, 1, 1000, &n)) {
            options.fps = int(n);
        } else if (strcmp(a, "--scale") == 0 && value && parse_int(value, 1, 16, &n)) {
            options.scale = int(n);
        } else if (strcmp(a, "--wav") == 0 && value) {
            options.wav_path = value;
        } else if (strcmp(a, "--png") == 0 && value) {
            options.png_dir = value;
        } else if (strcmp(a, "--video") == 0 && value) {
            options.video_path = value;
        } else if (strcmp(a, "--at") == 0 && value) {
            std::string list = value;
            size_t start = 0;
            while (start <= list.size()) {
                size_t comma = list.find(',', start);
                std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                if (!parse_int(item.c_str(), 0, 10000000, &n))
                    return false;
                options.png_times.push_back(n);
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
        } else {
            return false;
        }
        i++;
    }
    std::sort(options.png_times.begin(), options.png_times.end());
    if (!options.png_dir != options.png_times.empty())
        return false;  // --png and --at go together
    return options.wav_path || options.png_dir || options.video_path;
}

bool start_video(void)
{
    if (system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        fprintf(stderr, "tavimo-capture: ffmpeg is not installed (tools/install-deps.sh installs it)\n");
        return false;
    }
    // Frames go to ffmpeg now; the sound is muxed in once the show is over.
    // Each pixel becomes a 4x4 block, never smoothed: the chroma's 2x2
    // blocks then lie within a pixel's, and a low crf keeps the block edges
    // sharp (yuv420p plays everywhere, 4:4:4 does not).
    std::string silent = std::string(options.video_path) + ".video.mp4";
    char command[8192];
    snprintf(command, sizeof command,
             "ffmpeg -loglevel error -y -f rawvideo -pix_fmt bgr0 -s 320x200 -r %d -i - "
             "-vf scale=1280:800:flags=neighbor -c:v libx264 -preset veryfast -crf 10 "
             "-pix_fmt yuv420p '%s'",
             options.fps, silent.c_str());
    video_pipe = popen(command, "w");
    if (!video_pipe) {
        fprintf(stderr, "tavimo-capture: cannot start ffmpeg\n");
        return false;
    }
    return true;
}

bool finish_video(void)
{
    if (pclose(video_pipe) != 0) {
        fprintf(stderr, "tavimo-capture: ffmpeg failed to encode the frames\n");
        return false;
    }
    std::string silent = std::string(options.video_path) + ".video.mp4";
    char command[8192];
    snprintf(command, sizeof command,
             "ffmpeg -loglevel error -y -i '%s' -i '%s' -c:v copy -c:a aac -b:a 192k -shortest "
             "-movflags +faststart '%s'",
             silent.c_str(), video_wav.c_str(), options.video_path);
    bool ok = system(command) == 0;
    remove(silent.c_str());
    if (!ok)
        fprintf(stderr, "tavimo-capture: ffmpeg failed to add the sound to %s\n", options.video_path);
    return ok;
}

bool write_audio(const char* path)
{
    WavWriter wav;
    if (!wav_open(&wav, path, OUTPUT_RATE_DEFAULT)) {
        fprintf(stderr, "tavimo-capture: cannot write %s\n", path);
        return false;
    }
    // Nothing plays before the device opens; then one lap of the silent
    // ring; then the blocks in the order they were mixed, up to the end.
    int64_t total_frames = now_us * OUTPUT_RATE_DEFAULT / 1000000;
    int64_t lead = sound_open_us * OUTPUT_RATE_DEFAULT / 1000000 + int64_t(ring_frames);
    wav_write_silence(&wav, std::min(lead, total_frames));
    int64_t rest = std::min<int64_t>(total_frames - lead, int64_t(mixed.size() / 2));
    wav_write(&wav, mixed.data(), rest);
    if (total_frames - lead - rest > 0)
        wav_write_silence(&wav, total_frames - lead - rest);
    if (!wav_close(&wav)) {
        fprintf(stderr, "tavimo-capture: cannot write %s\n", path);
        return false;
    }
    return true;
}

}  // namespace

int64_t process_clock_ms(void)
{
    if (!frames_started) {
        now_us += 1000;
        advance_audio();
    }
    return now_us / 1000;
}

int main(int argc, char** argv)
{
    if (!parse_args(argc, argv)) {
        usage(stderr);
        return 2;
    }
    if (options.png_dir && mkdir(options.png_dir, 0777) != 0 && errno != EEXIST) {
        fprintf(stderr, "tavimo-capture: cannot create %s\n", options.png_dir);
        return 1;
    }
    if (options.video_path && !start_video())
        return 1;
    wall_start = std::chrono::steady_clock::now();
    headless_on_flip = on_flip;
    mixed.reserve(size_t(OUTPUT_RATE_DEFAULT) * 2 * 160);

    int code = tavimo_run();
    progress(true);
    if (code != EXIT_SHOW_DONE) {
        fprintf(stderr, "tavimo-capture: the show failed to start (exit code %d)\n", code);
        return 1;
    }
    while (next_png < options.png_times.size())
        write_png(options.png_times[next_png++]);
    emit_video(now_us);

    bool ok = true;
    if (options.wav_path)
        ok = write_audio(options.wav_path) && ok;
    if (options.video_path) {
        video_wav = std::string(options.video_path) + ".audio.wav";
        ok = write_audio(video_wav.c_str()) && finish_video() && ok;
        remove(video_wav.c_str());
    }
    return ok ? 0 : 1;
}
