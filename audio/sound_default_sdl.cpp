// sound_default_sdl.cpp -- makes the SDL2 layer the executable's sound
// device. Kept apart from the layer so that a program that picks its layer
// at run time (tavimo-xm) can link the layer without this choice.
#include "audio/sound.h"


const SoundDevice sound_device = sound_device_sdl;
