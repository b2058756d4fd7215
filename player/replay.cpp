// replay.cpp -- the tick driver, row processing and per-tick effects.
#include <cstdlib>

#include "mixer/voice.h"
#include "player/replay.h"

// Stands in for an instrument number beyond the song's instruments.
static Instrument empty_instrument;

enum {
    NOTE_KEY_OFF = 255,
    EFFECT_ARPEGGIO = 0, EFFECT_PORTA_UP = 1, EFFECT_PORTA_DOWN = 2, EFFECT_TONE_PORTA = 3,
    EFFECT_VIBRATO = 4, EFFECT_TONE_PORTA_SLIDE = 5, EFFECT_VIBRATO_SLIDE = 6,
    EFFECT_PANNING = 8, EFFECT_SAMPLE_OFFSET = 9, EFFECT_VOLUME_SLIDE = 10,
    EFFECT_POSITION_JUMP = 11, EFFECT_SET_VOLUME = 12, EFFECT_PATTERN_BREAK = 13,
    EFFECT_EXTENDED = 14, EFFECT_SPEED = 15, EFFECT_GLOBAL_VOLUME = 16,
    EFFECT_GLOBAL_SLIDE = 17, EFFECT_KEY_OFF = 20, EFFECT_ENVELOPE_POSITION = 21,
    EFFECT_PANNING_SLIDE = 25, EFFECT_RETRIGGER = 27, EFFECT_TREMOR = 29,
    EFFECT_EXTRA_FINE_PORTA = 33,
};

enum {
    EXTENDED_FINE_PORTA_UP = 0x1, EXTENDED_FINE_PORTA_DOWN = 0x2, EXTENDED_WAVEFORM = 0x4,
    EXTENDED_FINETUNE = 0x5, EXTENDED_PATTERN_LOOP = 0x6, EXTENDED_PANNING = 0x8,
    EXTENDED_RETRIGGER = 0x9, EXTENDED_FINE_VOLUME_UP = 0xA, EXTENDED_FINE_VOLUME_DOWN = 0xB,
    EXTENDED_NOTE_CUT = 0xC, EXTENDED_NOTE_DELAY = 0xD, EXTENDED_PATTERN_DELAY = 0xE,
};

static const uint8_t UPDATE_NOTE_FLAGS =
    UPDATE_FREQUENCY | UPDATE_VOLUME | UPDATE_PANNING | UPDATE_TRIGGER;

static void clear_flags(Channel* channel, uint8_t flags)
{
    channel->flags &= static_cast<uint8_t>(~flags);
}

// The pattern at an order position; null for positions or pattern numbers
// outside the song (possible only with a song length of 0).
static const Pattern* pattern_at(const Song* song, int32_t order_pos)
{
    if (order_pos < 0 || order_pos >= 256 || !song->patterns)
        return nullptr;
    int32_t number = song->order_table[order_pos];
    if (number >= song->pattern_slots)
        return nullptr;
    return &song->patterns[number];
}

static int32_t rows_at(const Song* song, int32_t order_pos)
{
    const Pattern* pattern = pattern_at(song, order_pos);
    return pattern ? pattern->rows : 0;
}

// The current row's first cell, or null when there is nothing to read: no
// cells, no channels, or a row outside the pattern.
static const Cell* current_row(const Song* song)
{
    const Pattern* pattern = pattern_at(song, song->order_pos);
    if (!pattern || !pattern->cells || song->channel_count <= 0 || !song->channels)
        return nullptr;
    if (song->row < 0 || song->row >= pattern->rows)
        return nullptr;
    return pattern->cells + static_cast<size_t>(song->row) * song->channel_count;
}

// The instrument and sample a channel plays, from its stored instrument and
// note; the empty records stand in for anything out of range.
static void choose_sample(Song* song, const Channel* channel, const Instrument** instrument,
                          Sample** sample)
{
    if (channel->instrument < song->instrument_count) {
        const Instrument* chosen = &song->instruments[channel->instrument];
        uint8_t slot = channel->note < KEYMAP_NOTES ? chosen->keymap[channel->note] : 0xFF;
        *instrument = chosen;
        *sample = slot < INSTRUMENT_SAMPLES && chosen->samples[slot] ? chosen->samples[slot]
                                                                      : &empty_sample;
    } else {
        *instrument = &empty_instrument;
        *sample = &empty_sample;
        empty_sample.data = nullptr;
    }
}

static uint32_t end_of_play(const Sample* sample)
{
    return sample->loop_start + sample->loop_length;
}

static EnvelopeState volume_state(Channel* channel)
{
    return EnvelopeState{&channel->venv_tick, &channel->venv_index, &channel->venv_value,
                         &channel->venv_out, &channel->venv_step, &channel->venv_done};
}

static EnvelopeState panning_state(Channel* channel)
{
    return EnvelopeState{&channel->penv_tick, &channel->penv_index, &channel->penv_value,
                         &channel->penv_out, &channel->penv_step, &channel->penv_done};
}

static void step_volume_envelope(Channel* channel, const Instrument* instrument)
{
    envelope_step(channel, instrument->volume_envelope, instrument->volume_points,
                  instrument->volume_sustain, instrument->volume_loop_start,
                  instrument->volume_loop_end, instrument->volume_type, volume_state(channel),
                  UPDATE_VOLUME);
}

static void step_panning_envelope(Channel* channel, const Instrument* instrument)
{
    envelope_step(channel, instrument->panning_envelope, instrument->panning_points,
                  instrument->panning_sustain, instrument->panning_loop_start,
                  instrument->panning_loop_end, instrument->panning_type,
                  panning_state(channel), UPDATE_PANNING);
}

// Both envelopes and the fade-out, as every tick runs them first.
static void step_envelopes(Channel* channel, const Instrument* instrument)
{
    if ((instrument->volume_type & ENVELOPE_ON) && !channel->venv_done)
        step_volume_envelope(channel, instrument);
    if ((instrument->panning_type & ENVELOPE_ON) && !channel->penv_done)
        step_panning_envelope(channel, instrument);
}

static void fade_out(Channel* channel, const Instrument* instrument)
{
    channel->fadeout -= instrument->fadeout;
    if (channel->fadeout < 0)
        channel->fadeout = 0;
    channel->flags |= UPDATE_VOLUME;
}

static void advance_vibrato(Channel* channel)
{
    int32_t position = channel->vibrato_pos + channel->vibrato_speed;
    if (position > 31)
        position -= 64;
    channel->vibrato_pos = static_cast<int8_t>(position);
}

// A slide by a remembered xy parameter: up by x when x is not 0, else down
// by y, held to 0..limit.
static void slide_by_memory(int32_t* value, uint8_t memory, int32_t limit)
{
    if (memory >> 4) {
        *value += memory >> 4;
        if (*value > limit)
            *value = limit;
    } else {
        *value -= memory & 0x0F;
        if (*value < 0)
            *value = 0;
    }
}

static void volume_slide(Channel* channel)
{
    slide_by_memory(&channel->volume, channel->volume_slide_memory, 64);
    channel->flags |= UPDATE_VOLUME;
}

static int32_t note_period_of(const Song* song, int32_t real_note, int32_t finetune)
{
    if (song->module_flags & LINEAR_PERIODS)
        return 7680 - 64 * real_note - finetune / 2;
    return amiga_period(real_note, finetune);
}

// Lxx: puts the volume envelope at tick xx at once.
static void set_envelope_position(Channel* channel, const Instrument* instrument, uint8_t xx)
{
    const EnvelopePoint* points = instrument->volume_envelope;
    int32_t count = instrument->volume_points;
    int32_t j = 0;
    while (j < count - 1 && xx > points[j + 1].x)
        j++;
    if (j >= count - 1) {
        channel->venv_out = points[count - 1].y;
        channel->venv_done = 1;
        return;
    }
    channel->venv_done = 0;
    channel->venv_tick = xx;
    channel->venv_step = envelope_slope(&points[j], &points[j + 1]);
    channel->venv_value = static_cast<int32_t>(
        static_cast<int64_t>(points[j].y) * 65536 +
        static_cast<int64_t>(xx - points[j].x) * channel->venv_step);
    channel->venv_index = j + 1;
    channel->venv_out = channel->venv_value >> 16;
}

// Flow-control state of one row's tick 0.
struct RowFlow {
    bool jumped;  // a position jump has set next_order in this row
};

static void extended_row_effect(Song* song, Channel* channel, Sample* sample, uint8_t y,
                                uint8_t x, int32_t saved_volume, int32_t saved_period,
                                int32_t saved_panning)
{
    switch (x) {
    case EXTENDED_FINE_PORTA_UP:
        channel->period -= 4 * y;
        break;
    case EXTENDED_FINE_PORTA_DOWN:
        channel->period += 4 * y;
        break;
    case EXTENDED_WAVEFORM:
        channel->waveform = static_cast<uint8_t>((channel->waveform & 0xF0) | y);
        break;
    case EXTENDED_FINETUNE:
        if (sample != &empty_sample)  // the shared empty sample stays all zero
            sample->finetune = static_cast<int8_t>(y);
        break;
    case EXTENDED_PATTERN_LOOP:
        if (y == 0) {
            channel->loop_row = song->row;
            break;
        }
        if (channel->loop_count == 0)
            channel->loop_count = y;
        else
            channel->loop_count--;
        if (channel->loop_count != 0) {
            // A loop start outside this pattern (set in a longer pattern, or
            // by a loop in an earlier channel of the row) loops to row 0.
            int32_t target = channel->loop_row;
            if (target < 0 || target >= rows_at(song, song->order_pos))
                target = 0;
            song->row = target - 1;
        }
        break;
    case EXTENDED_PANNING:
        channel->panning = 16 * y;
        channel->flags |= UPDATE_PANNING;
        break;
    case EXTENDED_FINE_VOLUME_UP:
        if (y != 0)
            channel->fine_volume_memory = y;
        channel->volume += channel->fine_volume_memory;
        if (channel->volume > 64)
            channel->volume = 64;
        channel->flags |= UPDATE_VOLUME;
        break;
    case EXTENDED_FINE_VOLUME_DOWN:
        if (y != 0)
            channel->fine_volume_memory = y;
        channel->volume -= channel->fine_volume_memory;
        if (channel->volume < 0)
            channel->volume = 0;
        channel->flags |= UPDATE_VOLUME;
        break;
    case EXTENDED_NOTE_DELAY:
        channel->volume = saved_volume;
        channel->period = saved_period;
        channel->panning = saved_panning;
        clear_flags(channel, UPDATE_NOTE_FLAGS);
        break;
    case EXTENDED_PATTERN_DELAY:
        song->pattern_delay_ticks = y * song->speed;
        break;
    default:
        break;
    }
}

static void row_effect(Song* song, Channel* channel, const Instrument* instrument,
                       Sample* sample, const Cell* cell, RowFlow* flow, int32_t saved_volume,
                       int32_t saved_period, int32_t saved_panning)
{
    uint8_t p = cell->parameter;
    uint8_t x = p >> 4;
    uint8_t y = p & 0x0F;
    switch (cell->effect) {
    case EFFECT_PORTA_UP:
        if (p)
            channel->porta_up_memory = p;
        break;
    case EFFECT_PORTA_DOWN:
        if (p)
            channel->porta_down_memory = p;
        break;
    case EFFECT_TONE_PORTA:
        if (p)
            channel->porta_speed = p;
        channel->porta_target = channel->note_period;
        clear_flags(channel, UPDATE_TRIGGER | UPDATE_FREQUENCY);
        break;
    case EFFECT_VIBRATO:
        if (x)
            channel->vibrato_speed = x;
        if (y)
            channel->vibrato_depth = y;
        apply_vibrato(channel);
        break;
    case EFFECT_TONE_PORTA_SLIDE:
        channel->porta_target = channel->note_period;
        if (p)
            channel->volume_slide_memory = p;
        clear_flags(channel, UPDATE_TRIGGER | UPDATE_FREQUENCY);
        break;
    case EFFECT_VIBRATO_SLIDE:
        if (p)
            channel->volume_slide_memory = p;
        apply_vibrato(channel);
        break;
    case EFFECT_PANNING:
        channel->panning = p;
        channel->flags |= UPDATE_PANNING;
        break;
    case EFFECT_SAMPLE_OFFSET:
        if (p)
            channel->offset_memory = p;
        if (channel->voice) {
            uint32_t offset = static_cast<uint32_t>(channel->offset_memory) * 256;
            if (offset >= end_of_play(sample)) {
                clear_flags(channel, UPDATE_TRIGGER);
                channel->flags |= UPDATE_STOP;
            } else {
                channel->voice->start_offset = offset;
            }
        }
        break;
    case EFFECT_VOLUME_SLIDE:
        if (p)
            channel->volume_slide_memory = p;
        break;
    case EFFECT_POSITION_JUMP:
        song->next_row = 0;
        song->next_order = p < song->song_length ? p : 0;
        flow->jumped = true;
        break;
    case EFFECT_SET_VOLUME:
        channel->volume = p > 64 ? 64 : p;
        channel->flags |= UPDATE_VOLUME;
        break;
    case EFFECT_PATTERN_BREAK:
        song->next_row = 10 * x + y;
        if (song->next_row > 63)
            song->next_row = 0;
        if (!flow->jumped)
            song->next_order = song->order_pos + 1;
        if (song->next_order >= song->song_length)
            song->next_order = 0;
        break;
    case EFFECT_EXTENDED:
        extended_row_effect(song, channel, sample, y, x, saved_volume, saved_period,
                            saved_panning);
        break;
    case EFFECT_SPEED:
        if (p < 32)
            song->speed = p;
        else
            set_tempo(song, p);
        break;
    case EFFECT_GLOBAL_VOLUME:
        song->global_volume = p > 64 ? 64 : p;
        channel->flags |= UPDATE_VOLUME;
        break;
    case EFFECT_GLOBAL_SLIDE:
        if (p)
            song->global_volume_slide = p;
        break;
    case EFFECT_ENVELOPE_POSITION:
        if (instrument->volume_type & ENVELOPE_ON)
            set_envelope_position(channel, instrument, p);
        break;
    case EFFECT_PANNING_SLIDE:
        if (p) {
            channel->panning_slide_memory = p;
            channel->flags |= UPDATE_PANNING;
        }
        break;
    case EFFECT_RETRIGGER:
        if (p) {
            channel->retrig_action = x;
            channel->retrig_interval = y;
        }
        break;
    case EFFECT_TREMOR:
        if (p) {
            channel->tremor_on = static_cast<uint8_t>(x + 1);
            channel->tremor_off = static_cast<uint8_t>(y + 1);
        }
        apply_tremor(channel);
        break;
    case EFFECT_EXTRA_FINE_PORTA:
        if (x == 1) {
            if (y)
                channel->xfine_up_memory = y;
            channel->period -= channel->xfine_up_memory;
        } else if (x == 2) {
            if (y)
                channel->xfine_down_memory = y;
            channel->period += channel->xfine_down_memory;
        }
        break;
    default:  // arpeggio acts on later ticks; key-off is taken in process_row
        break;
    }
}

void process_row(Song* song)
{
    song->next_order = -1;
    song->next_row = -1;
    RowFlow flow = {false};
    const Cell* cells = current_row(song);
    if (!cells)
        return;
    for (int32_t c = 0; c < song->channel_count; c++) {
        Channel* channel = &song->channels[c];
        const Cell* cell = &cells[c];
        bool has_note = cell->note != 0 && cell->note != NOTE_KEY_OFF;
        bool portamento = cell->effect == EFFECT_TONE_PORTA ||
                          cell->effect == EFFECT_TONE_PORTA_SLIDE;
        if (cell->instrument != 0 && !portamento)
            channel->instrument = static_cast<uint8_t>(cell->instrument - 1);
        if (has_note && !portamento)
            channel->note = static_cast<uint8_t>(cell->note - 1);
        const Instrument* instrument;
        Sample* sample;
        choose_sample(song, channel, &instrument, &sample);
        int32_t saved_volume = channel->volume;
        int32_t saved_period = channel->period;
        int32_t saved_panning = channel->panning;
        channel->volume_delta = 0;
        channel->flags = 0;
        if (has_note) {
            channel->real_note = static_cast<uint8_t>(cell->note + sample->relative_note - 1);
            channel->note_period = note_period_of(song, channel->real_note, sample->finetune);
            if (!portamento)
                channel->period = channel->note_period;
            channel->flags = UPDATE_TRIGGER;
        }
        channel->period_delta = 0;
        channel->flags |= UPDATE_FREQUENCY | UPDATE_VOLUME;
        if (cell->instrument != 0)
            reset_channel_instrument(channel, sample);
        if (cell->volume != 0)
            apply_volume_column(channel, cell->volume);
        if (cell->note == NOTE_KEY_OFF || cell->effect == EFFECT_KEY_OFF)
            channel->key_off = 1;
        if (instrument->volume_type & ENVELOPE_ON) {
            if (!channel->venv_done)
                step_volume_envelope(channel, instrument);
        } else if (channel->key_off) {
            channel->venv_out = 0;
        }
        if ((instrument->panning_type & ENVELOPE_ON) && !channel->penv_done)
            step_panning_envelope(channel, instrument);
        if (channel->key_off)
            fade_out(channel, instrument);
        row_effect(song, channel, instrument, sample, cell, &flow, saved_volume, saved_period,
                   saved_panning);
        apply_auto_vibrato(channel, instrument);
        update_voice(channel, sample, song);
    }
}

static void volume_column_tick(Channel* channel, uint8_t value)
{
    int32_t y = value & 0x0F;
    switch (value >> 4) {
    case 0x6:
        channel_add_volume(channel, -y);
        break;
    case 0x7:
        channel_add_volume(channel, y);
        break;
    case 0xB:
        channel->vibrato_depth = static_cast<uint8_t>(y);
        apply_vibrato(channel);
        advance_vibrato(channel);
        break;
    case 0xD:
        channel_add_panning(channel, -y);
        break;
    case 0xE:
        channel_add_panning(channel, y);
        break;
    case 0xF:
        tone_portamento_step(channel);
        break;
    default:
        break;
    }
}

static void retrigger_volume(Channel* channel)
{
    int32_t volume = channel->volume;
    switch (channel->retrig_action) {
    case 0: return;  // unchanged, and no volume sent
    case 1: volume -= 1; break;
    case 2: volume -= 2; break;
    case 3: volume -= 4; break;
    case 4: volume -= 8; break;
    case 5: volume -= 16; break;
    case 6: volume = 2 * volume / 3; break;
    case 7: volume >>= 1; break;
    case 8: break;
    case 9: volume += 1; break;
    case 10: volume += 2; break;
    case 11: volume += 4; break;
    case 12: volume += 8; break;
    case 13: volume += 16; break;
    case 14: volume = 3 * volume / 2; break;
    default: volume *= 2; break;  // 15
    }
    channel->volume = volume < 0 ? 0 : volume > 64 ? 64 : volume;
    channel->flags |= UPDATE_VOLUME;
}

static void extended_tick_effect(Song* song, Channel* channel, Sample* sample,
                                 const Cell* cell, uint8_t x, uint8_t y)
{
    switch (x) {
    case EXTENDED_RETRIGGER:
        if (y != 0 && song->tick % y == 0)
            channel->flags |= UPDATE_TRIGGER | UPDATE_FREQUENCY | UPDATE_VOLUME;
        break;
    case EXTENDED_NOTE_CUT:
        if (song->tick == y) {
            channel->volume = 0;
            channel->flags |= UPDATE_VOLUME;
        }
        break;
    case EXTENDED_NOTE_DELAY:
        if (song->tick == y) {
            reset_channel_instrument(channel, sample);
            channel->period = channel->note_period;
            channel->flags |= UPDATE_FREQUENCY;
            if (cell->volume != 0)
                apply_volume_column(channel, cell->volume);
            channel->flags |= UPDATE_TRIGGER;
        } else {
            clear_flags(channel, UPDATE_NOTE_FLAGS);
        }
        break;
    default:
        break;
    }
}

static void tick_effect(Song* song, Channel* channel, Sample* sample, const Cell* cell)
{
    uint8_t p = cell->parameter;
    uint8_t x = p >> 4;
    uint8_t y = p & 0x0F;
    switch (cell->effect) {
    case EFFECT_ARPEGGIO:
        if (p) {
            int32_t phase = song->tick % 3;
            int32_t offset = phase == 1 ? x : phase == 2 ? y : 0;
            if (song->module_flags & LINEAR_PERIODS)
                channel->period_delta = 64 * offset;
            else
                channel->period_delta = amiga_period(channel->real_note + offset, sample->finetune) -
                                        amiga_period(channel->real_note, sample->finetune);
            channel->flags |= UPDATE_FREQUENCY;
        }
        break;
    case EFFECT_PORTA_UP:
        channel->period -= 4 * channel->porta_up_memory;
        if (channel->period < 56)
            channel->period = 56;
        channel->flags |= UPDATE_FREQUENCY;
        break;
    case EFFECT_PORTA_DOWN:
        channel->period += 4 * channel->porta_down_memory;
        channel->flags |= UPDATE_FREQUENCY;
        break;
    case EFFECT_TONE_PORTA:
        tone_portamento_step(channel);
        break;
    case EFFECT_VIBRATO:
        apply_vibrato(channel);
        advance_vibrato(channel);
        break;
    case EFFECT_TONE_PORTA_SLIDE:
        tone_portamento_step(channel);
        volume_slide(channel);
        break;
    case EFFECT_VIBRATO_SLIDE:
        apply_vibrato(channel);
        advance_vibrato(channel);
        volume_slide(channel);
        break;
    case EFFECT_VOLUME_SLIDE:
        volume_slide(channel);
        break;
    case EFFECT_EXTENDED:
        extended_tick_effect(song, channel, sample, cell, x, y);
        break;
    case EFFECT_GLOBAL_SLIDE:
        slide_by_memory(&song->global_volume, song->global_volume_slide, 64);
        break;
    case EFFECT_PANNING_SLIDE:
        slide_by_memory(&channel->panning, channel->panning_slide_memory, 255);
        channel->flags |= UPDATE_PANNING;
        break;
    case EFFECT_RETRIGGER:
        if (channel->retrig_interval != 0 && song->tick % channel->retrig_interval == 0) {
            retrigger_volume(channel);
            channel->flags |= UPDATE_TRIGGER;
        }
        break;
    case EFFECT_TREMOR:
        apply_tremor(channel);
        break;
    default:
        break;
    }
}

void process_tick(Song* song)
{
    const Cell* cells = current_row(song);
    if (!cells)
        return;
    for (int32_t c = 0; c < song->channel_count; c++) {
        Channel* channel = &song->channels[c];
        const Cell* cell = &cells[c];
        const Instrument* instrument;
        Sample* sample;
        choose_sample(song, channel, &instrument, &sample);
        channel->volume_delta = 0;
        channel->period_delta = 0;
        channel->flags = 0;
        // At key-off without a volume envelope the output is already 0
        // from the row's tick 0.
        step_envelopes(channel, instrument);
        if (channel->key_off)
            fade_out(channel, instrument);
        volume_column_tick(channel, cell->volume);
        tick_effect(song, channel, sample, cell);
        apply_auto_vibrato(channel, instrument);
        update_voice(channel, sample, song);
    }
}

void song_tick(Song* song)
{
    if (song->tick == 0) {
        if (song->next_order >= 0)
            song->order_pos = song->next_order;
        if (song->next_row >= 0)
            song->row = song->next_row;
        // A break or loop may name a row the entered pattern does not have
        // (patterns shorter than 64 rows): it starts at row 0 instead.
        if (song->row < 0 || song->row >= rows_at(song, song->order_pos))
            song->row = 0;
        song_report(song, SONG_EVENT_ROW, -1, nullptr);
        process_row(song);
        if (song->next_row == -1) {
            song->next_row = song->row + 1;
            if (song->next_row >= rows_at(song, song->order_pos)) {
                song->next_order = song->order_pos + 1;
                if (song->next_order >= song->song_length) {
                    // The loader keeps the restart position inside the song;
                    // anything else plays from order 0.
                    song->next_order = song->restart_position < song->song_length
                                           ? song->restart_position : 0;
                    song->ended = 1;
                }
                song->next_row = 0;
            }
        }
    } else {
        process_tick(song);
    }
    song->tick++;
    if (song->tick >= song->speed + song->pattern_delay_ticks) {
        song->pattern_delay_ticks = 0;
        song->tick = 0;
    }
}
