// gen_music.cpp -- writes the soundtrack module.
//
// Usage: tavimo-gen-music OUT.xm
// Builds the instruments and the patterns and writes them as a FastTracker 2
// XM file of exactly MUSIC_FILE_SIZE bytes. To hear it, tavimo-render-music
// plays it through the show's own player and mixer. Exit code 0 on success, 1 on
// failure (the composition outgrew the file, or the file could not be
// written), 2 with a usage line for bad arguments.
#include <cstdio>

#include "tools/music/gen_music.h"

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
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavimo-gen-music OUT.xm\n");
        return 2;
    }
    std::vector<uint8_t> xm;
    size_t unpadded = 0;
    bool built = music_build_file(xm, &unpadded);
    std::fprintf(stderr, "tavimo-gen-music: %zu bytes of music, %zu of silent tail\n", unpadded,
                 built ? MUSIC_FILE_SIZE - unpadded : 0);
    if (!built) {
        std::fprintf(stderr, "tavimo-gen-music: the module is %zu bytes, over %d\n", xm.size(),
                     MUSIC_FILE_SIZE);
        return 1;
    }
    if (!write_file(argv[1], xm.data(), xm.size())) {
        std::fprintf(stderr, "tavimo-gen-music: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
