// gen_music_synth.cpp -- synthesises the soundtrack's eleven instruments.
//
// Tonal instruments are short looped waves (one cycle, or a loop of a few
// detuned cycles for the chorused pad and strings) shaped by volume
// envelopes, so they cost little and compress well; drums are short one-shot
// hits. Everything is 8-bit: the mixer's 16-bit path adds nothing audible for
// material like this. Noise comes from a fixed xorshift generator, so every
// run produces the same bytes.
//
// Every sample starts at zero, and every one-shot fades to zero at its end:
// the engine starts a note at the sample's first value with the gain the
// voice already has, and drops to silence where a one-shot ends, so any
// other value there would be a jump in the sound. A loop starts where its
// wave crosses zero (the loop is the same wave from another point, so it
// sounds the same), and the snare also passes through zero where a roll
// retriggers it.
#include "tools/music/gen_music.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr double PI = 3.14159265358979323846;
// Drum hits are made at the rate of note C-5 (16726 Hz) and carry a relative
// note of +12, so that they sound as made when triggered at C-4.
constexpr double DRUM_RATE = 16726.0;
// Kick and tom hold nothing above 4 kHz: they are made at the rate of C-4
// and carry no relative note.
constexpr double LOW_RATE = 8363.0;

struct Noise {
    uint32_t state;  // xorshift32, never 0
};

double noise_next(Noise& n)
{
    n.state ^= n.state << 13;
    n.state ^= n.state >> 17;
    n.state ^= n.state << 5;
    return (double)(n.state >> 8) / 8388608.0 - 1.0;   // -1 .. 1
}

// Scales a float wave to 8 bits with its peak at `peak` (0..1 of full scale),
// in steps of `step` levels: noise loses nothing audible at a coarser step,
// and its deltas then carry fewer bits for the executable's compressor.
std::vector<int8_t> quantise(const std::vector<double>& w, double peak, int step = 1)
{
    double m = 1e-9;
    for (double v : w) m = std::fmax(m, std::fabs(v));
    std::vector<int8_t> out(w.size());
    for (size_t i = 0; i < w.size(); i++) {
        long q = step * std::lround(w[i] / m * peak * 127.0 / step);
        out[i] = (int8_t)(q > 127 ? 127 : q < -127 ? -127 : q);
    }
    return out;
}

// One loop of `length` frames holding the sum of detuned copies of a
// harmonic wave: copy j runs cycles[j] times around the loop, with harmonic
// k at amplitude amp[k] (amp[0] unused) and weight weights[j].
std::vector<double> additive_loop(int length, const int* cycles, const double* weights,
                                  int copies, const double* amp, int harmonics)
{
    std::vector<double> w(length, 0.0);
    for (int j = 0; j < copies; j++) {
        for (int k = 1; k <= harmonics; k++) {
            if (k * cycles[j] * 2 >= length) break;   // stay below the loop's Nyquist
            // A fixed phase per copy and harmonic keeps the sum from peaking.
            double ph = 0.7 * j * k + 0.3 * k * k;
            for (int i = 0; i < length; i++)
                w[i] += weights[j] * amp[k] *
                        std::sin(2.0 * PI * k * cycles[j] * i / length + ph);
        }
    }
    return w;
}

// The loop turned round to begin where its wave rises through zero (the
// value nearest zero among the rising crossings, else the nearest of all).
std::vector<int8_t> from_zero(const std::vector<int8_t>& w)
{
    size_t n = w.size(), best = 0;
    int best_cost = 1 << 30;
    for (size_t i = 0; i < n; i++) {
        bool rising = w[(i + n - 1) % n] < 0 && w[i] >= 0;
        int cost = std::abs((int)w[i]) + (rising ? 0 : 256);
        if (cost < best_cost) { best_cost = cost; best = i; }
    }
    std::vector<int8_t> out(n);
    for (size_t i = 0; i < n; i++) out[i] = w[(best + i) % n];
    return out;
}

// Fades the first `frames` values in from zero along a half cosine, for hits
// whose first sound (a click, a clap) would start at full level.
void fade_in(std::vector<double>& w, int frames)
{
    for (int i = 0; i < frames && i < (int)w.size(); i++)
        w[(size_t)i] *= 0.5 - 0.5 * std::cos(PI * i / frames);
}

XmEnvelope envelope(std::initializer_list<int> xy, int sustain = -1,
                    int loop_start = -1, int loop_end = -1)
{
    XmEnvelope e;
    for (auto it = xy.begin(); it != xy.end() && e.points.size() < 12; it += 2)
        e.points.push_back({(uint16_t)it[0], (uint16_t)it[1]});
    e.type = e.points.size() >= 2 ? 1 : 0;
    if (sustain >= 0) { e.sustain = (uint8_t)sustain; e.type |= 2; }
    if (loop_start >= 0) {
        e.loop_start = (uint8_t)loop_start;
        e.loop_end = (uint8_t)loop_end;
        e.type |= 4;
    }
    return e;
}

XmSample one_shot(const std::vector<int8_t>& data, int volume, int panning)
{
    XmSample s;
    s.values.assign(data.begin(), data.end());
    s.volume = (uint8_t)volume;
    s.panning = (uint8_t)panning;
    s.relative_note = 12;
    return s;
}

// A looped wave whose whole length is the loop; `relative_note` tunes it so
// that note C-4 plays middle C.
XmSample looped(const std::vector<int8_t>& wave, int volume, int panning, int relative_note)
{
    XmSample s;
    std::vector<int8_t> data = from_zero(wave);
    s.values.assign(data.begin(), data.end());
    s.loop_start = 0;
    s.loop_length = (uint32_t)data.size();
    s.loop_bits = 1;                             // forward
    s.volume = (uint8_t)volume;
    s.panning = (uint8_t)panning;
    s.relative_note = (int8_t)relative_note;
    return s;
}

XmInstrument instrument(const char* name, XmSample s)
{
    XmInstrument in;
    in.name = name;
    in.samples.push_back(std::move(s));
    return in;
}

// Kick: a sine swept from about 160 Hz down to 45 Hz with a soft click,
// gently saturated.
XmInstrument make_kick()
{
    int n = (int)(0.30 * LOW_RATE);
    std::vector<double> w(n);
    Noise nz{0x1234567u};
    double phase = 0;
    for (int i = 0; i < n; i++) {
        double t = i / LOW_RATE;
        double f = 45.0 + 115.0 * std::exp(-t * 28.0);
        phase += 2.0 * PI * f / LOW_RATE;
        double a = std::exp(-t * 9.0) * (1.0 - std::exp(-t * 2000.0));
        double click = t < 0.004 ? 0.25 * noise_next(nz) * (1.0 - t / 0.004) : 0.0;
        double tail = i > n - 200 ? (n - i) / 200.0 : 1.0;
        w[i] = std::tanh(1.6 * (a * std::sin(phase) + click)) * tail;
    }
    fade_in(w, 4);
    XmSample smp = one_shot(quantise(w, 1.0), 60, 128);
    smp.relative_note = 0;
    return instrument("kick", std::move(smp));
}

// Snare and clap in one: a short body tone, three quick noise bursts (the
// clap) and a band-limited noise tail.
XmInstrument make_snare()
{
    int n = (int)(0.22 * DRUM_RATE);
    std::vector<double> w(n);
    Noise nz{0x9E3779B9u};
    double lp = 0, prev = 0;
    for (int i = 0; i < n; i++) {
        double t = i / DRUM_RATE;
        double body = 0.55 * std::exp(-t * 30.0) *
                      (std::sin(2 * PI * 185 * t) + 0.5 * std::sin(2 * PI * 330 * t));
        double raw = noise_next(nz);
        lp += 0.45 * (raw - lp);            // soften the top
        double band = lp - 0.6 * prev;      // and thin the bottom
        prev = lp;
        double bursts = 0;
        for (int b = 0; b < 3; b++) {
            double tb = t - b * 0.009;
            if (tb >= 0) bursts += std::exp(-tb * 260.0);
        }
        double a = 0.8 * bursts + 0.7 * std::exp(-t * 16.0);
        double tail = i > n - 300 ? (n - i) / 300.0 : 1.0;
        w[i] = (body + a * band) * tail;
    }
    fade_in(w, 8);
    // A roll retriggers the snare every one, two or three ticks, and the
    // engine restarts it from wherever it is then: at those places (played
    // at C-5, 16726 frames a second, 882 output frames a tick at 44100) the
    // snare dips to zero for two values, as it does where a flam plays it
    // from an offset (9xx, 256 values each). Four values on either side lead
    // into each dip, so that the dips themselves make no jump.
    auto dip = [&](double at) {
        int first = (int)std::floor(at);
        for (int i = first - 4; i <= first + 5; i++) {
            if (i < 0 || i >= n) continue;
            int d = i < first ? first - i : i > first + 1 ? i - first - 1 : 0;
            w[(size_t)i] *= 0.5 - 0.5 * std::cos(PI * d / 5.0);
        }
    };
    for (int ticks = 1; ticks <= 3; ticks++) dip(ticks * 882.0 * 16726.0 / 44100.0);
    dip(MUSIC_FLAM_OFFSET * 256.0);
    return instrument("snare clap", one_shot(quantise(w, 1.0, 2), 56, 128));
}

// Hi-hats: high-passed noise with a metallic edge; sample 0 closed (notes
// below C-5), sample 1 open (C-5 and up).
XmInstrument make_hats()
{
    auto hat = [](double seconds, double decay, uint32_t seed) {
        int n = (int)(seconds * DRUM_RATE);
        std::vector<double> w(n);
        Noise nz{seed};
        double prev = 0;
        for (int i = 0; i < n; i++) {
            double t = i / DRUM_RATE;
            double raw = noise_next(nz);
            double hp = raw - prev;
            prev = raw;
            double metal = (std::sin(2 * PI * 3520 * t) > 0 ? 1 : -1) *
                           (std::sin(2 * PI * 5390 * t) > 0 ? 1 : -1);
            double a = std::exp(-t * decay) * (1.0 - std::exp(-t * 3000.0));
            double tail = i > n - 150 ? (n - i) / 150.0 : 1.0;
            w[i] = a * (hp + 0.35 * metal) * tail;
        }
        return w;
    };
    XmInstrument in = instrument("hats", one_shot(quantise(hat(0.05, 70.0, 0xBEEF01u), 0.9, 4), 40, 150));
    XmSample open = one_shot(quantise(hat(0.16, 16.0, 0xBEEF02u), 0.9, 4), 36, 150);
    open.relative_note = 0;   // triggered at C-5
    in.samples.push_back(std::move(open));
    for (int k = 60; k < 96; k++) in.keymap[k] = 1;
    return in;
}

// Bass: a warm saw with a strong fundamental, one 128-frame cycle.
XmInstrument make_bass()
{
    double amp[25] = {};
    for (int k = 1; k <= 24; k++)
        amp[k] = (1.0 / k) * (k > 6 ? std::exp(-(k - 6) / 5.0) : 1.0);
    amp[1] *= 1.6;
    int cyc[1] = {1};
    double wt[1] = {1.0};
    XmInstrument in = instrument("bass", looped(quantise(additive_loop(128, cyc, wt, 1, amp, 24), 1.0), 44, 128, 24));
    in.volume_envelope = envelope({0, 64, 4, 50, 16, 38, 40, 30}, 2);
    in.fadeout = 2048;
    return in;
}

// Pad: three saws detuned by about +-27 cents, 64 cycles of 32 frames per
// loop, so the beating is part of the loop.
XmInstrument make_pad()
{
    double amp[16] = {};
    for (int k = 1; k <= 15; k++) amp[k] = 1.0 / std::pow(k, 1.15);
    int cyc[3] = {63, 64, 65};
    double wt[3] = {0.7, 1.0, 0.7};
    XmInstrument in = instrument("pad", looped(quantise(additive_loop(2048, cyc, wt, 3, amp, 15), 1.0), 24, 128, 0));
    in.volume_envelope = envelope({0, 0, 14, 64, 40, 52, 120, 40}, 2);
    in.fadeout = 700;
    return in;
}

// Lead: half square, half saw, one 64-frame cycle, with a delayed
// auto-vibrato.
XmInstrument make_lead()
{
    double amp[25] = {};
    for (int k = 1; k <= 24; k++)
        amp[k] = ((k & 1) ? 0.8 : 0.35) / k * (k > 10 ? std::exp(-(k - 10) / 6.0) : 1.0);
    int cyc[1] = {1};
    double wt[1] = {1.0};
    XmInstrument in = instrument("lead", looped(quantise(additive_loop(64, cyc, wt, 1, amp, 24), 1.0), 40, 128, 12));
    in.volume_envelope = envelope({0, 48, 3, 64, 14, 54, 60, 46}, 2);
    in.fadeout = 1100;
    in.vibrato_type = 0;
    in.vibrato_sweep = 40;
    in.vibrato_depth = 6;
    in.vibrato_rate = 24;
    return in;
}

// Pluck: a bright 25% pulse with a fast decay, for arpeggios.
XmInstrument make_pluck()
{
    double amp[29] = {};
    for (int k = 1; k <= 28; k++) amp[k] = std::sin(PI * k * 0.25) / k * std::exp(-k / 18.0);
    int cyc[1] = {1};
    double wt[1] = {1.0};
    XmInstrument in = instrument("pluck", looped(quantise(additive_loop(64, cyc, wt, 1, amp, 28), 1.0), 30, 96, 12));
    in.volume_envelope = envelope({0, 64, 3, 44, 10, 24, 24, 10, 50, 0});
    in.fadeout = 1500;
    return in;
}

// Strings/choir: a vowel-like spectrum on two copies detuned by +-27
// cents, with a slow attack, a looped swell while the note is held (the
// fade-out takes over at key-off) and a slowly swaying panning envelope.
XmInstrument make_strings()
{
    double amp[16] = {};
    for (int k = 1; k <= 15; k++)
        amp[k] = (1.0 / k) * (1.0 + 1.8 * std::exp(-(k - 3) * (k - 3) / 2.0) +
                              0.9 * std::exp(-(k - 7) * (k - 7) / 3.0));
    int cyc[2] = {63, 65};
    double wt[2] = {1.0, 1.0};
    XmInstrument in = instrument("strings", looped(quantise(additive_loop(2048, cyc, wt, 2, amp, 15), 1.0), 28, 150, 0));
    in.volume_envelope = envelope({0, 0, 30, 64, 70, 50, 110, 64}, -1, 1, 3);
    in.panning_envelope = envelope({0, 24, 60, 40, 120, 24}, -1, 0, 2);
    in.fadeout = 500;
    return in;
}

// Bell: a harmonic FM tone (carrier 1, modulator 4), one 64-frame cycle
// with a long decay.
XmInstrument make_bell()
{
    int n = 64;
    std::vector<double> w(n);
    for (int i = 0; i < n; i++) {
        double ph = 2 * PI * i / n;
        w[i] = std::sin(ph + 1.3 * std::sin(4 * ph)) + 0.25 * std::sin(2 * ph);
    }
    XmInstrument in = instrument("bell", looped(quantise(w, 1.0), 30, 100, 12));
    in.volume_envelope = envelope({0, 64, 5, 44, 24, 26, 70, 10, 160, 0});
    in.fadeout = 600;
    return in;
}

// Noise: a loop of soft white noise for crashes and sweeps. The envelope
// holds at full until key-off and then decays like a cymbal, so a note with
// K00 is a crash and a held note under volume slides is a sweep.
XmInstrument make_noise()
{
    int n = 4096;
    std::vector<double> w(n);
    Noise nz{0xC0FFEEu};
    double lp = 0;
    for (int i = 0; i < n; i++) {
        double raw = noise_next(nz);
        lp += 0.6 * (raw - lp);
        w[i] = lp;
    }
    XmInstrument in = instrument("noise", looped(quantise(w, 0.8, 4), 28, 128, 12));
    in.volume_envelope = envelope({0, 64, 6, 40, 30, 20, 80, 8, 160, 0}, 0);
    in.fadeout = 256;
    return in;
}

// Tom: a sine dropping in pitch, for fills; played at several notes.
XmInstrument make_tom()
{
    int n = (int)(0.30 * LOW_RATE);
    std::vector<double> w(n);
    double phase = 0;
    for (int i = 0; i < n; i++) {
        double t = i / LOW_RATE;
        double f = 95.0 + 70.0 * std::exp(-t * 14.0);
        phase += 2.0 * PI * f / LOW_RATE;
        double a = std::exp(-t * 8.0) * (1.0 - std::exp(-t * 1500.0));
        double tail = i > n - 150 ? (n - i) / 150.0 : 1.0;
        w[i] = std::tanh(1.3 * a * std::sin(phase)) * tail;
    }
    XmSample smp = one_shot(quantise(w, 1.0), 36, 128);
    smp.relative_note = 0;
    return instrument("tom", std::move(smp));
}

}  // namespace

void music_make_instruments(std::vector<XmInstrument>& out)
{
    out.clear();
    out.push_back(make_kick());     // 1
    out.push_back(make_snare());    // 2
    out.push_back(make_hats());     // 3
    out.push_back(make_bass());     // 4
    out.push_back(make_pad());      // 5
    out.push_back(make_lead());     // 6
    out.push_back(make_pluck());    // 7
    out.push_back(make_strings());  // 8
    out.push_back(make_bell());     // 9
    out.push_back(make_noise());    // 10
    out.push_back(make_tom());      // 11
}
