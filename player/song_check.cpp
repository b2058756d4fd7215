// song_check.cpp -- the jumps in a song's sound, found at its note starts,
// at the engine's voice stops and at the sample ends and loop seams its
// voices pass between ticks.
#include "player/song_check.h"

#include <cmath>
#include <cstdlib>

#include "mixer/list.h"
#include "mixer/mix_lock.h"
#include "mixer/voice.h"
#include "player/channel.h"
#include "player/replay.h"

enum : uint8_t { REPORTED_END = 1, REPORTED_SEAM = 2 };

static const float FULL_SCALE = 32768.0f;

// Sentinel of the checks; song_check_tick finds its check here.
static SongCheck checks = {&checks, &checks, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr, 0};

static SongCheck* check_of(const Song* song)
{
    for (SongCheck* c = checks.next; c != &checks; c = c->next) {
        if (c->song == song)
            return c;
    }
    return nullptr;
}

static bool finished(const SongCheck* check)
{
    return check->end && check->end->finished;
}

// The value a voice plays at 32.32 position p, interpolated as the mixer
// does (to within its lowest fraction bit).
static float value_at(const Sample* sample, uint64_t p)
{
    if (!sample || !sample->data)
        return 0.0f;
    uint32_t i = uint32_t(p >> 32);
    if (i >= sample->length)
        return 0.0f;
    float w = float(uint32_t(p)) / 4294967296.0f;
    float x0 = sample->data[i], x1 = sample->data[i + 1];
    return x0 + w * (x1 - x0);
}

static float value(const Sample* sample, uint32_t i)
{
    return sample && sample->data && i < sample->length ? float(sample->data[i]) : 0.0f;
}

// The step a forward loop's seam takes beyond the largest step within
// SEAM_WINDOW values on either side of it (in the loop: what the sound
// around the seam does anyway).
static float seam_excess(const Sample* sample)
{
    enum { SEAM_WINDOW = 4 };
    uint32_t start = sample->loop_start, length = sample->loop_length;
    if (length < 2)
        return 0.0f;
    float seam = fabsf(value(sample, start) - value(sample, start + length - 1));
    float largest = 0.0f;
    for (uint32_t i = 0; i < SEAM_WINDOW && i + 1 < length; i++) {
        float after = fabsf(value(sample, start + i + 1) - value(sample, start + i));
        float before = fabsf(value(sample, start + length - 1 - i) -
                             value(sample, start + length - 2 - i));
        largest = fmaxf(largest, fmaxf(after, before));
    }
    return seam > largest ? seam - largest : 0.0f;
}

// The instrument and slot that own `sample`, from the note that started the
// voice when it still plays that note's sample, else by search.
static void owner_of(const Song* song, const SongCheckVoice* voice, int32_t* instrument,
                     int32_t* slot)
{
    const Sample* sample = voice->sample;
    if (voice->instrument >= 0 && voice->instrument < song->instrument_count &&
        voice->slot >= 0 && song->instruments[voice->instrument].samples[voice->slot] == sample) {
        *instrument = voice->instrument;
        *slot = voice->slot;
        return;
    }
    for (int32_t i = 0; i < song->instrument_count; i++) {
        for (int32_t s = 0; s < INSTRUMENT_SAMPLES; s++) {
            if (song->instruments[i].samples[s] == sample && sample != &empty_sample) {
                *instrument = i;
                *slot = s;
                return;
            }
        }
    }
    *instrument = -1;
    *slot = -1;
}

static void report(SongCheck* check, uint8_t kind, int32_t channel, int32_t instrument,
                   int32_t slot, int64_t frame, float jump)
{
    if (!(jump >= SONG_CHECK_MIN_JUMP))
        return;
    SongCheckFinding finding = {kind, check->order, check->pattern, check->row, check->tick,
                                channel, instrument, slot, frame, jump};
    check->findings++;
    check->report(check->report_context, &finding);
}

// The louder applied gain, 0..255, `k` frames after the tick the voice
// record was taken at.
static float gain_after(const SongCheckVoice* voice, int64_t k)
{
    float t = voice->ramp > 0 && k < voice->ramp ? float(k) / float(voice->ramp) : 1.0f;
    float left = voice->from_left + (voice->to_left - voice->from_left) * t;
    float right = voice->from_right + (voice->to_right - voice->from_right) * t;
    return left > right ? left : right;
}

static float applied_gain(const Voice* voice)
{
    return voice->current_left > voice->current_right ? voice->current_left
                                                      : voice->current_right;
}

// A sample end or loop seam that a voice passed in the frames mixed since
// the last tick.
static void look_between_ticks(SongCheck* check, int32_t channel)
{
    const SongCheckVoice* voice = &check->voices[channel];
    const Sample* sample = voice->sample;
    if (!sample || !sample->data || voice->step == 0 || voice->direction != VOICE_FORWARD ||
        sample->loop_type == LOOP_PINGPONG)
        return;
    uint64_t end = uint64_t(sample->loop_start + sample->loop_length) << 32;
    if (voice->position >= end)
        return;
    uint64_t to_end = (end - voice->position + voice->step - 1) / voice->step;
    if (to_end > uint64_t(check->frames_now))
        return;
    int64_t k = int64_t(to_end);
    float gain = gain_after(voice, k);
    int32_t instrument, slot;
    owner_of(check->song, voice, &instrument, &slot);
    uint8_t* reported = instrument >= 0 ? &check->reported[instrument * INSTRUMENT_SAMPLES + slot]
                                        : nullptr;
    uint8_t kind;
    float jump;
    if (sample->loop_type == LOOP_FORWARD && sample->loop_length != 0) {
        // Later passes of the same stretch may come round louder.
        if (uint64_t(check->frames_now) > to_end + 1) {
            float later = gain_after(voice, check->frames_now);
            gain = later > gain ? later : gain;
        }
        kind = SONG_CHECK_SEAM;
        jump = seam_excess(sample);
    } else {
        kind = SONG_CHECK_END;
        jump = fabsf(value(sample, sample->length - 1));
    }
    jump *= gain / 255.0f / FULL_SCALE;
    uint8_t bit = kind == SONG_CHECK_SEAM ? REPORTED_SEAM : REPORTED_END;
    if (jump < SONG_CHECK_MIN_JUMP || (reported && (*reported & bit)))
        return;
    if (reported)
        *reported |= bit;
    report(check, kind, channel, instrument, slot, check->frames - check->frames_now + k, jump);
}

// The voice's state after a tick: what the frames until the next one play.
static void take_voice(SongCheck* check, int32_t channel)
{
    SongCheckVoice* record = &check->voices[channel];
    const Voice* voice = check->song->channels[channel].voice;
    if (!voice) {
        record->sample = nullptr;
        return;
    }
    record->sample = voice->sample;
    record->position = uint64_t(voice->position) << 32 | voice->position_fraction;
    record->step = uint64_t(uint32_t(voice->step)) << 32 | voice->step_fraction;
    record->direction = voice->direction;
    record->from_left = voice->current_left;
    record->from_right = voice->current_right;
    // As the mixer goes on: the running ramp while its targets hold, else a
    // new one from the applied gains.
    bool running = voice->ramp_frames_left != 0 && voice->gain_left == voice->ramp_target_left &&
                   voice->gain_right == voice->ramp_target_right;
    record->to_left = voice->gain_left;
    record->to_right = voice->gain_right;
    record->ramp = running ? int32_t(voice->ramp_frames_left) : ramp_frames;
}

static void observe(void* context, const Song* song, const SongEvent* event)
{
    SongCheck* check = static_cast<SongCheck*>(context);
    if (check->inner_observer)
        check->inner_observer(check->inner_context, song, event);
    // The row's position, which the engine's own fields do not always hold
    // for the rest of the row (a pattern loop sets the row before its target).
    check->order = event->order;
    check->pattern = event->pattern;
    check->row = event->row;
    check->tick = event->tick;
    if (event->kind == SONG_EVENT_ROW || finished(check) || event->voice < 0 || !voices ||
        event->channel < 0 || event->channel >= song->channel_count)
        return;
    const Voice* voice = &voices[event->voice];
    const Sample* old = voice->sample && voice->sample->data ? voice->sample : nullptr;
    float before = old ? value_at(old, uint64_t(voice->position) << 32 | voice->position_fraction)
                       : 0.0f;
    float gain = applied_gain(voice) / 255.0f / FULL_SCALE;
    if (event->kind == SONG_EVENT_STOP) {
        if (old)
            report(check, SONG_CHECK_STOP, event->channel, event->instrument, event->sample,
                   check->frames, fabsf(before) * gain);
        return;
    }
    const Sample* sample = &empty_sample;
    if (event->sample >= 0)
        sample = song->instruments[event->instrument].samples[event->sample];
    uint32_t offset = voice->start_offset;
    if (offset >= sample->loop_start + sample->loop_length)
        offset = 0;
    float after = value(sample, offset);
    SongCheckVoice* record = &check->voices[event->channel];
    record->instrument = event->instrument;
    record->slot = event->sample;
    report(check, old ? SONG_CHECK_RESTART : SONG_CHECK_START, event->channel,
           event->instrument, event->sample, check->frames, fabsf(after - before) * gain);
}

void song_check_tick(Song* song)
{
    SongCheck* check = check_of(song);
    if (!check) {
        song_tick(song);
        return;
    }
    int32_t channels = song->channels ? song->channel_count : 0;
    if (check->started && !finished(check)) {
        for (int32_t c = 0; c < channels; c++)
            look_between_ticks(check, c);
    }
    // The frames until the next tick belong to this tick, in the row its
    // events (or an earlier tick's) named.
    check->tick = song->tick;
    check->inner(song);
    check->frames_now = song->samples_per_tick > 0 ? song->samples_per_tick : 1;
    check->frames += check->frames_now;
    for (int32_t c = 0; c < channels; c++)
        take_voice(check, c);
    check->started = 1;
}

SongCheck* song_check_create(Song* song, const SongEnd* end, SongCheckReport report,
                             void* context)
{
    if (!song || !report)
        return nullptr;
    int32_t channels = song->channel_count > 0 ? song->channel_count : 0;
    int32_t instruments = song->instrument_count > 0 ? song->instrument_count : 0;
    SongCheck* check = static_cast<SongCheck*>(calloc(1, sizeof(SongCheck)));
    if (!check)
        return nullptr;
    check->voices = static_cast<SongCheckVoice*>(calloc(size_t(channels) + 1, sizeof(SongCheckVoice)));
    check->reported = static_cast<uint8_t*>(calloc(size_t(instruments) * INSTRUMENT_SAMPLES + 1, 1));
    if (!check->voices || !check->reported) {
        free(check->voices);
        free(check->reported);
        free(check);
        return nullptr;
    }
    for (int32_t c = 0; c < channels; c++)
        check->voices[c].instrument = check->voices[c].slot = -1;
    check->next = check->prev = check;
    check->song = song;
    check->end = end;
    check->report = report;
    check->report_context = context;
    mix_lock_acquire();
    list_insert_tail(check, &checks);
    check->inner = song->tick_function ? song->tick_function : song_tick;
    check->inner_observer = song->observer;
    check->inner_context = song->observer_context;
    song->tick_function = song_check_tick;
    song->observer = observe;
    song->observer_context = check;
    mix_lock_release();
    return check;
}

void song_check_free(SongCheck* check)
{
    if (!check)
        return;
    mix_lock_acquire();
    list_unlink(check);
    check->song->tick_function = check->inner;
    check->song->observer = check->inner_observer;
    check->song->observer_context = check->inner_context;
    mix_lock_release();
    free(check->voices);
    free(check->reported);
    free(check);
}

const char* song_check_kind_name(uint8_t kind)
{
    switch (kind) {
    case SONG_CHECK_RESTART: return "restart";
    case SONG_CHECK_START: return "start";
    case SONG_CHECK_STOP: return "stop";
    case SONG_CHECK_END: return "end";
    case SONG_CHECK_SEAM: return "seam";
    default: return "";
    }
}

const char* song_check_kind_text(uint8_t kind)
{
    switch (kind) {
    case SONG_CHECK_RESTART: return "a note restarts a sounding voice";
    case SONG_CHECK_START: return "a note starts away from zero with the gain up";
    case SONG_CHECK_STOP: return "a sample offset past the end stops a sounding voice";
    case SONG_CHECK_END: return "the sample ends away from zero";
    case SONG_CHECK_SEAM: return "the loop's last value jumps to its first";
    default: return "";
    }
}
