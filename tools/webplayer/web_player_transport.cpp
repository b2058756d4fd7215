// web_player_transport.cpp -- the web player's start, stop, pause, loop and
// seek, and the blocks rendered as the device asks for them, with what each
// holds logged for the view.
#include "tools/webplayer/web_player_state.h"

#include <cstring>

#include "mixer/mix_lock.h"
#include "sound/sound.h"
#include "mixer/voice.h"
#include "player/channel.h"
#include "player/song_declick.h"
#include "player/render.h"

namespace {

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
    for (int64_t& b : p.block_song)
        b = -1;
    p.status.block_count = 0;
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
    Song* fresh = web_player_load_song();
    if (!fresh)
        return false;
    song_free(p.song);
    p.song = fresh;
    song_declick(p.song, p.declick);
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
    const Pattern* first = web_player_pattern_of_order(p.song, 0);
    p.status.order = p.status.row = p.status.heard_ms = 0;
    p.status.pattern = p.song->order_table[0];
    p.status.rows = first ? first->rows : 0;
    return true;
}

}  // namespace

void web_player_render(float* mix, int16_t* out, int32_t frames)
{
    Player& p = player;
    render_songs(mix, out, frames);
    bool ours = p.song && p.song->playing && p.song->tick_function == player_tick;
    p.block_song[p.blocks_rendered++ % 64] = ours ? p.song_blocks : -1;
    if (!ours)
        return;
    if (p.song_blocks < WEB_PLAYER_LOGGED_BLOCKS)
        p.block_sums[p.song_blocks] = web_player_checksum(out, frames * 2);
    p.song_blocks++;
    p.status.block_count = int32_t(p.song_blocks < int64_t(WEB_PLAYER_LOGGED_BLOCKS)
                                       ? p.song_blocks : int64_t(WEB_PLAYER_LOGGED_BLOCKS));
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

void web_player_set_declick(bool on)
{
    mix_lock_acquire();
    player.declick = on;
    if (player.song)
        song_declick(player.song, on);
    mix_lock_release();
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
    song_seek_order(p.song, order);
    mix_lock_acquire();
    p.song->tick_function = player_tick;
    p.song_frame = p.song_blocks * block_frames;
    p.finished = false;
    mix_lock_release();
}

const uint32_t* web_player_block_sums(void)
{
    return player.block_sums;
}

}  // extern "C"
