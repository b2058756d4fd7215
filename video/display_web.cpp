// display_web.cpp -- the display device of the web build: the page's
// canvas. take_frame converts the frame into the canvas's image, whose
// bytes live in the program's memory (compiled code converts four pixels at
// a time, where a loop in the page's script took a tenth of a millisecond);
// present puts it on the canvas with one putImageData and then waits for
// the page's next animation frame, the browser's vertical blank; the
// program is suspended there and the page has its thread back
// (runtime/web/pre.js).
// The page's stylesheet scales the canvas up with square, crisp pixels.
// Escape, and leaving full screen, end the show; hiding the page makes the
// display inactive.
//
// Another page reuses this layer by passing its canvas to the program's
// factory (`tavimo({canvas: ...})`, runtime/web/pre.js).
#include <emscripten.h>

#include <cstdlib>

#include "video/display.h"

static int frame_words;          // width x height of the open display
static uint32_t* canvas_words;   // the canvas's image: frame_words RGBA pixels,
                                 // red in the lowest byte; made by open

// The canvas, its image and the page's events: 1 when there is a canvas.
EM_JS(int, web_display_open, (int width, int height, uint32_t* words), {
    var canvas = Module.canvas;
    var context = canvas && canvas.getContext && canvas.getContext('2d', {alpha: false});
    if (!context)
        return 0;
    canvas.width = width;
    canvas.height = height;
    Module.tvContext = context;
    // An image over the program's bytes, made anew should they move (a
    // program that lets its memory grow).
    Module.tvCanvasImage = function() {
        if (!Module.tvImage || Module.tvImage.data.buffer !== HEAPU8.buffer)
            Module.tvImage = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, words, width * height * 4),
                                           width, height);
        return Module.tvImage;
    };
    Module.tvImage = null;
    // DisplayEvent numbers in the order they came (1 active, 2 inactive,
    // 3 Escape, 4 close); the page is active once it can be seen.
    var events = document.hidden ? [] : [1];
    Module.tvEvents = events;
    var onKey = function(e) {
        if (e.key === 'Escape' || e.keyCode === 27) {
            events.push(3);
            e.preventDefault();
        }
    };
    var onFullscreen = function() {
        if (!document.fullscreenElement && Module.tvWasFullscreen)
            events.push(4);
        Module.tvWasFullscreen = !!document.fullscreenElement;
    };
    var onVisibility = function() { events.push(document.hidden ? 2 : 1); };
    Module.tvWasFullscreen = !!document.fullscreenElement;
    window.addEventListener('keydown', onKey);
    document.addEventListener('fullscreenchange', onFullscreen);
    document.addEventListener('visibilitychange', onVisibility);
    Module.tvCleanups.push(function() {
        window.removeEventListener('keydown', onKey);
        document.removeEventListener('fullscreenchange', onFullscreen);
        document.removeEventListener('visibilitychange', onVisibility);
    });
    return 1;
});

// The next event; 0 (none) when none is pending.
EM_JS(int, web_display_next_event, (void), {
    var events = Module.tvEvents;
    return events && events.length ? events.shift() : 0;
});

// The image onto the canvas, one putImageData.
EM_JS(void, web_display_show, (void), {
    Module.tvContext.putImageData(Module.tvCanvasImage(), 0, 0);
    var now = performance.now();
    if (Module.frameDelayMs > 0) {
        while (performance.now() - now < Module.frameDelayMs) {
        }
    }
    if (Module.onFrame) {
        Module.onFrame({
            clock: Module.tvLastClock,
            renderMs: now - Module.tvLastYield,
            pixels: function() { return new Uint8Array(Module.tvImage.data); }
        });
    }
});

// Suspends the program until the page's next animation frame (or 250 ms,
// where a hidden page gets no frames).
EM_JS(void, web_display_wait_frame, (void), {
    Asyncify.handleSleep(function(wakeUp) {
        var woken = false;
        var wake = function() {
            if (!woken) {
                woken = true;
                Module.tvResume(wakeUp);
            }
        };
        requestAnimationFrame(wake);
        setTimeout(wake, 250);
    });
});

EM_JS(void, web_display_sleep, (int ms), {
    Asyncify.handleSleep(function(wakeUp) {
        setTimeout(function() { Module.tvResume(wakeUp); }, ms);
    });
});

EM_JS(void, web_display_end, (int code), {
    Module.tvEnd(code);
});

static bool w_open(const char*, int width, int height)
{
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return false;
    frame_words = width * height;
    free(canvas_words);
    canvas_words = static_cast<uint32_t*>(malloc(sizeof(uint32_t) * size_t(frame_words)));
    return canvas_words && web_display_open(width, height, canvas_words) != 0;
}
static DisplayEvent w_next_event(void) { return DisplayEvent(web_display_next_event()); }
static void w_nothing(void) {}
// 0x00RRGGBB words to opaque RGBA.
static bool w_take_frame(const uint32_t* frame)
{
    for (int i = 0; i < frame_words; i++) {
        const uint32_t p = frame[i];
        canvas_words[i] = 0xFF000000u | (p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF);
    }
    return true;
}
static void w_present(void)
{
    web_display_show();
    web_display_wait_frame();
}
// A millisecond, as on the other platforms; a hidden page may make it longer.
static void w_idle(void) { web_display_sleep(1); }
__attribute__((noreturn)) static void w_exit_process(int code)
{
    web_display_end(code);
    __builtin_unreachable();
}

const DisplayDevice display_device = {
    w_open, w_next_event, w_nothing, w_take_frame, w_present, w_idle, w_nothing,
    w_exit_process,
};
