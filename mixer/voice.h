// voice.h -- the 256 mixer voices, their set-up, the five voice operations,
// the voice mixer and the output clipper.
//
// A Voice plays one Sample (mixer/sample.h) at a frequency, a volume and a
// panning, from a 32.32 fixed-point position, with linear interpolation,
// forward and ping-pong loops and short gain ramps whenever its gains change.
//
// Who calls what, on which thread:
//   render_open / render_close       voices_set_rate, voices_open,
//     (main, player/render.h)        voices_close
//   the declick watcher, inside      voice_fade_out
//     song_tick (mixing thread)
//   a player that restarts songs     voices_reset (under the mix lock)
//   song_free (main, under the lock) voices_drop_tails
//   replay engine, inside song_tick  voice_start, voice_stop,
//     (mixing thread)                voice_set_frequency, voice_set_volume,
//                                    voice_set_panning
//   song_stop (main, under the mix   voice_stop
//     lock, outside any block)
//   mixing thread                    mix_voices, clip_output
//   a level meter (web player's      voice_level
//     tick, under the mix lock)
// The mixer keeps per-run working values of its own and is not reentrant.
//
// Smooth note starts (declick), off unless asked for; the show never asks.
// The engine's rules restart a sounding voice at the sample's start with its
// gains as they were, and stop one at once: the waveform jumps, a click. A
// song's declick watcher (player/song_declick.h) calls voice_fade_out just
// before: a voice whose applied gains are above zero hands its sound to a
// fading tail, a copy of the voice that plays the old sample on from where
// it was, at its old step, its applied gains ramping to zero over
// ramp_frames frames; and a starting voice ramps its new note in from zero.
// A voice restarted again while its earlier tail still fades gets a second
// tail, so the older one fades on. Tails are Voice records of their own
// (static, never allocated), linked into voice_list after the voices while
// they fade, so mix_voices mixes them as any voice; each keeps the index of
// the voice it came from. Should all VOICE_TAIL_COUNT fade at once (more
// than two songs' worth of restarts within one ramp, which ticks never give,
// a tick being longer than a ramp), the oldest, the nearest its end, is cut
// for the new one. Without a watcher no tail ever begins and every output is
// exactly as without this feature.
#pragma once
#include <cstdint>

#include "mixer/sample.h"

enum {
    VOICE_COUNT = 256,
    VOICE_TAIL_COUNT = 2 * VOICE_COUNT,  // fading tails that can sound at once
};

// Output rates the voices (and the sound device) accept, frames per second;
// the show plays at OUTPUT_RATE_DEFAULT, which is also the rate assumed while
// the voices are closed and the tools' unless told otherwise.
enum { OUTPUT_RATE_MIN = 8000, OUTPUT_RATE_MAX = 384000, OUTPUT_RATE_DEFAULT = 44100 };

// Voice directions.
enum { VOICE_FORWARD = 1, VOICE_BACKWARD = 2 };

struct Voice {
    Voice* next;                 // next node of voice_list
    Voice* prev;                 // previous node of voice_list
    int32_t index;               // the voice's number, 0..255
    int32_t volume;              // last volume given, 0..255
    int32_t panning;             // last panning given, 0 full left .. 255 (or 256) full right
    uint32_t start_offset;       // sample frame the next voice_start begins at; consumed by it
    Sample* sample;              // sample being played; null = silent
    uint8_t gain_left;           // target left gain, 0..255
    uint8_t gain_right;          // target right gain, 0..255
    uint32_t position;           // integer part of the play position, sample frames
    uint32_t position_fraction;  // fractional part of the position, units of 2^-32
    uint32_t step_fraction;      // fractional part of the per-frame step, units of 2^-32
    int32_t step;                // integer part of the per-frame step, frames
    int32_t direction;           // VOICE_FORWARD, or VOICE_BACKWARD inside a ping-pong loop
    uint8_t ramp_target_left;    // gain_left the running ramp was set up for
    uint8_t ramp_target_right;   // gain_right the running ramp was set up for
    uint8_t current_left;        // left gain actually applied, 0..255; follows gain_left
    uint8_t current_right;       // right gain actually applied, 0..255
    float ramp_step_left;        // per-frame left gain change of the running ramp, 1.0 = gain 255
    float ramp_step_right;       // per-frame right gain change of the running ramp
    uint32_t ramp_frames_left;   // frames left in the running ramp; 0 = no ramp
};

// VOICE_COUNT records, voice i at voices[i] with index i, from voices_open
// to voices_close; null while closed.
extern Voice* voices;
// Sentinel of the circular list of all voices in index order (mixer/list.h),
// then the fading tails; only its next and prev are used. Empty (pointing to
// itself) while closed.
extern Voice voice_list;

// Ends every fading tail at once: null until the first tail begins, so
// that song_free, which calls it (through voices_drop_tails) before freeing
// the samples the tails may play, links none of the tails' code.
extern void (*voice_tails_drop)(void);

// Rate values, set by voices_set_rate.
extern int32_t output_rate;  // output frames per second, OUTPUT_RATE_DEFAULT in the show
extern int32_t ramp_frames;  // frames of a gain ramp: 128 at 44100 Hz
extern float ramp_scale;     // 1 / ramp_frames

// Sets output_rate to `rate`, and the gain ramps to rate x 128 / 44100
// frames (rounded down). The caller keeps the rate in range
// (OUTPUT_RATE_MIN..OUTPUT_RATE_MAX).
void voices_set_rate(int32_t rate);
// Frames of one block of about 20 ms at `rate`: (rate x 20 / 1000 + 3)
// with the two low bits cleared, 884 at 44100 Hz. The sound device's ring is
// cut into such blocks, and whoever renders songs itself renders them block
// by block the same way, so its samples equal the device's.
constexpr int32_t mix_block_frames(int32_t rate)
{
    return (rate * 20 / 1000 + 3) & ~3;
}
// Allocates the voices, all zero but for their index, and links them into
// voice_list in index order. Frees first what an earlier voices_open left.
// False, with no voices, when the memory cannot be had.
bool voices_open(void);
// Gives every voice the state voices_open gives it (a song started now sounds
// as on fresh voices: gain ramps begin from silence; no tail fades on).
// Nothing when closed.
void voices_reset(void);
// Ends every fading tail at once, so that the samples they play can be
// freed. Nothing while no tail has ever begun.
inline void voices_drop_tails(void)
{
    if (voice_tails_drop)
        voice_tails_drop();
}
// Smooth note starts, for the declick watcher (player/song_declick.h) just
// before the engine restarts (`starting`) or stops the voice: a voice whose
// applied gains are above zero hands its sound to a fading tail, and a
// starting one drops its applied gains to zero, so that its next note ramps
// in. Mixing thread, inside song_tick (or with no block being mixed).
void voice_fade_out(Voice* voice, bool starting);
// Frees the voices: `voices` null, voice_list empty. Nothing when closed.
void voices_close(void);

// Frequencies outside 100..705600 Hz (16 x 44100, whatever the rate) are
// clamped; the step becomes frequency / output_rate in 32.32, rounded down.
// False only for a null voice or while no rate is set.
bool voice_set_frequency(Voice* voice, int32_t frequency);
// gain_left = (255 - panning) x volume / 255, gain_right = panning x volume / 255.
// Volume 0..255 (the replay engine sends 0..127). False only for a null voice.
bool voice_set_volume(Voice* voice, int32_t volume);
// Panning 0..256, the same division of the volume. False only for a null voice.
bool voice_set_panning(Voice* voice, int32_t panning);
// Makes voice `index` play `sample` from its start_offset (0 when that lies
// at or beyond the loop end), forward; clears start_offset. Gains, ramp and
// step stay. Returns the voice's index, or -1 when the voices do not exist,
// the index is not 0..255 or the sample is null.
int32_t voice_start(int32_t index, Sample* sample);
// Silences voice `index`: position 0, no sample; gains, ramp and step stay.
// False when the voices do not exist or the index is not 0..255.
bool voice_stop(int32_t index);

// The peak a voice puts out over its next `frames` output frames, 0..255
// (a level meter's reading): the largest sample value it will read there,
// times the larger of its target gains. Reads at most 256 values, spread
// over the span; 0 for a silent voice.
uint8_t voice_level(const Voice* voice, int32_t frames);

// Adds `frames` stereo frames of every voice in the list starting at
// `list`->next (a sentinel) into `destination` (left, right floats in 16-bit
// sample units); fading tails are in the list after the voices. Nothing for
// frames below 1. Mixing thread only.
void mix_voices(float* destination, Voice* list, int32_t frames);
// frames x 2 floats -> int16: nearest, ties to even, clamped to
// -32768..32767. Nothing for frames below 1 or null pointers.
void clip_output(int16_t* destination, const float* source, int32_t frames);
