/* unpack.c -- see unpack.h. The LZMA decoder follows the format as LZMA's
 * own description gives it: a binary range coder with 11-bit adaptive
 * probabilities, literals coded with lc bits of the previous byte and lp
 * bits of the position as context, and matches given as a length and a
 * distance (or one of the four latest distances), with a 12-state history
 * of what came last. Written for size: it is most of the stub. */
#include "release/unpack.h"

/* Where each group of probabilities starts in the table. */
enum {
    IS_MATCH = 0,                 /* [state][pos_state] */
    IS_REP = IS_MATCH + 192,      /* [state] */
    IS_REP_G0 = IS_REP + 12,
    IS_REP_G1 = IS_REP_G0 + 12,
    IS_REP_G2 = IS_REP_G1 + 12,
    IS_REP0_LONG = IS_REP_G2 + 12, /* [state][pos_state] */
    SLOT = IS_REP0_LONG + 192,    /* [length state][64] */
    SPECIAL = SLOT + 256,         /* distances 4..127, reversed bit trees */
    ALIGN = SPECIAL + 115,        /* the distance's low 4 bits */
    LENGTH = ALIGN + 16,          /* match lengths */
    REP_LENGTH = LENGTH + 514,    /* lengths of repeated matches */
    LITERAL = REP_LENGTH + 514    /* [context][0x300] */
};
/* A length coder: choice, choice 2, low[16][8], mid[16][8], high[256]. */
enum { L_CHOICE = 0, L_CHOICE2 = 1, L_LOW = 2, L_MID = 130, L_HIGH = 258 };

struct Coder {
    const uint8_t* in;
    const uint8_t* end;
    uint32_t range;
    uint32_t code;
    int overrun;
};

static void normalize(struct Coder* c)
{
    if (c->range < (1u << 24)) {
        uint32_t next = 0;
        if (c->in < c->end)
            next = *c->in++;
        else
            c->overrun = 1;
        c->range <<= 8;
        c->code = (c->code << 8) | next;
    }
}

static unsigned bit(struct Coder* c, uint16_t* p)
{
    uint32_t bound = (c->range >> 11) * *p;
    unsigned b;
    if (c->code < bound) {
        c->range = bound;
        *p += (2048 - *p) >> 5;
        b = 0;
    } else {
        c->range -= bound;
        c->code -= bound;
        *p -= *p >> 5;
        b = 1;
    }
    normalize(c);
    return b;
}

/* A bit tree of `bits` levels, most significant bit first. */
static uint32_t tree(struct Coder* c, uint16_t* p, unsigned bits)
{
    uint32_t m = 1;
    for (unsigned i = 0; i < bits; i++)
        m = (m << 1) | bit(c, p + m);
    return m - (1u << bits);
}

/* The same, least significant bit first. */
static uint32_t reverse_tree(struct Coder* c, uint16_t* p, unsigned bits)
{
    uint32_t m = 1, value = 0;
    for (unsigned i = 0; i < bits; i++) {
        unsigned b = bit(c, p + m);
        m = (m << 1) | b;
        value |= b << i;
    }
    return value;
}

/* A match length less 2: 0..271. */
static uint32_t length(struct Coder* c, uint16_t* p, unsigned pos_state)
{
    if (!bit(c, p + L_CHOICE))
        return tree(c, p + L_LOW + pos_state * 8, 3);
    if (!bit(c, p + L_CHOICE2))
        return 8 + tree(c, p + L_MID + pos_state * 8, 3);
    return 16 + tree(c, p + L_HIGH, 8);
}

int unpack_lzma(const uint8_t* in, uint32_t in_size, uint8_t* out, uint32_t out_size,
                unsigned properties, uint16_t* probs)
{
    unsigned lc = properties % 9, lp = properties / 9 % 5, pb = properties / 45;
    if (properties >= 9 * 5 * 5 || lc + lp > UNPACK_MAX_LC_LP || in_size < 5 || in[0] != 0)
        return -1;
    for (uint32_t i = 0; i < UNPACK_PROBS(lc + lp); i++)
        probs[i] = 1024;

    struct Coder c;
    c.in = in + 1;
    c.end = in + in_size;
    c.range = 0xffffffffu;
    c.code = 0;
    c.overrun = 0;
    for (int i = 0; i < 4; i++)
        c.code = (c.code << 8) | *c.in++;
    if (c.code == c.range)
        return -1;

    uint32_t pos = 0, rep0 = 0, rep1 = 0, rep2 = 0, rep3 = 0;
    unsigned state = 0;
    for (;;) {
        unsigned pos_state = pos & ((1u << pb) - 1);
        if (!bit(&c, probs + IS_MATCH + state * 16 + pos_state)) {
            /* A literal, in the context of the byte before it. */
            if (pos >= out_size)
                return -1;
            unsigned previous = pos ? out[pos - 1] : 0;
            uint16_t* p = probs + LITERAL +
                          0x300 * (((pos & ((1u << lp) - 1)) << lc) + (previous >> (8 - lc)));
            unsigned symbol = 1;
            if (state >= 7) {
                /* Right after a match: the byte at the match distance
                 * guides the first bits, until one differs from it. */
                unsigned match = out[pos - rep0 - 1];
                do {
                    unsigned match_bit = (match >> 7) & 1;
                    match <<= 1;
                    unsigned b = bit(&c, p + ((1 + match_bit) << 8) + symbol);
                    symbol = (symbol << 1) | b;
                    if (b != match_bit)
                        break;
                } while (symbol < 0x100);
            }
            while (symbol < 0x100)
                symbol = (symbol << 1) | bit(&c, p + symbol);
            out[pos++] = (uint8_t)symbol;
            state = state < 4 ? 0 : state < 10 ? state - 3 : state - 6;
            continue;
        }

        uint32_t len;
        if (bit(&c, probs + IS_REP + state)) {
            if (pos == 0)
                return -1;
            if (!bit(&c, probs + IS_REP_G0 + state)) {
                if (!bit(&c, probs + IS_REP0_LONG + state * 16 + pos_state)) {
                    /* One byte from the latest distance. */
                    if (pos >= out_size)
                        return -1;
                    state = state < 7 ? 9 : 11;
                    out[pos] = out[pos - rep0 - 1];
                    pos++;
                    continue;
                }
            } else {
                uint32_t distance;
                if (!bit(&c, probs + IS_REP_G1 + state)) {
                    distance = rep1;
                } else {
                    if (!bit(&c, probs + IS_REP_G2 + state)) {
                        distance = rep2;
                    } else {
                        distance = rep3;
                        rep3 = rep2;
                    }
                    rep2 = rep1;
                }
                rep1 = rep0;
                rep0 = distance;
            }
            len = length(&c, probs + REP_LENGTH, pos_state);
            state = state < 7 ? 8 : 11;
        } else {
            rep3 = rep2;
            rep2 = rep1;
            rep1 = rep0;
            len = length(&c, probs + LENGTH, pos_state);
            state = state < 7 ? 7 : 10;
            /* The distance: a 6-bit slot per length class, then the
             * slot's low bits, from the model or direct. */
            unsigned slot = tree(&c, probs + SLOT + (len < 3 ? len : 3) * 64, 6);
            if (slot < 4) {
                rep0 = slot;
            } else {
                unsigned direct = (slot >> 1) - 1;
                rep0 = (2 | (slot & 1)) << direct;
                if (slot < 14) {
                    rep0 += reverse_tree(&c, probs + SPECIAL + rep0 - slot, direct);
                } else {
                    /* Bits of even probability, then 4 modelled ones. */
                    uint32_t middle = 0;
                    for (unsigned i = direct - 4; i > 0; i--) {
                        c.range >>= 1;
                        uint32_t one = c.code >= c.range;
                        c.code -= c.range & (0u - one);
                        middle = (middle << 1) | one;
                        normalize(&c);
                    }
                    rep0 += (middle << 4) + reverse_tree(&c, probs + ALIGN, 4);
                }
                if (rep0 == 0xffffffffu)
                    break; /* the end marker */
            }
        }
        len += 2;
        if (rep0 >= pos || len > out_size - pos)
            return -1;
        do {
            out[pos] = out[pos - rep0 - 1];
            pos++;
        } while (--len);
    }
    return pos == out_size && c.code == 0 && !c.overrun ? 0 : -1;
}

void unpack_calls(uint8_t* data, uint32_t size)
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

void unpack_delta(uint8_t* data, uint32_t size, unsigned distance)
{
    for (uint32_t i = distance; i < size; i++)
        data[i] = (uint8_t)(data[i] + data[i - distance]);
}

uint32_t unpack_hash(const uint8_t* data, uint32_t size)
{
    uint32_t h = 2166136261u;
    while (size--)
        h = (h ^ *data++) * 16777619u;
    return h;
}

int unpack_image(const struct UnpackTable* table, const uint8_t* payload, uint32_t payload_size,
                 uint8_t* image, uint16_t* probs)
{
    if (table->count > UNPACK_MAX_PIECES)
        return -1;
    for (uint32_t i = 0; i < table->count; i++) {
        const struct UnpackPiece* piece = &table->piece[i];
        if (piece->offset > table->image_end || piece->size > table->image_end - piece->offset ||
            piece->packed > payload_size)
            return -1;
        uint8_t* out = image + piece->offset;
        if (unpack_lzma(payload, piece->packed, out, piece->size, piece->properties, probs))
            return -1;
        payload += piece->packed;
        payload_size -= piece->packed;
        if (piece->transform == UNPACK_CALLS)
            unpack_calls(out, piece->size);
        else if (piece->transform == UNPACK_DELTA)
            unpack_delta(out, piece->size, piece->distance);
    }
    return unpack_hash(image, table->image_end) == table->hash ? 0 : -1;
}
