// sound_web.cpp -- the sound layer of the web build: Web Audio.
//
// A browser page has one thread; there is no mixing thread. The ring is
// played by a script processor node whose callback, on the page's thread,
// copies the next frames of the looping ring to the audio system, counts
// them as played, and then does what the mixing thread would have done by
// then: mixes every block the play position has left behind
// (sound_mix_due), 512 frames at a time, or a block at a time where a block
// is shorter (sound_step_frames). The audio system asks for the frames at
// the pace of its own clock, so that count is the audio clock's position. The ring
// stays about 380 ms ahead of what is heard; a callback holds 4096 frames
// (93 ms at 44100 Hz), so a frame of the show that keeps the thread for 50 ms
// delays a callback but loses no sound. (Mixing from the frame loop instead
// would tie the sound to the frame rate, and stop it wherever the page gets
// no animation frames, a hidden tab.)
//
// Another page reuses this layer by passing an AudioContext made in its
// click handler at the rate the program asks for (44100 Hz for the show) to
// the program's factory (`tavimo({audioContext: ...})`, runtime/web/pre.js).
// A program that keeps its own books on what it plays does so in the render
// function it gives sound_open (sound/sound.h).
#include <emscripten.h>

#include "sound/sound.h"

// The page's context, or a new one at `rate`; 0 when none plays at that rate.
EM_JS(int, web_sound_open, (int rate), {
    var context = Module.audioContext;
    if (!context) {
        try {
            context = new AudioContext({sampleRate: rate});
        } catch (e) {
            return 0;
        }
        Module.tvCleanups.push(function() { context.close(); });
    }
    if (context.sampleRate !== rate)
        return 0;
    Module.tvAudio = context;
    Module.tvPlayed = 0;
    return 1;
});

// The callback hands the audio system its frames `step` at a time, and after
// each step mixes what has become due: the position moves on in steps of at
// most a block, as a device's does, so the mixing never misses the ring's
// wrap.
EM_JS(void, web_sound_play_loop, (const int16_t* ring, uint32_t bytes, int buffer_frames, int step), {
    var context = Module.tvAudio;
    var node = context.createScriptProcessor(buffer_frames, 0, 2);
    var ringFrames = bytes / 4;
    var cursor = 0;
    Module.tvPlayed = 0;
    node.onaudioprocess = function(e) {
        if (Module.tvEnded)
            return;
        var left = e.outputBuffer.getChannelData(0);
        var right = e.outputBuffer.getChannelData(1);
        var base = ring >> 1;
        for (var i = 0; i < left.length;) {
            var end = Math.min(i + step, left.length);
            var count = end - i;
            var samples = HEAP16;
            for (; i < end; i++) {
                left[i] = samples[base + 2 * cursor] / 32768;
                right[i] = samples[base + 2 * cursor + 1] / 32768;
                if (++cursor === ringFrames)
                    cursor = 0;
            }
            Module.tvPlayed += count * 4;
            Module._web_sound_mix_due();
        }
        // A callback that comes after its frames were due has lost them.
        if (Module.onPlay)
            Module.onPlay(left, right, e.playbackTime < context.currentTime);
    };
    node.connect(context.destination);
    Module.tvSoundNode = node;
    Module.tvCleanups.push(function() {
        node.onaudioprocess = null;
        node.disconnect();
    });
});

EM_JS(double, web_sound_played, (void), {
    return Module.tvPlayed || 0;
});

EM_JS(void, web_sound_close, (void), {
    var node = Module.tvSoundNode;
    if (node) {
        node.onaudioprocess = null;
        node.disconnect();
    }
    Module.tvSoundNode = null;
    Module.tvAudio = null;
});

// Frames per callback, and per step within it (sound_step_frames holds it
// to a block).
enum { CALLBACK_FRAMES = 4096, CALLBACK_STEP = 512 };

// Called by the node's callback: mixes what the mixing thread would have by now.
extern "C" EMSCRIPTEN_KEEPALIVE void web_sound_mix_due(void)
{
    sound_mix_due();
}

static bool web_open(int32_t rate) { return web_sound_open(rate) != 0; }
static void web_play_loop(const int16_t* ring, uint32_t bytes)
{
    web_sound_play_loop(ring, bytes, CALLBACK_FRAMES, sound_step_frames(CALLBACK_STEP));
}
static uint64_t web_bytes_played(void) { return uint64_t(web_sound_played()); }
static void web_close(void) { web_sound_close(); }
static bool web_thread_start(int (*)(void)) { return false; }
static void web_thread_join(void) {}
static void web_sleep_ms(int32_t) {}

const SoundDevice sound_device = {
    web_open, web_play_loop, web_bytes_played, web_close,
    web_thread_start, web_thread_join, web_sleep_ms,
};
