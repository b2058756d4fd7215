// xm_writer.cpp -- the XM writer: module description in, file bytes out.
#include "tools/formats/xm_writer.h"

#include <algorithm>

#include "player/xm_format.h"

namespace {

void put8(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
}

void put16(std::vector<uint8_t>& out, uint32_t value)
{
    put8(out, value);
    put8(out, value >> 8);
}

void put32(std::vector<uint8_t>& out, uint32_t value)
{
    put16(out, value);
    put16(out, value >> 16);
}

// `width` bytes: the text, cut or filled up with `fill`.
void put_text(std::vector<uint8_t>& out, const std::string& text, size_t width, char fill)
{
    for (size_t i = 0; i < width; i++)
        put8(out, static_cast<uint8_t>(i < text.size() ? text[i] : fill));
}

// A cell with every field set costs five bytes either way, so FastTracker 2
// stores it plainly (its first byte, a note, has bit 7 clear); any other
// cell is a mask byte (bit 7 set, bit k for field k) and its non-zero fields.
void pack_cell(std::vector<uint8_t>& out, const XmCell& cell)
{
    const uint8_t fields[5] = {cell.note, cell.instrument, cell.volume, cell.effect,
                               cell.parameter};
    uint8_t mask = 0x80;
    for (int bit = 0; bit < 5; bit++)
        if (fields[bit])
            mask |= static_cast<uint8_t>(1 << bit);
    if (mask != 0x9F)
        put8(out, mask);
    for (int bit = 0; bit < 5; bit++)
        if (fields[bit])
            put8(out, fields[bit]);
}

void write_pattern(std::vector<uint8_t>& out, const XmModule& module, const XmPattern& pattern)
{
    std::vector<uint8_t> data = pattern.raw_data;
    if (data.empty() && !pattern.empty_packed) {
        size_t count = static_cast<size_t>(pattern.rows) * module.channels;
        for (size_t i = 0; i < count; i++)
            pack_cell(data, i < pattern.cells.size() ? pattern.cells[i] : XmCell{});
    }
    if (pattern.empty_packed)
        data.clear();
    put32(out, XM_PATTERN_HEADER);
    put8(out, 0);  // packing type
    put16(out, static_cast<uint32_t>(pattern.rows));
    put16(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

void write_envelope_points(std::vector<uint8_t>& out, const XmEnvelope& envelope)
{
    for (size_t i = 0; i < 12; i++) {
        bool present = i < envelope.points.size();
        put16(out, present ? envelope.points[i].first : 0);
        put16(out, present ? envelope.points[i].second : 0);
    }
}

void write_instrument(std::vector<uint8_t>& out, const XmInstrument& instrument)
{
    size_t count = instrument.samples.size();
    put32(out, count ? XM_INSTRUMENT_HEADER : XM_INSTRUMENT_START);
    put_text(out, instrument.name, XM_ITEM_NAME_BYTES, 0);
    put8(out, 0);  // type
    put16(out, static_cast<uint32_t>(count));
    if (count == 0)
        return;
    put32(out, XM_SAMPLE_HEADER);
    out.insert(out.end(), instrument.keymap, instrument.keymap + 96);
    write_envelope_points(out, instrument.volume_envelope);
    write_envelope_points(out, instrument.panning_envelope);
    put8(out, static_cast<uint32_t>(instrument.volume_envelope.points.size()));
    put8(out, static_cast<uint32_t>(instrument.panning_envelope.points.size()));
    put8(out, instrument.volume_envelope.sustain);
    put8(out, instrument.volume_envelope.loop_start);
    put8(out, instrument.volume_envelope.loop_end);
    put8(out, instrument.panning_envelope.sustain);
    put8(out, instrument.panning_envelope.loop_start);
    put8(out, instrument.panning_envelope.loop_end);
    put8(out, instrument.volume_envelope.type);
    put8(out, instrument.panning_envelope.type);
    put8(out, instrument.vibrato_type);
    put8(out, instrument.vibrato_sweep);
    put8(out, instrument.vibrato_depth);
    put8(out, instrument.vibrato_rate);
    put16(out, instrument.fadeout);
    put_text(out, "", 22, 0);  // reserved, up to the header size
    for (const XmSample& sample : instrument.samples) {
        uint32_t unit = sample.sixteen_bit ? 2 : 1;
        uint32_t length = static_cast<uint32_t>(sample.values.size()) * unit;
        uint32_t loop_start = sample.loop_start * unit;
        uint32_t loop_length = sample.loop_length * unit;
        if (sample.raw_lengths) {
            length = sample.raw_length;
            loop_start = sample.raw_loop_start;
            loop_length = sample.raw_loop_length;
        }
        put32(out, length);
        put32(out, loop_start);
        put32(out, loop_length);
        put8(out, sample.volume);
        put8(out, static_cast<uint8_t>(sample.finetune));
        put8(out, static_cast<uint32_t>(sample.loop_bits | (sample.sixteen_bit ? 0x10 : 0)));
        put8(out, sample.panning);
        put8(out, static_cast<uint8_t>(sample.relative_note));
        put8(out, 0);              // reserved
        put_text(out, "", XM_ITEM_NAME_BYTES, 0);  // sample name
    }
    for (const XmSample& sample : instrument.samples) {
        int32_t previous = 0;
        for (int16_t value : sample.values) {
            int32_t delta = value - previous;
            previous = value;
            if (sample.sixteen_bit)
                put16(out, static_cast<uint16_t>(delta));
            else
                put8(out, static_cast<uint8_t>(delta));
        }
    }
}

}  // namespace

XmCell& xm_cell(XmModule& module, int pattern, int row, int channel)
{
    XmPattern& p = module.patterns.at(pattern);
    p.cells.resize(static_cast<size_t>(p.rows) * module.channels, XmCell{});
    return p.cells.at(static_cast<size_t>(row) * module.channels + channel);
}

XmInstrument xm_instrument(std::vector<int16_t> values, bool sixteen_bit)
{
    XmInstrument instrument;
    XmSample sample;
    sample.values = std::move(values);
    sample.sixteen_bit = sixteen_bit;
    instrument.samples.push_back(sample);
    return instrument;
}

std::vector<uint8_t> xm_write(const XmModule& module)
{
    std::vector<uint8_t> out;
    put_text(out, XM_ID, XM_ID_BYTES, 0);
    put_text(out, "", XM_MODULE_NAME_BYTES, 0);  // module name
    put8(out, 0x1A);
    put_text(out, "FastTracker v2.00", XM_MODULE_NAME_BYTES, ' ');
    put16(out, XM_VERSION);
    put32(out, XM_SONG_HEADER_SIZE);
    put16(out, static_cast<uint32_t>(module.song_length));
    put16(out, static_cast<uint32_t>(module.restart_position));
    put16(out, static_cast<uint32_t>(module.channels));
    int pattern_count = module.pattern_count >= 0 ? module.pattern_count
                                                   : static_cast<int>(module.patterns.size());
    put16(out, static_cast<uint32_t>(pattern_count));
    put16(out, static_cast<uint32_t>(module.instruments.size()));
    put16(out, module.flags);
    put16(out, static_cast<uint32_t>(module.speed));
    put16(out, static_cast<uint32_t>(module.bpm));
    for (size_t i = 0; i < 256; i++)
        put8(out, i < module.order.size() ? module.order[i] : 0);
    int written = std::min(pattern_count, static_cast<int>(module.patterns.size()));
    for (int p = 0; p < written; p++)
        write_pattern(out, module, module.patterns[p]);
    for (const XmInstrument& instrument : module.instruments)
        write_instrument(out, instrument);
    return out;
}
