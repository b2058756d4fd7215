// xm_sound_layer.cpp -- tavimo-xm's sound device: forwards to the layer
// chosen for the command at hand.
#include "tools/xm/xm_sound_layer.h"

#include "audio/sound.h"


static const SoundDevice* layer = &sound_device_offline;

void xm_sound_layer_use_offline(void) { layer = &sound_device_offline; }
void xm_sound_layer_use_device(void) { layer = &sound_device_sdl; }

static bool open(int32_t rate) { return layer->open(rate); }
static void play_loop(const int16_t* ring, uint32_t bytes) { layer->play_loop(ring, bytes); }
static uint64_t bytes_played(void) { return layer->bytes_played(); }
static void close(void) { layer->close(); }
static bool thread_start(int (*body)(void)) { return layer->thread_start(body); }
static void thread_join(void) { layer->thread_join(); }
static void sleep_ms(int32_t ms) { layer->sleep_ms(ms); }

const SoundDevice sound_device = {open, play_loop, bytes_played, close, thread_start,
                                  thread_join, sleep_ms};
