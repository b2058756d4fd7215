/* tavimo_xm.h -- the tavimo XM player as a C library: load a FastTracker 2
 * module from memory and render it into your own buffers, exactly as the
 * show and `tavimo-xm render` play it.
 *
 * WHAT IT IS
 *   The show's own XM loader, replay engine and software mixer behind a
 *   small plain-C interface (C99 or C++). It owns no sound device: you ask
 *   for N frames of interleaved stereo (16-bit or float) at the rate you
 *   chose and hand them to whatever device, file or encoder you like. The
 *   samples are the engine's to the bit: a module rendered here at 44100 Hz
 *   from its start to its end is the same file `tavimo-xm render` writes.
 *
 * USAGE
 *     const char* why;
 *     TavimoXm* xm = tavimo_xm_load(bytes, size, 44100, &why);
 *     if (!xm) { fprintf(stderr, "%s\n", why); return 1; }
 *     TavimoXmInfo info;
 *     tavimo_xm_info(xm, &info);               // names, channels, length ...
 *     tavimo_xm_set_event_function(xm, on_event, my_state);  // optional
 *     int16_t buffer[2 * 1024];
 *     int n;
 *     while ((n = tavimo_xm_render_s16(xm, buffer, 1024)) > 0)
 *         consume(buffer, n);                  // n < 1024: the song ended
 *     tavimo_xm_free(xm);
 *   Build with `cc prog.c $(pkg-config --cflags --libs tavimo-xm)`.
 *
 *   The song ends where a listener's player ends it: the first time it would
 *   go back to a row it has already played with the same pattern loops
 *   running, or when its order list runs out; the last row plays whole.
 *   tavimo_xm_set_loops plays on through more ends.
 *
 * SYNC HOOKS
 *   For visuals that follow the music: the event function you set is called
 *   from inside the render calls, once for each row entered and each note
 *   started (and each note the engine stops) whose frame lies in the buffer
 *   being filled, in the order they happen, with the frame's offset in that
 *   buffer. Every event happens at the first frame of a tick (a row's notes
 *   at the row's first frame, a delayed note at its tick's). Counting the
 *   frames your device has played tells you when each is heard.
 *
 * THREADS
 *   None of its own, and no locks you need to know of. All calls on one
 *   module must come from one thread at a time (a render in an audio
 *   callback and a position query in the drawing thread need your own lock
 *   around both). The event function runs on the thread that renders, inside
 *   the render call: copy what you need and return; do not call back into
 *   the library from it.
 *
 * MEMORY
 *   tavimo_xm_load allocates everything (the module's patterns and samples,
 *   the mixer's 256 voices, a block of about 20 ms of output, the event log)
 *   with malloc; tavimo_xm_free gives it all back. Rendering and the
 *   queries allocate nothing; a seek allocates the end watcher's tables
 *   afresh (up to a few MiB for very long songs) and frees the old ones.
 *   Your module bytes are not kept: free them after the load.
 *
 * WHAT IT CANNOT DO
 *   - One module per process at a time: the engine's voices, its list of
 *     playing songs and its output rate are process-wide. A second
 *     tavimo_xm_load before tavimo_xm_free is refused.
 *   - Formats other than XM; writing modules; changing a module's data.
 *   - Seeking to a row or a time: tavimo_xm_seek_order goes to the start of
 *     an order position, as a pattern jump would (the channels keep their
 *     state), not as if played from the start.
 *   - Changing the rate after the load: load the module again.
 *   - A shared library: it comes as a static archive, whose one object
 *     exports only the tavimo_xm_* names (the engine's own stay inside) and
 *     needs the C++ runtime (pkg-config lists it).
 *
 * NUMBERS
 *   Orders, patterns, rows, ticks, channels, instruments and samples count
 *   from 0 (a tracker shows instrument 1 as 0 here). Frames are counted
 *   from the load on, across seeks; a frame is one left/right pair.
 */
#ifndef TAVIMO_XM_H
#define TAVIMO_XM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TavimoXm TavimoXm;

enum {
    TAVIMO_XM_RATE_MIN = 8000,      /* output rates tavimo_xm_load accepts */
    TAVIMO_XM_RATE_MAX = 384000,
    TAVIMO_XM_LENGTH_BOUND_SECONDS = 1200,  /* a song with no end found by then has none */
    TAVIMO_XM_LOOP_FOREVER = -1     /* tavimo_xm_set_loops: never end */
};

/* How a song's first end came about. */
enum {
    TAVIMO_XM_END_NONE = 0,        /* no end within TAVIMO_XM_LENGTH_BOUND_SECONDS */
    TAVIMO_XM_END_ORDER_LIST = 1,  /* the order list ran out */
    TAVIMO_XM_END_REVISIT = 2      /* a row came round again (a jump, break or loop) */
};

typedef struct TavimoXmInfo {
    char name[21];          /* module name: printable ASCII, trailing spaces cut */
    char tracker[21];       /* the tracker that wrote it, the same way */
    int version;            /* format version, 0x0104 for FastTracker 2 */
    int channels;           /* pattern channels, 1..256 */
    int orders;             /* used entries of the order list, 1..256 */
    int restart_order;      /* order played after the last, 0..orders-1 */
    int patterns;           /* patterns stored, 0..256 */
    int instruments;        /* 0..128 */
    int samples;            /* samples of all instruments together */
    int speed;              /* ticks per row at the start */
    int tempo;              /* BPM at the start (a tick lasts 2.5 / BPM s) */
    int linear_periods;     /* 1: linear frequency table, 0: Amiga periods */
    int rate;               /* output frames per second, as loaded */
    int64_t length_frames;  /* frames from the start to the end, the last row whole;
                               -1 when no end is found within the bound */
    double length_seconds;  /* length_frames / rate; -1 without an end */
    int end_kind;           /* TAVIMO_XM_END_* */
    int end_back_order;     /* where the song goes back to at its end; -1 without one */
    int end_back_row;
} TavimoXmInfo;

/* Where the song is: the tick that the last frame rendered belongs to
 * (before any frame, and right after a seek, the tick about to play). */
typedef struct TavimoXmPosition {
    int order;          /* order position, 0..orders-1 */
    int pattern;        /* its pattern */
    int row;            /* row within the pattern */
    int tick;           /* tick within the row, 0 = the row's first */
    int speed;          /* ticks per row now */
    int tempo;          /* BPM now */
    int64_t frame;      /* frames rendered since the load */
    double seconds;     /* frame / rate */
    int pass;           /* ends played through so far (0 on the first pass) */
    int finished;       /* 1 once the last pass is over: renders give nothing more */
} TavimoXmPosition;

enum {
    TAVIMO_XM_EVENT_ROW = 1,   /* a row is entered */
    TAVIMO_XM_EVENT_NOTE = 2,  /* a note starts on a channel */
    TAVIMO_XM_EVENT_STOP = 3   /* the engine stops a channel's note (a sample offset past its end) */
};

typedef struct TavimoXmEvent {
    int kind;           /* TAVIMO_XM_EVENT_* */
    int offset;         /* frame within the buffer being rendered, 0..frames-1 */
    int64_t frame;      /* the same frame counted from the load */
    int order;          /* position of the tick it happens in */
    int pattern;
    int row;
    int tick;
    int channel;        /* 0..channels-1; -1 for a row */
    int instrument;     /* 0..instruments-1; -1 for a row */
    int sample;         /* sample of the instrument, 0..15; -1 for a row, or when the
                           instrument has no sample for the note (it plays silence) */
} TavimoXmEvent;

typedef void (*TavimoXmEventFunction)(void* user, const TavimoXmEvent* event);

/* Loads a module from `size` bytes at `data`, to be rendered at `rate`
 * frames per second (TAVIMO_XM_RATE_MIN..TAVIMO_XM_RATE_MAX), and measures
 * its length (which plays its ticks through once, without mixing). Null on
 * failure, with *reason (when `reason` is not null) set to a one-line
 * reason in static storage: "not an XM module", "damaged XM module ...",
 * a refused rate, out of memory, or another module still loaded. */
TavimoXm* tavimo_xm_load(const void* data, size_t size, int rate, const char** reason);
/* Frees the module and everything the load allocated; null is ignored. */
void tavimo_xm_free(TavimoXm* xm);

/* The module's facts and length. */
void tavimo_xm_info(const TavimoXm* xm, TavimoXmInfo* info);
/* Instrument and sample names as the file gives them (printable ASCII,
 * trailing spaces cut); "" outside the module. */
const char* tavimo_xm_instrument_name(const TavimoXm* xm, int instrument);
int tavimo_xm_instrument_samples(const TavimoXm* xm, int instrument);
const char* tavimo_xm_sample_name(const TavimoXm* xm, int instrument, int sample);
/* The pattern at an order position, and a pattern's rows; -1 and 0 outside
 * the module. */
int tavimo_xm_order_pattern(const TavimoXm* xm, int order);
int tavimo_xm_pattern_rows(const TavimoXm* xm, int pattern);

/* Renders up to `frames` frames of interleaved left/right into `out`
 * (frames x 2 values). Returns the frames of the song written: fewer than
 * asked once the song has ended (its last pass), 0 after that; the rest of
 * the buffer is filled with silence. 16-bit values are the engine's output;
 * float values are the same mix before rounding, scaled by 1/32768 and held
 * to -1..32767/32768 as the 16-bit values are held (so rounding f x 32768 to
 * the nearest integer, ties to even, gives the 16-bit value). The results
 * do not depend on how the frames are split into calls. */
int tavimo_xm_render_s16(TavimoXm* xm, int16_t* out, int frames);
int tavimo_xm_render_float(TavimoXm* xm, float* out, int frames);

/* The position now. */
void tavimo_xm_position(const TavimoXm* xm, TavimoXmPosition* position);

/* Goes on from the first row of order position `order` (held to
 * 0..orders-1) at the next frame rendered, with the speed, tempo and channel
 * state of the moment, as a pattern jump would; rows played before it do
 * not count towards the song's end. After the end it plays again. Returns
 * the order it went to. */
int tavimo_xm_seek_order(TavimoXm* xm, int order);

/* How many more times the song plays on after its first end, from where it
 * goes back to: 0 (the default) stops at the first end, TAVIMO_XM_LOOP_FOREVER
 * never stops. Counts passes already played; may be changed while playing
 * (once the last pass is over, only a seek plays on). */
void tavimo_xm_set_loops(TavimoXm* xm, int loops);

/* Sets the function called for each event while rendering (see SYNC
 * HOOKS); null turns it off. `user` is handed back to it. */
void tavimo_xm_set_event_function(TavimoXm* xm, TavimoXmEventFunction function, void* user);

#ifdef __cplusplus
}
#endif

#endif /* TAVIMO_XM_H */
