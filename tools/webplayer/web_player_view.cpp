// web_player_view.cpp -- what the page shows: the position heard now (the
// device's place in the ring, through the logs of what each block holds),
// the channels' levels and a pattern's rows as trackers write them.
#include "tools/webplayer/web_player_state.h"

#include <cstring>

#include "mixer/mix_lock.h"
#include "sound/sound.h"
#include "mixer/voice.h"

namespace {

char row_text[256 * 14 + 1];

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

// The song frame heard now, from the block the device plays; -1 before the
// first block of this start is heard.
int64_t heard_frame(void)
{
    const Player& p = player;
    int32_t frame;
    int64_t block = sound_block_heard(&frame);
    if (block < 0 || block >= p.blocks_rendered || block + 64 <= p.blocks_rendered)
        return -1;
    int64_t song_block = p.block_song[block % 64];
    if (song_block < 0)
        return -1;
    return song_block * block_frames + frame;
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
        const Pattern* pattern = web_player_pattern_of_order(p.song, e.order);
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

extern "C" {

const WebPlayerStatus* web_player_frame(void)
{
    sound_mix_due();
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

}  // extern "C"
