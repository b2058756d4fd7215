// web_player.cpp -- the module player behind player.html (see web_player.h).
#include "tools/webplayer/web_player.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/mix_lock.h"
#include "audio/voice.h"
#include "player/module_file.h"
#include "player/replay.h"
#include "player/song_end.h"
#include "tools/formats/wav.h"
#include "tools/xm/xm_info.h"

namespace {

enum {
    RENDER_RATE = 44100,        // tavimo-xm's rate for info and render
    LENGTH_LIMIT_S = 20 * 60,   // tavimo-xm's bound on a song's length
    LOOPS_FOREVER = 1 << 30,    // ends played through with looping on
    ROW_LOG = 1024,             // row starts remembered (a ring holds fewer)
    TICK_LOG = 2048,            // ticks remembered, each with its levels
    NAME_BYTES = 256,
};

struct RowEvent {
    int64_t frame;  // song frame of the row's first tick
    int32_t order;
    int32_t row;
};

struct Player {
    uint8_t* buffer;             // the file's bytes: filled by the page, kept
    int32_t buffer_size;         // while its module is loaded (every start reloads)
    int32_t module_size;         // bytes of the loaded module in `buffer`
    Song* song;                  // null without a module
    SongEnd* watch;              // the song's end watcher while it plays or renders
    char name[NAME_BYTES];       // the file's name as the page gave it
    XmLength length;             // at RENDER_RATE, as tavimo-xm info finds it
    char* info[3];               // the facts as text and as JSON, and the names
    bool loop;
    bool paused;
    bool rendering;
    WebPlayerStatus status;

    // Logged by the tick function on the mixing path; read by the frame.
    int64_t song_frame;          // song frame of the next tick
    int64_t song_blocks;         // blocks mixed since the last start
    bool finished;               // the song has ended with looping off
    int64_t end_frame;           // song frame where it ended
    RowEvent rows[ROW_LOG];
    int64_t row_count;           // row events logged since start
    int64_t tick_frames[TICK_LOG];
    uint8_t* tick_levels;        // TICK_LOG x channel_count
    int64_t tick_count;
    int64_t ring_block_song[64]; // song block held by each ring block; -1: none
    uint32_t block_sums[WEB_PLAYER_LOGGED_BLOCKS];

    uint8_t* levels;             // channel_count values for the page
    WavWriter wav;
    int64_t render_frames;       // frames written so far
    int64_t render_limit;        // frames the render may reach
};

Player player;
char row_text[256 * 14 + 1];

const char* refusal(const char* name, const char* reason)
{
    static char text[NAME_BYTES + 96];
    snprintf(text, sizeof text, "%.*s: %s", NAME_BYTES - 1, name, reason);
    return text;
}

const Pattern* pattern_of_order(const Song* song, int32_t order)
{
    if (order < 0 || order >= song->song_length)
        return nullptr;
    int32_t number = song->order_table[order];
    return number < song->pattern_slots ? &song->patterns[number] : nullptr;
}

// The peak a voice puts out over its next `frames` output frames: the
// largest sample value it will read there, times the larger of its gains.
// Reads at most 256 values, spread over the span.
uint8_t voice_level(const Voice* v, int32_t frames)
{
    const Sample* s = v->sample;
    if (!s || !s->data || s->length == 0)
        return 0;
    uint32_t gain = v->gain_left > v->gain_right ? v->gain_left : v->gain_right;
    if (gain == 0)
        return 0;
    uint64_t span = (uint64_t(uint32_t(v->step)) * uint64_t(frames)) +
                    ((uint64_t(v->step_fraction) * uint64_t(frames)) >> 32) + 1;
    uint64_t stride = span / 256 + 1;
    uint64_t loop_end = uint64_t(s->loop_start) + s->loop_length;
    bool looped = s->loop_type != LOOP_NONE && s->loop_length != 0;
    int32_t peak = 0;
    for (uint64_t k = 0; k < span; k += stride) {
        uint64_t i = v->direction == VOICE_BACKWARD ? (v->position >= k ? v->position - k : 0)
                                                    : uint64_t(v->position) + k;
        if (i >= (looped ? loop_end : uint64_t(s->length))) {
            if (!looped)
                break;
            i = s->loop_start + (i - s->loop_start) % s->loop_length;
        }
        int32_t value = s->data[i] < 0 ? -int32_t(s->data[i]) : s->data[i];
        if (value > peak)
            peak = value;
    }
    uint32_t level = uint32_t(peak) * gain / 32768;  // 0..255
    return uint8_t(level > 255 ? 255 : level);
}

// The song's tick function while the page plays it: the end watcher's
// tick, then the row and the channels' levels logged at their song frames.
// Runs inside block mixing, under the mix lock.
void player_tick(Song* song)
{
    Player& p = player;
    if (p.finished)
        return;
    bool row_start = song->tick == 0;
    song_end_tick(song);
    if (p.watch && p.watch->finished) {
        // The end was found at this row's entry: nothing more was ticked.
        p.finished = true;
        p.end_frame = p.song_frame;
        return;
    }
    if (row_start) {
        RowEvent& e = p.rows[p.row_count % ROW_LOG];
        e.frame = p.song_frame;
        e.order = song->order_pos;
        e.row = song->row;
        p.row_count++;
    }
    int32_t tick_length = song->samples_per_tick > 0 ? song->samples_per_tick : 1;
    int64_t slot = p.tick_count % TICK_LOG;
    p.tick_frames[slot] = p.song_frame;
    uint8_t* levels = p.tick_levels + slot * song->channel_count;
    for (int32_t c = 0; c < song->channel_count; c++) {
        int32_t index = song->channels[c].voice_index;
        levels[c] = voices && index >= 0 && index < VOICE_COUNT
                        ? voice_level(&voices[index], tick_length) : 0;
    }
    p.tick_count++;
    p.song_frame += tick_length;
}

// Back to the first block of a start: nothing logged yet.
void reset_logs(void)
{
    Player& p = player;
    p.song_frame = 0;
    p.song_blocks = 0;
    p.finished = false;
    p.end_frame = 0;
    p.row_count = 0;
    p.tick_count = 0;
    for (int64_t& b : p.ring_block_song)
        b = -1;
    p.status.block_count = 0;
}

// A fresh load of the module's bytes: the replay engine changes a song as
// it plays (E5y sets a sample's finetune), so every start and every render
// begins from the file as it was. Null when refused or out of memory.
Song* load_song(void)
{
    memory_file_register(player.buffer, player.module_size);
    return song_create(player.name, nullptr);
}

// Gives the song a new end watcher (freeing the old one) that plays through
// its ends while looping is on; false when it cannot be allocated.
bool watch_song(void)
{
    Player& p = player;
    song_end_free(p.watch);
    p.watch = song_end_create(p.song, p.loop ? LOOPS_FOREVER : 0);
    return p.watch != nullptr;
}

bool start_song(void)
{
    Player& p = player;
    if (!p.song)
        return false;
    song_end_free(p.watch);
    p.watch = nullptr;
    Song* fresh = load_song();
    if (!fresh)
        return false;
    song_free(p.song);
    p.song = fresh;
    // A start sounds exactly as a fresh render does.
    mix_lock_acquire();
    voices_reset();
    reset_logs();
    mix_lock_release();
    if (!watch_song() || !song_start(p.song))
        return false;
    mix_lock_acquire();
    p.song->tick_function = player_tick;
    mix_lock_release();
    p.paused = false;
    p.status.state = WEB_PLAYER_PLAYING;
    // Until the first block is heard the song's start is shown.
    const Pattern* first = pattern_of_order(p.song, 0);
    p.status.order = p.status.row = p.status.heard_ms = 0;
    p.status.pattern = p.song->order_table[0];
    p.status.rows = first ? first->rows : 0;
    return true;
}

// The song's length at RENDER_RATE as `tavimo-xm info` finds it: where its
// end watcher sees the end, within the bound. Runs the replay engine and
// the watcher alone on channels bound to no voice, so nothing sounds and no
// voice changes, on a load of its own.
XmLength measure_length(void)
{
    XmLength length = {false, 0, RENDER_RATE, -1, -1, SONG_END_NONE, LENGTH_LIMIT_S};
    Song* song = load_song();
    if (!song)
        return length;
    int32_t count = song->channel_count > 0 ? song->channel_count : 0;
    Channel* channels = static_cast<Channel*>(calloc(size_t(count) + 1, sizeof(Channel)));
    SongEnd* watch = channels ? song_end_create(song, 0) : nullptr;
    if (!watch) {
        free(channels);
        song_free(song);
        return length;
    }
    mix_lock_acquire();  // output_rate is the mixer's too
    int32_t saved_rate = output_rate;
    output_rate = RENDER_RATE;
    for (int32_t i = 0; i < count; i++)
        channels[i].voice_index = -1;
    song->channels = channels;
    song->global_volume = song->initial_global_volume;
    song->next_order = song->next_row = -1;
    song->speed = song->default_speed;
    song->row = song->order_pos = song->tick = song->pattern_delay_ticks = 0;
    song->ended = 0;
    set_tempo(song, song->default_bpm);
    const int64_t limit = int64_t(LENGTH_LIMIT_S) * RENDER_RATE;
    while (!watch->finished && watch->frames < limit)
        song_end_tick(song);
    song->channels = nullptr;
    output_rate = saved_rate;
    mix_lock_release();
    length = XmLength{watch->length_frames >= 0 && watch->length_frames <= limit,
                      watch->length_frames, RENDER_RATE, watch->back_order, watch->back_row,
                      watch->how, LENGTH_LIMIT_S};
    song_end_free(watch);
    free(channels);
    song_free(song);
    return length;
}

void free_song(void)
{
    Player& p = player;
    if (p.rendering)
        web_player_render_cancel();
    song_end_free(p.watch);
    p.watch = nullptr;
    song_free(p.song);
    p.song = nullptr;
    free(p.tick_levels);
    free(p.levels);
    for (char*& text : p.info) {
        free(text);
        text = nullptr;
    }
    p.tick_levels = p.levels = nullptr;
    p.module_size = 0;
    p.status = WebPlayerStatus{};
    p.status.loop = p.loop;
    p.status.rate = output_rate;
    p.status.length_ms = -1;
}

// The facts as `tavimo-xm info` writes them, as text or JSON; null when
// memory runs out.
char* write_info(bool json)
{
    const Player& p = player;
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    if (!out)
        return nullptr;
    xm_info_write(out, p.name, p.song, &p.length, json);
    fclose(out);
    return text;
}

// The instruments' and samples' names as the loader kept them, a line each.
char* write_names(void)
{
    const Song* song = player.song;
    char* text = nullptr;
    size_t text_size = 0;
    FILE* out = open_memstream(&text, &text_size);
    if (!out)
        return nullptr;
    char name[XM_ITEM_NAME_BYTES + 1];
    for (int32_t n = 0; n < song->instrument_count; n++) {
        const Instrument& in = song->instruments[n];
        xm_name_text(name, in.name, XM_ITEM_NAME_BYTES);
        fprintf(out, "instrument %3d  %s\n", n + 1, name);
        for (int32_t s = 0; s < in.sample_count; s++) {
            xm_name_text(name, in.sample_names[s], XM_ITEM_NAME_BYTES);
            fprintf(out, "    sample %2d  %s\n", s, name);
        }
    }
    fclose(out);
    return text;
}

// The latest logged entry at or before `frame` among `count` entries of a
// ring of `size`, read through `frame_of`; the oldest one kept when all are
// later; -1 when nothing is logged.
template <typename FrameOf>
int64_t latest_at(int64_t count, int64_t size, int64_t frame, FrameOf frame_of)
{
    if (count == 0)
        return -1;
    int64_t oldest = count > size ? count - size : 0;
    for (int64_t i = count - 1; i >= oldest; i--)
        if (frame_of(i % size) <= frame)
            return i;
    return oldest;
}

// The song frame heard now, from the device's position in the ring; -1
// before the first block of this start is heard.
int64_t heard_frame(void)
{
    const Player& p = player;
    if (!output_ring || block_frames <= 0 || ring_blocks > 64)
        return -1;
    uint64_t position = (sound_device.bytes_played() / 4) % uint64_t(ring_frames);
    int32_t block = int32_t(position / uint64_t(block_frames));
    int64_t song_block = p.ring_block_song[block];
    if (song_block < 0)
        return -1;
    return song_block * block_frames + int64_t(position % uint64_t(block_frames));
}

void refresh_status(void)
{
    Player& p = player;
    WebPlayerStatus& st = p.status;
    st.loop = p.loop;
    st.rate = output_rate;
    if (!p.song)
        return;
    if (p.rendering) {
        st.state = WEB_PLAYER_RENDERING;
        return;
    }
    int64_t heard = heard_frame();
    if (heard < 0 || (st.state != WEB_PLAYER_PLAYING && st.state != WEB_PLAYER_PAUSED))
        return;
    mix_lock_acquire();
    int64_t r = latest_at(p.row_count, ROW_LOG, heard,
                          [](int64_t i) { return player.rows[i].frame; });
    if (r >= 0) {
        const RowEvent& e = p.rows[r % ROW_LOG];
        st.order = e.order;
        st.row = e.row;
        const Pattern* pattern = pattern_of_order(p.song, e.order);
        st.pattern = p.song->order_table[e.order & 255];
        st.rows = pattern ? pattern->rows : 0;
    }
    int64_t t = latest_at(p.tick_count, TICK_LOG, heard,
                          [](int64_t i) { return player.tick_frames[i]; });
    if (t >= 0)
        memcpy(p.levels, p.tick_levels + (t % TICK_LOG) * p.song->channel_count,
               size_t(p.song->channel_count));
    bool over = p.finished && heard >= p.end_frame;
    mix_lock_release();
    st.heard_ms = int32_t(heard * 1000 / (output_rate > 0 ? output_rate : 1));
    if (over) {
        song_stop(p.song);
        memset(p.levels, 0, size_t(p.song->channel_count));
        st.state = WEB_PLAYER_ENDED;
    }
}

}  // namespace

void web_player_format_cell(const Cell* cell, char out[14])
{
    static const char names[] = "C-C#D-D#E-F-F#G-G#A-A#B-";
    static const char hex[] = "0123456789ABCDEF";
    static const char effects[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    memset(out, ' ', 13);
    out[13] = '\0';
    if (cell->note >= 1 && cell->note <= 96) {
        int n = cell->note - 1;
        out[0] = names[(n % 12) * 2];
        out[1] = names[(n % 12) * 2 + 1];
        out[2] = char('0' + n / 12);
    } else if (cell->note == 255) {
        memcpy(out, "===", 3);
    } else {
        memcpy(out, "...", 3);
    }
    if (cell->instrument) {
        out[4] = hex[cell->instrument >> 4];
        out[5] = hex[cell->instrument & 15];
    } else {
        memcpy(out + 4, "..", 2);
    }
    // Volume column: 10..50 a volume of 00..40 (shown in hex), above it
    // a command letter and its digit, below it nothing.
    uint8_t v = cell->volume;
    if (v >= 0x10 && v <= 0x50) {
        out[7] = hex[(v - 0x10) >> 4];
        out[8] = hex[(v - 0x10) & 15];
    } else if (v >= 0x60) {
        static const char commands[] = "-+DUSVPLRM";
        out[7] = commands[(v >> 4) - 6];
        out[8] = hex[v & 15];
    } else {
        memcpy(out + 7, "..", 2);
    }
    if (cell->effect == 0 && cell->parameter == 0) {
        memcpy(out + 10, "...", 3);
    } else {
        out[10] = cell->effect < 36 ? effects[cell->effect] : '?';
        out[11] = hex[cell->parameter >> 4];
        out[12] = hex[cell->parameter & 15];
    }
}

uint32_t web_player_checksum(const int16_t* values, int32_t count)
{
    uint32_t h = 2166136261u;
    for (int32_t i = 0; i < count; i++) {
        uint16_t v = uint16_t(values[i]);
        h = (h ^ (v & 0xFF)) * 16777619u;
        h = (h ^ (v >> 8)) * 16777619u;
    }
    return h;
}

extern "C" {

bool web_player_open(int32_t rate)
{
    memory_file_register(player.buffer, player.buffer_size);
    bool ok = sound_open(rate);
    player.status.rate = output_rate;
    return ok;
}

const char* web_player_size_refusal(const char* name, double size)
{
    if (size >= 0 && size <= double(WEB_PLAYER_SIZE_LIMIT))
        return "";
    static char text[NAME_BYTES + 96];
    snprintf(text, sizeof text, "%s: too large (%.1f MiB; at most %d MiB)", name,
             size / 1048576.0, WEB_PLAYER_SIZE_LIMIT >> 20);
    return text;
}

uint8_t* web_player_buffer(int32_t size)
{
    free_song();  // its bytes go
    free(player.buffer);
    player.buffer = nullptr;
    player.buffer_size = 0;
    if (size < 0 || size > WEB_PLAYER_SIZE_LIMIT)
        return nullptr;
    player.buffer = static_cast<uint8_t*>(malloc(size_t(size) + 1));
    player.buffer_size = player.buffer ? size : 0;
    return player.buffer;
}

const char* web_player_load(const char* name, int32_t size)
{
    Player& p = player;
    free_song();
    snprintf(p.name, sizeof p.name, "%s", name ? name : "");
    if (!p.buffer || size < 0 || size > p.buffer_size)
        return refusal(p.name, "not an XM module");
    p.module_size = size;
    Song* song = load_song();
    if (!song) {
        p.module_size = 0;
        return refusal(p.name, xm_refusal_text(xm_refusal));
    }
    p.song = song;
    int32_t channels = song->channel_count > 0 ? song->channel_count : 0;
    p.tick_levels = static_cast<uint8_t*>(calloc(size_t(TICK_LOG) * channels + 1, 1));
    p.levels = static_cast<uint8_t*>(calloc(size_t(channels) + 1, 1));
    p.length = measure_length();
    p.info[0] = write_info(false);
    p.info[1] = write_info(true);
    p.info[2] = write_names();
    if (!p.tick_levels || !p.levels || !p.info[0] || !p.info[1] || !p.info[2]) {
        free_song();
        return refusal(p.name, "out of memory");
    }
    p.paused = false;
    p.status.state = WEB_PLAYER_STOPPED;
    p.status.song_length = song->song_length;
    p.status.channels = channels;
    p.status.length_ms = p.length.found ? int32_t(p.length.frames * 1000 / RENDER_RATE) : -1;
    const Pattern* first = pattern_of_order(song, 0);
    p.status.pattern = song->order_table[0];
    p.status.rows = first ? first->rows : 0;
    return "";
}

const char* web_player_info(bool json)
{
    const char* text = player.song ? player.info[json ? 1 : 0] : nullptr;
    return text ? text : "";
}

const char* web_player_names(void)
{
    const char* text = player.song ? player.info[2] : nullptr;
    return text ? text : "";
}

bool web_player_play(void)
{
    if (player.rendering)
        return false;
    return start_song();
}

void web_player_pause(bool paused, bool device_pauses)
{
    Player& p = player;
    p.paused = paused;
    if (!p.song || (p.status.state != WEB_PLAYER_PLAYING && p.status.state != WEB_PLAYER_PAUSED))
        return;
    mix_lock_acquire();
    p.song->playing = paused && !device_pauses ? 0 : 1;
    mix_lock_release();
    p.status.state = paused ? WEB_PLAYER_PAUSED : WEB_PLAYER_PLAYING;
}

void web_player_stop(void)
{
    Player& p = player;
    if (!p.song || p.rendering)
        return;
    song_stop(p.song);
    if (p.levels)
        memset(p.levels, 0, size_t(p.status.channels));
    p.status.state = WEB_PLAYER_STOPPED;
    p.status.order = p.status.row = p.status.heard_ms = 0;
}

void web_player_set_loop(bool loop)
{
    mix_lock_acquire();
    player.loop = loop;
    if (player.watch)
        player.watch->loops_left = loop ? LOOPS_FOREVER : 0;
    mix_lock_release();
    player.status.loop = loop;
}

void web_player_seek(int32_t order)
{
    Player& p = player;
    if (!p.song || p.rendering || p.song->song_length <= 0)
        return;
    if (order < 0)
        order = 0;
    if (order >= p.song->song_length)
        order = p.song->song_length - 1;
    if (p.status.state != WEB_PLAYER_PLAYING && p.status.state != WEB_PLAYER_PAUSED)
        if (!start_song())
            return;
    // A watcher of its own from here: the rows played before the seek are
    // no repeat, and an end seen before it is behind.
    if (!watch_song())
        return;
    mix_lock_acquire();
    Song* s = p.song;
    s->tick_function = player_tick;
    s->ended = 0;
    s->next_order = order;
    s->next_row = 0;
    s->tick = 0;
    s->pattern_delay_ticks = 0;
    // The next block begins with the jump's tick.
    s->samples_until_tick = 0;
    p.song_frame = p.song_blocks * block_frames;
    p.finished = false;
    mix_lock_release();
}

void web_player_mix_due(void)
{
    Player& p = player;
    if (p.rendering || !output_ring)
        return;
    for (;;) {
        int32_t block = next_block;
        if (!mixing_poll())
            break;
        bool ours = p.song && p.song->playing && p.song->tick_function == player_tick;
        if (block < 64)
            p.ring_block_song[block] = ours ? p.song_blocks : -1;
        if (!ours)
            continue;
        if (p.song_blocks < WEB_PLAYER_LOGGED_BLOCKS)
            p.block_sums[p.song_blocks] = web_player_checksum(
                output_ring + size_t(block) * block_frames * 2, block_frames * 2);
        p.song_blocks++;
        p.status.block_count = int32_t(p.song_blocks < int64_t(WEB_PLAYER_LOGGED_BLOCKS)
                                           ? p.song_blocks : int64_t(WEB_PLAYER_LOGGED_BLOCKS));
    }
}

const WebPlayerStatus* web_player_frame(void)
{
    web_player_mix_due();
    refresh_status();
    return &player.status;
}

const WebPlayerStatus* web_player_status(void)
{
    return &player.status;
}

const char* web_player_row_text(int32_t pattern, int32_t row)
{
    row_text[0] = '\0';
    const Song* song = player.song;
    if (!song || pattern < 0 || pattern >= song->pattern_slots)
        return row_text;
    const Pattern& pt = song->patterns[pattern];
    if (row < 0 || row >= pt.rows)
        return row_text;
    char* out = row_text;
    for (int32_t c = 0; c < song->channel_count; c++) {
        static const Cell empty = {};
        const Cell* cell = pt.cells ? &pt.cells[size_t(row) * song->channel_count + c] : &empty;
        if (c > 0)
            *out++ = '|';
        web_player_format_cell(cell, out);
        out += 13;
    }
    *out = '\0';
    return row_text;
}

const uint8_t* web_player_levels(void)
{
    return player.levels;
}

const uint32_t* web_player_block_sums(void)
{
    return player.block_sums;
}

bool web_player_render_begin(const char* path)
{
    Player& p = player;
    if (!p.song || p.rendering)
        return false;
    web_player_stop();
    Song* fresh = load_song();
    if (!fresh)
        return false;
    song_end_free(p.watch);
    p.watch = nullptr;
    song_free(p.song);
    p.song = fresh;
    if (!wav_open(&p.wav, path, RENDER_RATE))
        return false;
    int32_t device_rate = output_rate;
    sound_close();
    p.watch = song_end_create(p.song, 0);
    if (!p.watch || !sound_open_offline(RENDER_RATE) || !song_start(p.song)) {
        wav_close(&p.wav);
        song_stop(p.song);
        sound_close();
        sound_open(device_rate);
        return false;
    }
    p.status.rate = device_rate;  // what to reopen at
    p.rendering = true;
    p.render_frames = 0;
    p.render_limit = int64_t(LENGTH_LIMIT_S) * RENDER_RATE;
    p.status.state = WEB_PLAYER_RENDERING;
    return true;
}

// Back to the device after a render, the song stopped.
static void render_finish(void)
{
    Player& p = player;
    p.rendering = false;
    song_stop(p.song);
    song_end_free(p.watch);
    p.watch = nullptr;
    sound_close();
    sound_open(p.status.rate);
    p.status.state = WEB_PLAYER_STOPPED;
}

int32_t web_player_render_step(int32_t blocks)
{
    Player& p = player;
    if (!p.rendering)
        return -1;
    static int16_t block[2 * 8192];
    const SongEnd* watch = p.watch;
    for (int32_t i = 0; i < blocks && !watch->finished && p.render_frames < p.render_limit; i++) {
        int32_t n = block_frames <= 8192 ? sound_render_block(block) : 0;
        if (n <= 0)
            break;
        int64_t take = n;
        // As tavimo-xm renders: cut at the end, which began a tick in this block.
        if (watch->finished && p.render_frames + take > watch->last_end_frames)
            take = watch->last_end_frames - p.render_frames;
        if (p.render_frames + take > p.render_limit)
            take = p.render_limit - p.render_frames;
        wav_write(&p.wav, block, take);
        p.render_frames += take;
    }
    bool done = watch->finished || p.render_frames >= p.render_limit;
    if (!done) {
        int64_t total = p.length.found ? p.length.frames : p.render_limit;
        int64_t permille = total > 0 ? p.render_frames * 1000 / total : 0;
        return int32_t(permille > 999 ? 999 : permille);
    }
    bool written = wav_close(&p.wav);
    render_finish();
    return written ? 1000 : -1;
}

void web_player_render_cancel(void)
{
    Player& p = player;
    if (!p.rendering)
        return;
    wav_close(&p.wav);
    render_finish();
}

}  // extern "C"
