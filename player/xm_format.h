// xm_format.h -- the marks and sizes of FastTracker 2's XM file layout that
// its one reader (player/xm_loader.cpp) and its one writer
// (tools/formats/xm_writer.cpp) share, and the tests that build files by hand.
// Constants only: including it links nothing.
#pragma once

// The signature at offset 0, its trailing blank included.
inline constexpr char XM_ID[] = "Extended Module: ";

enum {
    XM_ID_BYTES = 17,
    XM_MODULE_NAME_BYTES = 20,    // module and tracker names (offsets 17 and 38)
    XM_ITEM_NAME_BYTES = 22,      // instrument and sample names
    XM_HEADER_OFFSET = 60,        // the header size field; the song header follows
    XM_SONG_HEADER_SIZE = 276,    // header size as FastTracker 2 writes it, order table included
    XM_VERSION = 0x0104,          // FastTracker 2's format version
    XM_PATTERN_HEADER = 9,        // header length, packing, rows, packed size
    XM_INSTRUMENT_START = 29,     // header size, name, type byte, sample count: all of an
                                  // instrument without samples
    XM_INSTRUMENT_HEADER = 263,   // an instrument with samples, as FastTracker 2 writes it
    XM_SAMPLE_HEADER = 40,
    XM_SAMPLE_NAME = 18,          // offset of the name in a sample header
};
