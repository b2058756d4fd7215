// entry.cpp -- start-up, run and shutdown of the show, in order.
#include "runtime/entry.h"

#include <cstdlib>

#include "sound/sound.h"
#include "mixer/voice.h"
#include "fx2d/framebuffer.h"
#include "fx2d/scenes.h"
#include "player/module_file.h"
#include "player/render.h"
#include "player/song.h"
#include "player/stream.h"
#include "assets/assets.h"
#include "runtime/clock.h"
#include "runtime/timeline.h"
#include "video/display.h"

int tavimo_run(void)
{
    // Not cleared: the first active scene writes every pixel before the
    // first presentation.
    frame_buffer = static_cast<FrameBuffer*>(malloc(sizeof(FrameBuffer)));
    if (!frame_buffer)
        return EXIT_NO_FRAME_BUFFER;

    // The embedded module is served as an in-memory file; the sound device
    // refuses to open without a complete callback set.
    module_position = 0;
    register_stream_callbacks(module_open, module_close, module_read, module_seek,
                              module_tell);

    if (!display_open(window_name, FB_WIDTH, FB_HEIGHT))
        return EXIT_DISPLAY_FAILED;

    // Plays a silent ring from here on; the mixing thread starts, rendering
    // the songs on the voices opened at the device's rate.
    if (!render_open(OUTPUT_RATE_DEFAULT) || !sound_open(OUTPUT_RATE_DEFAULT, render_songs))
        return EXIT_SOUND_FAILED;

    // The song name stands where a file name is expected; the module file
    // does not look at it.
    Song* song = song_create(song_name, nullptr);
    if (!song)
        return EXIT_SOUND_FAILED;

    // The wait counts from process start, not from the end of start-up; it
    // neither sleeps nor reads display events, so a key pressed now takes
    // effect at the first presentation.
    while (process_clock_ms() < START_DELAY_MS) {
    }

    prepare_scenes();
    song_start(song);  // the mixing thread plays it from its next block
    run_timeline();

    song_free(song);  // stops it first
    sound_close();
    render_close();

    display_close();
    free(frame_buffer);
    frame_buffer = nullptr;
    return EXIT_SHOW_DONE;
}
