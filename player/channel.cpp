// channel.cpp -- channel control: periods, envelopes, vibratos, tremor and
// the hand-over of a channel's state to its voice.
#include "player/channel.h"

#include <cmath>
#include <cstdlib>

#include "mixer/divide.h"
#include "mixer/voice.h"

// 1/12 and 1/768 as single-precision constants; the powers are taken in double.
static const float SEMITONE_FRACTION = 1.0f / 12.0f;   // 0.083333336
static const float LINEAR_UNIT = 1.0f / 768.0f;        // 0.0013020834
static const int32_t AMIGA_CONSTANT = 14317056;
static const int32_t LINEAR_BASE_FREQUENCY = 8363;

static int32_t amiga_base_period(int32_t note)
{
    return static_cast<int32_t>(13.375 * pow(2.0, (132 - note) * static_cast<double>(SEMITONE_FRACTION)));
}

int32_t amiga_period(int32_t note, int32_t finetune)
{
    int32_t period = amiga_base_period(note);
    // A positive finetune moves towards the next note's (shorter) period, a
    // negative one towards the previous note's, by up to one semitone.
    if (finetune >= 0 || note == 0)
        return period + (period - amiga_base_period(note + 1)) * finetune / -128;
    return period + (period - amiga_base_period(note - 1)) * -finetune / -128;
}

void reset_channel_instrument(Channel* channel, const Sample* sample)
{
    channel->volume = sample->volume;
    channel->panning = sample->panning;
    channel->venv_out = 64;
    channel->venv_index = 0;
    channel->venv_tick = 0;
    channel->venv_step = 0;
    channel->venv_done = 0;
    channel->penv_out = 32;
    channel->penv_index = 0;
    channel->penv_tick = 0;
    channel->penv_step = 0;
    channel->penv_done = 0;
    channel->key_off = 0;
    channel->fadeout = 65536;
    channel->autovib_sweep = 0;
    channel->autovib_pos = 0;
    if ((channel->waveform & 0x0F) < 4)
        channel->vibrato_pos = 0;
    channel->tremor_count = 0;
    channel->flags |= UPDATE_VOLUME | UPDATE_PANNING;
}

void channel_add_volume(Channel* channel, int32_t delta)
{
    int32_t v = channel->volume + delta;
    channel->volume = v < 0 ? 0 : v > 64 ? 64 : v;
    channel->flags |= UPDATE_VOLUME;
}

void channel_add_panning(Channel* channel, int32_t delta)
{
    int32_t p = channel->panning + delta;
    channel->panning = p < 0 ? 0 : p > 255 ? 255 : p;
    channel->flags |= UPDATE_PANNING;
}

void apply_volume_column(Channel* channel, uint8_t value)
{
    int32_t y = value & 0x0F;
    switch (value >> 4) {
    case 0x1: case 0x2: case 0x3: case 0x4:
        channel->volume = value - 16;
        channel->flags |= UPDATE_VOLUME;
        break;
    case 0x5:
        if (value == 0x50) {
            channel->volume = 64;
            channel->flags |= UPDATE_VOLUME;
        }
        break;
    case 0x6: case 0x8:
        channel_add_volume(channel, -y);
        break;
    case 0x7: case 0x9:
        channel_add_volume(channel, y);
        break;
    case 0xA:
        channel->vibrato_speed = static_cast<uint8_t>(y);
        break;
    case 0xB:
        channel->vibrato_depth = static_cast<uint8_t>(y);
        break;
    case 0xC:
        channel->panning = 16 * y;
        channel->flags |= UPDATE_PANNING;
        break;
    case 0xD:
        channel_add_panning(channel, -y);
        break;
    case 0xE:
        channel_add_panning(channel, y);
        break;
    case 0xF:
        if (y != 0)
            channel->porta_speed = static_cast<uint8_t>(16 * y);
        channel->porta_target = channel->note_period;
        channel->flags &= static_cast<uint8_t>(~UPDATE_TRIGGER);
        break;
    default:  // 0x01..0x0F: nothing
        break;
    }
}

// 16.16 arithmetic in 64 bits, kept as 32 bits (values of sound envelopes
// fit; the conversion wraps for nonsense points instead of overflowing).
int32_t envelope_slope(const EnvelopePoint* from, const EnvelopePoint* to)
{
    int32_t dx = to->x - from->x;
    if (dx == 0)
        return 0;
    return static_cast<int32_t>(divide_s64(static_cast<int64_t>(to->y) * 65536 -
                                           static_cast<int64_t>(from->y) * 65536, dx, nullptr));
}

void envelope_step(Channel* channel, const EnvelopePoint* points, int32_t point_count,
                   int32_t sustain, int32_t loop_start, int32_t loop_end, uint8_t type,
                   EnvelopeState state, uint8_t update_flag)
{
    int32_t i = *state.index;
    if (i >= 0 && i < point_count) {
        if (*state.tick == points[i].x) {
            // The loop jump comes first; the end and sustain tests then apply
            // to the point reached. A loop start outside the points is ignored.
            if ((type & ENVELOPE_LOOP) && i == loop_end && loop_start < point_count) {
                i = loop_start;
                *state.tick = points[i].x;
            }
            if (i == point_count - 1) {
                *state.out = points[i].y;
                *state.done = 1;
                *state.index = i;
                channel->flags |= update_flag;
                return;
            }
            if ((type & ENVELOPE_SUSTAIN) && i == sustain && !channel->key_off) {
                *state.out = points[i].y;
                *state.index = i;
                channel->flags |= update_flag;
                return;
            }
            *state.step = envelope_slope(&points[i], &points[i + 1]);
            *state.value = static_cast<int32_t>(static_cast<int64_t>(points[i].y) * 65536);
            i++;
        } else {
            *state.value = static_cast<int32_t>(static_cast<int64_t>(*state.value) + *state.step);
        }
        *state.index = i;
    }
    *state.out = *state.value >> 16;
    *state.tick += 1;
    channel->flags |= update_flag;
}

void tone_portamento_step(Channel* channel)
{
    int32_t amount = 4 * channel->porta_speed;
    if (channel->period < channel->porta_target) {
        channel->period += amount;
        if (channel->period > channel->porta_target)
            channel->period = channel->porta_target;
    } else if (channel->period > channel->porta_target) {
        channel->period -= amount;
        if (channel->period < channel->porta_target)
            channel->period = channel->porta_target;
    }
    channel->flags |= UPDATE_FREQUENCY;
}

// Sine vibrato: one full cycle over the 64 positions -32..31. Each half
// cycle has the magnitude 256 x sin(2 x 0.049087375 x q) for q = 0..31 (half
// a sine over 32 positions, 0 at its ends, 255 at q = 16), q being the
// position within its half; the position's sign then gives the direction
// exactly as for the ramp (negative positions raise the delta). The result
// is a smooth sine over the cycle, symmetric about its centre.
static int32_t sine_magnitude(int32_t position)
{
    int32_t q = position & 31;
    return static_cast<int32_t>(256.0 * sin(2.0 * 0.049087375 * q));
}

void apply_vibrato(Channel* channel)
{
    int32_t p = channel->vibrato_pos;
    int32_t magnitude;
    switch (channel->waveform & 3) {
    case 0:
        magnitude = sine_magnitude(p);
        break;
    case 1:
        magnitude = static_cast<uint8_t>(8 * p);
        if (p < 0)
            magnitude = 255 - magnitude;
        break;
    default:
        magnitude = 255;
        break;
    }
    int32_t d = ((magnitude * channel->vibrato_depth) >> 5) & ~3;
    channel->period_delta = p < 0 ? d : -d;
    channel->flags |= UPDATE_FREQUENCY;
}

void apply_tremor(Channel* channel)
{
    if (channel->tremor_count >= channel->tremor_on)
        channel->volume_delta = -channel->volume;
    channel->tremor_count++;
    if (channel->tremor_count == channel->tremor_on + channel->tremor_off)
        channel->tremor_count = 0;
    channel->flags |= UPDATE_VOLUME;
}

void apply_auto_vibrato(Channel* channel, const Instrument* instrument)
{
    int32_t pos = channel->autovib_pos;
    int32_t v;
    switch (instrument->vibrato_type) {
    case 0:
        v = static_cast<int32_t>(64.0 * sin(2.0 * 0.01227184375 * pos));
        break;
    case 1:
        v = pos < 128 ? 64 : -64;
        break;
    case 2:
        v = (128 - ((pos + 128) % 256)) >> 1;
        break;
    case 3:
        v = (128 - ((384 - pos) % 256)) >> 1;
        break;
    default:  // no defined shape: no auto-vibrato
        v = 0;
        break;
    }
    int32_t d = v * instrument->vibrato_depth;
    if (instrument->vibrato_sweep != 0)
        d = channel->autovib_sweep * d / instrument->vibrato_sweep;
    channel->period_delta += d >> 6;
    if (channel->autovib_sweep < instrument->vibrato_sweep)
        channel->autovib_sweep++;
    channel->autovib_pos += instrument->vibrato_rate;
    if (channel->autovib_pos > 255)
        channel->autovib_pos -= 256;
    channel->flags |= UPDATE_FREQUENCY;
}

static Voice* voice_at(int32_t index)
{
    if (!voices || index < 0 || index >= VOICE_COUNT)
        return nullptr;
    return &voices[index];
}

void update_voice(Channel* channel, Sample* sample, Song* song)
{
    int32_t period = channel->period + channel->period_delta;
    if (period == 0)
        channel->flags &= static_cast<uint8_t>(~UPDATE_FREQUENCY);
    if (channel->flags & UPDATE_TRIGGER) {
        song_report(song, SONG_EVENT_NOTE, static_cast<int32_t>(channel - song->channels),
                    sample);
        channel->voice_index = voice_start(channel->voice ? channel->voice->index : -1, sample);
    }
    Voice* voice = voice_at(channel->voice_index);
    if (channel->flags & UPDATE_VOLUME) {
        // 127 with every factor at full scale (64, 64, 65536, 64). Envelope
        // points outside 0..64 could leave that range; they are held to it.
        double volume = static_cast<double>(channel->volume + channel->volume_delta) *
                        channel->venv_out * channel->fadeout * song->global_volume * 255.0 /
                        34359738368.0;
        if (!(volume > 0.0))
            volume = 0.0;
        if (volume > 127.0)
            volume = 127.0;
        voice_set_volume(voice, static_cast<int32_t>(volume));
    }
    if (channel->flags & UPDATE_PANNING) {
        // The division comes first: the envelope moves the panning by
        // (penv_out - 32) times 0..4.
        int32_t width = (128 - abs(channel->panning - 128)) / 32;
        int32_t panning = width * (channel->penv_out - 32) + channel->panning;
        if (panning < 0)
            panning = 0;
        if (panning > 256)
            panning = 256;
        voice_set_panning(voice, panning);
    }
    if (channel->flags & UPDATE_FREQUENCY) {
        double frequency;
        if (song->module_flags & LINEAR_PERIODS)
            frequency = LINEAR_BASE_FREQUENCY *
                        pow(2.0, (4608 - channel->period + channel->period_delta) *
                                     static_cast<double>(LINEAR_UNIT));
        else
            frequency = AMIGA_CONSTANT / period;
        // The voice clamps to its own range; only keep the value an int32.
        if (!(frequency > 0.0))
            frequency = 0.0;
        if (frequency > 2.0e9)
            frequency = 2.0e9;
        voice_set_frequency(voice, static_cast<int32_t>(frequency));
    }
    if (channel->flags & UPDATE_STOP) {
        song_report(song, SONG_EVENT_STOP, static_cast<int32_t>(channel - song->channels),
                    sample);
        voice_stop(channel->voice_index);
        if (channel->voice)
            channel->voice->start_offset = 0;
    }
}
