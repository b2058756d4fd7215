/* render_wav.c -- renders an XM module into a 16-bit stereo WAV file at
 * 44100 Hz through the tavimo-xm library, from its start to its end, and
 * prints each row the library reports on standard error. The file is the
 * one `tavimo-xm render MODULE OUT.wav` writes.
 *
 *   cc render_wav.c -o render_wav $(pkg-config --cflags --libs tavimo-xm)
 *   ./render_wav MODULE OUT.wav
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tavimo_xm.h>

enum { RATE = 44100, CHUNK = 4096 };

/* Each row as the library reports it: the frame it starts at and where. */
static void print_row(void* user, const TavimoXmEvent* event)
{
    (void)user;
    if (event->kind == TAVIMO_XM_EVENT_ROW)
        fprintf(stderr, "frame %lld order %d pattern %d row %d\n", (long long)event->frame,
                event->order, event->pattern, event->row);
}

static void put32(unsigned char* p, unsigned long v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

/* The 44-byte header of a PCM WAV file of `frames` 16-bit stereo frames. */
static void wav_header(unsigned char h[44], unsigned long frames)
{
    static const unsigned char fmt[16] = {1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 16, 0};
    memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + frames * 4);
    memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    memcpy(h + 20, fmt, 16);
    put32(h + 24, RATE);
    put32(h + 28, RATE * 4);
    memcpy(h + 36, "data", 4);
    put32(h + 40, frames * 4);
}

/* The whole file in memory; null when it cannot be read. */
static unsigned char* read_file(const char* path, size_t* size)
{
    FILE* f = fopen(path, "rb");
    unsigned char* data = NULL;
    long length;
    if (!f)
        return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (length = ftell(f)) >= 0 && fseek(f, 0, SEEK_SET) == 0) {
        data = malloc(length > 0 ? (size_t)length : 1);
        if (data && fread(data, 1, (size_t)length, f) != (size_t)length) {
            free(data);
            data = NULL;
        }
        *size = (size_t)length;
    }
    fclose(f);
    return data;
}

int main(int argc, char** argv)
{
    const char* why;
    unsigned char header[44];
    static int16_t buffer[2 * CHUNK];
    TavimoXmInfo info;
    long long limit, frames = 0;
    size_t size;
    unsigned char* bytes;
    TavimoXm* xm;
    FILE* out;
    int n, failed;

    if (argc != 3) {
        fprintf(stderr, "usage: render_wav MODULE OUT.wav\n");
        return 2;
    }
    bytes = read_file(argv[1], &size);
    if (!bytes) {
        fprintf(stderr, "render_wav: %s: cannot be read\n", argv[1]);
        return 1;
    }
    xm = tavimo_xm_load(bytes, size, RATE, &why);
    free(bytes);
    if (!xm) {
        fprintf(stderr, "render_wav: %s: %s\n", argv[1], why);
        return 1;
    }
    out = fopen(argv[2], "wb");
    if (!out) {
        fprintf(stderr, "render_wav: %s: cannot be written\n", argv[2]);
        tavimo_xm_free(xm);
        return 1;
    }
    tavimo_xm_set_event_function(xm, print_row, NULL);
    tavimo_xm_info(xm, &info);
    /* A song with no end stops after the bound, as tavimo-xm's does. */
    limit = info.length_frames >= 0 ? info.length_frames
                                    : (long long)TAVIMO_XM_LENGTH_BOUND_SECONDS * RATE;
    wav_header(header, 0);
    failed = fwrite(header, 1, 44, out) != 44;
    while (frames < limit) {
        int want = limit - frames < CHUNK ? (int)(limit - frames) : CHUNK;
        n = tavimo_xm_render_s16(xm, buffer, want);
        /* WAV data is little-endian, as are the machines this runs on. */
        if (n > 0 && fwrite(buffer, 4, (size_t)n, out) != (size_t)n)
            failed = 1;
        frames += n;
        if (n < want)
            break;
    }
    wav_header(header, (unsigned long)frames);
    if (fseek(out, 0, SEEK_SET) != 0 || fwrite(header, 1, 44, out) != 44)
        failed = 1;
    if (fclose(out) != 0)
        failed = 1;
    tavimo_xm_free(xm);
    if (failed) {
        fprintf(stderr, "render_wav: %s: write failed\n", argv[2]);
        return 1;
    }
    return 0;
}
