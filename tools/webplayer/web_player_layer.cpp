// web_player_layer.cpp -- the page's sound device: the browser's Web Audio
// layer while it plays, the offline layer while it renders a WAV file (as
// tavimo-xm picks its layer per command).
#include "audio/sound.h"
#include "tools/webplayer/web_player.h"

static const SoundDevice* layer = &sound_device_web;

static void use_offline(void) { layer = &sound_device_offline; }
static void use_device(void) { layer = &sound_device_web; }

static bool open(int32_t rate) { return layer->open(rate); }
static void play_loop(const int16_t* ring, uint32_t bytes) { layer->play_loop(ring, bytes); }
static uint64_t bytes_played(void) { return layer->bytes_played(); }
static void close(void) { layer->close(); }
static bool thread_start(int (*body)(void)) { return layer->thread_start(body); }
static void thread_join(void) { layer->thread_join(); }
static void sleep_ms(int32_t ms) { layer->sleep_ms(ms); }

const SoundDevice sound_device = {open, play_loop, bytes_played, close, thread_start,
                                  thread_join, sleep_ms};

void (*web_player_use_offline)(void) = use_offline;
void (*web_player_use_device)(void) = use_device;
