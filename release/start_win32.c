/* start_win32.c -- the process entry of the Windows release image, in place
 * of mingw's start-up code (crt2.o), which brings some 5 KB of code the show
 * does not need: the command line split into argv, run-time relocation of
 * data imported from DLLs, thread-local storage set-up, an unhandled
 * exception filter. What the show does need is done here: the x87 control
 * word reset as the C runtime sets it, and main, whose first act (the
 * compiler puts it there) is to run the static constructors. main ends
 * the process itself. */
#include <stdlib.h>

int main(void);
void _fpreset(void);

/* mingw's constructor runner registers the destructors with atexit, and
 * without the start-up code's relocation a direct call to the DLL's atexit
 * cannot be bound: forwarded here to msvcrt's _onexit, which is what its
 * atexit does. */
int atexit(void (*function)(void))
{
    return _onexit((_onexit_t)function) ? 0 : -1;
}

void WinMainCRTStartup(void)
{
    _fpreset();
    main();
}
