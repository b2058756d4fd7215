// display.cpp -- portable display logic: the active flag, the show's input
// events, and per frame the choice between drawing and idling.
#include "video/display.h"

static int active_flag;

int display_open(const char* window_name, int width, int height)
{
    active_flag = 0;
    return display_device.open(window_name, width, height) ? 1 : 0;
}

static void handle_event(DisplayEvent event)
{
    switch (event) {
    case DISPLAY_EVENT_ACTIVE:
        active_flag = 1;
        break;
    case DISPLAY_EVENT_INACTIVE:
        active_flag = 0;
        break;
    case DISPLAY_EVENT_ESCAPE:
    case DISPLAY_EVENT_CLOSE:
        display_close();
        display_device.exit_process(0);
    case DISPLAY_EVENT_NONE:
        break;
    }
}

int display_present(const uint32_t* frame)
{
    const DisplayDevice& d = display_device;
    for (DisplayEvent e = d.next_event(); e != DISPLAY_EVENT_NONE; e = d.next_event())
        handle_event(e);

    if (active_flag == 0) {
        d.idle();
        return 1;
    }
    d.restore();
    if (!d.take_frame(frame))
        return 0;
    d.present();
    return 1;
}

void display_close(void)
{
    display_device.close();
}

int display_is_active(void)
{
    return active_flag;
}
