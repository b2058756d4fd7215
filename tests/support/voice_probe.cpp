// voice_probe.cpp -- the recording test voice layer.
#include "tests/support/voice_probe.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "mixer/voice.h"
#include "player/module_file.h"
#include "player/replay.h"

enum { PROBE_RATE = 44100 };
static const int32_t UNTOUCHED = -12345;
static const uint32_t UNTOUCHED_POSITION = 0xDEADBEEF;
static Sample marker_sample;

void voice_probe_install(void)
{
    voices_set_rate(PROBE_RATE);
    voices_open();
}

void voice_probe_remove(void)
{
    voices_close();
}

void voice_probe_arm(void)
{
    for (int32_t i = 0; i < VOICE_COUNT; i++) {
        Voice* voice = &voices[i];
        voice->sample = &marker_sample;
        voice->position = UNTOUCHED_POSITION;
        voice->volume = UNTOUCHED;
        voice->panning = UNTOUCHED;
        voice->step = UNTOUCHED;
        voice->step_fraction = 0;
    }
}

VoiceCommands voice_probe_read(int32_t index)
{
    const Voice* voice = &voices[index];
    VoiceCommands commands = {};
    commands.stopped = voice->sample == nullptr;
    commands.started = voice->sample != &marker_sample && voice->sample != nullptr;
    commands.sample = commands.started ? voice->sample : nullptr;
    commands.position = voice->position;
    commands.volume_sent = voice->volume != UNTOUCHED;
    commands.volume = voice->volume;
    commands.panning_sent = voice->panning != UNTOUCHED;
    commands.panning = voice->panning;
    commands.frequency_sent = voice->step != UNTOUCHED;
    if (commands.frequency_sent) {
        // step_fraction = floor(m x 2^32 / rate): the smallest m that gives it.
        uint64_t m = (static_cast<uint64_t>(voice->step_fraction) * PROBE_RATE + 0xFFFFFFFFu) >> 32;
        commands.frequency = voice->step * PROBE_RATE + static_cast<int32_t>(m);
    }
    return commands;
}

Song* probe_load(const XmModule& module)
{
    std::vector<uint8_t> bytes = xm_write(module);
    memory_file_register(bytes.data(), static_cast<int32_t>(bytes.size()));
    Song* song = song_create("probe", nullptr);
    memory_file_set(nullptr, 0);
    return song;
}

VoiceCommands probe_tick(Song* song, int32_t channel)
{
    voice_probe_arm();
    song_tick(song);
    return voice_probe_read(channel);
}

std::vector<VoiceCommands> probe_ticks(Song* song, int32_t channel, int count)
{
    std::vector<VoiceCommands> result;
    for (int i = 0; i < count; i++)
        result.push_back(probe_tick(song, channel));
    return result;
}

static std::vector<std::string> xm_files_in(const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
        if (entry.path().extension() == ".xm")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> xm_regress_files(void)
{
    const char* source = getenv("TAVIMO_SOURCE_DIR");
    return xm_files_in(std::filesystem::path(source ? source : TAVIMO_SOURCE_DIR) / "tests" /
                       "regress");
}

std::vector<std::string> xm_corpus_files(void)
{
    namespace fs = std::filesystem;
    const char* configured = getenv("TAVIMO_XM_CORPUS");
    const char* source = getenv("TAVIMO_SOURCE_DIR");
    fs::path folder = configured ? fs::path(configured)
                                 : fs::path(source ? source : TAVIMO_SOURCE_DIR) / ".." /
                                       "shared" / "xm-corpus";
    return xm_files_in(folder);
}
