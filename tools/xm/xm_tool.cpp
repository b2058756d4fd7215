// xm_tool.cpp -- tavimo-xm: any XM module through the show's own loader,
// replay engine and mixer. `info` prints the module's facts and its length,
// `render` mixes it offline into a WAV file, `play` plays it in real time
// through the sound device and the mixing thread, `check` lists the places
// where the sound jumps (tools/xm/xm_check.h).
//
// A song's length is where a listener's player ends it: the first time it
// would go back to a row already played, or its order list runs out (found
// by the end watcher, player/song_end.h). `render` and `play` stop there, or
// after --loops more passes from where the song goes back to. With
// --declick they play with smooth note starts (player/song_declick.h), for
// modules whose restarts click.
//
// Modules are read through the file-backed stream callbacks. The offline
// commands render the song themselves (player/render.h), block by block as
// the sound device would; `play` opens the system's device through the SDL2
// layer.
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mixer/mix_lock.h"
#include "sound/sound.h"
#include "mixer/voice.h"
#include "player/disk_file.h"
#include "player/render.h"
#include "player/replay.h"
#include "player/song.h"
#include "player/song_declick.h"
#include "player/song_end.h"
#include "tools/formats/wav.h"
#include "tools/xm/xm_check.h"
#include "tools/xm/xm_info.h"
#include "tavimo_version.h"  // generated: cmake/version.cmake

namespace {

enum { EXIT_BAD_FILE = 1, EXIT_USAGE = 2, EXIT_NO_SOUND = 3 };
enum { LOOPS_MAX = 1000 };

const char* program = "tavimo-xm";

void usage(FILE* out)
{
    fprintf(out,
            "usage: tavimo-xm info FILE [--json]\n"
            "       tavimo-xm render FILE OUT.wav [--seconds S] [--rate R] [--loops N]"
            " [--declick]\n"
            "       tavimo-xm play FILE [--loops N] [--declick]\n"
            "       tavimo-xm check FILE [--json]\n"
            "       tavimo-xm --version\n");
}

// Why the loader refused a file: the system's words when it could not be
// opened, the loader's otherwise.
void explain_refusal(const char* path)
{
    const char* reason = xm_refusal == XM_UNOPENED ? strerror(disk_file_open_error())
                                                   : xm_refusal_text(xm_refusal);
    fprintf(stderr, "%s: %s: %s\n", program, path, reason);
}

Song* load(const char* path)
{
    disk_file_register();
    Song* song = song_create(path, nullptr);
    if (!song)
        explain_refusal(path);
    return song;
}

// Opens the voices at `rate` and starts the song; false if that was refused.
bool start_offline(Song* song, int32_t rate)
{
    if (!render_open(rate)) {
        fprintf(stderr, "%s: cannot open the mixer at %d Hz\n", program, rate);
        return false;
    }
    return song_start(song);
}

// Renders from the song's start until its watcher has seen the last end it
// is to play (`loops` more after the first), or `limit_frames`, into `wav`,
// cut at that end. Returns the frames rendered, or -1 when the watcher
// cannot be had.
int64_t render_song(Song* song, int32_t rate, int32_t loops, int64_t limit_frames,
                    WavWriter* wav)
{
    SongEnd* watch = song_end_create(song, loops);
    if (!watch) {
        fprintf(stderr, "%s: out of memory\n", program);
        return -1;
    }
    const int32_t block = mix_block_frames(rate);
    std::vector<float> mix(size_t(block) * 2);
    std::vector<int16_t> out(size_t(block) * 2);
    int64_t frames = 0;
    while (int32_t n = render_to_end(watch, frames, limit_frames, mix.data(), out.data(), block)) {
        wav_write(wav, out.data(), n);
        frames += n;
    }
    song_end_free(watch);
    return frames;
}

// The song's length at `rate`, from a load of its own: the replay engine
// changes a song as it plays (E5y sets a sample's finetune), so a song to
// be played afterwards must not be the one measured. False when the file
// cannot be loaded or measured.
bool measure(const char* path, int32_t rate, XmLength* length)
{
    Song* song = load(path);
    if (!song)
        return false;
    SongLength measured;
    bool ok = song_end_measure(song, rate, int64_t(XM_LENGTH_BOUND_S) * rate, &measured);
    *length = XmLength{measured.found, measured.frames, rate, measured.back_order,
                       measured.back_row, measured.how, XM_LENGTH_BOUND_S};
    if (!ok)
        fprintf(stderr, "%s: out of memory\n", program);
    song_free(song);
    return ok;
}

// The arguments after FILE of the commands that take only `--json`: false
// for anything else.
static bool json_flag(int argc, char** argv, bool* json)
{
    for (int i = 3; i < argc; i++) {
        if (strcmp(argv[i], "--json") != 0)
            return false;
        *json = true;
    }
    return true;
}

int command_info(int argc, char** argv)
{
    const char* path = argv[2];
    bool json = false;
    if (!json_flag(argc, argv, &json)) {
        usage(stderr);
        return EXIT_USAGE;
    }
    XmLength length;
    if (!measure(path, XM_RATE, &length))
        return EXIT_BAD_FILE;
    Song* song = load(path);
    if (!song)
        return EXIT_BAD_FILE;
    xm_info_write(stdout, path, song, &length, json);
    song_free(song);
    return 0;
}

int command_check(int argc, char** argv)
{
    const char* path = argv[2];
    bool json = false;
    if (!json_flag(argc, argv, &json)) {
        usage(stderr);
        return EXIT_USAGE;
    }
    Song* song = load(path);
    if (!song)
        return EXIT_BAD_FILE;
    XmCheck check;
    int code = 0;
    if (xm_check_run(song, XM_RATE, XM_LENGTH_BOUND_S, &check)) {
        xm_check_write(stdout, path, song, &check, json);
    } else {
        fprintf(stderr, "%s: cannot open the offline mixer at %d Hz\n", program, XM_RATE);
        code = EXIT_BAD_FILE;
    }
    song_free(song);
    return code;
}

bool parse_number(const char* text, double low, double high, double* out)
{
    char* end;
    double v = strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= low && v <= high))
        return false;
    *out = v;
    return true;
}

// Reads "--loops N" at argv[i]; false when it is not that.
bool parse_loops(int argc, char** argv, int i, int32_t* loops)
{
    double value;
    if (strcmp(argv[i], "--loops") != 0 || i + 1 >= argc ||
        !parse_number(argv[i + 1], 0, LOOPS_MAX, &value) || value != int(value))
        return false;
    *loops = int32_t(value);
    return true;
}

int command_render(int argc, char** argv)
{
    if (argc < 4) {
        usage(stderr);
        return EXIT_USAGE;
    }
    const char* path = argv[2];
    const char* out = argv[3];
    double seconds = -1, rate = XM_RATE;
    int32_t loops = 0;
    bool declick = false;
    // Options with a value step over it.
    for (int i = 4; i < argc; i++) {
        if (strcmp(argv[i], "--declick") == 0) {
            declick = true;
            continue;
        }
        bool has_value = i + 1 < argc;
        if ((strcmp(argv[i], "--seconds") == 0 && has_value &&
             parse_number(argv[i + 1], 0.001, 24 * 3600, &seconds)) ||
            (strcmp(argv[i], "--rate") == 0 && has_value &&
             parse_number(argv[i + 1], OUTPUT_RATE_MIN, OUTPUT_RATE_MAX, &rate) &&
             rate == int(rate)) ||
            parse_loops(argc, argv, i, &loops)) {
            i++;
            continue;
        }
        usage(stderr);
        return EXIT_USAGE;
    }
    // Without --seconds, a song with no end found stops after the bound,
    // once per pass asked for.
    int64_t limit = seconds > 0 ? int64_t(seconds * rate)
                                : int64_t(XM_LENGTH_BOUND_S) * int64_t(rate) * (loops + 1);
    Song* song = load(path);
    if (!song)
        return EXIT_BAD_FILE;
    song_declick(song, declick);
    WavWriter wav;
    int code = 0;
    if (!wav_open(&wav, out, int32_t(rate))) {
        fprintf(stderr, "%s: %s: %s\n", program, out, strerror(errno));
        code = EXIT_BAD_FILE;
    } else if (!start_offline(song, int32_t(rate))) {
        code = EXIT_BAD_FILE;
        wav_close(&wav);
    } else {
        int64_t frames = render_song(song, int32_t(rate), loops, limit, &wav);
        if (!wav_close(&wav)) {
            fprintf(stderr, "%s: %s: write failed\n", program, out);
            code = EXIT_BAD_FILE;
        } else if (frames < 0) {
            code = EXIT_BAD_FILE;
        } else {
            printf("%s: %.2f s written to %s\n", path, double(frames) / rate, out);
        }
    }
    song_free(song);
    render_close();
    return code;
}

volatile sig_atomic_t interrupted;

void on_signal(int)
{
    interrupted = 1;
}

void print_time(char* out, size_t size, double seconds)
{
    int minutes = int(seconds / 60);
    snprintf(out, size, "%d:%04.1f", minutes, seconds - 60.0 * minutes);
}

int command_play(int argc, char** argv)
{
    const char* path = argv[2];
    int32_t loops = 0;
    bool declick = false;
    for (int i = 3; i < argc; i++) {
        if (strcmp(argv[i], "--declick") == 0) {
            declick = true;
        } else if (parse_loops(argc, argv, i, &loops)) {
            i++;
        } else {
            usage(stderr);
            return EXIT_USAGE;
        }
    }
    XmLength length;
    if (!measure(path, XM_RATE, &length))
        return EXIT_BAD_FILE;
    char length_text[128];
    xm_length_text(length_text, sizeof length_text, &length);
    Song* song = load(path);
    if (!song)
        return EXIT_BAD_FILE;
    song_declick(song, declick);
    if (!render_open(XM_RATE) || !sound_open(XM_RATE, render_songs)) {
        fprintf(stderr, "%s: no sound device can be opened\n", program);
        render_close();
        song_free(song);
        return EXIT_NO_SOUND;
    }
    // Watched from its first tick: the watcher goes in before the song plays.
    SongEnd* watch = song_end_create(song, loops);
    if (!watch || !song_start(song)) {
        fprintf(stderr, "%s: out of memory\n", program);
        song_end_free(watch);
        song_free(song);
        sound_close();
    render_close();
        return EXIT_BAD_FILE;
    }
    signal(SIGINT, on_signal);
    signal(SIGTERM, on_signal);

    // Single keys without Enter, when standard input is a terminal.
    termios saved;
    bool terminal = tcgetattr(0, &saved) == 0;
    if (terminal) {
        termios raw = saved;
        raw.c_lflag &= tcflag_t(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        tcsetattr(0, TCSANOW, &raw);
    }
    printf("playing %s: length %s\n", path, length_text);
    printf("q or Ctrl-C stops%s\n", loops ? "" : "; it stops by itself at the end");
    char total[16];
    print_time(total, sizeof total, double(length.frames) / double(XM_RATE));
    // What is heard lags what is mixed by about the ring.
    const int64_t lag = ring_frames - block_frames;
    while (!interrupted) {
        char key;
        if (terminal && read(0, &key, 1) == 1 && (key == 'q' || key == 'Q'))
            break;
        mix_lock_acquire();
        int order = song->order_pos, row = song->row;
        int pattern = song->order_table[order & 255];
        int64_t mixed = watch->frames;
        int32_t pass = watch->ends + 1;
        bool finished = watch->finished;
        mix_lock_release();
        if (finished) {
            // The rest of the ring still plays, then silence.
            usleep(useconds_t(1000000.0 * ring_frames / double(XM_RATE)) + 100000);
            break;
        }
        char now[16];
        print_time(now, sizeof now, double(mixed > lag ? mixed - lag : 0) / double(XM_RATE));
        printf("\rorder %3d  pattern %3d  row %3d  %s / %s", order, pattern, row, now,
               length.found ? total : "?");
        if (loops)
            printf("  pass %d of %d", pass, loops + 1);
        fflush(stdout);
        usleep(50000);
    }
    printf("\n");
    if (terminal)
        tcsetattr(0, TCSANOW, &saved);
    song_end_free(watch);
    song_free(song);
    sound_close();
    render_close();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        printf("tavimo-xm %s\n", TAVIMO_VERSION);
        return 0;
    }
    if (argc >= 3 && strcmp(argv[1], "info") == 0)
        return command_info(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "render") == 0)
        return command_render(argc, argv);
    if (argc >= 3 && strcmp(argv[1], "play") == 0)
        return command_play(argc, argv);
    if (argc >= 3 && strcmp(argv[1], "check") == 0)
        return command_check(argc, argv);
    usage(stderr);
    return EXIT_USAGE;
}
