// sound.h -- the sound device: a looping ring of output blocks, the mixing
// thread that fills it block by block, and the platform seam under both.
//
// sound_open starts the device playing a silent ring of 20 blocks of about
// 20 ms (884 frames at 44100 Hz) in an endless loop and starts
// `mixing_thread`. The thread polls the device's play position every 2 ms;
// whenever the device has moved on into a new block it has the block
// rendered, about one ring (380 ms) ahead of what is heard: the render
// function given to sound_open (the player's render_songs, player/render.h)
// fills the block's floats in `mix_buffer` and its 16-bit frames in the
// `output_ring` that the device plays. The device knows nothing of songs or
// voices: the caller opens the voices at the same rate (render_open) before
// sound_open and closes them after sound_close.
//
// Who calls what, on which thread:
//   main thread    sound_open, sound_close (start-up and shutdown order)
//   mixing thread  mixing_thread -> mixing_poll -> the render function
// The mixing thread holds the mix lock (mixer/mix_lock.h) for the whole of
// each block; the song operations and sound_close take the lock before they
// change anything a block uses.
//
// Layers: the sound device logic here sits above the mixer (its lock) and
// calls what renders the blocks only through the reference it is given.
// Under it lies a SoundDevice, the sound layer the
// executable links: each layer is one file that defines `sound_device`:
// SDL2 audio for the show (sound_sdl.cpp), wave-out in the Windows build
// (sound_win32.cpp), Web Audio in the web build (sound_web.cpp), no device
// at all for the offline tools (sound_offline.cpp), and for the tests a fake
// whose play position they move by hand (tests/support/fake_sound.h). A new
// platform's sound is one more such file.
#pragma once
#include <atomic>
#include <cstdint>

// What the mixing logic needs of an audio layer.
struct SoundDevice {
    // A 16-bit stereo output at `rate` frames per second; false when none
    // can be opened.
    bool (*open)(int32_t rate);
    // Plays `ring` (`bytes` long, left/right int16 frames) in an endless
    // loop from its first frame, starting at once.
    void (*play_loop)(const int16_t* ring, uint32_t bytes);
    // Bytes played since play_loop began (0 before).
    uint64_t (*bytes_played)(void);
    // Stops playing and closes; nothing open: nothing.
    void (*close)(void);
    // Runs `body` on a new thread at the highest priority the system grants
    // (time-critical where it can, normal where it refuses). False when no
    // thread was started (a layer without threads).
    bool (*thread_start)(int (*body)(void));
    // Waits until the thread started by thread_start has ended.
    void (*thread_join)(void);
    void (*sleep_ms)(int32_t ms);
};

// The layer this executable was linked with.
extern const SoundDevice sound_device;

// What fills the blocks: renders the next `frames` frames into `out`
// (frames x 2 int16) with `mix` (frames x 2 floats) as scratch. Called once
// per block, in ring order, under the mix lock.
typedef void (*SoundRender)(float* mix, int16_t* out, int32_t frames);

enum {
    RING_SETTING_MS = 200,   // ring_frames = (RING_SETTING_MS / 20) x block_frames x 2
    RING_BLOCKS = RING_SETTING_MS / 20 * 2,  // blocks in the ring, whatever the rate
    MIX_POLL_MS = 2,         // the mixing thread's sleep between polls
};

// Ring values, set with the rate.
extern int32_t block_frames;  // frames per block: (rate x 20 / 1000 + 3) & ~3; 884 at 44100 Hz
extern int32_t ring_frames;   // frames in the ring: 20 blocks, 17680 at 44100 Hz
extern int32_t ring_blocks;   // ring_frames / block_frames = 20

// The ring, allocated by sound_open, freed by sound_close; null while closed.
extern float* mix_buffer;      // ring_frames x 2 floats, start 16-byte aligned
extern int16_t* output_ring;   // ring_frames x 2 int16: what the device plays
extern int32_t next_block;     // block to mix next, 0..ring_blocks-1; 0 at open

extern std::atomic<int> stop_requested;  // set by sound_close; ends the thread
extern std::atomic<int> mixer_exited;    // 0 while the thread runs; 1 before any ran

// Sets block_frames (mix_block_frames, mixer/voice.h), ring_frames and
// ring_blocks for `rate`. False (nothing changed) for rates outside
// OUTPUT_RATE_MIN..OUTPUT_RATE_MAX. Called by sound_open.
bool sound_set_rate(int32_t rate);

// Opens the device at `rate` and starts the mixing thread, which fills each
// block with `render`. False, leaving for the next sound_close whatever was
// opened so far, when `render` is null, the rate is refused, the device
// cannot be opened or the buffers cannot be allocated. Closes first whatever
// was open.
bool sound_open(int32_t rate, SoundRender render);
// Stops and joins the mixing thread, closes the device and frees the ring.
// Does nothing harmful when nothing is open.
void sound_close(void);

// The mixing thread's body: polls every MIX_POLL_MS until stop_requested.
int mixing_thread(void);
// One poll: reads the play position and mixes block next_block when the
// device has moved on: while it plays block K, the blocks behind K are
// mixed, never K itself, and a backlog that spans the ring's end waits until
// the device is back in block 0 or 1. True when a block was mixed.
bool mixing_poll(void);

// For a layer without a thread (the web page's audio callback): mixes every
// block that is due now, as the thread's polls one after another would.
// Returns the blocks mixed; 0 while closed.
int32_t sound_mix_due(void);
// How far such a layer may move its play position between two calls of
// sound_mix_due: `wanted` frames, but at most one block. A step of more than
// two blocks across the ring's end can leave the device beyond block 1 with
// the blocks before it unmixed, and the poll then waits for block 0: a whole
// ring goes by unmixed (the web layer's 512 frames are more than two blocks
// below about 12.8 kHz).
int32_t sound_step_frames(int32_t wanted);

// The block the device plays now, counted in blocks rendered since
// sound_open (0 = the first), with the frame within it in `frame`; -1 while
// it plays a block of the ring not rendered since the open (or while
// closed). How a caller that renders more than sound (the web player: rows,
// levels) knows which of its blocks is heard.
int64_t sound_block_heard(int32_t* frame);
