// gen_music.cpp -- writes the soundtrack module (and optionally a preview WAV).
//
// Usage: gen_music OUT.xm [PREVIEW.wav]
// Builds the instruments and the patterns, writes them as a FastTracker 2 XM
// file of exactly MUSIC_FILE_SIZE bytes and, given a second path, renders a
// rough 44100 Hz preview of it. Exit code 0 on success, 1 on failure (the
// composition outgrew the file, or a file could not be written).
#include <cstdio>

#include "tools/music/gen_music.h"
#include "tools/formats/wav.h"

namespace {

bool write_file(const char* path, const void* data, size_t size)
{
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: gen_music OUT.xm [PREVIEW.wav]\n");
        return 1;
    }
    std::vector<uint8_t> xm;
    size_t unpadded = 0;
    bool built = music_build_file(xm, &unpadded);
    std::fprintf(stderr, "gen_music: %zu bytes of music, %zu of silent tail\n", unpadded,
                 built ? MUSIC_FILE_SIZE - unpadded : 0);
    if (!built) {
        std::fprintf(stderr, "gen_music: the module is %zu bytes, over %d\n", xm.size(),
                     MUSIC_FILE_SIZE);
        return 1;
    }
    if (!write_file(argv[1], xm.data(), xm.size())) {
        std::fprintf(stderr, "gen_music: cannot write %s\n", argv[1]);
        return 1;
    }
    if (argc > 2) {
        std::vector<int16_t> frames;
        music_render_preview(xm, 44100, frames);
        WavWriter wav{};
        bool ok = wav_open(&wav, argv[2], 44100);
        if (ok) wav_write(&wav, frames.data(), (int64_t)frames.size() / 2);
        if (!wav_close(&wav) || !ok) {
            std::fprintf(stderr, "gen_music: cannot write %s\n", argv[2]);
            return 1;
        }
    }
    return 0;
}
