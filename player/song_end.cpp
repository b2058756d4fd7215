// song_end.cpp -- the song's end found by watching the rows it enters.
//
// Why a repeated row with the same loop state is an end for good: which row
// comes next depends only on the row being entered (its cells, read by the
// engine's flow effects) and on every channel's loop row and loop passes;
// speed, tempo, volumes and the voices only change how the rows sound. So
// once such a row is entered a second time, everything between the two
// entries comes round again, for ever.
//
// One exception is made to that, as listeners' players make it: a channel's
// loop row counts only while its loop runs (passes left). A loop row left
// behind by a finished loop is met again only by a loop effect that has not
// set its own start (E60) first; counting it would make every song with a
// loop in mid-pattern that jumps back play twice before it is said to end.
#include "player/song_end.h"

#include <cstdlib>
#include <cstring>

#include "mixer/mix_lock.h"
#include "mixer/voice.h"
#include "player/channel.h"
#include "player/replay.h"

enum {
    VISITED_MIN_SLOTS = 1 << 12,
    VISITED_MAX_SLOTS = 1 << 22,  // 32 MiB of keys: some two million rows per pass
    LOOP_STATES = 4096,
};

// Sentinel of the watchers; song_end_tick finds its watcher here.
static SongEnd watchers = {&watchers, &watchers, nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                           nullptr, 0, 0, nullptr, nullptr, 0, 0, 0, 0};

static int32_t rows_at(const Song* song, int32_t order)
{
    if (order < 0 || order >= 256 || !song->patterns)
        return 0;
    int32_t number = song->order_table[order];
    return number < song->pattern_slots ? song->patterns[number].rows : 0;
}

// The order and row song_tick enters at its next tick 0: the chosen next
// position, and row 0 for a row the entered pattern does not have (as
// song_tick decides it).
static void entry_position(const Song* song, int32_t* order, int32_t* row)
{
    *order = song->next_order >= 0 ? song->next_order : song->order_pos;
    *row = song->next_row >= 0 ? song->next_row : song->row;
    if (*row < 0 || *row >= rows_at(song, *order))
        *row = 0;
}

// A channel's loop row as the state counts it: only while its loop runs.
static int32_t live_loop_row(const Channel* channel)
{
    return channel->loop_count != 0 ? channel->loop_row : -1;
}

static bool same_loop_state(const SongEnd* watch, int32_t number)
{
    const Song* song = watch->song;
    const int32_t* state = watch->loop_states + size_t(number) * song->channel_count * 2;
    for (int32_t c = 0; c < song->channel_count; c++) {
        if (state[2 * c] != live_loop_row(&song->channels[c]) ||
            state[2 * c + 1] != song->channels[c].loop_count)
            return false;
    }
    return true;
}

// The number of the channels' present loop state, given one when it is
// new; -1 when the table is full.
static int32_t loop_state_number(SongEnd* watch)
{
    if (watch->current_loop_state >= 0 && same_loop_state(watch, watch->current_loop_state))
        return watch->current_loop_state;
    const Song* song = watch->song;
    uint32_t hash = 2166136261u;
    for (int32_t c = 0; c < song->channel_count; c++) {
        hash = (hash ^ uint32_t(live_loop_row(&song->channels[c]))) * 16777619u;
        hash = (hash ^ uint32_t(song->channels[c].loop_count)) * 16777619u;
    }
    for (int32_t n = 0; n < watch->loop_state_count; n++) {
        if (watch->loop_hashes[n] == hash && same_loop_state(watch, n))
            return n;
    }
    if (watch->loop_state_count == watch->loop_state_capacity)
        return -1;
    int32_t n = watch->loop_state_count++;
    int32_t* state = watch->loop_states + size_t(n) * song->channel_count * 2;
    for (int32_t c = 0; c < song->channel_count; c++) {
        state[2 * c] = live_loop_row(&song->channels[c]);
        state[2 * c + 1] = song->channels[c].loop_count;
    }
    watch->loop_hashes[n] = hash;
    return n;
}

// Adds the key; 1 when it was there already, 0 when added, -1 when the
// table may not grow fuller.
static int visit(SongEnd* watch, uint64_t key)
{
    uint32_t i = uint32_t((key * 0x9E3779B97F4A7C15ull) >> 32) & watch->visited_mask;
    while (watch->visited[i] != 0) {
        if (watch->visited[i] == key)
            return 1;
        i = (i + 1) & watch->visited_mask;
    }
    if (watch->visited_count >= (watch->visited_mask + 1) / 2)
        return -1;
    watch->visited[i] = key;
    watch->visited_count++;
    return 0;
}

static void forget_visits(SongEnd* watch)
{
    memset(watch->visited, 0, (size_t(watch->visited_mask) + 1) * sizeof(uint64_t));
    watch->visited_count = 0;
}

static SongEnd* watcher_of(const Song* song)
{
    for (SongEnd* w = watchers.next; w != &watchers; w = w->next) {
        if (w->song == song)
            return w;
    }
    return nullptr;
}

// An end at the row about to be entered: recorded, and either played
// through (a loop left) or the last.
static void reach_end(SongEnd* watch, uint8_t how, int32_t order, int32_t row)
{
    if (watch->ends == 0) {
        watch->length_frames = watch->frames;
        watch->back_order = order;
        watch->back_row = row;
        watch->how = how;
    }
    watch->ends++;
    watch->last_end_frames = watch->frames;
    if (watch->loops_left > 0) {
        watch->loops_left--;
        forget_visits(watch);
        return;
    }
    watch->finished = 1;
    Song* song = watch->song;
    for (int32_t c = 0; c < song->channel_count && song->channels; c++) {
        if (song->channels[c].voice)
            voice_set_volume(song->channels[c].voice, 0);
    }
}

// The end check at the entry of a row; true when the song has finished.
static bool check_entry(SongEnd* watch)
{
    Song* song = watch->song;
    int32_t order, row;
    entry_position(song, &order, &row);
    if (song->ended && !watch->saw_order_list_end) {
        watch->saw_order_list_end = 1;
        reach_end(watch, SONG_END_ORDER_LIST, order, row);
        if (watch->finished)
            return true;
    }
    if (watch->gave_up || !song->channels)
        return false;
    int32_t state = loop_state_number(watch);
    if (state < 0) {
        watch->gave_up = 1;
        return false;
    }
    watch->current_loop_state = state;
    uint64_t key = 1 + (uint64_t(state) << 24 | uint64_t(order & 255) << 16 | uint64_t(row & 0xFFFF));
    int seen = visit(watch, key);
    if (seen == 1) {
        reach_end(watch, SONG_END_REVISIT, order, row);
        if (watch->finished)
            return true;
        seen = visit(watch, key);  // the first row of the new pass
    }
    if (seen < 0)
        watch->gave_up = 1;
    return false;
}

void song_end_tick(Song* song)
{
    SongEnd* watch = watcher_of(song);
    if (!watch) {
        song_tick(song);
        return;
    }
    if (watch->finished)
        return;
    if (song->tick == 0 && check_entry(watch))
        return;
    song_tick(song);
    watch->frames += song->samples_per_tick > 0 ? song->samples_per_tick : 1;
}

SongEnd* song_end_create(Song* song, int32_t loops)
{
    if (!song || loops < 0)
        return nullptr;
    // Room for every row of the order list twice over at half load, within
    // the bounds; rows played more often than that (loops) share the slack.
    int64_t rows = 0;
    for (int32_t o = 0; o < song->song_length; o++)
        rows += rows_at(song, o);
    uint32_t slots = VISITED_MIN_SLOTS;
    while (slots < VISITED_MAX_SLOTS && int64_t(slots) < 4 * rows)
        slots *= 2;
    int32_t channels = song->channel_count > 0 ? song->channel_count : 0;
    SongEnd* watch = static_cast<SongEnd*>(calloc(1, sizeof(SongEnd)));
    if (!watch)
        return nullptr;
    watch->visited = static_cast<uint64_t*>(calloc(slots, sizeof(uint64_t)));
    watch->loop_states =
        static_cast<int32_t*>(calloc(size_t(LOOP_STATES) * 2 * (channels > 0 ? channels : 1), sizeof(int32_t)));
    watch->loop_hashes = static_cast<uint32_t*>(calloc(LOOP_STATES, sizeof(uint32_t)));
    if (!watch->visited || !watch->loop_states || !watch->loop_hashes) {
        free(watch->visited);
        free(watch->loop_states);
        free(watch->loop_hashes);
        free(watch);
        return nullptr;
    }
    watch->next = watch->prev = watch;
    watch->song = song;
    watch->length_frames = -1;
    watch->last_end_frames = -1;
    watch->back_order = watch->back_row = -1;
    watch->loops_left = loops;
    watch->visited_mask = slots - 1;
    watch->loop_state_capacity = LOOP_STATES;
    watch->current_loop_state = -1;
    mix_lock_acquire();
    list_insert_tail(watch, &watchers);
    song->tick_function = song_end_tick;
    mix_lock_release();
    return watch;
}

void song_end_free(SongEnd* watch)
{
    if (!watch)
        return;
    mix_lock_acquire();
    list_unlink(watch);
    if (!watcher_of(watch->song))
        watch->song->tick_function = song_tick;
    mix_lock_release();
    free(watch->visited);
    free(watch->loop_states);
    free(watch->loop_hashes);
    free(watch);
}

bool song_end_measure(Song* song, int32_t rate, int64_t limit_frames, SongLength* length)
{
    *length = SongLength{false, -1, -1, -1, SONG_END_NONE};
    if (!song || song->playing || song->channels)
        return false;
    int32_t count = song->channel_count > 0 ? song->channel_count : 0;
    Channel* channels = static_cast<Channel*>(calloc(size_t(count) + 1, sizeof(Channel)));
    SongEnd* watch = channels ? song_end_create(song, 0) : nullptr;
    if (!watch) {
        free(channels);
        return false;
    }
    mix_lock_acquire();
    int32_t saved_rate = output_rate;
    output_rate = rate;
    for (int32_t i = 0; i < count; i++)
        channels[i].voice_index = -1;
    song->channels = channels;
    song_rewind(song);
    while (!watch->finished && watch->frames < limit_frames)
        song_end_tick(song);
    song->channels = nullptr;
    output_rate = saved_rate;
    mix_lock_release();
    *length = SongLength{watch->length_frames >= 0 && watch->length_frames <= limit_frames,
                         watch->length_frames, watch->back_order, watch->back_row, watch->how};
    song_end_free(watch);
    free(channels);
    return true;
}

