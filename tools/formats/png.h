// png.h -- minimal PNG writing and reading for the tools and the tests:
// 8-bit RGB pictures held as 0x00RRGGBB words. Reading handles the files
// this writer makes (and any 8-bit RGB or RGBA PNG without interlacing).
#pragma once
#include <cstdint>
#include <vector>

struct PngImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // width * height words, 0x00RRGGBB, row after row
};

// Writes `pixels` (width x height words, row after row) as an RGB PNG,
// each pixel repeated `scale` times in both directions. False on failure.
bool png_write(const char* path, const uint32_t* pixels, int width, int height, int scale = 1);

// Reads a PNG into `image`. False, with `image` empty, on any failure.
bool png_read(const char* path, PngImage* image);
