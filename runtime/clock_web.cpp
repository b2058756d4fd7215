// clock_web.cpp -- the process clock of the web build: the page's
// high-resolution clock from the moment the program's instance was made
// (the page's start click), in whole milliseconds.
//
// The show's start-up waits spin on this clock. A page that does not get
// its thread back freezes, so a read that comes more than 50 ms after the
// program last gave the thread back first gives it back for one turn of the
// page's event loop (the program is suspended there and resumed, see
// runtime/web/pre.js). Between frames the display's wait gives it back
// anyway, so while the show runs at its frame rate no read waits.
#include <emscripten.h>

#include "runtime/clock.h"

EM_JS(double, web_clock_read, (void), {
    var t = Math.floor(performance.now() - Module.tvStart);
    Module.tvLastClock = t;
    if (Module.onClock)
        Module.onClock(t);
    return t;
});

EM_JS(void, web_clock_give_back, (void), {
    if (Asyncify.state === Asyncify.State.Normal &&
        performance.now() - Module.tvLastYield < 50)
        return;
    Asyncify.handleSleep(function(wakeUp) {
        setTimeout(function() { Module.tvResume(wakeUp); }, 0);
    });
});

int64_t process_clock_ms(void)
{
    web_clock_give_back();
    return int64_t(web_clock_read());
}
