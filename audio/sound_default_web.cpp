// sound_default_web.cpp -- makes the Web Audio layer the executable's sound device.
#include "audio/sound.h"

const SoundDevice sound_device = sound_device_web;
