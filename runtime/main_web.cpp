// main_web.cpp -- the show's entry in a browser page: runs the show and
// ends the process with its exit code (the page hears it, runtime/web/pre.js).
#include "runtime/entry.h"
#include "video/display.h"

int main()
{
    display_device.exit_process(tavimo_run());
}
