// gen_music_preview.cpp -- a rough offline renderer for listening to drafts.
//
// A preview aid of the generator only, never linked into the show: the show
// plays the module through player/ and audio/. It reads back the XM file the
// generator wrote and plays the features the composition uses (notes,
// instruments, volume column, envelopes, fade-out, auto-vibrato, arpeggio,
// portamento, tone portamento, vibrato, panning, sample offset, retrigger,
// note cut and delay, key-off) with the same gain law as the show's mixer,
// but without its gain ramps or its exact rounding.
#include "tools/music/gen_music.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct PSample {
    std::vector<float> data;     // values in 16-bit units, plus one guard value
    uint32_t loop_start, end;    // end of play
    bool looped;
    int volume, finetune, panning, relative_note;
};

struct PEnv {
    int points;
    int x[12], y[12];
    int sustain, loop_start, loop_end, type;
};

struct PInstrument {
    std::vector<PSample> samples;
    uint8_t keymap[96];
    PEnv venv, penv;
    int vib_type, vib_sweep, vib_depth, vib_rate;
    int fadeout;                 // per tick, as the loader doubles it
};

struct PChannel {
    const PInstrument* ins;
    const PSample* smp;
    double pos;
    bool playing;
    int note, real_note, period, note_period, period_delta;
    int volume, panning;
    int venv_tick, penv_tick, venv_out, penv_out;
    bool key_off;
    int fadeout;
    int autovib_pos, autovib_sweep;
    int porta_target, porta_speed, porta_up, porta_down;
    int vib_pos, vib_speed, vib_depth;
    int slide_memory, retrig_action, retrig_interval;
    uint32_t start_offset;
};

struct Reader {
    const std::vector<uint8_t>& b;
    size_t p;
    int u8() { return p < b.size() ? b[p++] : 0; }
    int u16() { int v = u8(); return v | (u8() << 8); }
    uint32_t u32() { uint32_t v = (uint32_t)u16(); return v | ((uint32_t)u16() << 16); }
};

// Envelope value at tick t, honouring sustain (until key-off) and loop.
int envelope_at(const PEnv& e, int& t, bool key_off, bool advance)
{
    if (!(e.type & 1) || e.points < 2) return -1;
    if ((e.type & 2) && !key_off && t >= e.x[e.sustain]) t = e.x[e.sustain];
    if ((e.type & 4) && t >= e.x[e.loop_end]) t = e.x[e.loop_start] + (t - e.x[e.loop_end]);
    int v = e.y[e.points - 1];
    for (int i = 0; i + 1 < e.points; i++) {
        if (t < e.x[i + 1]) {
            int span = e.x[i + 1] - e.x[i];
            v = span ? e.y[i] + (e.y[i + 1] - e.y[i]) * (t - e.x[i]) / span : e.y[i];
            break;
        }
    }
    if (advance) t++;
    return v;
}

}  // namespace

void music_render_preview(const std::vector<uint8_t>& xm, int rate, std::vector<int16_t>& out,
                          uint32_t muted)
{
    out.clear();
    Reader r{xm, 60};
    uint32_t header = r.u32();
    int song_length = r.u16();
    r.u16();
    int channels = r.u16();
    int npat = r.u16();
    int nins = r.u16();
    r.u16();
    int speed = r.u16();
    int bpm = r.u16();
    uint8_t orders[256];
    for (int i = 0; i < 256; i++) orders[i] = (uint8_t)r.u8();
    r.p = 60 + header;

    std::vector<std::vector<MusicCell>> patterns(npat);
    std::vector<int> rows(npat);
    for (int p = 0; p < npat; p++) {
        r.u32();
        r.u8();
        rows[p] = r.u16();
        r.u16();
        patterns[p].assign(rows[p] * channels, MusicCell{});
        for (MusicCell& c : patterns[p]) {
            int b = r.u8();
            uint8_t f[5] = {0, 0, 0, 0, 0};
            if (b & 0x80) {
                for (int i = 0; i < 5; i++) if (b & (1 << i)) f[i] = (uint8_t)r.u8();
            } else {
                f[0] = (uint8_t)b;
                for (int i = 1; i < 5; i++) f[i] = (uint8_t)r.u8();
            }
            c = MusicCell{f[0], f[1], f[2], f[3], f[4]};
        }
    }

    std::vector<PInstrument> ins(nins);
    for (PInstrument& in : ins) {
        size_t start = r.p;
        uint32_t size = r.u32();
        r.p += 23;
        int ns = r.u16();
        if (!ns) { r.p = start + size; continue; }
        r.u32();
        for (int k = 0; k < 96; k++) in.keymap[k] = (uint8_t)r.u8();
        for (PEnv* e : {&in.venv, &in.penv})
            for (int i = 0; i < 12; i++) { e->x[i] = r.u16(); e->y[i] = r.u16(); }
        in.venv.points = r.u8(); in.penv.points = r.u8();
        in.venv.sustain = r.u8(); in.venv.loop_start = r.u8(); in.venv.loop_end = r.u8();
        in.penv.sustain = r.u8(); in.penv.loop_start = r.u8(); in.penv.loop_end = r.u8();
        in.venv.type = r.u8(); in.penv.type = r.u8();
        in.vib_type = r.u8(); in.vib_sweep = r.u8(); in.vib_depth = r.u8(); in.vib_rate = r.u8();
        in.fadeout = r.u16() * 2;
        r.p = start + size;
        in.samples.resize(ns);
        std::vector<uint32_t> len(ns);
        for (int s = 0; s < ns; s++) {
            PSample& sm = in.samples[s];
            len[s] = r.u32();
            uint32_t ls = r.u32(), ll = r.u32();
            sm.volume = r.u8();
            sm.finetune = (int8_t)r.u8();
            int type = r.u8();
            sm.panning = r.u8();
            sm.relative_note = (int8_t)r.u8();
            r.p += 23;
            sm.looped = (type & 3) && ll;
            sm.loop_start = sm.looped ? ls : 0;
            sm.end = sm.looped ? ls + ll : len[s];
        }
        for (int s = 0; s < ns; s++) {
            PSample& sm = in.samples[s];
            sm.data.resize(len[s] + 2);
            int8_t acc = 0;
            for (uint32_t i = 0; i < len[s]; i++) {
                acc = (int8_t)(acc + (int8_t)r.u8());
                sm.data[i] = acc * 256.0f;
            }
            sm.data[sm.end] = sm.looped ? sm.data[sm.loop_start] : 0.0f;
        }
    }

    std::vector<PChannel> ch(channels);
    std::memset(ch.data(), 0, sizeof(PChannel) * ch.size());
    int samples_per_tick = (int)(rate * 2.5 / bpm);
    out.reserve((size_t)song_length * 64 * speed * samples_per_tick * 2);

    auto trigger = [&](PChannel& c) {
        c.pos = c.start_offset < c.smp->end ? c.start_offset : 0;
        c.start_offset = 0;
        c.playing = c.smp->end > 0;
    };
    auto reset = [&](PChannel& c) {
        c.volume = c.smp->volume;
        c.panning = c.smp->panning;
        c.venv_tick = c.penv_tick = 0;
        c.key_off = false;
        c.fadeout = 65536;
        c.autovib_pos = c.autovib_sweep = 0;
        c.vib_pos = 0;
    };
    auto period_of = [](int real_note, int finetune) {
        return 7680 - 64 * real_note - finetune / 2;
    };

    for (int o = 0; o < song_length; o++) {
        int p = orders[o];
        for (int row = 0; row < rows[p]; row++) {
            for (int tick = 0; tick < speed; tick++) {
                for (int k = 0; k < channels; k++) {
                    PChannel& c = ch[k];
                    const MusicCell& cell = patterns[p][row * channels + k];
                    int x = cell.parameter >> 4, y = cell.parameter & 15;
                    bool porta = cell.effect == 3 || (cell.volume >= 0xF0);
                    bool delayed = cell.effect == 14 && x == 13;
                    c.period_delta = 0;
                    if (tick == 0) {
                        if (cell.instrument && !porta) c.ins = cell.instrument <= nins ? &ins[cell.instrument - 1] : nullptr;
                        if (cell.note && cell.note < 97 && !porta) c.note = cell.note - 1;
                        if (c.ins && !c.ins->samples.empty()) c.smp = &c.ins->samples[c.ins->keymap[c.note] % c.ins->samples.size()];
                    }
                    bool start_note = tick == 0 ? (cell.note && cell.note < 97 && !delayed)
                                                : (delayed && tick == y && cell.note && cell.note < 97);
                    if ((tick == 0 && !delayed) || start_note) {
                        if (cell.note && cell.note < 97 && c.smp) {
                            c.real_note = (cell.note + c.smp->relative_note - 1) & 255;
                            c.note_period = period_of(c.real_note, c.smp->finetune);
                            if (!porta) c.period = c.note_period;
                        }
                        if (cell.instrument && c.smp) reset(c);
                        int v = cell.volume, vy = v & 15;
                        if (v >= 0x10 && v <= 0x50) c.volume = v - 16;
                        else if ((v >> 4) == 6 || (v >> 4) == 8) c.volume = std::max(0, c.volume - vy);
                        else if ((v >> 4) == 7 || (v >> 4) == 9) c.volume = std::min(64, c.volume + vy);
                        else if ((v >> 4) == 0xC) c.panning = 16 * vy;
                        if (cell.note == 97 || cell.effect == 20) c.key_off = true;
                        if (cell.effect == 9 && cell.parameter) c.start_offset = cell.parameter * 256u;
                        if (start_note && !porta && c.smp) trigger(c);
                        if (porta) {
                            if (cell.effect == 3 && cell.parameter) c.porta_speed = cell.parameter;
                            c.porta_target = c.note_period;
                        }
                    }
                    if (tick == 0) {
                        switch (cell.effect) {
                        case 1: if (cell.parameter) c.porta_up = cell.parameter; break;
                        case 2: if (cell.parameter) c.porta_down = cell.parameter; break;
                        case 4: if (x) c.vib_speed = x; if (y) c.vib_depth = y; break;
                        case 8: c.panning = cell.parameter; break;
                        case 10: if (cell.parameter) c.slide_memory = cell.parameter; break;
                        case 12: c.volume = std::min<int>(64, cell.parameter); break;
                        case 27: if (cell.parameter) { c.retrig_action = x; c.retrig_interval = y; } break;
                        default: break;
                        }
                    } else {
                        int v = cell.volume;
                        if ((v >> 4) == 6) c.volume = std::max(0, c.volume - (v & 15));
                        if ((v >> 4) == 7) c.volume = std::min(64, c.volume + (v & 15));
                        switch (cell.effect) {
                        case 0:
                            if (cell.parameter) c.period_delta = 64 * (tick % 3 == 1 ? x : tick % 3 == 2 ? y : 0);
                            break;
                        case 1: c.period = std::max(56, c.period - 4 * c.porta_up); break;
                        case 2: c.period += 4 * c.porta_down; break;
                        case 3:
                            if (c.period < c.porta_target) c.period = std::min(c.porta_target, c.period + 4 * c.porta_speed);
                            else c.period = std::max(c.porta_target, c.period - 4 * c.porta_speed);
                            break;
                        case 4: {
                            double s = std::sin(2 * 3.14159265358979 * c.vib_pos / 64.0);
                            c.period_delta = -(int)(s * 256 * c.vib_depth) / 32;
                            c.vib_pos = (c.vib_pos + c.vib_speed) & 63;
                            break;
                        }
                        case 10: {
                            int m = c.slide_memory;
                            c.volume = (m >> 4) ? std::min(64, c.volume + (m >> 4)) : std::max(0, c.volume - (m & 15));
                            break;
                        }
                        case 14:
                            if (x == 9 && y && tick % y == 0 && c.smp) trigger(c);
                            if (x == 12 && tick == y) c.volume = 0;
                            break;
                        case 27:
                            if (c.retrig_interval && tick % c.retrig_interval == 0 && c.smp) {
                                static const int add[16] = {0, -1, -2, -4, -8, -16, 0, 0, 0, 1, 2, 4, 8, 16, 0, 0};
                                int a = c.retrig_action;
                                if (a == 6) c.volume = 2 * c.volume / 3;
                                else if (a == 7) c.volume >>= 1;
                                else if (a == 14) c.volume = 3 * c.volume / 2;
                                else if (a == 15) c.volume *= 2;
                                else c.volume += add[a];
                                c.volume = std::max(0, std::min(64, c.volume));
                                trigger(c);
                            }
                            break;
                        default: break;
                        }
                    }
                    if (!c.ins || !c.smp) continue;
                    const PInstrument& in = *c.ins;
                    int ve = envelope_at(in.venv, c.venv_tick, c.key_off, true);
                    c.venv_out = ve < 0 ? (c.key_off ? 0 : 64) : ve;
                    int pe = envelope_at(in.penv, c.penv_tick, c.key_off, true);
                    c.penv_out = pe < 0 ? 32 : pe;
                    if (c.key_off) c.fadeout = std::max(0, c.fadeout - in.fadeout);
                    if (in.vib_depth) {
                        int d = (int)(64 * std::sin(2 * 0.01227184375 * c.autovib_pos)) * in.vib_depth;
                        if (in.vib_sweep) d = c.autovib_sweep * d / in.vib_sweep;
                        c.period_delta += d >> 6;
                        c.autovib_sweep = std::min(c.autovib_sweep + 1, in.vib_sweep);
                        c.autovib_pos = (c.autovib_pos + in.vib_rate) & 255;
                    }
                }
                // Mix one tick.
                size_t base = out.size();
                out.resize(base + 2 * (size_t)samples_per_tick, 0);
                std::vector<float> acc(2 * (size_t)samples_per_tick, 0.0f);
                for (int k = 0; k < channels; k++) {
                    PChannel& c = ch[k];
                    if (!c.playing || !c.smp || !c.ins || (muted >> k & 1)) continue;
                    const PSample& s = *c.smp;
                    int v127 = (int)((double)c.volume * c.venv_out * c.fadeout * 64 * 255 / 34359738368.0);
                    int pan = c.panning + ((128 - std::abs(c.panning - 128)) / 32) * (c.penv_out - 32);
                    float gl = (float)((255 - pan) * v127 / 255) / 255.0f;
                    float gr = (float)(pan * v127 / 255) / 255.0f;
                    double freq = 8363.0 * std::pow(2.0, (4608 - c.period + c.period_delta) / 768.0);
                    double step = freq / rate;
                    for (int i = 0; i < samples_per_tick; i++) {
                        if (c.pos >= s.end) {
                            if (!s.looped) { c.playing = false; break; }
                            double len = s.end - s.loop_start;
                            while (c.pos >= s.end) c.pos -= len;
                        }
                        uint32_t ip = (uint32_t)c.pos;
                        float w = (float)(c.pos - ip);
                        float v = s.data[ip] + w * (s.data[ip + 1] - s.data[ip]);
                        acc[2 * i] += v * gl;
                        acc[2 * i + 1] += v * gr;
                        c.pos += step;
                    }
                }
                for (size_t i = 0; i < acc.size(); i++) {
                    float v = std::nearbyint(acc[i]);
                    out[base + i] = (int16_t)(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
                }
            }
        }
    }
}
