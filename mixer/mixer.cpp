// mixer.cpp -- the voice mixer (interpolation, loops, gain ramps) and the
// output clipper.
//
// Each voice is mixed in runs. A run ends exactly where the play position
// crosses the loop boundary (or the end of a sample without a loop) or where
// a gain ramp ends, so the inner loops need no bounds checks: the last frame
// of a run reads at most one value past the loop, which is the loader's
// guard value.
#include "mixer/voice.h"

#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "mixer/divide.h"
#include "mixer/sample.h"

static const uint64_t EPSILON = 1;  // 2^-32 as a 32.32 value
static const float WEIGHT_SCALE = 1.0f / 2147483648.0f;  // 2^-31
static const float GAIN_SCALE = 1.0f / 255.0f;

// The interpolated sample value at 32.32 position p. The weight uses the 31
// high bits of the fraction.
static inline float sample_at(const int16_t* data, uint64_t p)
{
    uint32_t i = uint32_t(p >> 32);
    float w = float(int32_t(uint32_t(p) >> 1)) * WEIGHT_SCALE;
    float x0 = data[i];
    float x1 = data[i + 1];
    return x0 + w * (x1 - x0);
}

// Every advance clears the lowest fraction bit and then adds the running
// step. Since the bit is cleared before each add, the positions read (whose
// lowest bit reading ignores) move by the running step with that bit cleared,
// one plain add apart: `read` below. After n >= 1 frames the position is the
// last one read plus the running step, whose lowest bit then comes through.

#ifdef __SSE2__
// The two values at index i as one 32-bit word: data[i] in the low half.
static inline int32_t value_pair(const int16_t* data, uint64_t r)
{
    int32_t pair;
    memcpy(&pair, data + uint32_t(r >> 32), sizeof pair);
    return pair;
}

// Four frames from reading positions r, r + step, r + 2 step, r + 3 step,
// whose fractions are in `fractions`, added with gains (left, right, left,
// right) to the four stereo frames at d. The same arithmetic as sample_at,
// four lanes at a time.
static inline void mix_four(float* d, const int16_t* data, uint64_t r, uint64_t step,
                            __m128i fractions, __m128 gains)
{
    __m128i pairs = _mm_set_epi32(value_pair(data, r + 3 * step), value_pair(data, r + 2 * step),
                                  value_pair(data, r + step), value_pair(data, r));
    __m128 x0 = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16));
    __m128 x1 = _mm_cvtepi32_ps(_mm_srai_epi32(pairs, 16));
    __m128 w = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(fractions, 1)),
                          _mm_set1_ps(WEIGHT_SCALE));
    __m128 v = _mm_add_ps(x0, _mm_mul_ps(w, _mm_sub_ps(x1, x0)));
    __m128 lo = _mm_unpacklo_ps(v, v), hi = _mm_unpackhi_ps(v, v);
    _mm_storeu_ps(d, _mm_add_ps(_mm_loadu_ps(d), _mm_mul_ps(lo, gains)));
    _mm_storeu_ps(d + 4, _mm_add_ps(_mm_loadu_ps(d + 4), _mm_mul_ps(hi, gains)));
}
#endif

// n frames with fixed gains, four per iteration where SSE2 is at hand.
static uint64_t mix_fixed(float* d, const int16_t* data, uint64_t p, uint64_t step,
                          int32_t n, float gain_left, float gain_right)
{
    if (n <= 0)
        return p;
    const uint64_t read_step = step & ~EPSILON;
    uint64_t r = p & ~EPSILON;
    int32_t k = 0;
#ifdef __SSE2__
    const __m128 gains = _mm_setr_ps(gain_left, gain_right, gain_left, gain_right);
    // The fractions' low 32 bits move on by the step's, wrapping as they do.
    const uint32_t f = uint32_t(r), fs = uint32_t(read_step);
    __m128i fractions = _mm_setr_epi32(int32_t(f), int32_t(f + fs), int32_t(f + 2 * fs),
                                       int32_t(f + 3 * fs));
    const __m128i fraction_step = _mm_set1_epi32(int32_t(4 * fs));
    for (; k + 4 <= n; k += 4) {
        mix_four(d, data, r, read_step, fractions, gains);
        fractions = _mm_add_epi32(fractions, fraction_step);
        r += 4 * read_step;
        d += 8;
    }
#endif
    for (; k < n; k++) {
        float s = sample_at(data, r);
        d[0] += s * gain_left;
        d[1] += s * gain_right;
        d += 2;
        r += read_step;
    }
    return r - read_step + step;
}

// n frames with gains moving by a step per frame; the gains reached are
// returned through `left` and `right`.
static uint64_t mix_ramp(float* d, const int16_t* data, uint64_t p, uint64_t step,
                         int32_t n, float* left, float* right, float step_left,
                         float step_right)
{
    if (n <= 0)
        return p;
    const uint64_t read_step = step & ~EPSILON;
    uint64_t r = p & ~EPSILON;
    float gl = *left, gr = *right;
    for (int32_t k = 0; k < n; k++) {
        float s = sample_at(data, r);
        r += read_step;
        d[0] += s * gl;
        d[1] += s * gr;
        d += 2;
        gl += step_left;
        gr += step_right;
    }
    *left = gl;
    *right = gr;
    return r - read_step + step;
}

// The applied gain as a byte, rounded to the nearest (halves up).
static uint8_t gain_byte(float applied)
{
    float g = applied * 255.0f + 0.5f;
    return uint8_t(g <= 0.0f ? 0 : g >= 255.0f ? 255 : int32_t(g));
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
        // Subtract the loop length at least once and until below the end
        // (whole and the loop's end are below 2^32, so is their distance).
        uint64_t times = whole >= loop_end ? uint64_t(uint32_t(whole - loop_end) / uint32_t(loop_length)) + 1 : 1;
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
        uint64_t rest;
        uint64_t whole = divide_u64(end - read, read_step, &rest);
        return whole + (rest != 0);
    }
    if (p < start)
        return 0;
    uint64_t read_step = step + (step & EPSILON);
    if (read_step == 0)
        return UINT64_MAX;
    // First k with read - k x read_step < start.
    return divide_u64(read - start, read_step, nullptr) + 1;
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
    int32_t count = frames * 2, i = 0;
#ifdef __SSE2__
    // Clamped as floats first (so nothing overflows the conversion), then
    // converted with the default rounding mode, nearest with ties to even.
    const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
    for (; i + 8 <= count; i += 8) {
        __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(source + i), low), high);
        __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(source + i + 4), low), high);
        __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), packed);
    }
#endif
    for (; i < count; i++) {
        float v = source[i];
        v = v < -32768.0f ? -32768.0f : v > 32767.0f ? 32767.0f : v;
        destination[i] = int16_t(std::lrint(v));  // nearest, ties to even
    }
}
