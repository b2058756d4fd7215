// png.cpp -- PNG writer and reader on zlib.
#include "tools/formats/png.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

static void put_u32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

static void put_chunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size)
{
    put_u32(out, uint32_t(size));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    uint32_t crc = uint32_t(crc32(0, out.data() + start, uInt(size + 4)));
    put_u32(out, crc);
}

bool png_write(const char* path, const uint32_t* pixels, int width, int height, int scale)
{
    if (width <= 0 || height <= 0 || scale <= 0)
        return false;
    const int w = width * scale, h = height * scale;
    std::vector<uint8_t> raw;
    raw.reserve(size_t(h) * (size_t(w) * 3 + 1));
    for (int y = 0; y < h; y++) {
        raw.push_back(0);  // filter: none
        const uint32_t* row = pixels + size_t(y / scale) * width;
        for (int x = 0; x < w; x++) {
            uint32_t p = row[x / scale];
            raw.push_back(uint8_t(p >> 16));
            raw.push_back(uint8_t(p >> 8));
            raw.push_back(uint8_t(p));
        }
    }
    uLongf packed_size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), uLong(raw.size()), 9) != Z_OK)
        return false;

    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> out(signature, signature + 8);
    uint8_t header[13];
    std::vector<uint8_t> ihdr;
    put_u32(ihdr, uint32_t(w));
    put_u32(ihdr, uint32_t(h));
    memcpy(header, ihdr.data(), 8);
    header[8] = 8;   // bits per channel
    header[9] = 2;   // RGB
    header[10] = header[11] = header[12] = 0;
    put_chunk(out, "IHDR", header, 13);
    put_chunk(out, "IDAT", packed.data(), packed_size);
    put_chunk(out, "IEND", nullptr, 0);

    FILE* f = fopen(path, "wb");
    if (!f)
        return false;
    bool ok = fwrite(out.data(), 1, out.size(), f) == out.size();
    return (fclose(f) == 0) && ok;
}

static uint32_t get_u32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

static int paeth(int a, int b, int c)
{
    int p = a + b - c, pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p,
        pc = p > c ? p - c : c - p;
    return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

bool png_read(const char* path, PngImage* image)
{
    *image = PngImage();
    FILE* f = fopen(path, "rb");
    if (!f)
        return false;
    std::vector<uint8_t> file;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        file.insert(file.end(), buffer, buffer + n);
    fclose(f);
    if (file.size() < 8 + 25 || memcmp(file.data(), "\x89PNG\r\n\x1A\n", 8) != 0)
        return false;

    uint32_t w = 0, h = 0;
    int channels = 0;
    std::vector<uint8_t> idat;
    for (size_t pos = 8; pos + 12 <= file.size();) {
        uint32_t size = get_u32(&file[pos]);
        if (size > file.size() - pos - 12)
            return false;
        const uint8_t* type = &file[pos + 4];
        const uint8_t* data = &file[pos + 8];
        if (memcmp(type, "IHDR", 4) == 0 && size >= 13) {
            w = get_u32(data);
            h = get_u32(data + 4);
            if (data[8] != 8 || data[12] != 0 || (data[9] != 2 && data[9] != 6))
                return false;
            channels = data[9] == 2 ? 3 : 4;
        } else if (memcmp(type, "IDAT", 4) == 0) {
            idat.insert(idat.end(), data, data + size);
        } else if (memcmp(type, "IEND", 4) == 0) {
            break;
        }
        pos += size_t(size) + 12;
    }
    if (channels == 0 || w == 0 || h == 0 || w > 16384 || h > 16384)
        return false;

    const size_t stride = size_t(w) * channels;
    std::vector<uint8_t> raw(size_t(h) * (stride + 1));
    uLongf raw_size = uLongf(raw.size());
    if (uncompress(raw.data(), &raw_size, idat.data(), uLong(idat.size())) != Z_OK ||
        raw_size != raw.size())
        return false;

    std::vector<uint8_t> previous(stride, 0), current(stride);
    image->pixels.resize(size_t(w) * h);
    for (uint32_t y = 0; y < h; y++) {
        const uint8_t* line = &raw[y * (stride + 1)];
        uint8_t filter = line[0];
        for (size_t i = 0; i < stride; i++) {
            int a = i >= size_t(channels) ? current[i - channels] : 0;
            int b = previous[i];
            int c = i >= size_t(channels) ? previous[i - channels] : 0;
            int x = line[1 + i];
            switch (filter) {
            case 0: break;
            case 1: x += a; break;
            case 2: x += b; break;
            case 3: x += (a + b) / 2; break;
            case 4: x += paeth(a, b, c); break;
            default: *image = PngImage(); return false;
            }
            current[i] = uint8_t(x);
        }
        for (uint32_t x = 0; x < w; x++) {
            const uint8_t* p = &current[size_t(x) * channels];
            image->pixels[size_t(y) * w + x] = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
        }
        previous.swap(current);
    }
    image->width = int(w);
    image->height = int(h);
    return true;
}
