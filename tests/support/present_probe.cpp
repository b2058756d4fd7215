// present_probe.cpp -- a preload library for the end-to-end tests: logs the
// time of every SDL_RenderPresent of the real show (8-byte stamps in
// nanoseconds since the epoch, appended to the file named by
// TAVIMO_PRESENT_LOG), so a test can measure the frame rate and the longest
// frame, and time its steps on the show's own clock, without touching the
// program. Wall-clock time, so that a shell script can compare it with its
// own `date +%s%N`.
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

extern "C" void SDL_RenderPresent(void* renderer)
{
    using Present = void (*)(void*);
    static Present next = reinterpret_cast<Present>(dlsym(RTLD_NEXT, "SDL_RenderPresent"));
    static int log = -2;
    if (log == -2) {
        const char* path = getenv("TAVIMO_PRESENT_LOG");
        log = path ? open(path, O_WRONLY | O_CREAT | O_APPEND, 0644) : -1;
    }
    next(renderer);
    if (log >= 0) {
        timespec t;
        clock_gettime(CLOCK_REALTIME, &t);
        int64_t ns = int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
        // One unbuffered write per frame: the show ends with _exit.
        if (write(log, &ns, sizeof ns) != sizeof ns) {
            close(log);
            log = -1;
        }
    }
}
