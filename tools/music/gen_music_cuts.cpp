// gen_music_cuts.cpp -- lets every note start on a silent voice.
//
// The replay engine restarts a channel's voice at a note without touching
// its gain: if the old note still sounds, the waveform jumps from wherever
// it was to the new sample's start, and the listener hears a click. A gain
// change, though, is ramped over 128 frames, well inside a tick (882
// frames). So wherever a note would restart a sounding voice, the row
// before it cuts the voice on its last tick (EC5: volume 0 from tick 5):
// the gain has ramped to zero when the note starts, and the new note's own
// volume ramps in from there. The note sounds one tick (20 ms) shorter, a
// difference no one hears next to the click it removes.
//
// The pass follows the song in playing order with a plain model of each
// channel's voice (when it was struck, what it plays, whether it was
// released, cut or has run out, how loud it is), so it cuts only where the
// jump could be heard: not a voice too quiet by then, nor one whose wave is
// at zero there (a one-shot may dip to zero exactly where a retrigger
// restarts it); a pattern played at several places gets the cuts any of
// them needs. Where
// the row before holds an effect already, the effect moves to the volume
// column when that column has the same command (vibrato, tone portamento),
// and a noise sweep's pitch slide is taken one row earlier at double speed
// so that it still ends on the same pitch.
#include "tools/music/gen_music.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr uint8_t FX_PORTA_UP = 0x1, FX_TONE_PORTA = 0x3, FX_VIBRATO = 0x4,
                  FX_TONE_PORTA_SLIDE = 0x5, FX_PANNING = 0x8, FX_OFFSET = 0x9, FX_EXTENDED = 0xE, FX_KEY_OFF = 20,
                  FX_RETRIGGER = 27;
constexpr uint8_t EX_RETRIG = 0x9, EX_CUT = 0xC, EX_DELAY = 0xD;
constexpr uint8_t KEY_OFF = 97;
constexpr int TICK_FRAMES = 882;   // 44100 x 2.5 / MUSIC_BPM
constexpr int OUTPUT_RATE = 44100;

// What a channel's voice is doing, as far as the pass can tell.
struct VoiceModel {
    bool live = false;         // struck and neither cut nor run out
    int instrument = 0;        // 1-based, 0 none yet
    int sample = 0;            // slot in the instrument
    long struck = 0;           // song tick of the last start
    double start = 0;          // sample frame it started at
    double rate = 0;           // sample frames per second
    long released = -1;        // song tick of the key-off, -1 none
    int volume = 64;           // channel volume 0..64
    int panning = 128;         // channel panning 0..255
};

// A cell of the song: a pattern's row and channel.
struct Place {
    int pattern = -1;
    int row = 0;
};

bool triggers(const XmCell& c)
{
    if (c.note == 0 || c.note == KEY_OFF) return false;
    if (c.effect == FX_TONE_PORTA || c.effect == FX_TONE_PORTA_SLIDE) return false;
    return (c.volume >> 4) != 0xF;
}

// The tick of the row at which the cell's note starts the voice.
int trigger_tick(const XmCell& c)
{
    return c.effect == FX_EXTENDED && (c.parameter >> 4) == EX_DELAY ? c.parameter & 0xF : 0;
}

// Retriggers within the row (E9x, Rxy): every how many ticks, 0 for none.
int retrigger_every(const XmCell& c)
{
    if (c.effect == FX_EXTENDED && (c.parameter >> 4) == EX_RETRIG) return c.parameter & 0xF;
    if (c.effect == FX_RETRIGGER) return c.parameter & 0xF;
    return 0;
}

// The sample frame the voice plays at song tick `t`, for a voice that has
// not crossed a loop.
double position_at(const VoiceModel& v, long t)
{
    return v.start + (double)(t - v.struck) * TICK_FRAMES * v.rate / OUTPUT_RATE;
}

// The volume envelope's value (0..64) `elapsed` ticks after the note
// started, released `since_release` ticks ago (-1: still held). The
// envelope moves a point a tick, holds at its sustain point until the
// key-off and runs on from there; a looping envelope counts at its loudest
// point, and a falling one at the louder of two ticks.
double envelope_at(const XmEnvelope& e, long elapsed, long since_release)
{
    if (!(e.type & 1) || e.points.empty()) return 64.0;
    double top = 0;
    for (const auto& point : e.points) top = std::max(top, (double)point.second);
    if (e.type & 4) return top;
    long x = elapsed;
    if ((e.type & 2) && e.sustain < e.points.size()) {
        long hold = e.points[e.sustain].first;
        x = since_release < 0 ? std::min(x, hold) : std::min(x, hold + since_release);
    }
    double louder = 0;
    for (long at : {std::max(0L, x - 2), x}) {
        double y = e.points.back().second;
        for (size_t i = 0; i + 1 < e.points.size(); i++) {
            long x0 = e.points[i].first, x1 = e.points[i + 1].first;
            if (at >= x0 && at < x1) {
                y = e.points[i].second +
                    (double)(at - x0) / (double)(x1 - x0) * (e.points[i + 1].second - e.points[i].second);
                break;
            }
        }
        louder = std::max(louder, y);
    }
    return louder;
}

// The largest jump, in fractions of full scale, that a restart of the
// voice at song tick `t` may make: the voice's gain there (channel volume,
// envelope, fade-out, the louder side of its panning) times the largest
// value it may be at (near its place in a one-shot, anywhere in a loop).
// The new note starts at zero, as every sample here does. A one-shot that
// has run out, or that dips to zero just there, makes none.
double restart_jump(const VoiceModel& v, const std::vector<XmInstrument>& instruments, long t)
{
    if (!v.live || v.instrument == 0 || v.volume == 0) return 0;
    const XmInstrument& in = instruments[(size_t)v.instrument - 1];
    const XmSample& s = in.samples[(size_t)v.sample];
    long since_release = v.released >= 0 ? t - v.released : -1;
    double fade = 1.0;
    if (since_release >= 0) {
        if (!(in.volume_envelope.type & 1)) return 0;   // the key-off silenced it at once
        fade = std::max(0.0, 1.0 - 2.0 * in.fadeout * (double)std::max(0L, since_release - 1) / 65536.0);
    }
    double volume = v.volume / 64.0 * envelope_at(in.volume_envelope, t - v.struck, since_release) /
                    64.0 * fade * 127.0;
    double side = (in.panning_envelope.type & 1) ? 255.0 : std::max(v.panning, 255 - v.panning);
    size_t from = 0, to = s.values.size();
    if (!s.loop_bits) {
        double at = position_at(v, t);
        if (at > (double)s.values.size() + 2) return 0;
        size_t i = (size_t)std::floor(at);
        if (i + 1 < s.values.size() && s.values[i] == 0 && s.values[i + 1] == 0) return 0;
        from = i > 8 ? i - 8 : 0;
        to = std::min(s.values.size(), i + 10);
    }
    int largest = 0;
    for (size_t i = from; i < to; i++) largest = std::max(largest, std::abs((int)s.values[i]));
    return volume * side / 255.0 / 255.0 * largest / 128.0;
}

// A jump is heard as a click from 1/64 of full scale at the voice's gain;
// the pass cuts from three quarters of that, for what its model leaves out
// (the largest value the voice may be at stands for the one it is at, so
// the real jumps it leaves are smaller still).
constexpr double CUT_FROM = 0.75 / 64.0;

// Puts a cut on the last tick of `c`, moving an effect that is in the way
// where that changes nothing heard. `before` is the row ahead of it on the
// same channel (null at the song's start). False when the effect cannot move.
bool cut_last_tick(XmCell& c, XmCell* before)
{
    const uint8_t cut = (uint8_t)(EX_CUT << 4 | (MUSIC_SPEED - 1));
    if (c.effect == FX_EXTENDED && (c.parameter >> 4) == EX_CUT) return true;   // cut already
    if (c.effect == 0 && c.parameter == 0) {
        c.effect = FX_EXTENDED;
        c.parameter = cut;
        return true;
    }
    // Vibrato from the volume column (depth; the speed stays in memory from
    // the rows before, which vibrate at the same speed). The column's
    // vibrato leaves the row's first tick at the note's pitch, 20 ms of a
    // slow vibrato that no one hears.
    if (c.effect == FX_VIBRATO && c.volume == 0 && before && before->effect == FX_VIBRATO &&
        (before->parameter >> 4) == (c.parameter >> 4) && (c.parameter & 0xF)) {
        c.volume = (uint8_t)(0xB0 | (c.parameter & 0xF));
        c.effect = FX_EXTENDED;
        c.parameter = cut;
        return true;
    }
    // A glide going on at the speed in memory.
    if (c.effect == FX_TONE_PORTA && c.parameter == 0 && c.volume == 0) {
        c.volume = 0xF0;
        c.effect = FX_EXTENDED;
        c.parameter = cut;
        return true;
    }
    // A pitch slide: the row before slides twice as fast, to the same pitch.
    if (c.effect == FX_PORTA_UP && c.parameter && c.parameter < 0x80 && before &&
        before->effect == FX_PORTA_UP && before->parameter == c.parameter) {
        before->parameter = (uint8_t)(2 * c.parameter);
        c.effect = FX_EXTENDED;
        c.parameter = cut;
        return true;
    }
    return false;
}

}  // namespace

int music_cut_before_restarts(XmModule& m)
{
    int unmended = 0;
    // Twice through the song: a cut put into a pattern at a later place also
    // plays at its earlier ones, and the second round checks them with it.
    for (int round = 0; round < 2; round++) {
        unmended = 0;
        VoiceModel voice[MUSIC_CHANNELS];
        Place last[MUSIC_CHANNELS], before_last[MUSIC_CHANNELS];
        for (int o = 0; o < MUSIC_SONG_LENGTH; o++) {
            XmPattern& p = m.patterns[m.order[(size_t)o]];
            for (int r = 0; r < MUSIC_ROWS; r++) {
                long row_tick = ((long)o * MUSIC_ROWS + r) * MUSIC_SPEED;
                for (int ch = 0; ch < MUSIC_CHANNELS; ch++) {
                    XmCell& c = p.cells[(size_t)r * MUSIC_CHANNELS + ch];
                    VoiceModel& v = voice[ch];
                    auto cell_at = [&](Place at) -> XmCell* {
                        if (at.pattern < 0) return nullptr;
                        return &m.patterns[(size_t)at.pattern].cells[(size_t)at.row * MUSIC_CHANNELS + ch];
                    };
                    // The starts of the row: its note, then its retriggers.
                    int note_tick = triggers(c) ? trigger_tick(c) : -1;
                    int every = retrigger_every(c);
                    for (int t = 0; t < MUSIC_SPEED; t++) {
                        bool note_start = t == note_tick;
                        if (!note_start && !(t > 0 && every > 0 && t % every == 0)) continue;
                        if (restart_jump(v, m.instruments, row_tick + t) >= CUT_FROM) {
                            XmCell* prev = cell_at(last[ch]);
                            bool cut = t == 0 && prev && cut_last_tick(*prev, cell_at(before_last[ch]));
                            if (!cut) {
                                unmended++;
                                if (round == 1)
                                    std::fprintf(stderr, "tavimo-gen-music: no room for a cut before "
                                                 "order %d pattern %d row %d tick %d channel %d\n",
                                                 o, m.order[(size_t)o], r, t, ch);
                            }
                        }
                        if (!note_start) {   // the retriggered voice plays from its start again
                            v.struck = row_tick + t;
                            v.start = 0;
                            continue;
                        }
                        int ins = c.instrument ? c.instrument : v.instrument;
                        if (ins <= 0 || ins > (int)m.instruments.size()) continue;
                        const XmInstrument& in = m.instruments[(size_t)ins - 1];
                        int slot = in.keymap[c.note - 1];
                        const XmSample& s = in.samples[(size_t)slot];
                        v.live = true;
                        v.instrument = ins;
                        v.sample = slot;
                        v.struck = row_tick + t;
                        v.start = c.effect == FX_OFFSET ? 256.0 * c.parameter : 0.0;
                        v.rate = 8363.0 * std::pow(2.0, (c.note + s.relative_note - 49) / 12.0);
                        v.released = -1;
                        if (c.instrument) {
                            v.volume = s.volume;
                            v.panning = s.panning;
                        }
                    }
                    if (c.effect == FX_PANNING) v.panning = c.parameter;
                    if ((c.volume >> 4) == 0xC) v.panning = 16 * (c.volume & 0xF);
                    if (c.volume >= 0x10 && c.volume <= 0x50) v.volume = c.volume - 0x10;
                    if ((c.volume >> 4) == 0x8) v.volume = std::max(0, v.volume - (c.volume & 0xF));
                    if ((c.volume >> 4) == 0x9) v.volume = std::min(64, v.volume + (c.volume & 0xF));
                    if ((c.note == KEY_OFF || c.effect == FX_KEY_OFF) && v.released < 0)
                        v.released = row_tick;
                    if (c.effect == FX_EXTENDED && (c.parameter >> 4) == EX_CUT &&
                        (c.parameter & 0xF) < MUSIC_SPEED)
                        v.live = false;
                    before_last[ch] = last[ch];
                    last[ch] = Place{m.order[(size_t)o], r};
                }
            }
        }
    }
    return unmended;
}
