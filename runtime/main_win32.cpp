// main_win32.cpp -- the show's process entry on Windows: runs the show and
// ends the process with its exit code through ExitProcess, which also ends
// a mixing thread that a failed start-up left running, without static
// destructors running under it.
#include <windows.h>

#include "runtime/entry.h"

int main()
{
    ExitProcess(UINT(tavimo_run()));
}
