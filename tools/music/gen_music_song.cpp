// gen_music_song.cpp -- the composition: seventeen patterns in A minor.
//
// Every pattern is four bars of sixteen rows with one chord per bar. The
// melodies are written out below as note lists; everything else (drums,
// bass lines, pad voicings, arpeggios, string lines, echoes, harmonies,
// fades) is derived from the chords by the rules in the part writers, so no
// note is left to chance. Channels:
//   0 kick, 1 snare/clap, 2 hats, 3 bass, 4-6 pad voices, 7 lead,
//   8 lead echo / harmony / arp echo, 9 pluck arpeggio, 10 bell,
//   11 strings, 12 noise (crashes and sweeps), 13 toms and snare flams.
// The arrangement, by order position: 0-1 intro (pads from silence, bell,
// then bass, strings, arpeggio), 2-5 build (beat, clap, lead glimpse, snare
// roll and sweep), 6-7 the drop into the chorus, 8-9 verses, 10-11 chorus,
// 12 breakdown, 13 bridge, 14 solo, 15 chorus, 16-17 climax, 18 finale,
// 19 ending on A minor.
#include "tools/music/gen_music.h"

#include <cstdlib>
#include <functional>

const uint8_t music_order_table[MUSIC_SONG_LENGTH] = {
    1, 6, 7, 2, 8, 9, 4, 5, 0, 3, 4, 5, 10, 12, 11, 5, 13, 14, 15, 16};

namespace {

enum Ins : uint8_t {
    KICK = 1, SNARE, HATS, BASS, PAD, LEAD, PLUCK, STRINGS, BELL, NOISE, TOM,
};

enum Ch {
    CH_KICK, CH_SNARE, CH_HATS, CH_BASS, CH_PAD, CH_PAD2, CH_PAD3, CH_LEAD,
    CH_ECHO, CH_ARP, CH_BELL, CH_STRINGS, CH_NOISE, CH_TOM,
};

// Effect numbers and volume-column commands used.
enum : uint8_t {
    FX_ARPEGGIO = 0x0, FX_PORTA_UP = 0x1, FX_TONE_PORTA = 0x3, FX_VIBRATO = 0x4,
    FX_PANNING = 0x8, FX_OFFSET = 0x9, FX_EXTENDED = 0xE, FX_KEY_OFF = 20,
    FX_RETRIGGER = 27,
    EX_RETRIG = 0x90, EX_CUT = 0xC0, EX_DELAY = 0xD0,
    VOL_SET = 0x10, VOL_FINE_DOWN = 0x80, VOL_FINE_UP = 0x90, VOL_PAN = 0xC0,
};

constexpr uint8_t KEY_OFF = 97;
constexpr int BAR = 16;

// MIDI pitch (middle C = 60) to XM note (C-4 = 49).
uint8_t xm_note(int midi) { return (uint8_t)(midi - 11); }

struct Chord {
    int root;      // pitch class 0..11
    int third;     // semitones above the root
    bool major;
};

Chord chord_named(const char* s)
{
    static const int pcs[7] = {9, 11, 0, 2, 4, 5, 7};   // A..G
    Chord c{pcs[s[0] - 'A'], 4, true};
    if (s[1] == 'm') { c.third = 3; c.major = false; }
    return c;
}

// A pattern under construction, with its four chords.
struct Pat {
    XmPattern* p;
    Chord chords[4];
    XmCell& at(int row, int ch) { return p->cells[(size_t)row * MUSIC_CHANNELS + ch]; }
    const Chord& chord(int row) const { return chords[row / BAR]; }
};

void note(Pat& P, int row, int ch, int midi, uint8_t ins, int vol = -1,
          uint8_t fx = 0, uint8_t par = 0)
{
    if (row < 0 || row >= MUSIC_ROWS) return;
    XmCell& c = P.at(row, ch);
    c.note = xm_note(midi);
    c.instrument = ins;
    c.volume = vol >= 0 ? (uint8_t)(VOL_SET + vol) : 0;
    c.effect = fx;
    c.parameter = par;
}

void effect(Pat& P, int row, int ch, uint8_t fx, uint8_t par)
{
    if (row < 0 || row >= MUSIC_ROWS) return;
    P.at(row, ch).effect = fx;
    P.at(row, ch).parameter = par;
}

void key_off(Pat& P, int row, int ch)
{
    if (row < 0 || row >= MUSIC_ROWS) return;
    if (P.at(row, ch).note == 0) P.at(row, ch).note = KEY_OFF;
}

// Pitch of a chord tone: degree 0 root, 1 third, 2 fifth, 3 octave, 4 the
// third above it, and so on; the root lies in the octave starting at `base`.
int chord_tone(const Chord& c, int degree, int base)
{
    int root = base + ((c.root - base % 12) + 12) % 12;
    int octave = degree / 3;
    int step = degree % 3;
    int off = step == 0 ? 0 : step == 1 ? c.third : 7;
    return root + 12 * octave + off;
}

// Moves a channel's volume along a curve with the volume column: rows that
// hold a note set it, other rows nudge it with fine slides. `current` is the
// channel's volume at `from` when a note struck earlier is still sounding
// (-1: unknown, nothing changes until the next note).
void volume_curve(Pat& P, int ch, int from, int to, const std::function<int(int)>& level,
                  int current = -1)
{
    for (int r = from; r < to; r++) {
        int want = level(r);
        XmCell& c = P.at(r, ch);
        if (c.note && c.note != KEY_OFF && c.instrument) {
            c.volume = (uint8_t)(VOL_SET + want);
            current = want;
        } else if (current >= 0 && want != current && c.volume == 0) {
            int d = want - current;
            if (d > 15) d = 15;
            if (d < -15) d = -15;
            c.volume = (uint8_t)(d > 0 ? VOL_FINE_UP + d : VOL_FINE_DOWN - d);
            current += d;
        }
    }
}

// ---- drums ---------------------------------------------------------------

void kick_four(Pat& P, int from, int to, int vol = 60)
{
    for (int r = from; r < to; r += 4) note(P, r, CH_KICK, 60, KICK, vol);
}

void kick_half(Pat& P, int from, int to, int vol = 60)
{
    for (int r = from; r < to; r += 8) note(P, r, CH_KICK, 60, KICK, vol);
}

void snare_backbeat(Pat& P, int from, int to, int vol = 48)
{
    for (int r = from; r < to; r++)
        if (r % 8 == 4) note(P, r, CH_SNARE, 60, SNARE, vol);
}

// Hats. Closed: on every offbeat eighth. Busy: closed sixteenths with the
// offbeats accented. Open: open hats on the offbeats, closed ghosts between.
enum HatStyle { HATS_CLOSED, HATS_BUSY, HATS_OPEN };

void hats(Pat& P, int from, int to, HatStyle style, int vol = 28)
{
    for (int r = from; r < to; r++) {
        bool off = r % 4 == 2;
        switch (style) {
        case HATS_CLOSED:
            if (off) note(P, r, CH_HATS, 60, HATS, vol);
            break;
        case HATS_BUSY:
            note(P, r, CH_HATS, 60, HATS, off ? vol : r % 2 ? vol * 2 / 3 : vol / 2);
            break;
        case HATS_OPEN:
            if (off) note(P, r, CH_HATS, 72, HATS, vol);
            else if (r % 2) note(P, r, CH_HATS, 60, HATS, vol / 2);
            break;
        }
    }
}

void crash(Pat& P, int row, int vol = 32)
{
    note(P, row, CH_NOISE, 72, NOISE, vol, FX_KEY_OFF, 0);
}

// A noise sweep from `from` to `to`: the held noise rises in pitch with
// portamento up while its volume follows `level` (by default a swell to
// `peak`), then is released.
void sweep(Pat& P, int from, int to, int start_midi, int peak, int speed = 2,
           std::function<int(int)> level = nullptr)
{
    note(P, from, CH_NOISE, start_midi, NOISE, 0, FX_PORTA_UP, (uint8_t)speed);
    for (int r = from + 1; r < to; r++) effect(P, r, CH_NOISE, FX_PORTA_UP, (uint8_t)speed);
    if (!level) level = [=](int r) { return peak * (r - from + 1) / (to - from); };
    volume_curve(P, CH_NOISE, from, to, level);
    if (to < MUSIC_ROWS) key_off(P, to, CH_NOISE);
}

// Snare fill over the last `rows` rows: sixteenths growing louder; the last
// two rows retrigger every two ticks, and a ghost note a half row late
// (note delay) and a softer hit from the middle of the sample (offset) add
// a flam. The ghost plays on the snare's own channel, which is free then,
// and is cut a tick after the hit comes in; the hit plays on the tom
// channel, or on the bell's where a tom fill already starts there (each
// voice must have fallen silent before its next note starts it again).
void snare_fill(Pat& P, int rows, int from_vol, int to_vol, bool roll)
{
    int start = MUSIC_ROWS - rows;
    for (int r = start; r < MUSIC_ROWS; r++) {
        int v = from_vol + (to_vol - from_vol) * (r - start) / (rows - 1);
        note(P, r, CH_SNARE, 60, SNARE, v);
    }
    if (roll) {
        effect(P, MUSIC_ROWS - 2, CH_SNARE, FX_EXTENDED, EX_RETRIG | 3);
        effect(P, MUSIC_ROWS - 1, CH_SNARE, FX_EXTENDED, EX_RETRIG | 2);
    }
    note(P, start - 2, CH_SNARE, 60, SNARE, 20, FX_EXTENDED, EX_DELAY | 3);
    effect(P, start - 1, CH_SNARE, FX_EXTENDED, EX_CUT | 1);
    int hit = CH_TOM;
    for (int r = start - 1; r <= start + 1; r++)
        if (P.at(r, CH_TOM).note) hit = CH_BELL;
    note(P, start - 1, hit, 60, SNARE, 28, FX_OFFSET, MUSIC_FLAM_OFFSET);
}

// Tom fill over the last `rows` rows, falling through the chord's tones and
// moving across the stereo field.
void tom_fill(Pat& P, int rows)
{
    static const int pitch[8] = {67, 67, 64, 64, 60, 60, 55, 55};
    static const uint8_t pan[8] = {3, 4, 6, 7, 9, 10, 12, 13};   // x 16
    int start = MUSIC_ROWS - rows;
    for (int i = 0; i < rows; i++) {
        int k = i * 8 / rows;
        note(P, start + i, CH_TOM, pitch[k], TOM);
        P.at(start + i, CH_TOM).volume = (uint8_t)(VOL_PAN | pan[k]);
    }
}

// ---- bass ----------------------------------------------------------------

// The root of the chord in the bass register (C2..B2).
int bass_root(const Chord& c) { return chord_tone(c, 0, 36); }

void bass_long(Pat& P, int from, int to, int vol = 44, bool slide = false)
{
    for (int r = from; r < to; r += BAR) {
        note(P, r, CH_BASS, bass_root(P.chord(r)) - 12, BASS, vol);
        if (slide && r + BAR < MUSIC_ROWS) {
            // Glide into the next bar's root over the last two rows.
            XmCell& c = P.at(r + BAR - 2, CH_BASS);
            c.note = xm_note(bass_root(P.chord(r + BAR)) - 12);
            c.effect = FX_TONE_PORTA;
            c.parameter = 0x08;
            effect(P, r + BAR - 1, CH_BASS, FX_TONE_PORTA, 0);
        }
    }
}

// Offbeat eighths, cut short so they pump against the kick.
void bass_offbeat(Pat& P, int from, int to, int vol = 42)
{
    for (int r = from; r < to; r++)
        if (r % 4 == 2) {
            int n = bass_root(P.chord(r)) + (r % 16 == 14 ? 12 : 0);
            note(P, r, CH_BASS, n, BASS, vol, FX_EXTENDED, EX_CUT | 4);
        }
}

// Rolling sixteenths on the three steps between kicks; the last beat of each
// bar climbs root, fifth, octave towards the next chord.
void bass_rolling(Pat& P, int from, int to, int vol = 40)
{
    for (int r = from; r < to; r++) {
        int step = r % 4;
        if (step == 0) continue;
        const Chord& c = P.chord(r);
        int root = bass_root(c);
        int n = root;
        if (r % 16 >= 12) n = step == 1 ? root : step == 2 ? root + 7 : root + 12;
        else if (step == 3) n = root + 12;
        note(P, r, CH_BASS, n, BASS, step == 2 ? vol : vol - 8);
    }
}

// ---- pads and strings ----------------------------------------------------

// Three pad voices; each chord is voiced as the inversion closest to the
// previous one (bottom note within E3..D#4), and only voices whose pitch
// changes are restruck.
void pads(Pat& P, int from_bar, int to_bar, int vol = 22)
{
    static const uint8_t pan[3] = {0x50, 0x80, 0xB0};
    int prev[3] = {57, 60, 64};   // A3 C4 E4
    bool first = true;
    for (int b = from_bar; b < to_bar; b++) {
        const Chord& c = P.chords[b];
        int best[3] = {0, 0, 0};
        int best_cost = 1 << 30;
        for (int base = 52; base < 64; base++) {
            for (int inv = 0; inv < 3; inv++) {
                int v[3];
                for (int i = 0; i < 3; i++) v[i] = chord_tone(c, inv + i, 0);
                int shift = base - v[0];
                if (shift % 12) continue;
                int cost = 0;
                for (int i = 0; i < 3; i++) cost += std::abs(v[i] + shift - prev[i]);
                if (cost < best_cost) {
                    best_cost = cost;
                    for (int i = 0; i < 3; i++) best[i] = v[i] + shift;
                }
            }
        }
        for (int i = 0; i < 3; i++) {
            if (first || best[i] != prev[i])
                note(P, b * BAR, CH_PAD + i, best[i], PAD, vol, FX_PANNING, pan[i]);
            prev[i] = best[i];
        }
        first = false;
    }
}

// Gives all three pad voices a volume curve.
void pads_curve(Pat& P, int from, int to, const std::function<int(int)>& level,
                int current = -1)
{
    for (int i = 0; i < 3; i++) volume_curve(P, CH_PAD + i, from, to, level, current);
}

// The string line: one voice that moves to the nearest tone of each chord.
void strings(Pat& P, int from_bar, int to_bar, int vol = 26, int start = 64)
{
    int prev = start;
    for (int b = from_bar; b < to_bar; b++) {
        const Chord& c = P.chords[b];
        int best = prev, best_d = 99;
        for (int d = 0; d < 9; d++) {
            int n = chord_tone(c, d, 48);
            int dist = std::abs(n - prev);
            if (dist < best_d) { best_d = dist; best = n; }
        }
        if (b == from_bar || best != prev) note(P, b * BAR, CH_STRINGS, best, STRINGS, vol);
        prev = best;
    }
}

// ---- arpeggios -----------------------------------------------------------

enum ArpStyle { ARP_UP, ARP_UPDOWN };

// Pluck sixteenths through the chord tones from the root at A4..G#5.
void arp(Pat& P, int from, int to, ArpStyle style, int vol = 22)
{
    static const int up[8] = {0, 1, 2, 3, 0, 1, 2, 3};
    static const int updown[8] = {0, 1, 2, 3, 4, 3, 2, 1};
    // (Indexing the conditional expression itself is miscompiled by g++ 12
    // with -fsanitize=undefined; a named pointer is not.)
    const int* order = style == ARP_UP ? up : updown;
    for (int r = from; r < to; r++) {
        int d = order[r % 8];
        int n = chord_tone(P.chord(r), d, 57);
        note(P, r, CH_ARP, n, PLUCK, r % 4 == 0 ? vol : vol - 6);
    }
}

// The arpeggio echoed three rows later, quieter and on the right. The
// echoes take turns on the echo channel (odd rows) and `other` (even rows),
// so that each can be cut a tick into the next row, as long as it sounded
// when the next echo cut it off, without restarting a sounding voice.
void arp_echo(Pat& P, int from, int to, int other)
{
    for (int r = from + 3; r < to; r++) {
        const XmCell& src = P.at(r - 3, CH_ARP);
        int ch = r % 2 ? CH_ECHO : other;
        if (!src.note || src.note == KEY_OFF || P.at(r, ch).note) continue;
        XmCell& c = P.at(r, ch);
        c = src;
        c.volume = (uint8_t)(VOL_SET + (src.volume - VOL_SET) / 2);
        c.effect = FX_PANNING;
        c.parameter = 0xD8;
        if (r + 1 < MUSIC_ROWS) effect(P, r + 1, ch, FX_EXTENDED, EX_CUT | 1);
    }
}

// Chip-style stabs: the pluck plays the chord as a fast arpeggio effect
// (root, third, fifth cycling every tick) on chosen rows.
void arp_stabs(Pat& P, int from, int to, const int* rows, int count, int vol = 26)
{
    for (int r = from; r < to; r++) {
        for (int i = 0; i < count; i++) {
            if (r % BAR != rows[i]) continue;
            const Chord& c = P.chord(r);
            note(P, r, CH_ARP, chord_tone(c, 0, 69), PLUCK, vol, FX_ARPEGGIO,
                 (uint8_t)((c.third << 4) | 7));
        }
    }
}

// ---- melodies ------------------------------------------------------------

// One note or rest of a written melody.
struct MelodyNote {
    int row;
    int len;       // rows
    int midi;      // 0 = rest
    bool glide;    // tone portamento into this note from the one before
    bool vibrato;  // vibrato on its sustained rows
    bool release;  // a rest that keys the note before it off
};

// Parses "E5:6 D5:2 /F5:6~ r:4 -:2": pitch (with # or b) and octave, or r
// (rest, let ring) or - (rest with key-off); a colon and the length in rows;
// a leading / glides into the note, a trailing ~ adds vibrato.
std::vector<MelodyNote> parse_melody(const char* s)
{
    std::vector<MelodyNote> out;
    int row = 0;
    while (*s) {
        while (*s == ' ' || *s == '|') s++;
        if (!*s) break;
        MelodyNote m{row, 0, 0, false, false, false};
        if (*s == '/') { m.glide = true; s++; }
        if (*s == 'r') s++;
        else if (*s == '-') { m.release = true; s++; }
        else {
            static const int pcs[7] = {9, 11, 0, 2, 4, 5, 7};
            int pc = pcs[*s++ - 'A'];
            if (*s == '#') { pc++; s++; }
            else if (*s == 'b') { pc--; s++; }
            int octave = *s++ - '0';
            m.midi = (octave + 1) * 12 + pc;
        }
        if (*s == ':') s++;
        m.len = (int)std::strtol(s, (char**)&s, 10);
        if (*s == '~') { m.vibrato = true; s++; }
        out.push_back(m);
        row += m.len;
    }
    return out;
}

// Writes a melody on a channel: notes carry the instrument and a volume;
// glides leave both out so the note flows on (legato) and slide with tone
// portamento; long notes get vibrato after their first rows.
void melody(Pat& P, int ch, uint8_t ins, const char* text, int vol, int transpose = 0,
            uint8_t pan = 0)
{
    for (const MelodyNote& m : parse_melody(text)) {
        if (m.release) { key_off(P, m.row, ch); continue; }
        if (!m.midi) continue;
        int n = m.midi + transpose;
        if (m.glide) {
            XmCell& c = P.at(m.row, ch);
            c.note = xm_note(n);
            c.effect = FX_TONE_PORTA;
            c.parameter = 0x0C;
            if (m.row + 1 < MUSIC_ROWS) effect(P, m.row + 1, ch, FX_TONE_PORTA, 0);
        } else {
            note(P, m.row, ch, n, ins, vol, pan ? FX_PANNING : 0, pan);
        }
        if (m.vibrato)
            for (int r = m.row + 4; r < m.row + m.len && r < MUSIC_ROWS; r++)
                if (!P.at(r, ch).effect) effect(P, r, ch, FX_VIBRATO, 0x52);
    }
}

// The lead melody echoed `delay` rows later on the echo channel, softer and
// to the right.
void echo_of(Pat& P, int src_ch, int delay, int vol)
{
    for (int r = MUSIC_ROWS - 1; r >= delay; r--) {
        const XmCell& s = P.at(r - delay, src_ch);
        XmCell& c = P.at(r, CH_ECHO);
        if (!s.note) continue;
        if (s.note == KEY_OFF) { c.note = KEY_OFF; continue; }
        c.note = s.note;
        c.instrument = s.instrument ? s.instrument : (uint8_t)LEAD;
        c.volume = (uint8_t)(VOL_SET + vol);
        c.effect = FX_PANNING;
        c.parameter = 0xC8;
    }
}

// A harmony on channel `to`: each lead note is doubled by the nearest tone
// of the current chord that lies at least a minor third below it.
void harmony_of(Pat& P, int vol, int to = CH_ECHO)
{
    for (int r = 0; r < MUSIC_ROWS; r++) {
        const XmCell& s = P.at(r, CH_LEAD);
        XmCell& c = P.at(r, to);
        if (!s.note) {
            if (s.effect == FX_TONE_PORTA) c = s;   // the glide goes on
            continue;
        }
        if (s.note == KEY_OFF) { c.note = KEY_OFF; continue; }
        int midi = s.note + 11;
        const Chord& ch = P.chord(r);
        int h = midi - 3;
        for (int d = 3; d <= 9; d++) {
            int pc = (midi - d) % 12;
            int rel = (pc - ch.root + 12) % 12;
            if (rel == 0 || rel == ch.third || rel == 7) { h = midi - d; break; }
        }
        c = s;
        c.note = xm_note(h);
        if (s.instrument) c.volume = (uint8_t)(VOL_SET + vol);
        if (!c.effect) { c.effect = FX_PANNING; c.parameter = 0xB0; }
    }
}

// Releases, at row 0, the sustaining channels that a pattern leaves silent
// there, so nothing held by whichever pattern came before rings on.
void release_unused(XmPattern& p)
{
    for (int ch : {CH_BASS, CH_PAD, CH_PAD2, CH_PAD3, CH_LEAD, CH_ECHO, CH_STRINGS, CH_NOISE})
        if (!p.cells[ch].note) p.cells[ch].note = KEY_OFF;
}

// ---- the patterns --------------------------------------------------------

Pat make(XmPattern& p, const char* a, const char* b, const char* c, const char* d)
{
    Pat P{&p, {chord_named(a), chord_named(b), chord_named(c), chord_named(d)}};
    p.rows = MUSIC_ROWS;
    p.cells.assign((size_t)MUSIC_ROWS * MUSIC_CHANNELS, XmCell{});
    return P;
}

// Order 0, intro: the pads swell out of silence under a low wind, and the
// bell hints at the chorus.
void intro_a(XmPattern& p)
{
    Pat P = make(p, "Am", "F", "C", "G");
    pads(P, 0, 4);
    pads_curve(P, 0, 64, [](int r) { return r < 48 ? r / 2 : 24; });
    melody(P, CH_BELL, BELL, "r:8 E5:6 D5:2 | C5:16 | r:8 E5:6 G5:2 | D5:16", 26);
    sweep(P, 0, 63, 45, 14, 1, [](int r) { return r < 40 ? r * 14 / 40 : (63 - r) * 14 / 23; });
}

// Order 1: bass and strings arrive, the arpeggio fades in, hats creep in,
// a sweep and toms lead into the beat.
void intro_b(XmPattern& p)
{
    Pat P = make(p, "Am", "F", "G", "E");
    pads(P, 0, 4, 24);
    bass_long(P, 0, 64, 40);
    strings(P, 0, 4, 22);
    arp(P, 0, 64, ARP_UP, 22);
    volume_curve(P, CH_ARP, 0, 64, [](int r) { return 4 + r / 4; });
    hats(P, 32, 56, HATS_BUSY, 20);
    melody(P, CH_BELL, BELL, "r:8 E5:6 D5:2 | C5:12 A4:4 | D5:12 E5:4 | B4:16", 28);
    sweep(P, 32, 63, 48, 30, 3);
    tom_fill(P, 8);
}

// Order 2, the beat: kick, offbeat bass and hats under the pads.
void build_a(XmPattern& p)
{
    Pat P = make(p, "Am", "F", "C", "G");
    crash(P, 0);
    kick_four(P, 0, 64);
    hats(P, 0, 64, HATS_CLOSED, 26);
    bass_offbeat(P, 0, 64);
    pads(P, 0, 4, 22);
    strings(P, 0, 4, 20);
    note(P, 60, CH_SNARE, 60, SNARE, 30);
    note(P, 62, CH_SNARE, 60, SNARE, 36);
    note(P, 63, CH_SNARE, 60, SNARE, 40);
}

// Order 3: the clap on two and four, the arpeggio with its echo.
void build_b(XmPattern& p)
{
    Pat P = make(p, "Am", "F", "C", "G");
    kick_four(P, 0, 64);
    snare_backbeat(P, 0, 56, 38);
    hats(P, 0, 64, HATS_BUSY, 26);
    bass_offbeat(P, 0, 64);
    pads(P, 0, 4, 22);
    strings(P, 0, 4, 22);
    arp(P, 0, 64, ARP_UP, 20);
    arp_echo(P, 0, 64, CH_LEAD);
    snare_fill(P, 8, 24, 44, false);
}

// Order 4: busier hats, the arpeggio rocking up and down, and a first
// glimpse of the lead (the rolling bass waits for the drop).
void build_c(XmPattern& p)
{
    Pat P = make(p, "Dm", "Am", "F", "G");
    crash(P, 0, 24);
    kick_four(P, 0, 64);
    snare_backbeat(P, 0, 64, 40);
    hats(P, 0, 64, HATS_BUSY, 26);
    bass_offbeat(P, 0, 64);
    pads(P, 0, 4, 22);
    arp(P, 0, 64, ARP_UPDOWN, 18);
    melody(P, CH_LEAD, LEAD, "r:8 A4:4 C5:4 | E5:12~ D5:4 | C5:8 A4:6 C5:2 | B4:10~ -:6", 36);
    echo_of(P, CH_LEAD, 3, 14);
    tom_fill(P, 8);
}

// Order 5, before the drop: the snare tightens from quarters to a
// retriggered roll, the sweep rises, the kick drops out for the last bar.
void pre_drop(XmPattern& p)
{
    Pat P = make(p, "F", "G", "E", "E");
    kick_four(P, 0, 48);
    for (int r = 0; r < 64; r++) {
        bool hit = r < 16 ? r % 8 == 4 : r < 32 ? r % 4 == 0 : r < 48 ? r % 2 == 0 : true;
        if (hit) note(P, r, CH_SNARE, 60, SNARE, 20 + r * 28 / 63);
    }
    effect(P, 60, CH_SNARE, FX_EXTENDED, EX_RETRIG | 3);
    effect(P, 61, CH_SNARE, FX_EXTENDED, EX_RETRIG | 3);
    effect(P, 62, CH_SNARE, FX_EXTENDED, EX_RETRIG | 2);
    effect(P, 63, CH_SNARE, FX_RETRIGGER, 0x91);   // every tick, louder each time
    hats(P, 0, 48, HATS_BUSY, 24);
    bass_offbeat(P, 0, 32);
    bass_long(P, 32, 64, 40);
    key_off(P, 60, CH_BASS);
    pads(P, 0, 4, 24);
    strings(P, 0, 4, 24);
    arp(P, 0, 64, ARP_UP, 22);
    volume_curve(P, CH_ARP, 0, 64, [](int r) { return 14 + r / 6; });
    sweep(P, 0, 64, 48, 34, 2);
    melody(P, CH_LEAD, LEAD, "r:16 | r:16 | r:16 | r:8 B4:2 C5:2 D5:4", 36);
}

// The chorus melody, first half (over Am F C G) and second half (Am F G E).
const char* const CHORUS_A =
    "E5:6 D5:2 C5:4 B4:2 C5:2 | A4:6 C5:2 /F5:6~ E5:2 | E5:6 G5:2 E5:4 D5:2 C5:2 | D5:8~ B4:4 G4:4";
const char* const CHORUS_B =
    "E5:6 D5:2 C5:4 B4:2 C5:2 | A4:6 C5:2 F5:4 E5:2 D5:2 | D5:6 E5:2 D5:4 B4:4 | B4:6 C5:2 B4:4 G#4:4";

void full_groove(Pat& P, int vol_hats = 28)
{
    kick_four(P, 0, 64);
    snare_backbeat(P, 0, 64, 50);
    hats(P, 0, 64, HATS_OPEN, vol_hats);
    bass_rolling(P, 0, 64);
    pads(P, 0, 4, 22);
}

// Orders 6, 10: the chorus, first half.
void chorus_a(XmPattern& p)
{
    Pat P = make(p, "Am", "F", "C", "G");
    crash(P, 0);
    full_groove(P);
    melody(P, CH_LEAD, LEAD, CHORUS_A, 40);
    echo_of(P, CH_LEAD, 3, 14);
    arp(P, 0, 64, ARP_UP, 16);
    strings(P, 0, 4, 20);
}

// Orders 7, 11, 15: the chorus, second half, ending on the dominant.
void chorus_b(XmPattern& p)
{
    Pat P = make(p, "Am", "F", "G", "E");
    full_groove(P);
    melody(P, CH_LEAD, LEAD, CHORUS_B, 40);
    echo_of(P, CH_LEAD, 3, 14);
    arp(P, 0, 64, ARP_UPDOWN, 16);
    strings(P, 0, 4, 24);
    snare_fill(P, 8, 26, 46, true);
    tom_fill(P, 4);
}

// Order 8, the verse: the bell carries the tune over the groove.
void verse_a(XmPattern& p)
{
    Pat P = make(p, "Am", "Em", "F", "G");
    crash(P, 0, 26);
    kick_four(P, 0, 64);
    snare_backbeat(P, 0, 64, 34);
    hats(P, 0, 64, HATS_BUSY, 24);
    bass_rolling(P, 0, 64, 38);
    pads(P, 0, 4, 20);
    melody(P, CH_BELL, BELL,
           "A5:2 E5:2 C5:2 E5:2 A5:4 G5:2 E5:2 | G5:2 E5:2 B4:2 E5:2 G5:4 B5:4 | "
           "A5:2 F5:2 C5:2 F5:2 A5:4 C6:2 A5:2 | B5:2 G5:2 D5:2 G5:2 B5:6 r:2", 30);
    echo_of(P, CH_BELL, 3, 12);
    for (int r = 3; r < 64; r++)
        if (P.at(r, CH_ECHO).note && P.at(r, CH_ECHO).note != KEY_OFF) P.at(r, CH_ECHO).instrument = BELL;
    snare_fill(P, 4, 26, 40, false);
}

// Order 9: the verse again over new chords, with strings and a lead
// counter-line.
void verse_b(XmPattern& p)
{
    Pat P = make(p, "Dm", "Am", "F", "G");
    kick_four(P, 0, 64);
    snare_backbeat(P, 0, 56, 38);
    hats(P, 0, 64, HATS_BUSY, 24);
    bass_rolling(P, 0, 64, 38);
    pads(P, 0, 4, 20);
    strings(P, 0, 4, 24);
    melody(P, CH_BELL, BELL,
           "A5:2 F5:2 D5:2 F5:2 A5:4 F5:4 | E5:2 C5:2 A4:2 C5:2 E5:4 A5:4 | "
           "F5:2 C5:2 A4:2 C5:2 F5:4 A5:4 | G5:2 D5:2 B4:2 D5:2 G5:4 B5:2 D6:2", 26);
    melody(P, CH_LEAD, LEAD, "r:8 D5:4 E5:4 | C5:12~ -:4 | r:8 A4:4 C5:4 | B4:8~ D5:6 -:2", 34);
    echo_of(P, CH_LEAD, 3, 12);
    snare_fill(P, 8, 28, 48, true);
    crash(P, 56, 18);
}

// Order 12, the breakdown: no kick, long gliding bass, strings and a slow
// falling lead; chip arpeggio stabs keep it moving.
void breakdown(XmPattern& p)
{
    Pat P = make(p, "F", "G", "Em", "Am");
    crash(P, 0, 28);
    bass_long(P, 0, 64, 42, true);
    pads(P, 0, 4, 26);
    strings(P, 0, 4, 28);
    hats(P, 32, 64, HATS_CLOSED, 20);
    static const int stabs[4] = {0, 6, 10, 12};
    arp_stabs(P, 0, 64, stabs, 4, 22);
    melody(P, CH_LEAD, LEAD, "A5:6 G5:2 F5:8~ | G5:6 F5:2 D5:8~ | E5:6 D5:2 B4:8~ | C5:6 B4:2 A4:8~", 36);
    echo_of(P, CH_LEAD, 6, 12);
    sweep(P, 48, 64, 50, 26, 4);
}

// Order 13, the bridge: half-time kick growing into four to the floor, a
// rising lead sequence and a snare roll.
void bridge(XmPattern& p)
{
    Pat P = make(p, "Dm", "Em", "F", "G");
    crash(P, 0, 20);
    kick_half(P, 0, 32);
    kick_four(P, 32, 64);
    snare_backbeat(P, 32, 48, 38);
    hats(P, 0, 64, HATS_BUSY, 22);
    bass_offbeat(P, 0, 64);
    pads(P, 0, 4, 22);
    arp(P, 0, 64, ARP_UP, 18);
    volume_curve(P, CH_ARP, 0, 64, [](int r) { return 10 + r / 5; });
    melody(P, CH_LEAD, LEAD, "D5:4 F5:4 A5:8~ | E5:4 G5:4 B5:8~ | F5:4 A5:4 C6:8~ | G5:4 B5:4 D6:8", 34);
    echo_of(P, CH_LEAD, 3, 12);
    snare_fill(P, 16, 18, 46, true);
}

// Order 14, the solo: the lead climbs high with glides, the pluck plays
// chip arpeggios on the offbeats.
void solo(XmPattern& p)
{
    Pat P = make(p, "Am", "F", "C", "G");
    crash(P, 0);
    full_groove(P);
    static const int stabs[4] = {2, 6, 10, 14};
    arp_stabs(P, 0, 64, stabs, 4, 20);
    melody(P, CH_LEAD, LEAD,
           "E6:4 D6:2 C6:2 B5:2 C6:2 A5:4 | C6:6 A5:2 F5:4 /A5:4 | "
           "G5:4 E5:2 G5:2 C6:4 B5:2 C6:2 | D6:8~ B5:4 /G5:4", 36);
    echo_of(P, CH_LEAD, 3, 12);
    melody(P, CH_BELL, BELL, "A5:16 | F5:16 | E5:16 | D5:16", 16);
}

// Order 16, the climax: the chorus tune with a harmony a third below,
// strings and the bell doubling an octave up.
void climax_a(XmPattern& p)
{
    Pat P = make(p, "Am", "F", "C", "G");
    crash(P, 0, 34);
    full_groove(P, 30);
    strings(P, 0, 4, 26);
    melody(P, CH_LEAD, LEAD, CHORUS_A, 40);
    // The harmony plays on the tom channel, free here, so that it does not
    // restart the echo that the chorus before leaves sounding; it ends on
    // the last tick, where the next pattern's harmony takes over.
    harmony_of(P, 26, CH_TOM);
    effect(P, 63, CH_TOM, FX_EXTENDED, EX_CUT | 5);
    melody(P, CH_BELL, BELL, CHORUS_A, 14, 12);
    arp(P, 0, 64, ARP_UPDOWN, 14);
}

// Order 17: the climax answers on the subdominant and ends on the dominant
// with a full fill.
void climax_b(XmPattern& p)
{
    Pat P = make(p, "Dm", "F", "G", "E");
    full_groove(P, 30);
    strings(P, 0, 4, 26);
    melody(P, CH_LEAD, LEAD, "F5:6 E5:2 D5:4 C5:2 D5:2 | C5:6 A4:2 /F5:6~ E5:2 | D5:6 E5:2 /G5:8~ | G#5:6 A5:2 B5:8~", 40);
    harmony_of(P, 26);
    arp(P, 0, 64, ARP_UP, 14);
    tom_fill(P, 8);
    snare_fill(P, 8, 30, 50, true);
    sweep(P, 32, 64, 52, 30, 3);
}

// Order 18, the finale: the chorus tune returns on the bell over a lighter
// groove.
void finale(XmPattern& p)
{
    Pat P = make(p, "Am", "F", "C", "G");
    crash(P, 0, 34);
    kick_four(P, 0, 64);
    hats(P, 0, 64, HATS_CLOSED, 26);
    bass_rolling(P, 0, 64, 38);
    pads(P, 0, 4, 24);
    strings(P, 0, 4, 26);
    melody(P, CH_BELL, BELL, CHORUS_A, 32);
    arp(P, 0, 64, ARP_UPDOWN, 16);
    arp_echo(P, 0, 64, CH_LEAD);
    snare_fill(P, 4, 24, 36, false);
}

// Order 19, the ending: Dm, E and a final A minor chord that rings out and
// fades, the lead resolving to A with vibrato.
void ending(XmPattern& p)
{
    Pat P = make(p, "Dm", "E", "Am", "Am");
    kick_four(P, 0, 24);
    snare_backbeat(P, 0, 24, 40);
    hats(P, 0, 24, HATS_OPEN, 26);
    bass_rolling(P, 0, 24);
    for (int i = 0; i < 8; i++) {
        static const int pitch[8] = {67, 67, 64, 64, 60, 60, 55, 55};
        note(P, 24 + i, CH_TOM, pitch[i], TOM, 40);
    }
    pads(P, 0, 3, 24);
    strings(P, 0, 3, 26);
    melody(P, CH_LEAD, LEAD, "F5:6 E5:2 D5:8~ | E5:6 D5:2 /B4:8~ | A4:26~ -:6", 40);
    echo_of(P, CH_LEAD, 3, 12);
    // The final chord.
    crash(P, 32, 36);
    note(P, 32, CH_KICK, 60, KICK, 60);
    note(P, 32, CH_BASS, 33, BASS, 44);
    static const int arp_up[5] = {69, 72, 76, 81, 84};
    for (int i = 0; i < 5; i++) note(P, 32 + 2 * i, CH_BELL, arp_up[i], BELL, 30 - 2 * i);
    note(P, 32, CH_ARP, 57, PLUCK, 24, FX_ARPEGGIO, 0x37);
    auto fade = [](int r) { return r < 40 ? 24 : 24 - (r - 40); };
    pads_curve(P, 32, 64, [&](int r) { int v = fade(r); return v < 0 ? 0 : v; }, 24);
    volume_curve(P, CH_STRINGS, 32, 64, [&](int r) { int v = fade(r) + 2; return v < 0 ? 0 : v; }, 26);
    volume_curve(P, CH_BASS, 32, 64, [&](int r) { int v = 44 - (r > 44 ? (r - 44) * 2 : 0); return v < 0 ? 0 : v; });
    volume_curve(P, CH_LEAD, 32, 64, [&](int r) { return r < 44 ? 40 : 40 - (r - 44) * 2; });
    for (int ch : {CH_BASS, CH_PAD, CH_PAD2, CH_PAD3, CH_STRINGS}) key_off(P, 60, ch);
}

}  // namespace

void music_compose(std::vector<XmPattern>& out)
{
    out.assign(MUSIC_PATTERNS, XmPattern{});
    verse_a(out[0]);
    intro_a(out[1]);
    build_b(out[2]);
    verse_b(out[3]);
    chorus_a(out[4]);
    chorus_b(out[5]);
    intro_b(out[6]);
    build_a(out[7]);
    build_c(out[8]);
    pre_drop(out[9]);
    breakdown(out[10]);
    solo(out[11]);
    bridge(out[12]);
    climax_a(out[13]);
    climax_b(out[14]);
    finale(out[15]);
    ending(out[16]);
    for (XmPattern& p : out) release_unused(p);
}
