// display.h -- the screen: a full-screen 320x200 output, the conversion of
// the frame buffer into the device's back buffer, the flip, and the window
// messages through which Escape and close requests end the program.
//
// The portable logic (display.cpp) runs the open, present and close steps
// and the message table over a DisplayDevice, the platform seam. Which
// device is used is chosen at link time: the show links the SDL2 layer
// (display_sdl.cpp), tests a scriptable fake, the offline tools a headless
// layer. Main thread only; window_proc runs inside display_present's
// message pump.
#pragma once
#include <cstdint>

// Converts `count` 0x00RRGGBB source pixels into the device's pixel format.
using RowConverter = void (*)(const uint32_t* source, uint8_t* destination, int count);

// 32 bits per pixel, masks 0xFF0000/0xFF00/0xFF: each word copied unchanged.
void copy_row_32(const uint32_t* source, uint8_t* destination, int count);
// 24 bits per pixel, same masks: blue, green, red bytes in memory order.
void pack_row_24(const uint32_t* source, uint8_t* destination, int count);
// copy_row_32 or pack_row_24 for those exact formats; null for anything else.
RowConverter choose_row_converter(int bit_count, uint32_t red_mask,
                                  uint32_t green_mask, uint32_t blue_mask);

// Window messages, numbered as the window system numbers them.
enum : uint32_t {
    DISPLAY_MSG_CLOSE = 0x10,
    DISPLAY_MSG_ACTIVATEAPP = 0x1C,  // wparam: non-zero active, 0 inactive
    DISPLAY_MSG_SETCURSOR = 0x20,
    DISPLAY_MSG_KEYDOWN = 0x100,     // low byte of wparam: key code, 27 Escape
};
enum { DISPLAY_KEY_ESCAPE = 27 };

struct DisplayMessage {
    void* window;
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
};

enum : uint32_t { DISPLAY_PIXEL_RGB = 0x40 };  // pixel format flag: RGB pixels

struct DisplayPixelFormat {
    uint32_t flags;       // DISPLAY_PIXEL_RGB when the pixels are RGB
    int bit_count;        // bits per pixel
    uint32_t red_mask, green_mask, blue_mask;
};

// The platform seam: what the display logic needs of a display system. The
// steps mirror the full-screen exclusive model: a device object, a window,
// an exclusive mode, a primary surface with an attached back buffer that is
// locked, written and flipped.
struct DisplayDevice {
    bool (*load)(void);                                // the display system's library
    bool (*create_device)(void);                       // the device object
    void (*create_window)(const char* name);           // hidden full-screen window; messages to window_proc
    bool (*set_exclusive)(void);                       // exclusive full-screen use of the window
    bool (*set_mode)(int width, int height, int bits); // exclusive display mode
    bool (*create_primary)(int back_buffers);          // primary surface with a flip chain of that many back buffers (0: none)
    bool (*get_back_buffer)(void);                     // the attached back buffer
    bool (*get_pixel_format)(DisplayPixelFormat* format);
    bool (*peek_message)(DisplayMessage* message);     // next pending message of the window, removed
    intptr_t (*default_message)(const DisplayMessage* message);
    void (*hide_cursor)(void);
    void (*restore)(void);                             // restore lost surfaces
    bool (*lock)(uint8_t** pixels, int32_t* pitch);    // back buffer, waiting while busy
    void (*unlock)(uint8_t* pixels);
    void (*flip)(void);                                // show the back buffer, waiting until accepted
    void (*sleep_ms)(int ms);                          // 0 yields the time slice
    void (*release_primary)(void);
    void (*release_device)(void);                      // restore the mode, give up exclusive use, release
    void (*destroy_window)(void);
    void (*unload)(void);
    [[noreturn]] void (*exit_process)(int code);       // ends the process at once
};

// The device this executable was linked with.
extern const DisplayDevice display_device;

// Opens the display: 1 on success, 0 when a step fails (nothing is undone;
// the caller ends the process). Modes of 32, 24 and 16 bits are asked for in
// that order, but only a 32- or 24-bit RGB format with masks 0xFF0000,
// 0xFF00, 0xFF can be used.
int display_open(const char* window_name, int width, int height);
// Pumps messages, then, while the application is active, converts `frame`
// (width x height words, no gaps) into the back buffer and flips. 1 when
// shown or skipped while inactive, 0 when the lock failed.
int display_present(const uint32_t* frame);
// Releases whatever is open; safe to call twice.
void display_close(void);
intptr_t window_proc(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Non-zero while the application is active; starts at 0. For tests.
int display_is_active(void);
