// song_declick.cpp -- the declick watcher: fading tails at note starts and
// engine stops.
#include "player/song_declick.h"

#include "mixer/voice.h"

static void declick_observe(void*, const Song*, const SongEvent* event)
{
    if (event->kind == SONG_EVENT_ROW || !voices || event->voice < 0 ||
        event->voice >= VOICE_COUNT)
        return;
    voice_fade_out(&voices[event->voice], event->kind == SONG_EVENT_NOTE);
}

bool song_declick(Song* song, bool on)
{
    if (!song || (song->observer && song->observer != declick_observe))
        return false;
    song->observer = on ? declick_observe : nullptr;
    song->observer_context = nullptr;
    return true;
}
