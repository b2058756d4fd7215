// main.cpp -- the show's process entry: runs the show and ends the process
// with its exit code.
#include <cstdlib>

#include "runtime/entry.h"

int main()
{
    // quick_exit, not a return: on a failed start-up the mixing thread may
    // still be running, and static destructors must not run under it.
    std::quick_exit(tavimo_run());
}
