// song.cpp -- song creation, start, stop and free, the tempo rule, the playing-song list.
#include "player/song.h"

#include <cstdlib>

#include "mixer/mix_lock.h"
#include "mixer/voice.h"
#include "player/channel.h"
#include "player/stream.h"

// The sentinel starts out empty, pointing to itself (constant-initialised,
// so it is valid before any code runs).
static constexpr Song empty_list(Song* sentinel)
{
    Song node{};
    node.next = sentinel;
    node.prev = sentinel;
    return node;
}

Song playing_songs = empty_list(&playing_songs);

void set_tempo(Song* song, int32_t bpm)
{
    song->bpm = bpm;
    // A BPM below 1 has no tick length; the loader refuses such modules and
    // the tempo effect never gives less than 32, so this only guards callers.
    double beats = bpm < 1 ? 1.0 : static_cast<double>(bpm);
    // Before the voices open the show's rate is assumed; render_open
    // recomputes the tick length of every playing song at its own rate.
    double rate = output_rate > 0 ? output_rate : OUTPUT_RATE_DEFAULT;
    // 0.4 and 0.001 as single-precision constants, the rest in double.
    double frames = 1000.0 / (beats * static_cast<double>(0.4f)) * rate *
                    static_cast<double>(0.001f);
    int32_t samples = static_cast<int32_t>(frames);
    song->samples_per_tick = samples < 1 ? 1 : samples;
}

void song_report(Song* song, uint8_t kind, int32_t channel, const Sample* sample)
{
    if (!song->observer)
        return;
    SongEvent event = {kind, song->order_pos, -1, song->row, song->tick, -1, -1, -1, -1};
    if (song->order_pos >= 0 && song->order_pos < 256)
        event.pattern = song->order_table[song->order_pos];
    if (channel >= 0 && song->channels) {
        const Channel* state = &song->channels[channel];
        event.channel = channel;
        event.instrument = state->instrument;
        event.voice = state->voice ? state->voice->index : -1;
        if (state->instrument < song->instrument_count && sample != &empty_sample) {
            const Instrument* instrument = &song->instruments[state->instrument];
            for (int32_t s = 0; s < INSTRUMENT_SAMPLES; s++) {
                if (instrument->samples[s] == sample)
                    event.sample = s;
            }
        }
    }
    song->observer(song->observer_context, song, &event);
}

// The unlocked halves of the song operations; the callers hold the mix lock.
static void stop_locked(Song* song)
{
    list_unlink(song);
    song->playing = 0;
    if (!song->channels)
        return;
    for (int32_t i = 0; i < song->channel_count; i++)
        voice_stop(i);
    free(song->channels);
    song->channels = nullptr;
}

static void sample_free_locked(Sample* sample)
{
    if (!sample || sample == &empty_sample)
        return;
    free(sample->data);
    free(sample);
}

static void free_locked(Song* song)
{
    stop_locked(song);
    // Fading tails (smooth note starts) may still play its samples.
    voices_drop_tails();
    if (song->instruments) {
        for (int32_t n = 0; n < song->instrument_count; n++) {
            Instrument* instrument = &song->instruments[n];
            for (int32_t s = 0; s < instrument->sample_count; s++)
                sample_free_locked(instrument->samples[s]);
        }
        free(song->instruments);
    }
    if (song->patterns) {
        for (int32_t p = 0; p < song->pattern_slots; p++)
            free(song->patterns[p].cells);
        free(song->patterns);
    }
    free(song);
}

Song* song_create(const char* name, SampleReader reader)
{
    Song* song = static_cast<Song*>(calloc(1, sizeof(Song)));
    if (!song) {
        xm_refusal = XM_OUT_OF_MEMORY;
        return nullptr;
    }
    song->next = song;
    song->prev = song;
    StreamHandle* stream = stream_open(name, 0, 0);
    if (!stream) {
        xm_refusal = XM_UNOPENED;
        free(song);
        return nullptr;
    }
    song->sample_reader = reader;
    bool loaded = load_xm(song, stream);
    stream_close(stream);
    if (loaded)
        return song;
    song_free(song);
    return nullptr;
}

void song_rewind(Song* song)
{
    song->global_volume = song->initial_global_volume;
    song->next_order = -1;
    song->next_row = -1;
    song->speed = song->default_speed;
    song->row = 0;
    song->order_pos = 0;
    song->samples_until_tick = 0;
    song->tick = 0;
    song->pattern_delay_ticks = 0;
    song->ended = 0;
    set_tempo(song, song->default_bpm);
}

bool song_start(Song* song)
{
    if (!song)
        return false;
    // Allocated before taking the lock: the mixing thread waits for nothing
    // but the change itself. A failed allocation leaves the song stopped and
    // is reported as false.
    int32_t count = song->channel_count > 0 ? song->channel_count : 0;
    Channel* channels = static_cast<Channel*>(calloc(count + 1, sizeof(Channel)));
    mix_lock_acquire();
    stop_locked(song);
    song_rewind(song);
    if (channels) {
        // Without open voices the channels have no voice; voice_start
        // then reports -1 and nothing sounds.
        for (int32_t i = 0; i < count; i++) {
            channels[i].voice = voices ? &voices[i] : nullptr;
            channels[i].voice_index = i;
        }
        song->channels = channels;
        list_insert_tail(song, &playing_songs);
        song->playing = 1;
    }
    mix_lock_release();
    return channels != nullptr;
}

bool song_stop(Song* song)
{
    if (!song)
        return false;
    mix_lock_acquire();
    stop_locked(song);
    mix_lock_release();
    return true;
}

void song_seek_order(Song* song, int32_t order)
{
    if (!song)
        return;
    mix_lock_acquire();
    // Not ended: the order list runs out again only after this.
    song->ended = 0;
    song->next_order = order;
    song->next_row = 0;
    song->tick = 0;
    song->pattern_delay_ticks = 0;
    song->samples_until_tick = 0;
    mix_lock_release();
}

bool song_free(Song* song)
{
    if (!song)
        return false;
    mix_lock_acquire();
    free_locked(song);
    mix_lock_release();
    return true;
}

void sample_free(Sample* sample)
{
    if (!sample)
        return;
    mix_lock_acquire();
    sample_free_locked(sample);
    mix_lock_release();
}
