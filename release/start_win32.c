/* start_win32.c -- the process entry of the Windows release image, in place
 * of mingw's start-up code (crt2.o), which brings some 5 KB of code the show
 * does not need: the command line split into argv, run-time relocation of
 * data imported from DLLs, thread-local storage set-up, an unhandled
 * exception filter. What the show does need is done here: the x87 control
 * word reset as the C runtime sets it, and main, whose first act (the
 * compiler puts it there) is to run the static constructors through
 * __main. main ends the process itself. */

int main(void);
void _fpreset(void);

/* The linker's list of static constructors: -1, their addresses, 0. */
extern void (*__CTOR_LIST__[])(void);

/* Runs the constructors, last to first as mingw's runner does. Its runner
 * also registers the destructors with atexit; the show ends its process
 * with ExitProcess, which runs none, so that is left out, and with it
 * atexit. */
void __main(void)
{
    void (**constructor)(void) = __CTOR_LIST__ + 1;
    while (*constructor)
        constructor++;
    while (--constructor != __CTOR_LIST__)
        (*constructor)();
}

void WinMainCRTStartup(void)
{
    _fpreset();
    main();
}
