// gen_music_xm.cpp -- the soundtrack as one XM module, and its file.
//
// The header facts, the order table, the composed patterns and the
// synthesised instruments go to the tree's XM writer; the file is then sized
// exactly by a silent tail on one one-shot sample.
#include "tools/music/gen_music.h"

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
