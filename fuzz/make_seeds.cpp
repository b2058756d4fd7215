// make_seeds.cpp -- writes small hand-made XM modules as fuzzing seeds: a
// few notes, instruments with envelopes and loops, and every effect.
#include <cstdio>
#include <string>

#include "tools/formats/xm_writer.h"

static void save(const std::string& folder, const char* name, const XmModule& module)
{
    std::vector<uint8_t> bytes = xm_write(module);
    std::string path = folder + "/" + name;
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

static XmInstrument rich_instrument(uint8_t loop_bits)
{
    std::vector<int16_t> values;
    for (int i = 0; i < 64; i++)
        values.push_back(static_cast<int16_t>((i * 37) % 200 - 100));
    XmInstrument instrument = xm_instrument(values);
    instrument.samples[0].loop_start = 8;
    instrument.samples[0].loop_length = 40;
    instrument.samples[0].loop_bits = loop_bits;
    instrument.volume_envelope.points = {{0, 0}, {4, 64}, {10, 40}, {30, 20}, {40, 0}};
    instrument.volume_envelope.sustain = 2;
    instrument.volume_envelope.loop_start = 1;
    instrument.volume_envelope.loop_end = 3;
    instrument.volume_envelope.type = 7;
    instrument.panning_envelope.points = {{0, 0}, {8, 64}, {16, 32}};
    instrument.panning_envelope.type = 1;
    instrument.vibrato_type = 1;
    instrument.vibrato_sweep = 4;
    instrument.vibrato_depth = 8;
    instrument.vibrato_rate = 20;
    instrument.fadeout = 300;
    return instrument;
}

int main(int argc, char** argv)
{
    std::string folder = argc > 1 ? argv[1] : ".";
    XmModule minimal;
    minimal.channels = 1;
    minimal.patterns[0].rows = 2;
    save(folder, "minimal.xm", minimal);

    XmModule effects;
    effects.channels = 4;
    effects.song_length = 3;
    effects.order = {0, 1, 0};
    effects.patterns.resize(2);
    effects.patterns[1].rows = 16;
    effects.instruments = {rich_instrument(1), rich_instrument(2), XmInstrument{}};
    for (int effect = 0; effect <= 33; effect++) {
        int row = effect % 64;
        int channel = effect % 4;
        xm_cell(effects, 0, row, channel) =
            XmCell{static_cast<uint8_t>(30 + effect), static_cast<uint8_t>(1 + effect % 3),
                   static_cast<uint8_t>(0x10 + effect * 7 % 0xF0), static_cast<uint8_t>(effect),
                   static_cast<uint8_t>(0x13 * (effect + 1))};
    }
    for (int x = 0; x < 16; x++)
        xm_cell(effects, 1, x, 0) = XmCell{static_cast<uint8_t>(40 + x), 1, 0, 14,
                                           static_cast<uint8_t>(x << 4 | 2)};
    xm_cell(effects, 1, 15, 3) = XmCell{97, 0, 0, 13, 0x05};
    save(folder, "effects.xm", effects);

    XmModule amiga = effects;
    amiga.flags = 0;
    amiga.restart_position = 1;
    save(folder, "amiga.xm", amiga);

    XmModule wide;
    wide.channels = 32;
    wide.instruments = {rich_instrument(2)};
    wide.instruments[0].samples[0].sixteen_bit = true;
    for (int c = 0; c < 32; c++)
        xm_cell(wide, 0, c, c) = XmCell{static_cast<uint8_t>(1 + c * 3), 1, 0, 0, 0x37};
    save(folder, "wide.xm", wide);
    return 0;
}
