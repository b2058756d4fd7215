// mixer.cpp -- the voice mixer (interpolation, loops, gain ramps) and the
// output clipper.
//
// Each voice is mixed in runs. A run ends exactly where the play position
// crosses the loop boundary (or the end of a sample without a loop) or where
// a gain ramp ends, so the inner loops need no bounds checks: the last frame
// of a run reads at most one value past the loop, which is the loader's
// guard value.
#include "audio/voice.h"

#include <cmath>

#include "player/song.h"

static const uint64_t EPSILON = 1;  // 2^-32 as a 32.32 value
static const float WEIGHT_SCALE = 1.0f / 2147483648.0f;  // 2^-31
static const float GAIN_SCALE = 1.0f / 255.0f;

// The interpolated sample value at 32.32 position p. The weight uses the 31
// high bits of the fraction; the position advance clears the lowest bit.
static inline float sample_at(const int16_t* data, uint64_t p)
{
    uint32_t i = uint32_t(p >> 32);
    float w = float(int32_t(uint32_t(p) >> 1)) * WEIGHT_SCALE;
    float x0 = data[i];
    float x1 = data[i + 1];
    return x0 + w * (x1 - x0);
}

static inline uint64_t advance(uint64_t p, uint64_t step)
{
    return (p & ~EPSILON) + step;
}

// n frames with fixed gains, two per iteration.
static uint64_t mix_fixed(float* d, const int16_t* data, uint64_t p, uint64_t step,
                          int32_t n, float gain_left, float gain_right)
{
    for (int32_t pairs = n >> 1; pairs > 0; pairs--) {
        float s0 = sample_at(data, p);
        p = advance(p, step);
        float s1 = sample_at(data, p);
        p = advance(p, step);
        d[0] += s0 * gain_left;
        d[1] += s0 * gain_right;
        d[2] += s1 * gain_left;
        d[3] += s1 * gain_right;
        d += 4;
    }
    if (n & 1) {
        float s = sample_at(data, p);
        p = advance(p, step);
        d[0] += s * gain_left;
        d[1] += s * gain_right;
    }
    return p;
}

// n frames with gains moving by a step per frame; the gains reached are
// returned through `left` and `right`.
static uint64_t mix_ramp(float* d, const int16_t* data, uint64_t p, uint64_t step,
                         int32_t n, float* left, float* right, float step_left,
                         float step_right)
{
    float gl = *left, gr = *right;
    for (int32_t k = 0; k < n; k++) {
        float s = sample_at(data, p);
        p = advance(p, step);
        d[0] += s * gl;
        d[1] += s * gr;
        d += 2;
        gl += step_left;
        gr += step_right;
    }
    *left = gl;
    *right = gr;
    return p;
}

static uint8_t gain_byte(float applied)
{
    long g = std::lround(applied * 255.0f);
    return uint8_t(g < 0 ? 0 : g > 255 ? 255 : g);
}

// Ping-pong: reflect at whichever end is crossed until the integer part of
// the position lies within the loop. Worked on the offset into the loop, a
// signed 32.32 value that a step back past frame 0 leaves below zero, so
// nothing wraps round (for loops shorter than 2^31 frames).
static uint64_t reflect(Voice* v, uint64_t position, uint64_t loop_start, uint64_t loop_length)
{
    const int64_t eps = int64_t(EPSILON);
    const int64_t length = int64_t(loop_length << 32);
    int64_t q = int64_t(position - (loop_start << 32));
    // P = 2E - P - eps at the end, 2 x loop start - P - eps at the start.
    if (v->direction == VOICE_FORWARD) {
        q = length - (q - length) - eps;
        v->direction = VOICE_BACKWARD;
    } else {
        q = -q - eps;
        v->direction = VOICE_FORWARD;
    }
    for (;;) {
        if (q < 0) {
            q = -q - eps;
            v->direction = VOICE_FORWARD;
        } else if (q >= length) {
            q = length - (q - length) - eps;
            v->direction = VOICE_BACKWARD;
        } else {
            return (loop_start << 32) + uint64_t(q);
        }
    }
}

// Handles the boundary a run has reached. False when the voice has ended.
static bool cross_boundary(Voice* v, const Sample* s, uint64_t* position)
{
    uint64_t loop_start = s->loop_start;
    uint64_t loop_length = s->loop_length;
    uint64_t loop_end = loop_start + loop_length;
    // A loop of length 0 could never be left; it ends like a sample without one.
    if (loop_length != 0 && s->loop_type == LOOP_FORWARD) {
        uint64_t whole = *position >> 32;
        uint64_t fraction = *position & 0xFFFFFFFFu;
        // Subtract the loop length at least once and until below the end.
        uint64_t times = whole >= loop_end ? (whole - loop_end) / loop_length + 1 : 1;
        whole -= times * loop_length;
        *position = (whole << 32) | fraction;
        return true;
    }
    if (loop_length != 0 && s->loop_type == LOOP_PINGPONG) {
        *position = reflect(v, *position, loop_start, loop_length);
        return true;
    }
    v->sample = nullptr;
    *position = 0;
    return false;
}

// Frames to mix before the position crosses the boundary in the current
// direction (the end of the loop going forward, its start going backward);
// UINT64_MAX when the voice does not move. Every frame of a run reads inside
// the loop (at most the guard value one past its end), and the run's last
// advance crosses the boundary.
//
// The count is exact in 32.32. A count from the distance and step truncated
// to 8.24 agrees with it except where the truncation puts the boundary one
// frame early (the loop handling then moves a position that is still inside
// the loop, which at loop start 0 underflows to frame 4294967295) or one frame
// late (the run reads past the loop; going backward to loop start 0, before
// the data). Reading ignores the lowest fraction bit, which every advance
// clears, so the positions read move by the step with that bit cleared going
// forward, and by the step rounded up to even going backward.
static uint64_t frames_to_boundary(const Voice* v, uint64_t p, uint64_t loop_start,
                                   uint64_t loop_end, uint64_t step)
{
    uint64_t start = loop_start << 32, end = loop_end << 32;
    uint64_t read = p & ~EPSILON;  // the first position read
    if (v->direction == VOICE_FORWARD) {
        if (p >= end)
            return 0;  // already past: handle the boundary at once
        uint64_t read_step = step & ~EPSILON;
        if (read_step == 0)
            return UINT64_MAX;
        // First k with read + k x read_step >= end.
        uint64_t inside = end - read;
        return inside / read_step + (inside % read_step != 0);
    }
    if (p < start)
        return 0;
    uint64_t read_step = step + (step & EPSILON);
    if (read_step == 0)
        return UINT64_MAX;
    // First k with read - k x read_step < start.
    return (read - start) / read_step + 1;
}

static void mix_voice(Voice* v, float* destination, int32_t frames)
{
    const Sample* s = v->sample;
    const int16_t* data = s->data;
    uint64_t loop_start = s->loop_start;
    uint64_t loop_end = loop_start + uint64_t(s->loop_length);
    uint64_t p = (uint64_t(v->position) << 32) | v->position_fraction;
    uint64_t step = (uint64_t(uint32_t(v->step)) << 32) | v->step_fraction;
    float* d = destination;
    int32_t remaining = frames;

    while (remaining > 0) {
        int32_t n = remaining;
        bool boundary = false;
        uint64_t f = frames_to_boundary(v, p, loop_start, loop_end, step);
        if (f <= uint64_t(n)) {
            n = int32_t(f);
            boundary = true;
        }
        uint64_t running_step = v->direction == VOICE_FORWARD ? step : uint64_t(0) - step;

        // Gain ramp: go on with the running one while its targets hold,
        // otherwise begin one from the gains applied so far.
        uint32_t ramp = 0;
        if (v->ramp_frames_left != 0 && v->gain_left == v->ramp_target_left &&
            v->gain_right == v->ramp_target_right) {
            ramp = v->ramp_frames_left;
        } else {
            v->ramp_target_left = v->gain_left;
            v->ramp_target_right = v->gain_right;
            v->ramp_step_left = v->gain_left == v->current_left
                ? 0.0f : float(int(v->gain_left) - int(v->current_left)) / 255.0f * ramp_scale;
            v->ramp_step_right = v->gain_right == v->current_right
                ? 0.0f : float(int(v->gain_right) - int(v->current_right)) / 255.0f * ramp_scale;
            if (v->ramp_step_left != 0.0f || v->ramp_step_right != 0.0f)
                ramp = uint32_t(ramp_frames);
            v->ramp_frames_left = ramp;
        }

        if (ramp != 0) {
            int32_t n0 = n;
            if (uint32_t(n) > ramp)
                n = int32_t(ramp);
            float left = float(v->current_left) / 255.0f;
            float right = float(v->current_right) / 255.0f;
            p = mix_ramp(d, data, p, running_step, n, &left, &right, v->ramp_step_left,
                         v->ramp_step_right);
            v->current_left = gain_byte(left);
            v->current_right = gain_byte(right);
            v->ramp_frames_left -= uint32_t(n);
            if (v->ramp_frames_left == 0 && n < n0) {
                // The ramp's end cut this run short of the boundary.
                d += 2 * n;
                remaining -= n;
                continue;
            }
        } else {
            p = mix_fixed(d, data, p, running_step, n, float(v->gain_left) * GAIN_SCALE,
                          float(v->gain_right) * GAIN_SCALE);
        }
        d += 2 * n;
        remaining -= n;

        if (!boundary)
            break;
        if (!cross_boundary(v, s, &p))
            break;  // a sample without a loop has ended: silent from here
    }
    if (v->sample) {
        v->position = uint32_t(p >> 32);
        v->position_fraction = uint32_t(p);
    } else {
        v->position = 0;
        v->position_fraction = 0;
    }
}

void mix_voices(float* destination, Voice* list, int32_t frames)
{
    if (frames < 1 || !destination || !list)
        return;
    for (Voice* v = list->next; v != list; v = v->next) {
        if (v->sample)
            mix_voice(v, destination, frames);
    }
}

void clip_output(int16_t* destination, const float* source, int32_t frames)
{
    if (frames <= 0 || !destination || !source)
        return;
    for (int32_t i = 0; i < frames * 2; i++) {
        // Nearest with ties to even (the default rounding mode), then clamp.
        float r = std::nearbyint(source[i]);
        int32_t x = r >= 32767.0f ? 32767 : r <= -32768.0f ? -32768 : r == r ? int32_t(r) : 0;
        destination[i] = int16_t(x);
    }
}
