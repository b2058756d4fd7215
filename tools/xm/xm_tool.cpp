// xm_tool.cpp -- tavimo-xm: any XM module through the show's own loader,
// replay engine and mixer. `info` prints the module's facts and its length,
// `render` mixes it offline into a WAV file, `play` plays it in real time
// through the sound device and the mixing thread.
//
// Modules are read through the file-backed stream callbacks. The offline
// commands run on the offline sound layer, `play` on the system's device;
// the layer is picked per command (tools/xm_sound_layer.cpp).
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/mix_lock.h"
#include "audio/sound.h"
#include "player/disk_file.h"
#include "player/replay.h"
#include "player/song.h"
#include "tools/formats/wav.h"
#include "tools/xm/xm_sound_layer.h"

namespace {

enum { EXIT_BAD_FILE = 1, EXIT_USAGE = 2 };
enum { RATE = 44100, LENGTH_LIMIT_S = 20 * 60 };

const char* program = "tavimo-xm";

void usage(FILE* out)
{
    fprintf(out,
            "usage: tavimo-xm info FILE\n"
            "       tavimo-xm render FILE OUT.wav [--seconds S] [--rate R]\n"
            "       tavimo-xm play FILE\n");
}

// Why a file that the loader refused was refused, as far as can be told
// from outside: missing, unreadable, not an XM at all, or damaged.
void explain_refusal(const char* path)
{
    FILE* f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "%s: %s: %s\n", program, path, strerror(errno));
        return;
    }
    char id[17] = {};
    size_t n = fread(id, 1, 17, f);
    fclose(f);
    if (n < 17 || memcmp(id, "Extended Module: ", 17) != 0)
        fprintf(stderr, "%s: %s: not an XM module\n", program, path);
    else
        fprintf(stderr, "%s: %s: damaged XM module (truncated or inconsistent data)\n", program, path);
}

Song* load(const char* path)
{
    disk_file_register();
    Song* song = song_create(path, nullptr);
    if (!song)
        explain_refusal(path);
    return song;
}

// Opens the offline layer and starts the song; false if the device refused.
bool start_offline(Song* song, int32_t rate)
{
    xm_sound_layer_use_offline();
    if (!sound_open(rate)) {
        fprintf(stderr, "%s: cannot open the offline mixer at %d Hz\n", program, rate);
        return false;
    }
    return song_start(song);
}

// Mixes blocks until the song ends (or `limit_frames`); appends them to
// `wav` when given. Returns the frames mixed before `ended` was first seen.
int64_t render_until_end(Song* song, int64_t limit_frames, WavWriter* wav)
{
    std::vector<int16_t> block(size_t(block_frames) * 2);
    int64_t frames = 0;
    while (frames < limit_frames && !song->ended) {
        int32_t n = sound_render_block(block.data());
        if (n <= 0)
            break;
        int64_t take = n;
        if (frames + take > limit_frames)
            take = limit_frames - frames;
        if (wav)
            wav_write(wav, block.data(), take);
        frames += take;
    }
    return frames;
}

void read_header_text(const char* path, char name[21], char tracker[21], unsigned* version)
{
    uint8_t header[60] = {};
    FILE* f = fopen(path, "rb");
    if (f) {
        if (fread(header, 1, sizeof header, f) != sizeof header)
            memset(header, 0, sizeof header);
        fclose(f);
    }
    for (int i = 0; i < 20; i++) {
        name[i] = (header[17 + i] >= 32 && header[17 + i] < 127) ? char(header[17 + i]) : ' ';
        tracker[i] = (header[38 + i] >= 32 && header[38 + i] < 127) ? char(header[38 + i]) : ' ';
    }
    name[20] = tracker[20] = '\0';
    for (int i = 19; i >= 0 && name[i] == ' '; i--) name[i] = '\0';
    for (int i = 19; i >= 0 && tracker[i] == ' '; i--) tracker[i] = '\0';
    *version = unsigned(header[58]) | unsigned(header[59]) << 8;
}

int command_info(const char* path)
{
    Song* song = load(path);
    if (!song)
        return EXIT_BAD_FILE;
    char name[21], tracker[21];
    unsigned version;
    read_header_text(path, name, tracker, &version);
    printf("file          %s\n", path);
    printf("name          %s\n", name);
    printf("tracker       %s\n", tracker);
    printf("version       0x%04X\n", version);
    printf("channels      %d\n", song->channel_count);
    printf("patterns      %d\n", song->pattern_slots);
    printf("instruments   %d\n", song->instrument_count);
    printf("orders        %d (restart at %d):", song->song_length, song->restart_position);
    for (int i = 0; i < song->song_length; i++)
        printf(" %d", song->order_table[i]);
    printf("\n");
    printf("speed         %d ticks per row\n", song->default_speed);
    printf("bpm           %d\n", song->default_bpm);
    printf("frequencies   %s\n", (song->module_flags & LINEAR_PERIODS) ? "linear" : "amiga");
    for (int i = 0; i < song->instrument_count; i++) {
        const Instrument& in = song->instruments[i];
        printf("instrument %3d  %2d sample%s  volume envelope %s  fadeout %u\n", i + 1,
               in.sample_count, in.sample_count == 1 ? " " : "s",
               (in.volume_type & ENVELOPE_ON) ? "on " : "off", unsigned(in.fadeout));
        for (int s = 0; s < in.sample_count; s++) {
            const Sample* sm = in.samples[s];
            const char* loop = sm->loop_type == LOOP_FORWARD    ? "forward"
                               : sm->loop_type == LOOP_PINGPONG ? "ping-pong"
                                                                : "none";
            printf("    sample %2d  %7u frames  loop %-9s %u+%u  volume %2u  finetune %4d  note %+3d\n",
                   s, sm->length, loop, sm->loop_start, sm->loop_length, unsigned(sm->volume),
                   sm->finetune, sm->relative_note);
        }
    }
    int code = 0;
    if (start_offline(song, RATE)) {
        int64_t frames = render_until_end(song, int64_t(LENGTH_LIMIT_S) * RATE, nullptr);
        if (song->ended)
            printf("length        %.2f s\n", double(frames) / double(RATE));
        else
            printf("length        over %d s (does not end within the bound)\n", LENGTH_LIMIT_S);
    } else {
        code = EXIT_BAD_FILE;
    }
    song_free(song);
    sound_close();
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

int command_render(int argc, char** argv)
{
    if (argc < 4) {
        usage(stderr);
        return EXIT_USAGE;
    }
    const char* path = argv[2];
    const char* out = argv[3];
    double seconds = LENGTH_LIMIT_S, rate = RATE;
    for (int i = 4; i < argc; i += 2) {
        bool has_value = i + 1 < argc;
        if (strcmp(argv[i], "--seconds") == 0 && has_value &&
            parse_number(argv[i + 1], 0.001, 24 * 3600, &seconds))
            continue;
        if (strcmp(argv[i], "--rate") == 0 && has_value &&
            parse_number(argv[i + 1], SOUND_RATE_MIN, SOUND_RATE_MAX, &rate) && rate == int(rate))
            continue;
        usage(stderr);
        return EXIT_USAGE;
    }
    Song* song = load(path);
    if (!song)
        return EXIT_BAD_FILE;
    WavWriter wav;
    int code = 0;
    if (!wav_open(&wav, out, int32_t(rate))) {
        fprintf(stderr, "%s: %s: %s\n", program, out, strerror(errno));
        code = EXIT_BAD_FILE;
    } else if (!start_offline(song, int32_t(rate))) {
        code = EXIT_BAD_FILE;
        wav_close(&wav);
    } else {
        int64_t frames = render_until_end(song, int64_t(seconds * rate), &wav);
        if (!wav_close(&wav)) {
            fprintf(stderr, "%s: %s: write failed\n", program, out);
            code = EXIT_BAD_FILE;
        } else {
            printf("%s: %.2f s written to %s\n", path, double(frames) / rate, out);
        }
    }
    song_free(song);
    sound_close();
    return code;
}

volatile sig_atomic_t interrupted;

void on_signal(int)
{
    interrupted = 1;
}

int command_play(const char* path)
{
    Song* song = load(path);
    if (!song)
        return EXIT_BAD_FILE;
    xm_sound_layer_use_device();
    if (!sound_open(RATE)) {
        fprintf(stderr, "%s: no sound device can be opened\n", program);
        song_free(song);
        return 3;
    }
    song_start(song);
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
    printf("playing %s: q or Ctrl-C stops\n", path);
    while (!interrupted) {
        char key;
        if (terminal && read(0, &key, 1) == 1 && (key == 'q' || key == 'Q'))
            break;
        // A torn read of these counters only shows a stale status line.
        mix_lock_acquire();
        int order = song->order_pos, row = song->row;
        int pattern = song->order_table[order & 255];
        bool ended = song->ended;
        mix_lock_release();
        printf("\rorder %3d  pattern %3d  row %3d  %s", order, pattern, row, ended ? "(looped)" : "        ");
        fflush(stdout);
        usleep(50000);
    }
    printf("\n");
    if (terminal)
        tcsetattr(0, TCSANOW, &saved);
    song_free(song);
    sound_close();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "info") == 0)
        return command_info(argv[2]);
    if (argc >= 2 && strcmp(argv[1], "render") == 0)
        return command_render(argc, argv);
    if (argc == 3 && strcmp(argv[1], "play") == 0)
        return command_play(argv[2]);
    usage(stderr);
    return EXIT_USAGE;
}
