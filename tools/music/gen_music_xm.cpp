// gen_music_xm.cpp -- writes the soundtrack module as a FastTracker 2 XM file.
//
// Header, order table, patterns packed the way FastTracker 2 packs them,
// instruments with their envelopes, and 8-bit samples delta-encoded. The
// file is sized exactly by a silent tail on one one-shot sample.
#include <cstring>

#include "tools/music/gen_music.h"

namespace {

void put8(std::vector<uint8_t>& o, int v) { o.push_back((uint8_t)v); }
void put16(std::vector<uint8_t>& o, int v) { put8(o, v & 0xFF); put8(o, (v >> 8) & 0xFF); }
void put32(std::vector<uint8_t>& o, uint32_t v) { put16(o, (int)(v & 0xFFFF)); put16(o, (int)(v >> 16)); }

void put_text(std::vector<uint8_t>& o, const char* s, size_t width, char fill)
{
    size_t n = s ? std::strlen(s) : 0;
    for (size_t i = 0; i < width; i++) put8(o, i < n ? s[i] : fill);
}

// Packs one cell the way FastTracker 2 does: a cell with every field set is
// stored plainly (five bytes), any other as a mask byte plus its non-zero
// fields.
void pack_cell(std::vector<uint8_t>& o, const MusicCell& c)
{
    const uint8_t f[5] = {c.note, c.instrument, c.volume, c.effect, c.parameter};
    uint8_t mask = 0x80;
    for (int i = 0; i < 5; i++)
        if (f[i]) mask |= (uint8_t)(1 << i);
    if (mask == 0x9F) {
        for (int i = 0; i < 5; i++) put8(o, f[i]);
        return;
    }
    put8(o, mask);
    for (int i = 0; i < 5; i++)
        if (f[i]) put8(o, f[i]);
}

void put_envelope(std::vector<uint8_t>& o, const MusicEnvelope& e)
{
    for (int i = 0; i < 12; i++) {
        put16(o, i < e.points ? e.x[i] : 0);
        put16(o, i < e.points ? e.y[i] : 0);
    }
}

constexpr uint32_t INSTRUMENT_HEADER_SIZE = 263;   // as FastTracker 2 writes it
constexpr uint32_t SAMPLE_HEADER_SIZE = 40;

void put_instrument(std::vector<uint8_t>& o, const MusicInstrument& in)
{
    size_t start = o.size();
    put32(o, INSTRUMENT_HEADER_SIZE);
    put_text(o, in.name, 22, 0);
    put8(o, 0);                                  // type
    put16(o, (int)in.samples.size());
    put32(o, SAMPLE_HEADER_SIZE);
    for (int k = 0; k < 96; k++) put8(o, in.keymap[k]);
    put_envelope(o, in.volume_env);
    put_envelope(o, in.panning_env);
    put8(o, in.volume_env.points);
    put8(o, in.panning_env.points);
    put8(o, in.volume_env.sustain);
    put8(o, in.volume_env.loop_start);
    put8(o, in.volume_env.loop_end);
    put8(o, in.panning_env.sustain);
    put8(o, in.panning_env.loop_start);
    put8(o, in.panning_env.loop_end);
    put8(o, in.volume_env.type);
    put8(o, in.panning_env.type);
    put8(o, in.vibrato_type);
    put8(o, in.vibrato_sweep);
    put8(o, in.vibrato_depth);
    put8(o, in.vibrato_rate);
    put16(o, in.fadeout);
    while (o.size() < start + INSTRUMENT_HEADER_SIZE) put8(o, 0);   // reserved

    for (const MusicSample& s : in.samples) {
        bool loop = s.loop_length > 0;
        put32(o, (uint32_t)s.data.size());
        put32(o, loop ? s.loop_start : 0);
        put32(o, loop ? s.loop_length : 0);
        put8(o, s.volume);
        put8(o, (uint8_t)s.finetune);
        put8(o, loop ? 1 : 0);                   // forward loop, 8-bit
        put8(o, s.panning);
        put8(o, (uint8_t)s.relative_note);
        put8(o, 0);                              // reserved
        put_text(o, nullptr, 22, 0);
    }
    for (const MusicSample& s : in.samples) {
        int8_t prev = 0;
        for (int8_t v : s.data) {
            put8(o, (uint8_t)(v - prev));        // delta encoding
            prev = v;
        }
    }
}

}  // namespace

void music_write_xm(const MusicModule& m, std::vector<uint8_t>& o)
{
    o.clear();
    put_text(o, "Extended Module: ", 17, 0);
    put_text(o, nullptr, 20, 0);                 // module name: blank
    put8(o, 0x1A);
    put_text(o, "FastTracker v2.00", 20, ' ');
    put16(o, 0x0104);
    put32(o, 276);                               // header size, from offset 60
    put16(o, MUSIC_SONG_LENGTH);
    put16(o, 0);                                 // restart position
    put16(o, MUSIC_CHANNELS);
    put16(o, (int)m.patterns.size());
    put16(o, (int)m.instruments.size());
    put16(o, 1);                                 // linear frequency table
    put16(o, MUSIC_SPEED);
    put16(o, MUSIC_BPM);
    for (int i = 0; i < 256; i++) put8(o, i < MUSIC_SONG_LENGTH ? music_order_table[i] : 0);

    for (const MusicPattern& p : m.patterns) {
        std::vector<uint8_t> packed;
        for (int r = 0; r < MUSIC_ROWS; r++)
            for (int c = 0; c < MUSIC_CHANNELS; c++) pack_cell(packed, p.cells[r][c]);
        put32(o, 9);                             // pattern header length
        put8(o, 0);                              // packing type
        put16(o, MUSIC_ROWS);
        put16(o, (int)packed.size());
        o.insert(o.end(), packed.begin(), packed.end());
    }
    for (const MusicInstrument& in : m.instruments) put_instrument(o, in);
}

bool music_build_file(std::vector<uint8_t>& out, size_t* unpadded)
{
    MusicModule m;
    music_make_instruments(m.instruments);
    music_compose(m.patterns);
    music_write_xm(m, out);
    if (unpadded) *unpadded = out.size();
    if (out.size() > (size_t)MUSIC_FILE_SIZE) return false;
    // The tom is a one-shot that has already faded to zero: lengthening it
    // with silence fills the file to its fixed size at no cost in sound.
    std::vector<int8_t>& tail = m.instruments[MUSIC_PAD_INSTRUMENT].samples[0].data;
    tail.resize(tail.size() + (MUSIC_FILE_SIZE - out.size()), 0);
    music_write_xm(m, out);
    return out.size() == (size_t)MUSIC_FILE_SIZE;
}


