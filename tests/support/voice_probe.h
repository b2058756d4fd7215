// voice_probe.h -- a test voice layer: 256 voices without a sound device,
// and a record of the voice commands the replay engine gave during a tick.
//
// voice_probe_arm marks every voice with values that no voice operation
// writes; after the tick, voice_probe_read tells which operations touched
// voice i and with what (start and sample, stop, volume, panning,
// frequency recovered exactly from the 32.32 step).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "player/song.h"
#include "tools/formats/xm_writer.h"

struct VoiceCommands {
    bool started;          // voice_start
    const Sample* sample;  // the sample started
    uint32_t position;     // start position after voice_start
    bool stopped;          // voice_stop
    bool volume_sent;
    int32_t volume;
    bool panning_sent;
    int32_t panning;
    bool frequency_sent;
    int32_t frequency;     // Hz
};

// Allocates the voices at 44100 Hz, linked into voice_list for the mixer;
// remove frees them.
void voice_probe_install(void);
void voice_probe_remove(void);
void voice_probe_arm(void);
VoiceCommands voice_probe_read(int32_t index);

// Loads a module written by xm_writer through the memory-file callbacks.
Song* probe_load(const XmModule& module);
// Arms the probe, runs one tick and returns channel `channel`'s commands.
VoiceCommands probe_tick(Song* song, int32_t channel);
// Runs `count` ticks and returns the commands of each for one channel.
std::vector<VoiceCommands> probe_ticks(Song* song, int32_t channel, int count);

// The real-world modules: $TAVIMO_XM_CORPUS, else ../shared/xm-corpus beside
// the source tree. Empty when the folder is absent (tests then skip).
std::vector<std::string> xm_corpus_files(void);
// Inputs that once failed (tests/regress/*.xm), kept as regression tests.
std::vector<std::string> xm_regress_files(void);
