// bench_mixer.cpp -- mixer throughput as multiples of real time: every voice
// of a playing song, ticks included, rendered offline block by block at
// 44100 Hz on one thread. Rows: a synthetic load (14 looping voices whose
// gains change every tick, so each tick begins ramps), the show's module,
// and each module of the XM corpus ($TAVIMO_XM_CORPUS, else
// ../shared/xm-corpus beside the source tree).
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mixer/mix_lock.h"
#include "mixer/voice.h"
#include "bench/bench.h"
#include "player/disk_file.h"
#include "player/module_file.h"
#include "player/render.h"
#include "player/song.h"
#include "player/stream.h"
#include "assets/assets.h"

namespace {

const double SONG_SECONDS = 150.0;  // about the show's length

// Renders `seconds` of whatever plays; one row with the time per block and
// the multiple of real time from the thread's processor time.
void render(const char* what, double seconds)
{
    const int32_t block_frames = mix_block_frames(output_rate);
    int blocks = int(seconds * output_rate / block_frames);
    std::vector<float> mix(size_t(block_frames) * 2);
    std::vector<int16_t> out(size_t(block_frames) * 2);
    std::vector<double> per_block;
    per_block.reserve(size_t(blocks));
    const double cpu0 = bench_thread_cpu_ms();
    for (int b = 0; b < blocks; b++) {
        const double t0 = bench_now_ms();
        render_songs(mix.data(), out.data(), block_frames);
        per_block.push_back(bench_now_ms() - t0);
    }
    const double cpu_ms = bench_thread_cpu_ms() - cpu0;
    const double audio_ms = double(blocks) * block_frames * 1000.0 / output_rate;
    char label[160];
    snprintf(label, sizeof label, "%s: %.0fx real time", what, audio_ms / cpu_ms);
    bench_report_timings("mixer", label, per_block);
}

// The synthetic load: 14 voices on forward loops of different lengths, new
// volumes (and so ramps) on every tick of 882 frames.
enum { SYNTH_VOICES = 14 };
Sample synth_samples[SYNTH_VOICES];
int32_t synth_tick_count;

void synth_tick(Song*)
{
    for (int i = 0; i < SYNTH_VOICES; i++) {
        Voice* v = &voices[i];
        voice_set_volume(v, (synth_tick_count * 7 + i * 13) % 128);
        if (synth_tick_count % 6 == i % 6)
            voice_set_frequency(v, 8000 + (synth_tick_count * 977 + i * 3001) % 40000);
    }
    synth_tick_count++;
}

void bench_synthetic(void)
{
    std::vector<std::vector<int16_t>> data(SYNTH_VOICES);
    for (int i = 0; i < SYNTH_VOICES; i++) {
        uint32_t length = 3000 + uint32_t(i) * 2111;
        data[size_t(i)].resize(length + SAMPLE_SPARE_VALUES);
        for (uint32_t k = 0; k < length; k++)
            data[size_t(i)][k] = int16_t((k * 2654435761u >> 16) % 30000 - 15000);
        data[size_t(i)][length] = data[size_t(i)][0];
        Sample& s = synth_samples[i];
        s = Sample{};
        s.data = data[size_t(i)].data();
        s.length = length;
        s.loop_start = 0;
        s.loop_length = length;
        s.loop_type = LOOP_FORWARD;
        s.bits = 16;
    }
    mix_lock_acquire();
    for (int i = 0; i < SYNTH_VOICES; i++) {
        voice_set_panning(&voices[i], i * 255 / (SYNTH_VOICES - 1));
        voice_set_frequency(&voices[i], 8000 + i * 2500);
        voice_start(i, &synth_samples[i]);
    }
    static Song song;
    song = Song{};
    song.next = song.prev = &song;
    song.samples_per_tick = 882;
    song.tick_function = synth_tick;
    song.playing = 1;
    list_insert_tail(&song, &playing_songs);
    mix_lock_release();

    render("synthetic 14 voices with ramps", 60.0);

    mix_lock_acquire();
    list_unlink(&song);
    for (int i = 0; i < SYNTH_VOICES; i++)
        voice_stop(i);
    mix_lock_release();
}

void bench_song(const char* name, const char* what)
{
    Song* song = song_create(name, nullptr);
    if (!song) {
        fprintf(stderr, "mixer: cannot load %s\n", what);
        return;
    }
    song_start(song);
    render(what, SONG_SECONDS);
    song_free(song);
}

std::string corpus_folder(void)
{
    const char* env = getenv("TAVIMO_XM_CORPUS");
    if (env && *env)
        return env;
    return std::string(TAVIMO_SOURCE_DIR) + "/../shared/xm-corpus";
}

}  // namespace

void bench_mixer(const BenchOptions&)
{
    module_position = 0;
    register_stream_callbacks(module_open, module_close, module_read, module_seek, module_tell);
    if (!render_open(OUTPUT_RATE_DEFAULT)) {
        fprintf(stderr, "mixer: the voices did not open\n");
        return;
    }
    bench_synthetic();
    module_position = 0;
    bench_song(song_name, "show module");

    std::vector<std::string> files;
    std::string folder = corpus_folder();
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string n = e->d_name;
            if (n.size() > 3 && n.compare(n.size() - 3, 3, ".xm") == 0)
                files.push_back(n);
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    disk_file_register();
    for (const std::string& f : files)
        bench_song((folder + "/" + f).c_str(), f.c_str());
    render_close();
}
