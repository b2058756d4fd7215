// gen_assets_main.cpp -- tavimo-gen-assets <dir>: writes every generated
// asset file (see art_assets in art.h) into <dir>, normally assets/.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/art/art.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <assets dir>\n", argv[0]);
        return 2;
    }
    for (int i = 0; i < art_asset_count; i++) {
        const ArtAsset& a = art_assets[i];
        std::vector<uint8_t> bytes(a.size);
        a.make(bytes.data());
        std::string path = std::string(argv[1]) + "/" + a.file_name;
        FILE* f = std::fopen(path.c_str(), "wb");
        bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f && std::fclose(f) != 0) ok = false;
        if (!ok) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
            return 1;
        }
        std::printf("%s (%d bytes)\n", path.c_str(), (int)a.size);
    }
    return 0;
}
