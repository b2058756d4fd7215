/* cm_pack.c -- the encoding half of the release's context-mixing coder
 * (the decoding half, and the model both share, is unpack_cm.c): codes a
 * row of pieces into one stream, each piece with the models, mixer rate and
 * counter limit given, or the ones found smallest by a greedy search.
 *
 * Usage: cm_pack OUTPUT PIECES
 *   PIECES lists them, one a line, in image order:
 *     FILE KIND ROW [RATE LIMIT MASK...]
 *   FILE holds the piece as it is coded (transforms applied); KIND is
 *   "code" or "data" (which masks the search tries; pictures are data with
 *   a ROW above 1); ROW the bytes per row for the row masks; RATE, LIMIT and
 *   the MASKs (hexadecimal) fix the coding, without them it is searched.
 *   A run of zeros the decoder leaves alone is "SIZE zeros 1".
 * Writes the stream to OUTPUT and, on standard output, a line per piece:
 *   PACKED RATE LIMIT MASK...
 * PACKED being the bytes the piece costs (its share of the one stream; the
 * last carries the stream's final bytes). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "release/unpack_cm.h"

enum { MAX_SIZE = 1 << 22 };

struct Piece {
    uint8_t* data;
    uint32_t size;
    int zeros;             /* not coded */
    int fixed;             /* coding given in the list */
    struct CmPiece coding; /* size, row, rate, limit, models */
};

struct Output {
    uint8_t* bytes; /* null: only counted */
    uint32_t size;
    uint32_t capacity; /* only counted: where counting may stop */
};

static void put(struct Output* out, unsigned byte)
{
    if (out->bytes && out->size < out->capacity)
        out->bytes[out->size] = (uint8_t)byte;
    out->size++;
}

/* The arithmetic encoder matching cm_unpack_image's decoder. */
struct Encoder {
    uint32_t low, high;
    struct Output* out;
};

static void encode_bit(struct Encoder* e, int p, unsigned bit)
{
    uint32_t middle = e->low + ((e->high - e->low) >> 12) * (uint32_t)p;
    if (bit)
        e->high = middle;
    else
        e->low = middle + 1;
    while (!((e->low ^ e->high) >> 24)) {
        put(e->out, e->high >> 24);
        e->low <<= 8;
        e->high = e->high << 8 | 255;
    }
}

static void encode_flush(struct Encoder* e)
{
    /* One byte above low's top byte and the zeros the decoder reads past
     * the end: within the range, whose top bytes differ. */
    put(e->out, (e->low >> 24) + 1);
}

static void encode_piece(struct Cm* cm, struct Encoder* e, const struct Piece* piece, const struct CmPiece* coding)
{
    cm_begin(cm, coding);
    for (uint32_t at = 0; !piece->zeros && at < piece->size; at++) {
        if (!e->out->bytes && e->out->size > e->out->capacity)
            return;
        unsigned partial = 1;
        for (int k = 7; k >= 0; k--) {
            unsigned bit = piece->data[at] >> k & 1;
            encode_bit(e, cm_predict(cm, piece->data, at, partial), bit);
            cm_update(cm, bit);
            partial = partial << 1 | bit;
        }
    }
}

/* Bytes the piece costs alone with this coding; more than `bound` when it
 * costs more than that. */
static uint32_t trial(struct Cm* cm, const struct Piece* piece, const struct CmPiece* coding, uint32_t bound)
{
    struct Output out = {0, 0, bound};
    struct Encoder e = {0, 0xffffffffu, &out};
    encode_piece(cm, &e, piece, coding);
    encode_flush(&e);
    return out.size;
}

static const uint16_t code_masks[] = {
    0x4000, 0x1001, 0x1002, 0x1003, 0x1000, 0x2000, 0x1005, 0x100a, 0x10aa, 0x01, 0x03, 0x07, 0x0f, 0x1f, 0x3f, 0x7f, 0xff, 0x02, 0x04, 0x05, 0x06, 0x09, 0x0a,
    0x0b, 0x0c, 0x0d, 0x0e, 0x11, 0x12, 0x13, 0x15, 0x19, 0x1a, 0x1c, 0x22, 0x23, 0x33, 0x55,
    0xaa, 0xf0, 0xf8, 0xfc, 0xfe, 0x30, 0x60, 0x83, 0x8f, 0x3e};
static const uint16_t picture_masks[] = {
    0x4000, 0x1000, 0x2000, 0x2001, 0x01, 0x03, 0x07, 0x0f, 0x200, 0x201, 0x300, 0x600, 0x700, 0x701, 0x203, 0x301,
    0x601, 0xa00, 0xa01, 0x202, 0x400, 0x100, 0x204, 0xf00, 0x702, 0x02, 0x05};

static void tune(struct Cm* cm, const struct Piece* piece, struct CmPiece* best, uint32_t* best_size)
{
    static const uint8_t rates[] = {2, 3, 4, 6, 8, 12, 16, 24, 32, 48};
    static const uint8_t limits[] = {15, 30, 60, 127, 255};
    struct CmPiece start = *best;
    for (unsigned r = 0; r < sizeof rates; r++)
        for (unsigned l = 0; l < sizeof limits; l++) {
            struct CmPiece c = start;
            c.rate = rates[r];
            c.limit = limits[l];
            uint32_t size = trial(cm, piece, &c, *best_size);
            if (size < *best_size) {
                *best = c;
                *best_size = size;
            }
        }
}

static void search(struct Cm* cm, struct Piece* piece)
{
    const uint16_t* masks = code_masks;
    unsigned count = sizeof code_masks / sizeof *code_masks;
    if (piece->coding.row > 1) {
        masks = picture_masks;
        count = sizeof picture_masks / sizeof *picture_masks;
    }
    struct CmPiece best = piece->coding;
    memset(best.model, 0, sizeof best.model);
    best.rate = 12;
    best.limit = 127;
    uint32_t best_size = 0xffffffffu;
    /* Models added one at a time, each the one that helps most. */
    for (int n = 0; n < CM_MODELS; n++) {
        struct CmPiece step = best;
        uint32_t step_size = best_size;
        for (unsigned m = 0; m < count; m++) {
            int used = 0;
            for (int i = 0; i < n; i++)
                used |= best.model[i] == masks[m];
            if (used)
                continue;
            struct CmPiece c = best;
            c.model[n] = masks[m];
            uint32_t size = trial(cm, piece, &c, step_size);
            if (size < step_size) {
                step = c;
                step_size = size;
            }
        }
        if (step_size >= best_size)
            break;
        best = step;
        best_size = step_size;
    }
    /* Then the mixer's rate and the counters' limit, each model in turn
     * replaced by each other mask, and the rate and limit again. */
    tune(cm, piece, &best, &best_size);
    for (int i = 0; i < CM_MODELS && best.model[i]; i++) {
        for (unsigned m = 0; m < count; m++) {
            int used = 0;
            for (int k = 0; k < CM_MODELS; k++)
                used |= best.model[k] == masks[m];
            if (used)
                continue;
            struct CmPiece c = best;
            c.model[i] = masks[m];
            uint32_t size = trial(cm, piece, &c, best_size);
            if (size < best_size) {
                best = c;
                best_size = size;
            }
        }
    }
    tune(cm, piece, &best, &best_size);
    piece->coding = best;
}

static uint8_t* read_file(const char* path, uint32_t* size)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return 0;
    uint8_t* data = malloc(MAX_SIZE + 1);
    size_t n = data ? fread(data, 1, MAX_SIZE + 1, f) : 0;
    fclose(f);
    if (!data || n > MAX_SIZE) {
        free(data);
        return 0;
    }
    *size = (uint32_t)n;
    return data;
}

/* Frees what main allocated: a build under the leak checker runs this tool. */
static int finish(int code, struct Piece* pieces, unsigned count, struct Cm* cm, uint8_t* out)
{
    for (unsigned i = 0; i < count; i++)
        free(pieces[i].data);
    free(cm);
    free(out);
    return code;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: cm_pack OUTPUT PIECES\n");
        return 2;
    }
    FILE* list = fopen(argv[2], "r");
    if (!list) {
        fprintf(stderr, "cm_pack: cannot read %s\n", argv[2]);
        return 1;
    }
    struct Piece pieces[CM_MAX_PIECES];
    unsigned count = 0;
    char line[1024];
    while (fgets(line, sizeof line, list)) {
        char path[512], kind[16];
        unsigned row, rate, limit, masks[CM_MODELS] = {0};
        int n = sscanf(line, "%511s %15s %u %u %u %x %x %x %x %x %x %x %x", path, kind, &row, &rate, &limit,
                       &masks[0], &masks[1], &masks[2], &masks[3], &masks[4], &masks[5], &masks[6], &masks[7]);
        if (n <= 0)
            continue;
        int zeros = n >= 2 && !strcmp(kind, "zeros");
        if (n < 3 || n == 4 || n == 5 || (strcmp(kind, "code") && strcmp(kind, "data") && !zeros) || row < 1 ||
            row > 4095 || (n > 5 && (rate < 1 || rate > 127 || limit < 1 || limit > 255))) {
            fprintf(stderr, "cm_pack: %s: a bad line: %s", argv[2], line);
            fclose(list);
            return finish(1, pieces, count, 0, 0);
        }
        if (count == CM_MAX_PIECES) {
            fprintf(stderr, "cm_pack: more than %d pieces\n", CM_MAX_PIECES);
            fclose(list);
            return finish(1, pieces, count, 0, 0);
        }
        struct Piece* p = &pieces[count++];
        memset(p, 0, sizeof *p);
        p->zeros = zeros;
        if (zeros) {
            p->size = (uint32_t)strtoul(path, 0, 10);
            p->fixed = 1;
        } else if (!(p->data = read_file(path, &p->size))) {
            fprintf(stderr, "cm_pack: cannot read %s (or over %d bytes)\n", path, MAX_SIZE);
            fclose(list);
            return finish(1, pieces, count, 0, 0);
        }
        p->coding.size = p->size;
        p->coding.row = (uint16_t)row;
        if (n > 5) {
            p->fixed = 1;
            p->coding.rate = (uint8_t)rate;
            p->coding.limit = (uint8_t)limit;
            for (int i = 0; i < CM_MODELS; i++)
                p->coding.model[i] = (uint16_t)masks[i];
        }
    }
    fclose(list);

    struct Cm* cm = malloc(sizeof *cm);
    struct Output out = {malloc(MAX_SIZE), 0, MAX_SIZE};
    if (!cm || !out.bytes) {
        fprintf(stderr, "cm_pack: out of memory\n");
        return finish(1, pieces, count, cm, out.bytes);
    }
    for (unsigned i = 0; i < count; i++)
        if (!pieces[i].fixed)
            search(cm, &pieces[i]);

    /* The one stream, pieces in order through one model state, as the
     * decoder reads it. */
    struct Encoder e = {0, 0xffffffffu, &out};
    uint32_t before = 0;
    for (unsigned i = 0; i < count; i++) {
        encode_piece(cm, &e, &pieces[i], &pieces[i].coding);
        if (i + 1 == count)
            encode_flush(&e);
        const struct CmPiece* c = &pieces[i].coding;
        printf("%u %u %u", out.size - before, c->rate, c->limit);
        for (int k = 0; k < CM_MODELS; k++)
            printf(" %x", c->model[k]);
        printf("\n");
        before = out.size;
    }
    FILE* f = fopen(argv[1], "wb");
    if (!f || fwrite(out.bytes, 1, out.size, f) != out.size || fclose(f)) {
        fprintf(stderr, "cm_pack: cannot write %s\n", argv[1]);
        return finish(1, pieces, count, cm, out.bytes);
    }
    return finish(0, pieces, count, cm, out.bytes);
}
