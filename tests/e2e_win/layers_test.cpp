// layers_test.cpp -- tavimo-layer-tests.exe: checks of the Windows display
// and sound layers on a real (or Wine's) window system, DirectDraw and
// wave-out. Run by tests/e2e/wine_layers.sh on a 320x200 X server with a
// sound device; argv[1] is where to write the PPM picture of the test
// pattern that it shows for the script to compare with a screenshot.
// Prints one line per check and ends with "N passed, N failed".
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "sound/sound.h"
#include "video/display.h"

static int passed, failed;

static void check(bool ok, const char* what)
{
    printf("%s: %s\n", ok ? "pass" : "FAIL", what);
    fflush(stdout);
    (ok ? passed : failed)++;
}

static const char* const NAME = "tavimo-layers";
static uint32_t frame[320 * 200];

// Every pixel different in its row and column, all three channels used.
static uint32_t pattern(int x, int y)
{
    return uint32_t(x * 255 / 319) << 16 | uint32_t(y * 255 / 199) << 8 | uint32_t((x ^ y) & 0xFF);
}

static bool write_ppm(const char* path)
{
    FILE* f = fopen(path, "wb");
    if (!f)
        return false;
    fprintf(f, "P6\n320 200\n255\n");
    for (uint32_t p : frame) {
        unsigned char rgb[3] = {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
        fwrite(rgb, 1, 3, f);
    }
    return fclose(f) == 0;
}

// A second window with a procedure of its own, to see that presentation
// leaves other windows' messages alone.
static LRESULT CALLBACK other_proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(w, m, wp, lp);
}

static void display_checks(const char* ppm_path)
{
    check(display_open(NAME, 320, 200) == 1, "display_open grants 320x200 on a 320x200 screen");
    HWND window = FindWindowA(NAME, NAME);
    check(window != nullptr, "the window has the window name as class and title");
    WNDCLASSA window_class;
    check(GetClassInfoA(GetModuleHandleA(nullptr), NAME, &window_class) && window_class.style == 0 &&
              window_class.hCursor == nullptr && window_class.hbrBackground == nullptr,
          "the class has style 0, no cursor and no background");

    // The system activates the shown window by itself. The pattern,
    // presented a few times so that every buffer of the flip chain holds
    // it, stays on screen while the script takes its picture.
    for (int i = 0; i < 100 && !display_is_active(); i++) {
        display_present(frame);
        Sleep(20);
    }
    check(display_is_active() == 1, "the window system's activation notice makes it active");
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++)
            frame[y * 320 + x] = pattern(x, y);
    int shown = 0;
    for (int i = 0; i < 4; i++)
        shown += display_present(frame);
    check(shown == 4, "display_present locks, converts and flips");
    check(write_ppm(ppm_path), "the pattern's picture is written");
    printf("pattern on screen\n");
    fflush(stdout);
    Sleep(5000);

    // Messages sent to the window reach the layer's message table and are
    // handled at the next presentation. (Faked activation notices also
    // reach DirectDraw, which may minimise the window on the inactive one:
    // these come after the pattern.)
    SendMessageA(window, WM_ACTIVATEAPP, 0, 0);
    display_present(frame);
    check(display_is_active() == 0, "WM_ACTIVATEAPP 0 through the class's procedure: inactive");
    SendMessageA(window, WM_ACTIVATEAPP, 1, 0);
    display_present(frame);
    check(display_is_active() == 1, "WM_ACTIVATEAPP 1 through the class's procedure: active");
    check(SendMessageA(window, WM_KEYDOWN, 'A', 0) == 0 && IsWindow(window),
          "a key other than Escape is swallowed");

    // Posted messages are pumped by display_present, the window's only.
    WNDCLASSA other_class = {};
    other_class.lpfnWndProc = other_proc;
    other_class.lpszClassName = "tavimo-other";
    RegisterClassA(&other_class);
    HWND other = CreateWindowExA(0, "tavimo-other", "other", WS_POPUP, 0, 0, 0, 0, nullptr,
                                 nullptr, nullptr, nullptr);
    PostMessageA(other, WM_USER + 7, 0, 0);
    PostMessageA(window, WM_ACTIVATEAPP, 0, 0);
    for (uint32_t& p : frame)
        p = 0xFFFFFF;
    check(display_present(frame) == 1 && display_is_active() == 0,
          "display_present pumps the window's posted WM_ACTIVATEAPP 0 and then skips the frame");
    MSG m;
    check(PeekMessageA(&m, other, WM_USER + 7, WM_USER + 7, PM_NOREMOVE) != 0,
          "another window's message stays in the queue");
    DestroyWindow(other);
    PostMessageA(window, WM_ACTIVATEAPP, 1, 0);
    display_present(frame);
    check(display_is_active() == 1, "a posted WM_ACTIVATEAPP 1 makes it active again");

    display_close();
    check(!IsWindow(window), "display_close destroys the window");
    display_close();
    check(display_open(NAME, 320, 200) == 1, "after two closes the display opens again");
    display_close();
}

static std::atomic<int> body_priority{-100};
static std::atomic<int> body_done{0};

static int thread_body(void)
{
    body_priority = GetThreadPriority(GetCurrentThread());
    Sleep(200);
    body_done = 1;
    return 0;
}

static void sound_checks(void)
{
    static int16_t ring[17680 * 2];
    for (int i = 0; i < 17680; i++)
        ring[2 * i] = ring[2 * i + 1] = int16_t((i % 100) * 200 - 10000);
    check(sound_device.open(44100), "the wave-out device opens at 44100 Hz, 16-bit stereo");
    sound_device.play_loop(ring, sizeof ring);
    DWORD t0 = GetTickCount();
    uint64_t b0 = sound_device.bytes_played();
    Sleep(1500);
    uint64_t b1 = sound_device.bytes_played();
    DWORD elapsed = GetTickCount() - t0;
    double rate = double(b1 - b0) * 1000.0 / elapsed;
    printf("  %llu bytes in %lu ms: %.0f bytes a second\n", (unsigned long long)(b1 - b0),
           (unsigned long)elapsed, rate);
    check(rate > 176400 * 0.5 && rate < 176400 * 1.5,
          "the position advances at about 176400 bytes a second");
    check(b1 > sizeof ring, "the looping header plays on past the end of the ring");

    check(sound_device.thread_start(thread_body), "the thread starts");
    sound_device.thread_join();
    check(body_done == 1, "thread_join returns after the thread has ended");
    check(body_priority == THREAD_PRIORITY_TIME_CRITICAL, "the thread runs at time-critical priority");

    sound_device.close();
    sound_device.close();
    check(sound_device.open(44100), "after two closes the device opens again");
    sound_device.close();
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        printf("usage: tavimo-layer-tests PATTERN.ppm\n");
        return 2;
    }
    display_checks(argv[1]);
    sound_checks();
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
