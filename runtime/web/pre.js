// pre.js -- the page side of the web build, shared by its platform layers
// (runtime/clock_web.cpp, video/display_web.cpp, sound/sound_web.cpp).
// It is compiled into the program's script, inside each module instance.
//
// A page runs the show by calling the factory that the script defines,
// `tavimo(options)`: each call is one run of the program, a new process with
// its own memory, whose clock starts at that call. Another page reuses the
// layers the same way (or links them into its own program): it passes
//   canvas         the <canvas> the display layer draws into (required)
//   audioContext   an AudioContext made in the page's click handler (a
//                  browser plays sound only after a gesture); without one
//                  the sound layer makes its own, which may stay suspended
//   onEnd(code)    called once when the program ends, with its exit code
//                  (0 at the end, on Escape or on leaving full screen;
//                  2 no canvas; 3 no sound)
// and, for tests only,
//   onFrame(info)  after each presented frame: info.clock is the process
//                  time the frame's scenes were chosen at, info.renderMs the
//                  main thread's time for the pass, info.pixels() copies the
//                  frame as 320x200 RGBA bytes
//   onPlay(left, right, late)  the frames the sound layer hands to the audio
//                  system, the two Float32Arrays of each callback (sample /
//                  32768); late: the callback came after they were due
//   onClock(ms)    every reading of the process clock, in order
//   frameDelayMs   busy time added to every frame, to try slow frames
Module.tvStart = performance.now();
Module.tvLastYield = Module.tvStart;
Module.tvEnded = false;
Module.tvCleanups = [];
Module.tvLastClock = 0;

// Resumes the program suspended in a wait. Its end is thrown through it as
// 'unwind' (see tvEnd), which is not an error.
Module.tvResume = function (wakeUp) {
  Module.tvLastYield = performance.now();
  if (Module.tvEnded)
    return;
  try {
    wakeUp();
  } catch (e) {
    if (e !== 'unwind')
      throw e;
  }
};

// The end of the process: the layers let go of the page (listeners, audio
// nodes), the page hears the exit code, and the program's stack is dropped.
Module.tvEnd = function (code) {
  if (!Module.tvEnded) {
    Module.tvEnded = true;
    Module.tvCleanups.forEach(function (f) { f(); });
    Module.tvCleanups = [];
    if (Module.onEnd)
      Module.onEnd(code);
  }
  throw 'unwind';
};
