// display_win32_ddraw.cpp -- the display device on Windows: a hidden pop-up
// window, DirectDraw loaded at run time from "ddraw.dll", an exclusive
// 320x200 mode, a primary surface with an attached back buffer that is
// locked, written and flipped. Each function below is one call (or a few
// that always go together); the decisions between them are made in
// display_win32.cpp.
#include "video/display_win32.h"

#include <windows.h>
#include <ddraw.h>

// The description and pixel-format records carry their own sizes, which
// DirectDraw checks: 108 and 32 bytes on 32-bit Windows (a 64-bit build's
// pointers make the description larger).
#ifndef _WIN64
static_assert(sizeof(DDSURFACEDESC) == 108, "DDSURFACEDESC must be 108 bytes");
#endif
static_assert(sizeof(DDPIXELFORMAT) == 32, "DDPIXELFORMAT must be 32 bytes");

using DirectDrawCreateFn = HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*);

static HMODULE library;
static IDirectDraw* object;
static HWND window;
static IDirectDrawSurface* primary;
static IDirectDrawSurface* back_buffer;  // goes with the primary surface; never released alone

static bool win32_load(void)
{
    library = LoadLibraryA("ddraw.dll");
    return library != nullptr;
}

static bool win32_create_device(void)
{
    auto create = reinterpret_cast<DirectDrawCreateFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "DirectDrawCreate")));
    if (!create)
        return false;
    return !FAILED(create(nullptr, &object, nullptr));
}

// The class's window procedure: every message of the window, dispatched by
// the pump below or sent by the system and by DirectDraw, goes to the
// layer's message table.
static LRESULT CALLBACK win32_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    return win32_window_message(hwnd, message, wparam, lparam);
}

// Created 0x0 and not shown: the exclusive full-screen mode covers the
// screen. Failures surface at set_exclusive, which needs the window.
static void win32_create_window(const char* name)
{
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = win32_window_proc;
    window_class.lpszClassName = name;
    RegisterClassA(&window_class);
    window = CreateWindowExA(0, name, name, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             nullptr, nullptr);
}

// The window is shown once it owns the screen. Windows' DirectDraw flips to
// the screen whether or not the window is visible, but a DirectDraw that
// presents the primary surface through the window (Wine's) shows nothing
// while the window stays hidden.
static bool win32_set_exclusive(void)
{
    if (FAILED(object->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)))
        return false;
    ShowWindow(window, SW_SHOW);
    return true;
}

static bool win32_set_mode(int width, int height, int bits)
{
    return !FAILED(object->SetDisplayMode(DWORD(width), DWORD(height), DWORD(bits)));
}

// back_buffers 2 or 1: a flipping chain in video memory; 0: a bare primary
// surface, which has no back buffer to attach.
static bool win32_create_primary(int back_buffers)
{
    DDSURFACEDESC description = {};
    description.dwSize = sizeof description;
    if (back_buffers > 0) {
        description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        description.dwBackBufferCount = DWORD(back_buffers);
        description.ddsCaps.dwCaps =
            DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;
    } else {
        description.dwFlags = DDSD_CAPS;
        description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY;
    }
    return !FAILED(object->CreateSurface(&description, &primary, nullptr));
}

static bool win32_get_back_buffer(void)
{
    DDSCAPS caps = {};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    return !FAILED(primary->GetAttachedSurface(&caps, &back_buffer));
}

static bool win32_get_pixel_format(Win32PixelFormat* format)
{
    DDPIXELFORMAT pixel_format = {};
    pixel_format.dwSize = sizeof pixel_format;
    if (FAILED(back_buffer->GetPixelFormat(&pixel_format)))
        return false;
    format->flags = pixel_format.dwFlags;
    format->bit_count = int(pixel_format.dwRGBBitCount);
    format->red_mask = pixel_format.dwRBitMask;
    format->green_mask = pixel_format.dwGBitMask;
    format->blue_mask = pixel_format.dwBBitMask;
    return true;
}

// The message pump. Windows delivers a message to its window procedure
// through DispatchMessageA, so this pumps every pending message of the
// window (translated, then dispatched to win32_window_proc and from there
// to win32_window_message); other windows' messages stay queued.
static void win32_pump_messages(void)
{
    MSG message;
    while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

static intptr_t win32_default_message(void* hwnd, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return DefWindowProcA(static_cast<HWND>(hwnd), message, wparam, lparam);
}

static void win32_hide_cursor(void)
{
    SetCursor(nullptr);
}

static void win32_restore(void)
{
    if (primary)
        primary->Restore();
}

static bool win32_lock(uint8_t** pixels, int32_t* pitch)
{
    DDSURFACEDESC description = {};
    description.dwSize = sizeof description;
    if (FAILED(back_buffer->Lock(nullptr, &description, DDLOCK_WAIT, nullptr)))
        return false;
    *pixels = static_cast<uint8_t*>(description.lpSurface);
    *pitch = int32_t(description.lPitch);
    return true;
}

static void win32_unlock(uint8_t* pixels)
{
    back_buffer->Unlock(pixels);
}

static void win32_present(void)
{
    primary->Flip(nullptr, DDFLIP_WAIT);
    Sleep(0);
}

static void win32_idle(void)
{
    Sleep(1);
}

static void win32_release_primary(void)
{
    primary->Release();
    primary = nullptr;
}

static void win32_release_device(void)
{
    object->RestoreDisplayMode();
    object->SetCooperativeLevel(window, DDSCL_NORMAL);
    object->Release();
    object = nullptr;
}

static void win32_destroy_window(void)
{
    if (window)
        DestroyWindow(window);
    window = nullptr;
}

static void win32_unload(void)
{
    FreeLibrary(library);
    library = nullptr;
}

[[noreturn]] static void win32_exit_process(int code)
{
    ExitProcess(UINT(code));
}

const Win32DisplayCalls win32_display_calls = {
    win32_load, win32_create_device, win32_create_window, win32_set_exclusive,
    win32_set_mode, win32_create_primary, win32_get_back_buffer, win32_get_pixel_format,
    win32_pump_messages, win32_default_message, win32_hide_cursor, win32_lock, win32_unlock,
    win32_release_primary, win32_release_device, win32_destroy_window, win32_unload,
};

const DisplayDevice display_device = {
    win32_display_open, win32_display_next_event, win32_restore, win32_display_take_frame,
    win32_present, win32_idle, win32_display_close, win32_exit_process,
};
