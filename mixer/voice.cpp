// voice.cpp -- the voice array, its set-up and the five voice operations.
#include "mixer/voice.h"

#include <cstdlib>

#include "mixer/divide.h"
#include "mixer/list.h"

Voice* voices;
Voice voice_list = {&voice_list, &voice_list, 0, 0, 0, 0, nullptr, 0, 0, 0, 0,
                    0, 0, 0, 0, 0, 0, 0, 0.0f, 0.0f, 0};
int32_t output_rate;
int32_t ramp_frames;
float ramp_scale;
void (*voice_tails_drop)(void);

void voices_set_rate(int32_t rate)
{
    output_rate = rate;
    ramp_frames = int32_t(divide_s64(int64_t(rate) * 128, OUTPUT_RATE_DEFAULT, nullptr));
    ramp_scale = 1.0f / float(ramp_frames);
}

bool voices_open(void)
{
    voices_close();
    voices = static_cast<Voice*>(calloc(VOICE_COUNT, sizeof(Voice)));
    if (!voices)
        return false;
    voices_reset();
    return true;
}

void voices_reset(void)
{
    if (!voices)
        return;
    voice_list.next = voice_list.prev = &voice_list;
    for (int32_t i = 0; i < VOICE_COUNT; i++) {
        voices[i] = Voice{};
        voices[i].index = i;
        list_insert_tail(&voices[i], &voice_list);
    }
}

void voices_close(void)
{
    voice_list.next = voice_list.prev = &voice_list;
    free(voices);
    voices = nullptr;
}

enum { FREQUENCY_MIN = 100, FREQUENCY_MAX = 705600 };

bool voice_set_frequency(Voice* voice, int32_t frequency)
{
    if (!voice || output_rate <= 0)
        return false;
    if (frequency < FREQUENCY_MIN)
        frequency = FREQUENCY_MIN;
    if (frequency > FREQUENCY_MAX)
        frequency = FREQUENCY_MAX;
    uint32_t f = uint32_t(frequency);
    uint32_t rate = uint32_t(output_rate);
    voice->step = int32_t(f / rate);
    voice->step_fraction = uint32_t(divide_u64(uint64_t(f % rate) << 32, rate, nullptr));
    return true;
}

// Both gains from the stored volume and panning. Signed arithmetic,
// truncating toward zero; a panning of 256 gives a left gain of 0 for every
// volume below 255 (and a negative product, truncated to 0, at 255).
static void update_gains(Voice* voice)
{
    int32_t left = (255 - voice->panning) * voice->volume / 255;
    int32_t right = voice->panning * voice->volume / 255;
    voice->gain_left = uint8_t(left < 0 ? 0 : left > 255 ? 255 : left);
    voice->gain_right = uint8_t(right < 0 ? 0 : right > 255 ? 255 : right);
}

bool voice_set_volume(Voice* voice, int32_t volume)
{
    if (!voice)
        return false;
    voice->volume = volume;
    update_gains(voice);
    return true;
}

bool voice_set_panning(Voice* voice, int32_t panning)
{
    if (!voice)
        return false;
    voice->panning = panning;
    update_gains(voice);
    return true;
}

int32_t voice_start(int32_t index, Sample* sample)
{
    if (!voices || !sample || index < 0 || index >= VOICE_COUNT)
        return -1;
    Voice* v = &voices[index];
    v->sample = sample;
    uint64_t loop_end = uint64_t(sample->loop_start) + sample->loop_length;
    if (v->start_offset >= loop_end)
        v->start_offset = 0;
    v->position = v->start_offset;
    v->start_offset = 0;
    v->position_fraction = 0;
    v->direction = VOICE_FORWARD;
    return v->index;
}

bool voice_stop(int32_t index)
{
    if (!voices || index < 0 || index >= VOICE_COUNT)
        return false;
    Voice* v = &voices[index];
    v->position = 0;
    v->position_fraction = 0;
    v->sample = nullptr;
    return true;
}

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
            uint64_t into_loop;
            divide_u64(i - s->loop_start, s->loop_length, &into_loop);
            i = s->loop_start + into_loop;
        }
        int32_t value = s->data[i] < 0 ? -int32_t(s->data[i]) : s->data[i];
        if (value > peak)
            peak = value;
    }
    uint32_t level = uint32_t(peak) * gain / 32768;  // 0..255
    return uint8_t(level > 255 ? 255 : level);
}
