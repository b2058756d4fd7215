/* unpack.h -- the decoding half of the Windows release's packer: a raw
 * LZMA stream decoder and the two transforms the packer applies before
 * compressing (tools/release/pack_pe.py), driven by a table of pieces.
 * Plain C without a C library, so that the same source is the stub's
 * decoder in tavimo-64k.exe and is tested natively.
 *
 * The image is decoded in place: each piece is one LZMA stream whose
 * dictionary is the piece itself as it is written, so nothing is needed but
 * the destination and a table of probabilities. */
#ifndef TAVIMO_RELEASE_UNPACK_H
#define TAVIMO_RELEASE_UNPACK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Probabilities the decoder needs for lc + lp literal context bits. */
#define UNPACK_PROBS(lc_lp) (1847u + (0x300u << (lc_lp)))
/* The packer keeps lc + lp at most this, so that one table fits all. */
#define UNPACK_MAX_LC_LP 4
#define UNPACK_MAX_PIECES 12

/* Kinds of transform, undone after a piece is decoded. */
enum {
    UNPACK_PLAIN = 0,
    UNPACK_CALLS = 1,  /* x86 call and jump targets made absolute */
    UNPACK_DELTA = 2   /* byte differences at a distance (delta) */
};

/* One piece: `size` bytes at `offset` of the image, from `packed` bytes of
 * the payload (pieces follow one another there). */
struct UnpackPiece {
    uint32_t offset;
    uint32_t size;
    uint32_t packed;
    uint8_t properties; /* LZMA's (pb * 5 + lp) * 9 + lc */
    uint8_t transform;  /* UNPACK_PLAIN, UNPACK_CALLS or UNPACK_DELTA */
    uint8_t distance;   /* the delta's distance, 1..255 */
    uint8_t reserved;
};

/* What the packer writes into the stub: little-endian, no padding. */
struct UnpackTable {
    uint32_t magic[2];   /* UNPACK_MAGIC0/1 until the packer fills it in */
    uint32_t image_offset; /* the image's base, from the packed file's base */
    uint32_t payload;    /* the payload, from the image's base */
    uint32_t payload_size;
    uint32_t image_end;  /* bytes of the image the pieces cover */
    uint32_t probs;      /* scratch for the probabilities, from the base */
    uint32_t hash;       /* unpack_hash of the image's first image_end bytes */
    uint32_t count;      /* pieces in use */
    struct UnpackPiece piece[UNPACK_MAX_PIECES];
};
#define UNPACK_MAGIC0 0x6b636170u /* "pack" */
#define UNPACK_MAGIC1 0x6576696cu /* "live" */

/* Decodes the raw LZMA stream in[0..in_size) into out[0..out_size), which
 * must be filled exactly and followed by the stream's end marker. Returns 0,
 * or -1 for a damaged stream (out then holds garbage but nothing outside it
 * was touched). probs holds UNPACK_PROBS(lc + lp) entries. */
int unpack_lzma(const uint8_t* in, uint32_t in_size, uint8_t* out, uint32_t out_size,
                unsigned properties, uint16_t* probs);

/* Undo the transforms (the packer applies their inverses). */
void unpack_calls(uint8_t* data, uint32_t size);
void unpack_delta(uint8_t* data, uint32_t size, unsigned distance);

/* FNV-1a over size bytes. */
uint32_t unpack_hash(const uint8_t* data, uint32_t size);

/* Decodes every piece of the table from payload[0..payload_size) into
 * image, undoes the transforms and checks the hash: 0, or -1 when anything
 * is wrong (a piece outside the image, a damaged stream, a wrong hash). */
int unpack_image(const struct UnpackTable* table, const uint8_t* payload, uint32_t payload_size,
                 uint8_t* image, uint16_t* probs);

#ifdef __cplusplus
}
#endif

#endif
