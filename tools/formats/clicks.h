// clicks.h -- counts the clicks in 16-bit stereo sound, by the project's rule.
//
// The rule: the sound is scaled so that its RMS (both channels, the whole
// recording) is 0.1 of full scale; a click is a jump between two consecutive
// frames of more than 0.08 of full scale that is more than 8 times the RMS
// of the jumps of the 10 ms around it (220 frames before and after at
// 44.1 kHz, the jump itself left out). Scaling first makes the count independent of how
// loud a recording was made; the comparison with its surroundings leaves out
// the jumps of busy passages (noise, bright waves), which the ear takes as
// part of the sound. Jumps within 10 ms of a counted click, on either
// channel, belong to that click.
//
// Called by the tests (the show's music must have none, the mixer's smooth
// note starts must remove them) and by tavimo-render-music, which reports
// the count; any thread, it keeps no state.
#pragma once
#include <cstdint>

struct Click {
    int64_t frame;   // frame after the jump, 0-based
    int channel;     // 0 left, 1 right: the channel with the larger jump
    double before;   // the channel's value before the jump, scaled (-1..1 of full scale, or beyond)
    double after;    // its value after the jump, scaled
};

// Counts the clicks in `frames` interleaved left/right frames at `rate`
// frames per second (the 10 ms follow it). Fills `where` with the first
// `capacity` clicks in time order when it is not null. A silent or empty
// recording has none.
int64_t clicks_count(const int16_t* stereo, int64_t frames, int32_t rate, Click* where = nullptr,
                     int64_t capacity = 0);
