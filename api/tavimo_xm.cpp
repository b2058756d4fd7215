// tavimo_xm.cpp -- the C library over the player: a module loaded from
// memory, rendered block by block into the caller's buffers, with its rows
// and notes handed on at their frames.
//
// The engine renders whole blocks of block_frames, as the mixing thread and
// `tavimo-xm render` do: the mixer's gain ramps round their progress at each
// piece's end, so a different split would give different samples. A call for
// N frames takes them from the block in hand and renders the next when it is
// used up; the block's ticks and events are logged as the engine runs them,
// each at the frame of its tick, and handed on as their frames are.
#include "api/tavimo_xm.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "mixer/voice.h"
#include "player/module_file.h"
#include "player/render.h"
#include "player/song.h"
#include "player/song_end.h"

static_assert(int(TAVIMO_XM_RATE_MIN) == int(OUTPUT_RATE_MIN) &&
                  int(TAVIMO_XM_RATE_MAX) == int(OUTPUT_RATE_MAX),
              "the library takes the rates the voices take");

namespace {

enum { LOOPS_FOREVER = 1 << 30 };  // ends the watcher plays through without stopping

// One tick the engine ran: where, and from which frame.
struct TickRecord {
    int64_t frame;  // first frame of the tick, counted from the load
    int32_t order, pattern, row, tick, speed, tempo;
};

// An instrument's name and its samples', as text.
struct Names {
    char instrument[XM_ITEM_NAME_BYTES + 1];
    char samples[INSTRUMENT_SAMPLES][XM_ITEM_NAME_BYTES + 1];
};

}  // namespace

struct TavimoXm {
    Song* song;
    SongEnd* watch;        // the end watcher; its count starts at watch_base
    int64_t watch_base;    // frame at which the watcher's frame count began
    int32_t loops;         // passes after the first; -1 for ever
    int32_t passes_before; // ends played through by watchers before this one
    TavimoXmInfo info;

    int16_t* block;        // block_frames x 2, the engine's output
    float* block_mix;      // block_frames x 2, the same before clipping
    int32_t frames_per_block;
    int32_t block_filled;  // frames of the block that belong to the song
    int32_t block_read;    // frames of it handed out
    int64_t block_start;   // frame of the block's first frame
    int64_t end_frame;     // frame after the song's last; -1 until it has ended
    bool discard_block;    // a seek: the rest of the block in hand is not played
    int64_t delivered;     // frames handed out since the load

    int64_t tick_frame;    // frame at which the engine runs its next tick
    TickRecord* ticks;     // the block's ticks, in order
    int32_t tick_count, tick_capacity;
    int32_t tick_next;     // first tick not yet reached by the frames handed out
    TavimoXmEvent* events; // the block's events, in order
    int32_t event_count, event_capacity;
    int32_t event_next;    // first event not yet handed on
    TickRecord current;    // the tick of the last frame handed out

    TavimoXmEventFunction event_function;
    void* event_user;
    Names* names;          // per instrument, as text
};

namespace {

TavimoXm* loaded;  // one module per process: the engine's voices are shared

int32_t pattern_at(const Song* song, int32_t order)
{
    return order >= 0 && order < 256 ? song->order_table[order] : 0;
}

TickRecord record_now(const Song* song, int64_t frame)
{
    return TickRecord{frame,     song->order_pos, pattern_at(song, song->order_pos), song->row,
                      song->tick, song->speed,    song->bpm};
}

// The song's tick function: the watcher's tick (the end check and the
// engine's tick), its start frame logged, the cursor moved on by the tick's
// length as the renderer counts it.
void api_tick(Song* song)
{
    TavimoXm* xm = static_cast<TavimoXm*>(song->observer_context);
    int32_t tick = song->tick;
    bool was_finished = xm->watch->finished;
    song_end_tick(song);
    if (!was_finished && !xm->watch->finished && xm->tick_count < xm->tick_capacity) {
        TickRecord r = record_now(song, xm->tick_frame);
        r.tick = tick;
        xm->ticks[xm->tick_count++] = r;
    }
    xm->tick_frame += song->samples_per_tick > 0 ? song->samples_per_tick : 1;
}

// The song's observer: each event at the frame of the tick it happens in.
void api_observe(void* context, const Song*, const SongEvent* event)
{
    TavimoXm* xm = static_cast<TavimoXm*>(context);
    if (xm->event_count == xm->event_capacity)
        return;
    TavimoXmEvent& e = xm->events[xm->event_count++];
    e.kind = event->kind == SONG_EVENT_ROW    ? TAVIMO_XM_EVENT_ROW
             : event->kind == SONG_EVENT_NOTE ? TAVIMO_XM_EVENT_NOTE
                                              : TAVIMO_XM_EVENT_STOP;
    e.offset = 0;
    e.frame = xm->tick_frame;
    e.order = event->order;
    e.pattern = event->pattern;
    e.row = event->row;
    e.tick = event->tick;
    e.channel = event->channel;
    e.instrument = event->instrument;
    e.sample = event->sample;
}

// A new end watcher from the song's present position on.
bool watch_from_here(TavimoXm* xm, int64_t frame)
{
    // The end a finished watcher stopped at was not played through.
    int32_t passes = xm->passes_before + (xm->watch ? xm->watch->ends - xm->watch->finished : 0);
    int32_t left = xm->loops < 0 ? LOOPS_FOREVER : xm->loops > passes ? xm->loops - passes : 0;
    SongEnd* watch = song_end_create(xm->song, left);
    if (!watch)
        return false;
    song_end_free(xm->watch);
    xm->watch = watch;
    xm->passes_before = passes;
    xm->watch_base = frame;
    xm->song->tick_function = api_tick;
    return true;
}

// The song's length at the output rate, on a load of its own (the engine
// changes a song as it plays, E5y a sample's finetune).
bool measure(TavimoXmInfo* info)
{
    Song* song = song_create("module", nullptr);
    if (!song)
        return false;
    SongLength length;
    bool measured = song_end_measure(
        song, info->rate, int64_t(TAVIMO_XM_LENGTH_BOUND_SECONDS) * info->rate, &length);
    song_free(song);
    info->length_frames = length.found ? length.frames : -1;
    info->length_seconds = length.found ? double(length.frames) / info->rate : -1.0;
    info->end_kind = length.found ? int(length.how) : int(TAVIMO_XM_END_NONE);
    info->end_back_order = length.found ? length.back_order : -1;
    info->end_back_row = length.found ? length.back_row : -1;
    return measured;
}

// The facts the loader kept; the length is measured apart.
void fill_info(TavimoXmInfo* info, const Song* song)
{
    xm_name_text(info->name, song->facts.name, XM_MODULE_NAME_BYTES);
    xm_name_text(info->tracker, song->facts.tracker, XM_MODULE_NAME_BYTES);
    info->version = song->facts.version;
    info->channels = song->channel_count;
    info->orders = song->song_length;
    info->restart_order = song->restart_position;
    info->patterns = song->pattern_slots;
    info->instruments = song->instrument_count > 0 ? song->instrument_count : 0;
    info->samples = 0;
    for (int32_t i = 0; i < info->instruments; i++)
        info->samples += song->instruments[i].sample_count;
    info->speed = song->default_speed;
    info->tempo = song->default_bpm;
    info->linear_periods = (song->module_flags & LINEAR_PERIODS) != 0;
}

// Ticks a block can hold at most: the shortest tick is that of the highest
// tempo the song can reach (the tempo effect goes up to 255, the header may
// say more), less one frame for rounding, and at least one frame.
int32_t ticks_per_block(const Song* song, int32_t frames_per_block, int32_t rate)
{
    int32_t fastest = song->default_bpm > 255 ? song->default_bpm : 255;
    int32_t shortest = int32_t(2.5 * rate / fastest) - 1;
    if (shortest < 1)
        shortest = 1;
    return frames_per_block / shortest + 2;
}

void free_parts(TavimoXm* xm)
{
    song_end_free(xm->watch);
    song_free(xm->song);
    render_close();
    free(xm->block);
    free(xm->block_mix);
    free(xm->ticks);
    free(xm->events);
    free(xm->names);
    free(xm);
}

// The engine's next block, from frame `delivered` on, as tavimo-xm renders
// one: the ticks due run (logging their ticks and events), the voices
// mixed, the result clipped, cut where the song's last end falls.
void render_block(TavimoXm* xm)
{
    xm->discard_block = false;
    xm->block_start = xm->delivered;
    xm->block_read = xm->block_filled = 0;
    xm->tick_count = xm->tick_next = 0;
    xm->event_count = xm->event_next = 0;
    // The first tick runs where the song's samples-until-tick run out.
    int32_t until = xm->song->samples_until_tick;
    xm->tick_frame = xm->block_start + (until > 0 ? until : 0);

    xm->block_filled = render_to_end(xm->watch, xm->block_start - xm->watch_base, INT64_MAX,
                                     xm->block_mix, xm->block, xm->frames_per_block);
    if (xm->watch->finished)
        xm->end_frame = xm->block_start + xm->block_filled;
}

// Hands out up to `frames` frames into `s16` or `f32` (whichever is not
// null), from the block in hand and the blocks after it; the ticks and
// events their frames reach are taken in. Returns the frames of the song
// handed out; silence after them.
int32_t render(TavimoXm* xm, int16_t* s16, float* f32, int32_t frames)
{
    const int64_t buffer_start = xm->delivered;
    int32_t done = 0;
    while (done < frames) {
        if (xm->block_read == xm->block_filled || xm->discard_block) {
            if (xm->end_frame >= 0)
                break;
            render_block(xm);
            if (xm->block_filled == 0)
                break;
        }
        int32_t n = xm->block_filled - xm->block_read;
        if (n > frames - done)
            n = frames - done;
        size_t from = size_t(xm->block_read) * 2, to = size_t(done) * 2;
        if (s16) {
            memcpy(s16 + to, xm->block + from, size_t(n) * 2 * sizeof(int16_t));
        } else {
            // Held as clip_output holds them, so that rounding gives the 16-bit values.
            for (size_t i = 0; i < size_t(n) * 2; i++) {
                float v = xm->block_mix[from + i];
                v = v < -32768.0f ? -32768.0f : v > 32767.0f ? 32767.0f : v;
                f32[to + i] = v * (1.0f / 32768.0f);
            }
        }
        xm->block_read += n;
        done += n;
        xm->delivered += n;
        while (xm->tick_next < xm->tick_count && xm->ticks[xm->tick_next].frame < xm->delivered)
            xm->current = xm->ticks[xm->tick_next++];
        while (xm->event_next < xm->event_count &&
               xm->events[xm->event_next].frame < xm->delivered) {
            TavimoXmEvent* e = &xm->events[xm->event_next++];
            e->offset = int32_t(e->frame - buffer_start);
            if (xm->event_function)
                xm->event_function(xm->event_user, e);
        }
    }
    if (s16)
        memset(s16 + size_t(done) * 2, 0, size_t(frames - done) * 2 * sizeof(int16_t));
    else
        memset(f32 + size_t(done) * 2, 0, size_t(frames - done) * 2 * sizeof(float));
    return done;
}

int32_t clamp_index(int32_t value, int32_t count)
{
    return value < 0 ? 0 : value >= count ? count - 1 : value;
}

}  // namespace

extern "C" {

TavimoXm* tavimo_xm_load(const void* data, size_t size, int rate, const char** reason)
{
    const char* ignored;
    if (!reason)
        reason = &ignored;
    if (loaded) {
        *reason = "another module is loaded (one per process)";
        return nullptr;
    }
    if (rate < TAVIMO_XM_RATE_MIN || rate > TAVIMO_XM_RATE_MAX) {
        *reason = "output rate outside 8000..384000 Hz";
        return nullptr;
    }
    if (size > 0x7FFFFFFF) {
        *reason = "larger than any XM module (2 GiB or more)";
        return nullptr;
    }
    TavimoXm* xm = static_cast<TavimoXm*>(calloc(1, sizeof(TavimoXm)));
    if (!xm) {
        *reason = "out of memory";
        return nullptr;
    }
    memory_file_register(static_cast<const uint8_t*>(data), data ? int32_t(size) : 0);
    xm->end_frame = -1;
    xm->info.rate = rate;
    if (!measure(&xm->info) || !(xm->song = song_create("module", nullptr))) {
        *reason = xm_refusal_text(xm_refusal == XM_LOADED ? uint8_t(XM_OUT_OF_MEMORY) : xm_refusal);
        memory_file_set(nullptr, 0);
        free(xm);
        return nullptr;
    }
    fill_info(&xm->info, xm->song);
    // The caller's bytes may go now; the stream set stays registered, over nothing.
    memory_file_set(nullptr, 0);

    // Blocks as the sound device's, so the samples are the device's.
    int32_t block_frames = mix_block_frames(rate);
    xm->frames_per_block = block_frames;
    xm->tick_capacity = ticks_per_block(xm->song, block_frames, rate);
    // A row, and on each channel a note and a stop, per tick.
    xm->event_capacity = xm->tick_capacity * (1 + 2 * xm->song->channel_count);
    xm->block = static_cast<int16_t*>(calloc(size_t(block_frames) * 2, sizeof(int16_t)));
    xm->block_mix = static_cast<float*>(calloc(size_t(block_frames) * 2, sizeof(float)));
    xm->ticks = static_cast<TickRecord*>(calloc(size_t(xm->tick_capacity), sizeof(TickRecord)));
    xm->events = static_cast<TavimoXmEvent*>(calloc(size_t(xm->event_capacity), sizeof(TavimoXmEvent)));
    xm->names = static_cast<Names*>(calloc(size_t(xm->info.instruments) + 1, sizeof(Names)));
    xm->song->observer = api_observe;
    xm->song->observer_context = xm;
    if (!xm->block || !xm->block_mix || !xm->ticks || !xm->events || !xm->names ||
        !render_open(rate) || !song_start(xm->song) || !watch_from_here(xm, 0)) {
        free_parts(xm);
        *reason = "out of memory";
        return nullptr;
    }
    for (int32_t i = 0; i < xm->info.instruments; i++) {
        const Instrument& instrument = xm->song->instruments[i];
        xm_name_text(xm->names[i].instrument, instrument.name, XM_ITEM_NAME_BYTES);
        for (int32_t k = 0; k < instrument.sample_count; k++)
            xm_name_text(xm->names[i].samples[k], instrument.sample_names[k], XM_ITEM_NAME_BYTES);
    }
    xm->current = record_now(xm->song, 0);
    loaded = xm;
    return xm;
}

void tavimo_xm_free(TavimoXm* xm)
{
    if (!xm)
        return;
    free_parts(xm);
    if (loaded == xm)
        loaded = nullptr;
}

void tavimo_xm_info(const TavimoXm* xm, TavimoXmInfo* info)
{
    if (xm && info)
        *info = xm->info;
}

const char* tavimo_xm_instrument_name(const TavimoXm* xm, int instrument)
{
    if (!xm || instrument < 0 || instrument >= xm->info.instruments)
        return "";
    return xm->names[instrument].instrument;
}

int tavimo_xm_instrument_samples(const TavimoXm* xm, int instrument)
{
    if (!xm || instrument < 0 || instrument >= xm->info.instruments)
        return 0;
    return xm->song->instruments[instrument].sample_count;
}

const char* tavimo_xm_sample_name(const TavimoXm* xm, int instrument, int sample)
{
    if (sample < 0 || sample >= tavimo_xm_instrument_samples(xm, instrument))
        return "";
    return xm->names[instrument].samples[sample];
}

int tavimo_xm_order_pattern(const TavimoXm* xm, int order)
{
    if (!xm || order < 0 || order >= xm->info.orders)
        return -1;
    return xm->song->order_table[order];
}

int tavimo_xm_pattern_rows(const TavimoXm* xm, int pattern)
{
    if (!xm || pattern < 0 || pattern >= xm->song->pattern_slots)
        return 0;
    return xm->song->patterns[pattern].rows;
}

int tavimo_xm_render_s16(TavimoXm* xm, int16_t* out, int frames)
{
    if (!xm || !out || frames <= 0)
        return 0;
    return render(xm, out, nullptr, frames);
}

int tavimo_xm_render_float(TavimoXm* xm, float* out, int frames)
{
    if (!xm || !out || frames <= 0)
        return 0;
    return render(xm, nullptr, out, frames);
}

void tavimo_xm_position(const TavimoXm* xm, TavimoXmPosition* position)
{
    if (!xm || !position)
        return;
    const TickRecord& t = xm->current;
    *position = TavimoXmPosition{t.order, t.pattern, t.row, t.tick, t.speed, t.tempo,
                                 xm->delivered, double(xm->delivered) / xm->info.rate,
                                 xm->passes_before + xm->watch->ends - xm->watch->finished,
                                 xm->end_frame >= 0 && xm->delivered >= xm->end_frame};
}

int tavimo_xm_seek_order(TavimoXm* xm, int order)
{
    if (!xm || xm->info.orders <= 0)
        return 0;
    order = clamp_index(order, xm->info.orders);
    if (!watch_from_here(xm, xm->delivered))
        return xm->current.order;
    // The frames mixed ahead belong to the old place and are dropped; the
    // voices go on from the end of that block, as they would after a jump
    // there, which is at most a block (about 20 ms) on from what was heard.
    xm->discard_block = true;
    xm->end_frame = -1;
    song_seek_order(xm->song, order);
    const Song* song = xm->song;
    xm->current = TickRecord{xm->delivered, order, pattern_at(song, order), 0, 0, song->speed,
                             song->bpm};
    return order;
}

void tavimo_xm_set_loops(TavimoXm* xm, int loops)
{
    if (!xm)
        return;
    xm->loops = loops < 0 ? -1 : loops;
    int32_t passes = xm->passes_before + xm->watch->ends;
    if (!xm->watch->finished)
        xm->watch->loops_left = xm->loops < 0 ? LOOPS_FOREVER
                                : xm->loops > passes ? xm->loops - passes : 0;
}

void tavimo_xm_set_event_function(TavimoXm* xm, TavimoXmEventFunction function, void* user)
{
    if (!xm)
        return;
    xm->event_function = function;
    xm->event_user = user;
}

}  // extern "C"
