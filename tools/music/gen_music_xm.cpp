// gen_music_xm.cpp -- the soundtrack as one XM module, and its file.
//
// The header facts, the order table, the composed patterns and the
// synthesised instruments go to the tree's XM writer; the file is then sized
// exactly by a silent tail on one one-shot sample.
#include "tools/music/gen_music.h"

#include <map>

namespace {

// Gives each sample the volume its notes set most often as its default, and
// leaves that volume out of those notes: a note that names its instrument
// starts at the sample's default volume, so it sounds the same and costs a
// byte less. Only samples whose every such note sets its volume take part
// (the others have notes that rely on the default as it is).
void default_volumes(XmModule& m)
{
    for (size_t i = 0; i < m.instruments.size(); i++) {
        XmInstrument& in = m.instruments[i];
        for (size_t slot = 0; slot < in.samples.size(); slot++) {
            std::map<int, int> count;   // volume -> notes setting it
            bool all_set = true;
            for (const XmPattern& p : m.patterns)
                for (const XmCell& c : p.cells) {
                    if (c.instrument != i + 1 || c.note == 0 || c.note > 96 ||
                        in.keymap[c.note - 1] != slot)
                        continue;
                    if (c.volume >= 0x10 && c.volume <= 0x50) count[c.volume - 0x10]++;
                    else all_set = false;
                }
            if (!all_set || count.empty()) continue;
            int best = count.begin()->first;
            for (const auto& [volume, notes] : count)
                if (notes > count[best]) best = volume;
            in.samples[slot].volume = (uint8_t)best;
            for (XmPattern& p : m.patterns)
                for (XmCell& c : p.cells)
                    if (c.instrument == i + 1 && c.note && c.note <= 96 &&
                        in.keymap[c.note - 1] == slot && c.volume == 0x10 + best)
                        c.volume = 0;
        }
    }
}

}  // namespace

XmModule music_module(void)
{
    XmModule m;
    m.channels = MUSIC_CHANNELS;
    m.song_length = MUSIC_SONG_LENGTH;
    m.restart_position = 0;
    m.flags = 1;                                 // linear frequency table
    m.speed = MUSIC_SPEED;
    m.bpm = MUSIC_BPM;
    m.order.assign(music_order_table, music_order_table + MUSIC_SONG_LENGTH);
    music_compose(m.patterns);
    music_make_instruments(m.instruments);
    music_cut_before_restarts(m);
    default_volumes(m);
    return m;
}

bool music_build_file(std::vector<uint8_t>& out, size_t* unpadded)
{
    XmModule m = music_module();
    out = xm_write(m);
    if (unpadded) *unpadded = out.size();
    if (out.size() > (size_t)MUSIC_FILE_SIZE) return false;
    // The tom is a one-shot that has already faded to zero: lengthening it
    // with silence fills the file to its fixed size at no cost in sound.
    std::vector<int16_t>& tail = m.instruments[MUSIC_PAD_INSTRUMENT].samples[0].values;
    tail.resize(tail.size() + (MUSIC_FILE_SIZE - out.size()), 0);
    out = xm_write(m);
    return out.size() == (size_t)MUSIC_FILE_SIZE;
}
