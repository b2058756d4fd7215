/* unpack_cm.c -- see unpack_cm.h. Written for size: it is most of the
 * stub. */
#include "release/unpack_cm.h"

_Static_assert(sizeof(struct Cm) <= CM_SCRATCH, "CM_SCRATCH is too small");
_Static_assert(sizeof(struct CmPiece) == 28, "the packer writes 28-byte pieces");

/* The logistic function 4096 / (1 + e^-(x / 256)) at x = -2048, -1920 ..
 * 2048 (and once more, for the interpolation at 2048); between these
 * points it is interpolated. */
static const uint16_t squash_points[34] = {
    1, 2, 4, 6, 10, 17, 27, 45, 74, 120, 194, 311, 488, 747, 1102, 1546, 2048,
    2550, 2994, 3349, 3608, 3785, 3902, 3976, 4022, 4051, 4069, 4079, 4086, 4090, 4092, 4094, 4095, 4095};

/* x: -2048..2048. */
static int squash(int x)
{
    int w = x & 127;
    const uint16_t* t = squash_points + (x >> 7) + 16;
    return (t[0] * (128 - w) + t[1] * w + 64) >> 7;
}

void cm_begin(struct Cm* cm, const struct CmPiece* piece)
{
    cm->piece = piece;
    uint32_t* s = cm->slot;
    for (uint32_t i = 0; i < (1u << CM_SLOT_BITS); i++)
        s[i] = 0;
    int32_t* w = cm->weights[0];
    for (int i = 0; i < 32 * (CM_MODELS + 1); i++)
        w[i] = 1 << 14;
    /* The refinement starts as the identity. */
    uint16_t* r = cm->refine[0];
    for (int i = 0; i < 256 * 33; i++)
        r[i] = (uint16_t)(squash((i % 33 - 16) * 128) * 16);
    /* stretch is squash's inverse: the least x that squashes to p or
     * above. */
    int p = 0;
    for (int x = -2047; x <= 2047; x++)
        for (int v = squash(x); p <= v; p++)
            cm->stretch[p] = (int16_t)x;
    for (; p < 4096; p++)
        cm->stretch[p] = 2047;
}

int cm_predict(struct Cm* cm, const uint8_t* data, uint32_t at, unsigned partial)
{
    const struct CmPiece* piece = cm->piece;
    int dot = 0;
    cm->weight = cm->weights[31 - __builtin_clz(partial) + (at ? data[at - 1] >> 6 << 3 : 0)];
    for (int i = 0; i < CM_MODELS; i++) {
        unsigned mask = piece->model[i];
        int input = 0;
        if (mask) {
            if (partial == 1) {
                /* A new byte: the model's context from the bytes it picks. */
                uint32_t h = mask * 0x9e3779b1u;
                for (unsigned k = 0; k < 14; k++) {
                    if (mask >> k & 1) {
                        uint32_t back = k < 8 ? k + 1 : k < 11 ? piece->row + 9 - k : 2u * piece->row;
                        unsigned byte = k == 12 ? at & 1 : k == 13 ? at & 3 : back - 1 < at ? data[at - back] : 0;
                        h = (h + byte + 1) * 0x2f0b3a49u;
                        h ^= h >> 15;
                    }
                }
                cm->hash[i] = h;
            }
            uint32_t* c = cm->slot + (((cm->hash[i] + partial) * 0x9e3779b1u) >> (32 - CM_SLOT_BITS));
            cm->counter[i] = c;
            input = cm->stretch[(*c ^ 0x80000000u) >> 20];
        }
        cm->input[i] = input;
        dot += (input * cm->weight[i]) >> 16;
    }
    cm->input[CM_MODELS] = 256;
    dot += cm->weight[CM_MODELS] >> 8;
    dot = dot > 2047 ? 2047 : dot < -2047 ? -2047 : dot;
    /* A quarter the mixer's, three quarters its refinement. */
    int w = (dot + 2048) & 127;
    uint16_t* point = cm->refine[partial] + ((dot + 2048) >> 7);
    cm->point = point + (w >> 6);
    int p = (squash(dot) + 3 * ((point[0] * (128 - w) + point[1] * w) >> 11)) >> 2;
    cm->p = p < 1 ? 1 : p > 4095 ? 4095 : p;
    return cm->p;
}

void cm_update(struct Cm* cm, unsigned bit)
{
    const struct CmPiece* piece = cm->piece;
    *cm->point += ((int)(bit ? 65535 : 0) - *cm->point) >> 6;
    int error = ((int)(bit << 12) - cm->p) * piece->rate;
    for (int i = 0; i <= CM_MODELS; i++) {
        /* Kept within +-8, so that no product overflows. */
        int w = cm->weight[i] + ((cm->input[i] * error) >> 14);
        cm->weight[i] = w > (1 << 19) ? 1 << 19 : w < -(1 << 19) ? -(1 << 19) : w;
        if (i < CM_MODELS && piece->model[i]) {
            uint32_t s = *cm->counter[i] ^ 0x80000000u;
            int n = s & 1023, p = s >> 10;
            p += ((int)(bit ? 0x3fffff : 0) - p) * 2 / (2 * n + 3);
            n += n < piece->limit;
            *cm->counter[i] = ((uint32_t)p << 10 | n) ^ 0x80000000u;
        }
    }
}

void cm_undo_calls(uint8_t* data, uint32_t size)
{
    /* A call or jump (E8, E9) whose 32-bit target offset has a top byte of
     * 0 or FF holds the target counted from the piece's start instead,
     * wrapped to 25 bits and sign-extended (top byte again 0 or FF). */
    for (uint32_t i = 0; i + 5 <= size; i++) {
        if ((data[i] & 0xfe) == 0xe8 && (uint8_t)(data[i + 4] + 1) < 2) {
            /* (x86 is little-endian, as the value in the code is.) */
            uint32_t v;
            __builtin_memcpy(&v, data + i + 1, 4);
            v = (((v - (i + 5)) & 0x1ffffffu) ^ 0x1000000u) - 0x1000000u;
            __builtin_memcpy(data + i + 1, &v, 4);
            i += 4;
        }
    }
}

void cm_undo_delta(uint8_t* data, uint32_t size, unsigned distance)
{
    for (uint32_t i = distance; i < size; i++)
        data[i] = (uint8_t)(data[i] + data[i - distance]);
}

uint32_t cm_hash(const uint8_t* data, uint32_t size)
{
    uint32_t h = 2166136261u;
    while (size--)
        h = (h ^ *data++) * 16777619u;
    return h;
}

int cm_unpack_image(const struct CmTable* table, const uint8_t* payload, uint32_t payload_size,
                    uint8_t* image, uint32_t image_size, struct Cm* cm)
{
    /* The arithmetic decoder: the range [low, high] narrows with each bit
     * to the part the bit's probability gives it; `code` is where the
     * stream points in it. Bytes past the payload's end read as zero. */
    uint32_t low = 0, high = 0xffffffffu, code = 0, used = 0;
    for (int i = 0; i < 4; i++)
        code = code << 8 | (used < payload_size ? payload[used++] : 0);
    if (table->count > CM_MAX_PIECES)
        return -1;
    uint8_t* out = image;
    for (uint32_t n = 0; n < table->count; n++) {
        const struct CmPiece* piece = &table->piece[n];
        if (piece->size > image_size - (uint32_t)(out - image))
            return -1;
        cm_begin(cm, piece);
        for (uint32_t at = 0; piece->transform != CM_ZEROS && at < piece->size; at++) {
            unsigned partial = 1;
            while (partial < 256) {
                uint32_t middle = low + ((high - low) >> 12) * (uint32_t)cm_predict(cm, out, at, partial);
                unsigned bit = code <= middle;
                if (bit)
                    high = middle;
                else
                    low = middle + 1;
                cm_update(cm, bit);
                partial = partial << 1 | bit;
                while (!((low ^ high) >> 24)) {
                    low <<= 8;
                    high = high << 8 | 255;
                    code = code << 8 | (used < payload_size ? payload[used++] : 0);
                }
            }
            out[at] = (uint8_t)partial;
        }
        if (piece->transform == CM_CALLS)
            cm_undo_calls(out, piece->size);
        else if (piece->transform == CM_DELTA)
            cm_undo_delta(out, piece->size, piece->distance);
        out += piece->size;
    }
    return cm_hash(image, (uint32_t)(out - image)) == table->hash ? 0 : -1;
}
