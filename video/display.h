// display.h -- the screen: a full-screen 320x200 picture, presented once per
// frame pass, and the few input events that steer the show (activation,
// Escape, a close request).
//
// Two halves. The display logic (display.cpp) is portable: it keeps the
// active flag, handles the events, and decides per frame whether to draw or
// to idle. Under it lies a DisplayDevice, the seam every platform fills:
// the SDL2 layer (display_sdl.cpp) for the show, DirectDraw
// (display_win32.cpp) for the Windows build, a screenless layer for the
// offline tools (display_headless.cpp) and a scripted fake for the tests.
// Which device is used is chosen at link time.
//
// Who calls what, and on which thread. Everything here runs on the main
// thread; the mixing thread never touches the display.
//   - The entry calls display_open once at start-up and display_close once
//     at the end; the frame loop calls display_present once per pass.
//   - display_open calls device.open. display_close calls device.close.
//   - display_present first drains device.next_event until it returns
//     DISPLAY_EVENT_NONE, handling each event as it comes. Then, while the
//     display is active, it calls device.restore, device.take_frame and
//     (when that succeeded) device.present; while inactive, device.idle.
//   - On DISPLAY_EVENT_ESCAPE or DISPLAY_EVENT_CLOSE the logic calls
//     display_close and then device.exit_process(0), from inside
//     display_present: the show ends at once and the call never returns.
// A device never calls back into the display logic; it only answers.
#pragma once
#include <cstdint>

// The show's own input events, in the order the user caused them.
enum DisplayEvent : int {
    DISPLAY_EVENT_NONE = 0,   // nothing pending (ends a drain)
    DISPLAY_EVENT_ACTIVE,     // the picture is on screen and may be drawn
    DISPLAY_EVENT_INACTIVE,   // the user switched away: stop drawing
    DISPLAY_EVENT_ESCAPE,     // the Escape key went down
    DISPLAY_EVENT_CLOSE,      // the window system asks the program to end
};

// The platform seam. Frames are 0x00RRGGBB words, `width` per row, rows one
// after another with no gaps, at the size given to open.
struct DisplayDevice {
    // Takes over the screen with a width x height picture (the show asks for
    // 320x200), scaled or mode-switched as the platform does it, with the
    // mouse cursor hidden. false when the platform cannot: whatever was
    // opened stays open until close.
    bool (*open)(const char* window_name, int width, int height);
    // Next pending input event, removed from the queue; DISPLAY_EVENT_NONE
    // when none is left. Other input is swallowed here. A device reports
    // activation once the picture can be seen, and not before.
    DisplayEvent (*next_event)(void);
    // Brings back a back buffer the platform took away (a lost surface, a
    // reset renderer); nothing when there is none to bring back.
    void (*restore)(void);
    // Copies the frame into the back buffer (a lock, a conversion to the
    // screen's pixel format and an unlock, or a plain copy). false when the
    // back buffer cannot be had: the frame is dropped.
    bool (*take_frame)(const uint32_t* frame);
    // Shows the back buffer, waiting until the screen accepts it (the
    // vertical blank where there is one), then gives up the time slice.
    void (*present)(void);
    // Called instead of drawing while the display is inactive: waits about
    // a millisecond so that the frame loop does not spin (or returns at once
    // where waiting is not possible).
    void (*idle)(void);
    // Gives the screen back (previous mode, cursor) and releases everything
    // open returned; safe after a failed open and safe to call twice.
    void (*close)(void);
    // Ends the process at once with `code`, without static destructors or
    // exit handlers (the mixing thread may still run).
    void (*exit_process)(int code) __attribute__((noreturn));
};

// The device this executable was linked with.
extern const DisplayDevice display_device;

// Opens the display: 1 on success, 0 on failure (the caller ends the
// process; display_close may still be called). Starts inactive.
int display_open(const char* window_name, int width, int height);
// Handles pending events, then, while active, shows `frame` (width x height
// words as given to display_open, no gaps); while inactive, idles and draws
// nothing. 1 when shown or skipped while inactive, 0 when the frame could not
// be taken (it is dropped). Escape and close requests end the process here.
int display_present(const uint32_t* frame);
// Releases whatever is open; safe to call twice.
void display_close(void);

// Non-zero while the display is active. For tests.
int display_is_active(void);
