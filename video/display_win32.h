// display_win32.h -- the Windows display layer, in two halves.
//
// display_win32.cpp decides: it opens DirectDraw step by step with the
// fall-backs the old hardware needs (display modes of 32, 24 and 16 bits,
// flip chains of two back buffers, one, none), picks the row converter for
// the back buffer's pixel format, converts and flips each frame, closes in
// order, and turns window messages into the show's display events. It is
// plain C++ that builds on any system, so its tests run natively against a
// fake of the calls below.
//
// display_win32_ddraw.cpp acts: each entry of Win32DisplayCalls is one
// Windows or DirectDraw call (or a few that always go together), with no
// decisions of its own; it also fills the DisplayDevice from the functions
// here. Main thread only. win32_window_message runs inside pump_messages,
// or inside any window call when the system sends the window a message.
#pragma once
#include <cstdint>

#include "video/display.h"

// Converts `count` 0x00RRGGBB source pixels into the back buffer's format.
using RowConverter = void (*)(const uint32_t* source, uint8_t* destination, int count);

// 32 bits per pixel, masks 0xFF0000/0xFF00/0xFF: each word copied unchanged.
void copy_row_32(const uint32_t* source, uint8_t* destination, int count);
// 24 bits per pixel, same masks: blue, green, red bytes in memory order.
void pack_row_24(const uint32_t* source, uint8_t* destination, int count);
// copy_row_32 or pack_row_24 for those exact formats; null for anything else.
RowConverter choose_row_converter(int bit_count, uint32_t red_mask,
                                  uint32_t green_mask, uint32_t blue_mask);

// Window messages and the key code the layer acts on, numbered as Windows
// numbers them.
enum : uint32_t {
    WIN32_MSG_CLOSE = 0x10,
    WIN32_MSG_ACTIVATEAPP = 0x1C,  // wparam: non-zero active, 0 inactive
    WIN32_MSG_SETCURSOR = 0x20,
    WIN32_MSG_KEYDOWN = 0x100,     // low byte of wparam: key code
};
enum { WIN32_KEY_ESCAPE = 27 };

enum : uint32_t { WIN32_PIXEL_RGB = 0x40 };  // pixel format flag: RGB pixels

struct Win32PixelFormat {
    uint32_t flags;       // WIN32_PIXEL_RGB when the pixels are RGB
    int bit_count;        // bits per pixel
    uint32_t red_mask, green_mask, blue_mask;
};

// The calls the decisions are made over, in the order open makes them.
struct Win32DisplayCalls {
    bool (*load)(void);                                // ddraw.dll
    bool (*create_device)(void);                       // the DirectDraw object
    void (*create_window)(const char* name);           // hidden pop-up; its messages reach win32_window_message
    bool (*set_exclusive)(void);                       // exclusive full-screen use of the window, then shown
    bool (*set_mode)(int width, int height, int bits); // display mode
    bool (*create_primary)(int back_buffers);          // primary surface with a flip chain of that many back buffers (0: none)
    bool (*get_back_buffer)(void);                     // the attached back buffer
    bool (*get_pixel_format)(Win32PixelFormat* format);
    void (*pump_messages)(void);                       // dispatches every pending message of the window
    intptr_t (*default_message)(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam);
    void (*hide_cursor)(void);
    bool (*lock)(uint8_t** pixels, int32_t* pitch);    // back buffer, waiting while busy
    void (*unlock)(uint8_t* pixels);
    void (*release_primary)(void);
    void (*release_device)(void);                      // restore the mode, give up exclusive use, release
    void (*destroy_window)(void);
    void (*unload)(void);
};

// The real calls (display_win32_ddraw.cpp); tests link a fake.
extern const Win32DisplayCalls win32_display_calls;

// The decisions, as the DisplayDevice operations they fill (display.h).
// open makes the steps in order and stops at the first that fails; only a
// 32- or 24-bit RGB back buffer with masks 0xFF0000, 0xFF00, 0xFF can be
// used (a 16-bit mode can be set, but then open fails).
bool win32_display_open(const char* window_name, int width, int height);
DisplayEvent win32_display_next_event(void);  // pumps when nothing is queued
bool win32_display_take_frame(const uint32_t* frame);
void win32_display_close(void);

// The window procedure's body: activation, Escape and close requests are
// queued as display events for next_event; WM_SETCURSOR hides the cursor;
// other keys are swallowed; every other message goes to default_message.
intptr_t win32_window_message(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam);
