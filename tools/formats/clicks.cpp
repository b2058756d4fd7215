// clicks.cpp -- counts the clicks in 16-bit stereo sound (rule in clicks.h).
#include "tools/formats/clicks.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr double RMS_LEVEL = 0.1;      // of full scale, after scaling
constexpr double MIN_JUMP = 0.08;      // of full scale, after scaling
constexpr double ABOVE_AROUND = 8.0;   // times the RMS of the jumps of the 10 ms around it

}  // namespace

int64_t clicks_count(const int16_t* stereo, int64_t frames, int32_t rate, Click* where,
                     int64_t capacity)
{
    if (frames < 2 || rate <= 0) return 0;
    double sum = 0;
    for (int64_t i = 0; i < 2 * frames; i++) sum += (double)stereo[i] * stereo[i];
    double rms = std::sqrt(sum / (2.0 * (double)frames)) / 32768.0;
    if (rms <= 0) return 0;
    double scale = RMS_LEVEL / rms / 32768.0;   // raw sample -> scaled fraction of full scale

    // Prefix sums of the squared jumps (x[n] - x[n-1])^2 in raw units, to
    // take their RMS over any span at once; integer sums are exact and even
    // hours of full-scale jumps stay far inside 64 bits.
    int64_t half = (int64_t)rate / 200;   // 5 ms each side
    if (half < 1) half = 1;
    std::vector<int64_t> prefix[2];
    for (int c = 0; c < 2; c++) {
        prefix[c].assign((size_t)frames + 1, 0);
        for (int64_t n = 1; n < frames; n++) {
            int64_t d = (int)stereo[2 * n + c] - (int)stereo[2 * (n - 1) + c];
            prefix[c][n + 1] = prefix[c][n] + d * d;
        }
    }
    // prefix[c][k] sums the squared jumps 1..k-1, so jumps a..b sum to
    // prefix[b + 1] - prefix[a].

    int64_t count = 0;
    int64_t last = -1;   // frame of the last counted click
    for (int64_t n = 1; n < frames; n++) {
        int best = -1;
        double best_jump = 0;
        for (int c = 0; c < 2; c++) {
            int64_t jump = std::abs((int)stereo[2 * n + c] - (int)stereo[2 * (n - 1) + c]);
            if (jump * scale <= MIN_JUMP) continue;
            int64_t a = n - half < 1 ? 1 : n - half;
            int64_t b = n + half > frames - 1 ? frames - 1 : n + half;
            int64_t around = prefix[c][b + 1] - prefix[c][a] - jump * jump;
            int64_t others = b - a;   // the jumps in a..b but this one
            if (others <= 0) continue;
            // jump > 8 x sqrt(around / others), squared.
            if ((double)(jump * jump) * (double)others <= ABOVE_AROUND * ABOVE_AROUND * (double)around)
                continue;
            if ((double)jump * scale > best_jump) { best_jump = (double)jump * scale; best = c; }
        }
        if (best < 0) continue;
        if (last >= 0 && n - last <= 2 * half) continue;
        if (where && count < capacity)
            where[count] = Click{n, best, stereo[2 * (n - 1) + best] * scale, stereo[2 * n + best] * scale};
        count++;
        last = n;
    }
    return count;
}
