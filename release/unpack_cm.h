/* unpack_cm.h -- the release's context-mixing coder: the model both halves
 * share (the stub's decoder, unpack_cm.c, and the packer's encoder,
 * tools/release/cm_pack.c, which calls the same functions so that the two
 * predict alike bit for bit), and the decoder of a packed image.
 *
 * Each bit of the image is predicted by several context models and the
 * predictions mixed, then refined: a model hashes the bytes its mask picks (some of the
 * last eight, some in the row above for pictures) with the bits of the
 * current byte seen so far into a slot of one large table, which holds an
 * adaptive probability and how often it was seen; a logistic mixer weighs
 * the models' opinions by how well each did so far; the mixed probability
 * is refined by what it turned out to mean in the same place of a byte
 * before (an adaptive map of probabilities); a binary arithmetic
 * coder spends what the mixed probability says the bit costs. Integers
 * only, so that the 32-bit stub and the 64-bit packer agree exactly.
 *
 * Plain C without a C library. Single-threaded; the state lives in memory
 * the caller gives (the stub: a part of its reserved section; the web page:
 * its heap, while it unpacks its assets). */
#ifndef TAVIMO_RELEASE_UNPACK_CM_H
#define TAVIMO_RELEASE_UNPACK_CM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CM_MODELS 8        /* context models a piece may use */
/* The table holds 1 << CM_SLOT_BITS counters. A build may give fewer (the
 * web page does); its encoder must be built with the same number. */
#ifndef CM_SLOT_BITS
#define CM_SLOT_BITS 24
#endif
#define CM_MAX_PIECES 10

/* A model's mask: bit k (0..7) takes the byte k + 1 back; bits 8..10 the
 * bytes a row back, one left of it, above it and one right of it
 * (distances row + 1, row, row - 1); bit 11 the byte two rows back; bit
 * 12 the byte's position in the piece modulo 2, bit 13 modulo 4 (for
 * interleaved 16-bit values or pixels). Bits 14 and 15 are part of the hash
 * only, to tell models apart. 0: unused. */
enum { CM_ROW_LEFT = 1 << 8, CM_ROW_UP = 1 << 9, CM_ROW_RIGHT = 1 << 10, CM_ROW_TWO_UP = 1 << 11,
       CM_ODD = 1 << 12, CM_QUARTER = 1 << 13, CM_ORDER0 = 1 << 14 };

/* Kinds of transform, undone after a piece is decoded. */
enum {
    CM_PLAIN = 0,
    CM_CALLS = 1, /* x86 call and jump targets made absolute */
    CM_DELTA = 2, /* byte differences at a distance (delta) */
    CM_ZEROS = 3  /* not coded: zeros, as the image's memory starts */
};

/* One piece of the image: the pieces follow one another from the image's
 * start, each coded with its own models. Little-endian, no padding. */
struct CmPiece {
    uint32_t size;      /* bytes */
    uint8_t transform;  /* CM_PLAIN, CM_CALLS, CM_DELTA or CM_ZEROS */
    uint8_t distance;   /* the delta's distance, 1..255 */
    uint16_t row;       /* bytes per row for the row masks, 1..4095 */
    uint8_t rate;       /* the mixer's learning rate, 1..127 (higher adapts faster) */
    uint8_t limit;      /* the counters' adaptation limit: rate 1/(limit + 1.5) at least, 1..255 */
    uint16_t model[CM_MODELS]; /* masks, unused ones 0 */
    uint16_t reserved;
};

/* What the packer writes into the stub: little-endian, no padding. */
struct CmTable {
    uint32_t magic[2];     /* CM_MAGIC0/1 until the packer fills it in */
    uint32_t image_offset; /* the image's base, from the packed file's base */
    uint32_t payload;      /* the payload, from the packed file's base */
    uint32_t payload_size;
    uint32_t scratch;      /* the decoder's state (CM_SCRATCH bytes), from the base;
                              the image may not reach it */
    uint32_t hash;         /* cm_hash of the image's bytes the pieces cover */
    uint32_t count;        /* pieces in use */
    struct CmPiece piece[CM_MAX_PIECES];
};
#define CM_MAGIC0 0x6b636170u /* "pack" */
#define CM_MAGIC1 0x6576696cu /* "live" */

/* The model's state. */
struct Cm {
    int16_t stretch[4096];      /* ln(p / (1 - p)) * 256 for 12-bit p */
    int32_t weights[32][CM_MODELS + 1]; /* the mixer's, 16.16 fixed point, a set per bit
                                  of the byte and top two bits of the byte before;
                                  the last for the bias */
    int32_t* weight;            /* the set in use */
    int32_t input[CM_MODELS + 1];  /* the models' stretched opinions on the current bit */
    uint32_t hash[CM_MODELS];   /* each model's context of the current byte */
    uint32_t* counter[CM_MODELS]; /* each model's counter for the current bit */
    const struct CmPiece* piece;
    int p;                      /* the final probability of a 1, 1..4095 */
    uint16_t refine[256][33];   /* the mixed probability refined by the bits of the
                                  byte seen: 16-bit probabilities at 33 points of
                                  the mixer's output, interpolated between */
    uint16_t* point;            /* the refining point nearest the current bit's */
    uint32_t slot[1u << CM_SLOT_BITS]; /* probability in the top 22 bits (stored with
                                  its top bit flipped, so that zeroed memory says
                                  one half), times seen in the low 10 */
};
/* Bytes the state takes at most, whatever the machine's pointers. */
#define CM_SCRATCH ((4u << CM_SLOT_BITS) + 65536u)

/* The shared model. cm_begin starts a piece coded with `piece` from a
 * clear state (every slot, the mixer, the refinement); cm_predict gives the probability (1..4095, of 4096)
 * that the next bit of data[at] is 1, given the bits of it seen so far
 * (`partial`: 1, then 1 followed by those bits, most significant first);
 * cm_update learns the bit. data[0..at) are the piece's bytes so far. */
void cm_begin(struct Cm* cm, const struct CmPiece* piece);
int cm_predict(struct Cm* cm, const uint8_t* data, uint32_t at, unsigned partial);
void cm_update(struct Cm* cm, unsigned bit);

/* Undo the transforms (the packer applies their inverses). */
void cm_undo_calls(uint8_t* data, uint32_t size);
void cm_undo_delta(uint8_t* data, uint32_t size, unsigned distance);

/* FNV-1a over size bytes. */
uint32_t cm_hash(const uint8_t* data, uint32_t size);

/* Decodes every piece of the table from payload[0..payload_size) into
 * image (which must hold the pieces' sizes), undoes the transforms and
 * checks the hash: 0, or -1 when anything is wrong (pieces beyond
 * `image_size`, a bad table, a wrong hash). Damaged data never makes it
 * touch memory outside image and cm. The image's CM_ZEROS pieces are left
 * as they are: the caller gives them zeroed. */
int cm_unpack_image(const struct CmTable* table, const uint8_t* payload, uint32_t payload_size,
                    uint8_t* image, uint32_t image_size, struct Cm* cm);

#ifdef __cplusplus
}
#endif

#endif
