// web_player_layer_none.cpp -- no layer switching: the player runs over the
// `sound_device` the executable links (the tests' fake device).
#include "tools/webplayer/web_player.h"

void (*web_player_use_offline)(void);
void (*web_player_use_device)(void);
