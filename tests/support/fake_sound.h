// fake_sound.h -- a sound device for tests: its play position stands
// still unless the test moves it (by hand, or by a fixed amount at every
// read for a device that runs on quickly), opening can be made to fail, and
// the mixing thread runs on a real thread or, for exact polling tests, not
// at all.
#pragma once
#include <atomic>
#include <cstdint>

#include "sound/sound.h"

struct FakeSoundScript {
    bool open_ok = true;
    bool threaded = true;          // false: thread_start starts nothing
    uint64_t bytes_per_read = 0;   // added to the position after every read
    int32_t sleep_us_per_ms = 1000;  // sleep_ms(ms) sleeps ms x this; 0 yields
};

struct FakeSoundState {
    FakeSoundScript script;
    std::atomic<uint64_t> position{0};  // bytes played; the test may set it
    std::atomic<int> reads{0};          // bytes_played calls
    int opens = 0;                      // open calls that succeeded
    int closes = 0;                     // close calls
    int32_t rate = 0;                   // rate of the last open
    const int16_t* ring = nullptr;      // what play_loop was given (null after close)
    uint32_t ring_bytes = 0;
    bool thread_started = false;
};

extern FakeSoundState fake_sound;

// Closes the sound device if open, then scripts the fake afresh.
void fake_sound_reset(const FakeSoundScript& script = FakeSoundScript());
// Puts the play position at the first frame of `block` in the ring's
// current pass (or the next pass, if that block is behind the position).
void fake_sound_enter_block(int32_t block);
