// entry.h -- the show's start-up, run and shutdown order.
//
// tavimo_run brings the subsystems up in a fixed order, waits until the
// process clock reaches 3000 ms, starts the music, runs the frame loop and
// takes everything down again. It returns the process exit code:
//   0  the scene table ran to its end (Escape and close also end the process
//      with 0, from inside display_present, without returning)
//   2  opening the display failed
//   3  opening the sound device or creating the song failed
//  15  allocating the frame buffer failed
// Start-up stops at the first failure and undoes nothing: the caller ends the
// process at once, which also ends the mixing thread if it was started.
// Main thread only. The display, sound device and clock it runs on are the
// ones the executable links.
#pragma once

enum {
    EXIT_SHOW_DONE = 0,
    EXIT_DISPLAY_FAILED = 2,
    EXIT_SOUND_FAILED = 3,
    EXIT_NO_FRAME_BUFFER = 15,
};

// Milliseconds of process time before the music starts.
enum { START_DELAY_MS = 3000 };

int tavimo_run(void);
