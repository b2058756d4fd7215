// xm_sound_layer.h -- tavimo-xm picks its sound layer per command: the
// offline layer for info and render, the system's device for play. Call one
// of these before sound_open.
#pragma once

void xm_sound_layer_use_offline(void);
void xm_sound_layer_use_device(void);
