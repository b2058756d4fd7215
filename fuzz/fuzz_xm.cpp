// fuzz_xm.cpp -- libFuzzer target: song_create on arbitrary bytes, then a
// stretch of playback of whatever loads.
//
// Every input must either be refused (null, nothing leaked) or load into a
// song that plays without reading outside a pattern, keymap, envelope or
// sample. Playback runs the replay engine for a bounded number of ticks on
// 256 voices without a sound device, and mixes a short stretch after each
// tick, so the mixer reads every started sample where the loader put it.
#include <cstdint>
#include <cstdlib>

#include "mixer/voice.h"
#include "player/module_file.h"
#include "player/replay.h"
#include "player/song.h"

enum { FUZZ_TICKS = 600, FUZZ_MIX_FRAMES = 64 };

static float mix_buffer[2 * FUZZ_MIX_FRAMES];

static void install_voices(void)
{
    if (voices)
        return;
    voices_set_rate(OUTPUT_RATE_DEFAULT);
    voices_open();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0x7FFFFFFF)
        return 0;
    install_voices();
    memory_file_register(data, static_cast<int32_t>(size));
    Song* song = song_create("fuzz", nullptr);
    if (!song)
        return 0;
    if (song_start(song)) {
        for (int tick = 0; tick < FUZZ_TICKS; tick++) {
            song_tick(song);
            int32_t frames = song->samples_per_tick < FUZZ_MIX_FRAMES ? song->samples_per_tick
                                                                       : FUZZ_MIX_FRAMES;
            mix_voices(mix_buffer, &voice_list, frames);
        }
        // Every started voice must lie inside its sample.
        for (int32_t i = 0; i < VOICE_COUNT; i++) {
            const Voice* voice = &voices[i];
            if (voice->sample && voice->sample->length > 0 &&
                voice->position >= voice->sample->loop_start + voice->sample->loop_length)
                abort();
        }
    }
    song_free(song);
    return 0;
}
