// display_sdl.cpp -- the display device on SDL2: a full-screen desktop
// window, an accelerated renderer with vsync as the flip, and a 320x200
// streaming texture as the back buffer, shown at 4:3 in the middle of the
// screen with black borders and nearest-neighbour scaling, the way a 320x200
// mode looked on a monitor of its time.
#include "video/display.h"

#include <SDL.h>
#include <cstring>
#include <unistd.h>

static SDL_Window* window;
static SDL_Renderer* renderer;
static SDL_Texture* texture;
static int texture_width, texture_height;
static int mode_bits;          // 32 or 24: the texture format asked for
static bool targets_lost;      // the renderer reset its textures

static bool sdl_load(void)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    // Without a screen SDL falls back to drivers that show nothing; a user
    // without a display must get a failure, not an invisible run.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    return true;
}

static bool sdl_create_device(void)
{
    return SDL_GetNumVideoDisplays() > 0;
}

// Created at the desktop's size, so that the window covers the screen even
// where no window manager honours the full-screen request (a bare X server).
static void sdl_create_window(const char* name)
{
    SDL_DisplayMode desktop;
    int w = 320, h = 200;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
        w = desktop.w;
        h = desktop.h;
    }
    window = SDL_CreateWindow(name, 0, 0, w, h, SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
}

static bool sdl_set_exclusive(void)
{
    if (!window)
        return false;
    SDL_ShowWindow(window);
    if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
        return false;
    SDL_RaiseWindow(window);
    SDL_ShowCursor(SDL_DISABLE);
    return true;
}

// The desktop keeps its own mode; the 320x200 picture is scaled onto it.
// A texture can hold 32- and 24-bit pixels; 16 bits are refused here.
static bool sdl_set_mode(int width, int height, int bits)
{
    if (bits != 32 && bits != 24)
        return false;
    texture_width = width;
    texture_height = height;
    mode_bits = bits;
    return true;
}

static bool create_texture(void)
{
    Uint32 format = mode_bits == 24 ? SDL_PIXELFORMAT_RGB24 : SDL_PIXELFORMAT_RGB888;
    texture = SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_STREAMING,
                                texture_width, texture_height);
    return texture != nullptr;
}

static bool sdl_create_primary(int back_buffers)
{
    if (back_buffers == 0)
        return false;  // the renderer always has a back buffer; nothing less is offered
    if (!renderer) {
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        renderer = SDL_CreateRenderer(window, -1,
                                      SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
        if (!renderer)
            return false;
    }
    return true;
}

static bool sdl_get_back_buffer(void)
{
    return texture || create_texture();
}

static bool sdl_get_pixel_format(DisplayPixelFormat* format)
{
    format->flags = DISPLAY_PIXEL_RGB;
    format->bit_count = mode_bits;
    format->red_mask = 0xFF0000;
    format->green_mask = 0xFF00;
    format->blue_mask = 0xFF;
    return true;
}

static bool sdl_peek_message(DisplayMessage* m)
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        *m = DisplayMessage{window, 0, 0, 0};
        switch (e.type) {
        case SDL_QUIT:
            m->message = DISPLAY_MSG_CLOSE;
            return true;
        case SDL_KEYDOWN:
            m->message = DISPLAY_MSG_KEYDOWN;
            m->wparam = e.key.keysym.sym == SDLK_ESCAPE ? DISPLAY_KEY_ESCAPE : 0;
            return true;
        case SDL_MOUSEMOTION:
            m->message = DISPLAY_MSG_SETCURSOR;
            return true;
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            targets_lost = true;
            break;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
            // Without a window manager (a bare X server) focus is the only
            // activation notice there is, and SDL does deliver it.
            case SDL_WINDOWEVENT_FOCUS_GAINED:
            case SDL_WINDOWEVENT_RESTORED:
                m->message = DISPLAY_MSG_ACTIVATEAPP;
                m->wparam = 1;
                return true;
            case SDL_WINDOWEVENT_FOCUS_LOST:
            case SDL_WINDOWEVENT_MINIMIZED:
            case SDL_WINDOWEVENT_HIDDEN:
                m->message = DISPLAY_MSG_ACTIVATEAPP;
                m->wparam = 0;
                return true;
            case SDL_WINDOWEVENT_CLOSE:
                m->message = DISPLAY_MSG_CLOSE;
                return true;
            }
            break;
        }
    }
    return false;
}

static intptr_t sdl_default_message(const DisplayMessage*)
{
    return 0;
}

static void sdl_hide_cursor(void)
{
    SDL_ShowCursor(SDL_DISABLE);
}

static void sdl_restore(void)
{
    if (!targets_lost)
        return;
    if (texture)
        SDL_DestroyTexture(texture);
    texture = nullptr;
    targets_lost = !create_texture();
}

static bool sdl_lock(uint8_t** pixels, int32_t* pitch)
{
    void* p;
    int row_pitch;
    if (!texture || SDL_LockTexture(texture, nullptr, &p, &row_pitch) != 0)
        return false;
    *pixels = static_cast<uint8_t*>(p);
    *pitch = row_pitch;
    return true;
}

static void sdl_unlock(uint8_t*)
{
    SDL_UnlockTexture(texture);
}

// The largest 4:3 rectangle that fits the output, centred.
static SDL_Rect picture_rect(void)
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    int pw = w, ph = w * 3 / 4;
    if (ph > h) {
        ph = h;
        pw = h * 4 / 3;
    }
    return SDL_Rect{(w - pw) / 2, (h - ph) / 2, pw, ph};
}

static void sdl_flip(void)
{
    SDL_Rect r = picture_rect();
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, nullptr, &r);
    SDL_RenderPresent(renderer);  // waits for the vertical blank
}

static void sdl_sleep_ms(int ms)
{
    SDL_Delay(Uint32(ms));
}

static void sdl_release_primary(void)
{
    if (texture)
        SDL_DestroyTexture(texture);
    if (renderer)
        SDL_DestroyRenderer(renderer);
    texture = nullptr;
    renderer = nullptr;
}

static void sdl_release_device(void)
{
    if (window)
        SDL_SetWindowFullscreen(window, 0);
    SDL_ShowCursor(SDL_ENABLE);
}

static void sdl_destroy_window(void)
{
    if (window)
        SDL_DestroyWindow(window);
    window = nullptr;
}

static void sdl_unload(void)
{
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// Ends the process the way a process exit on the original platform does:
// no static destructors or exit handlers run under a live mixing thread.
[[noreturn]] static void sdl_exit_process(int code)
{
    _exit(code);
}

const DisplayDevice display_device = {
    sdl_load, sdl_create_device, sdl_create_window, sdl_set_exclusive, sdl_set_mode,
    sdl_create_primary, sdl_get_back_buffer, sdl_get_pixel_format, sdl_peek_message,
    sdl_default_message, sdl_hide_cursor, sdl_restore, sdl_lock, sdl_unlock, sdl_flip,
    sdl_sleep_ms, sdl_release_primary, sdl_release_device, sdl_destroy_window,
    sdl_unload, sdl_exit_process,
};
