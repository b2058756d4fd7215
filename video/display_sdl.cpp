// display_sdl.cpp -- the display device on SDL2: a full-screen desktop
// window, an accelerated renderer with vsync as the flip, and a 320x200
// streaming texture in the frame's own 0x00RRGGBB format as the back
// buffer, shown at 4:3 in the middle of the screen with black borders and
// nearest-neighbour scaling, the way a 320x200 mode looked on a monitor of
// its time.
#include "video/display.h"

#include <SDL.h>
#include <cstring>
#include <unistd.h>

static SDL_Window* window;
static SDL_Renderer* renderer;
static SDL_Texture* texture;
static int texture_width, texture_height;
static bool video_started;     // SDL's video subsystem is up
static bool targets_lost;      // the renderer reset its textures

// Without a screen SDL falls back to drivers that show nothing; a user
// without a display must get a failure, not an invisible run.
static bool start_video(void)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    video_started = true;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0)
        return false;
    return SDL_GetNumVideoDisplays() > 0;
}

// Created at the desktop's size, so that the window covers the screen even
// where no window manager honours the full-screen request (a bare X server).
static bool create_window(const char* name)
{
    SDL_DisplayMode desktop;
    int w = 320, h = 200;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
        w = desktop.w;
        h = desktop.h;
    }
    window = SDL_CreateWindow(name, 0, 0, w, h, SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
    if (!window)
        return false;
    SDL_ShowWindow(window);
    if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
        return false;
    SDL_RaiseWindow(window);
    SDL_ShowCursor(SDL_DISABLE);
    return true;
}

// The frame's own format: 0x00RRGGBB words.
static bool create_texture(void)
{
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                texture_width, texture_height);
    return texture != nullptr;
}

// The desktop keeps its own mode; the picture is scaled onto it.
static bool sdl_open(const char* window_name, int width, int height)
{
    texture_width = width;
    texture_height = height;
    targets_lost = false;
    if (!start_video() || !create_window(window_name))
        return false;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    return renderer && create_texture();
}

static DisplayEvent sdl_next_event(void)
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT:
            return DISPLAY_EVENT_CLOSE;
        case SDL_KEYDOWN:
            if (e.key.keysym.sym == SDLK_ESCAPE)
                return DISPLAY_EVENT_ESCAPE;
            break;
        case SDL_MOUSEMOTION:
            SDL_ShowCursor(SDL_DISABLE);
            break;
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
                return DISPLAY_EVENT_ACTIVE;
            case SDL_WINDOWEVENT_FOCUS_LOST:
            case SDL_WINDOWEVENT_MINIMIZED:
            case SDL_WINDOWEVENT_HIDDEN:
                return DISPLAY_EVENT_INACTIVE;
            case SDL_WINDOWEVENT_CLOSE:
                return DISPLAY_EVENT_CLOSE;
            }
            break;
        }
    }
    return DISPLAY_EVENT_NONE;
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

static bool sdl_take_frame(const uint32_t* frame)
{
    void* p;
    int pitch;
    if (!texture || SDL_LockTexture(texture, nullptr, &p, &pitch) != 0)
        return false;
    const size_t row_bytes = size_t(texture_width) * 4;
    for (int y = 0; y < texture_height; y++)
        memcpy(static_cast<uint8_t*>(p) + intptr_t(y) * pitch, frame + intptr_t(y) * texture_width,
               row_bytes);
    SDL_UnlockTexture(texture);
    return true;
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

static void sdl_present(void)
{
    SDL_Rect r = picture_rect();
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, nullptr, &r);
    SDL_RenderPresent(renderer);  // waits for the vertical blank
    SDL_Delay(0);
}

static void sdl_idle(void)
{
    SDL_Delay(1);
}

static void sdl_close(void)
{
    if (texture)
        SDL_DestroyTexture(texture);
    if (renderer)
        SDL_DestroyRenderer(renderer);
    texture = nullptr;
    renderer = nullptr;
    if (window) {
        SDL_SetWindowFullscreen(window, 0);
        SDL_ShowCursor(SDL_ENABLE);
        SDL_DestroyWindow(window);
        window = nullptr;
    }
    if (video_started) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        video_started = false;
    }
}

// Ends the process the way a process exit on the original platform does:
// no static destructors or exit handlers run under a live mixing thread.
[[noreturn]] static void sdl_exit_process(int code)
{
    _exit(code);
}

const DisplayDevice display_device = {
    sdl_open, sdl_next_event, sdl_restore, sdl_take_frame, sdl_present, sdl_idle, sdl_close,
    sdl_exit_process,
};
