// channel.h -- the replay state of one pattern channel, and the channel
// operations of the replay engine: periods, envelopes, vibratos, tremor and
// the hand-over of a channel's state to its voice (player/channel.cpp).
//
// All of it runs inside song_tick (player/replay.h), on the mixing thread,
// under the mix lock. Each channel hands its changes to its voice through
// update_voice, which calls the voice operations of mixer/voice.h. Channel i
// always drives voice i.
#pragma once
#include <cstdint>

#include "player/song.h"

struct Voice;  // mixer/voice.h

// Update flags: what update_voice sends to the voice this tick.
enum : uint8_t {
    UPDATE_FREQUENCY = 0x01,
    UPDATE_VOLUME = 0x02,
    UPDATE_PANNING = 0x04,
    UPDATE_TRIGGER = 0x08,
    UPDATE_STOP = 0x20,
};

// The replay state of one pattern channel; zero-filled by song_start.
struct Channel {
    uint8_t note;              // last note read, as note - 1 (0..95); keymap index
    uint8_t flags;             // UPDATE_* for this tick; cleared every tick
    Voice* voice;              // the bound voice; null while the voices are closed
    int32_t voice_index;       // as voice_start returned it (-1: none)
    int32_t period;            // current period, linear or Amiga units
    int32_t volume;            // 0..64
    int32_t panning;           // 0 left .. 255 right, 128 centre
    int32_t volume_delta;      // this tick's volume offset (tremor)
    int32_t period_delta;      // this tick's period offset (arpeggio, vibratos)
    int32_t venv_tick;         // volume envelope x position, ticks
    int32_t venv_index;        // next point to reach
    int32_t venv_value;        // 16.16 current value
    int32_t venv_out;          // 0..64
    int32_t venv_step;         // 16.16 per tick
    uint8_t venv_done;         // last point reached
    int32_t penv_tick;         // the same for the panning envelope
    int32_t penv_index;
    int32_t penv_value;
    int32_t penv_out;          // 0..64, 32 = centre
    int32_t penv_step;
    uint8_t penv_done;
    int32_t fadeout;           // 65536 full, falls after key-off, >= 0
    int32_t autovib_pos;       // auto-vibrato phase 0..255
    int32_t autovib_sweep;     // 0..instrument sweep
    uint8_t key_off;           // the note has been released
    uint8_t instrument;        // 0-based instrument number
    uint8_t real_note;         // note + relative note - 1, modulo 256
    int32_t note_period;       // period of the last note read
    int32_t offset_memory;     // last non-zero 9xx
    uint8_t porta_down_memory;    // last non-zero 2xx
    uint8_t porta_up_memory;      // last non-zero 1xx
    uint8_t xfine_down_memory;    // last non-zero X2y
    uint8_t xfine_up_memory;      // last non-zero X1y
    uint8_t volume_slide_memory;  // last non-zero 5xy/6xy/Axy
    uint8_t panning_slide_memory; // last non-zero Pxy
    uint8_t retrig_action;        // Rxy: x
    uint8_t retrig_interval;      // Rxy: y
    int32_t porta_target;      // tone-portamento target period
    uint8_t porta_speed;       // period moves 4 x speed per step
    int8_t vibrato_pos;        // -32..31
    uint8_t vibrato_speed;
    uint8_t vibrato_depth;
    uint8_t tremor_count;      // ticks into the on/off cycle
    uint8_t tremor_on;         // sounding ticks
    uint8_t tremor_off;        // silent ticks
    int32_t loop_row;          // E6y loop start row
    int32_t loop_count;        // E6y passes left
    uint8_t waveform;          // E4y: low two bits 0 sine, 1 ramp, 2/3 square
    uint8_t fine_volume_memory;   // last non-zero EAy/EBy
};

// Envelope state of a channel, one of its two sets of fields.
struct EnvelopeState {
    int32_t* tick;
    int32_t* index;
    int32_t* value;
    int32_t* out;
    int32_t* step;
    uint8_t* done;
};

// The channel operations.
void reset_channel_instrument(Channel* channel, const Sample* sample);
void apply_volume_column(Channel* channel, uint8_t value);
// Moves the channel's volume (held to 0..64) or panning (held to 0..255) by
// `delta` and raises its update flag: the volume column's slides.
void channel_add_volume(Channel* channel, int32_t delta);
void channel_add_panning(Channel* channel, int32_t delta);
void envelope_step(Channel* channel, const EnvelopePoint* points, int32_t point_count,
                   int32_t sustain, int32_t loop_start, int32_t loop_end, uint8_t type,
                   EnvelopeState state, uint8_t update_flag);
int32_t amiga_period(int32_t note, int32_t finetune);
// 16.16 change per tick between two envelope points (0 for equal x).
int32_t envelope_slope(const EnvelopePoint* from, const EnvelopePoint* to);
void tone_portamento_step(Channel* channel);
void apply_vibrato(Channel* channel);
void apply_tremor(Channel* channel);
void apply_auto_vibrato(Channel* channel, const Instrument* instrument);
void update_voice(Channel* channel, Sample* sample, Song* song);
