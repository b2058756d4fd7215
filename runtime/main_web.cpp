// main_web.cpp -- the show's entry in a browser page: runs the show and
// ends the process with its exit code (the page hears it, runtime/web/pre.js).
#include "assets/assets_web.h"
#include "runtime/entry.h"
#include "video/display.h"

// The exit code when the built-in assets cannot be unpacked (a damaged page).
enum { EXIT_DAMAGED_ASSETS = 1 };

int main()
{
    if (!unpack_assets())
        display_device.exit_process(EXIT_DAMAGED_ASSETS);
    display_device.exit_process(tavimo_run());
}
