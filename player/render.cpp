// render.cpp -- the playing songs rendered into a caller's buffer, and the
// voices they are bound to.
#include "player/render.h"

#include <cstring>

#include "mixer/mix_lock.h"
#include "mixer/voice.h"
#include "player/channel.h"
#include "player/song.h"
#include "player/song_end.h"
#include "player/stream.h"

// Points channel i of every playing song at voice i (or at none).
static void bind_playing_channels(bool to_voices)
{
    for (Song* s = playing_songs.next; s != &playing_songs; s = s->next) {
        if (!s->channels)
            continue;
        for (int32_t i = 0; i < s->channel_count; i++) {
            bool bound = to_voices && i < VOICE_COUNT;
            s->channels[i].voice = bound ? &voices[i] : nullptr;
            s->channels[i].voice_index = bound ? i : -1;
        }
    }
}

bool render_open(int32_t rate)
{
    bool accepted = stream_callbacks_complete() && rate >= OUTPUT_RATE_MIN &&
                    rate <= OUTPUT_RATE_MAX;
    // One hold of the lock: a mixing thread running meanwhile renders no
    // block with the songs between the old voices and the new.
    mix_lock_acquire();
    bool opened = false;
    if (accepted) {
        voices_set_rate(rate);
        opened = voices_open();  // frees the old ones first
        // Songs that kept playing across a reopen follow the new rate.
        for (Song* s = playing_songs.next; s != &playing_songs; s = s->next)
            set_tempo(s, s->bpm);
    } else {
        voices_close();
    }
    bind_playing_channels(opened);
    mix_lock_release();
    return opened;
}

void render_close(void)
{
    mix_lock_acquire();
    bind_playing_channels(false);
    voices_close();
    mix_lock_release();
}

void render_songs(float* mix, int16_t* out, int32_t frames)
{
    if (frames < 1)
        return;
    memset(mix, 0, size_t(frames) * 2 * sizeof(float));
    for (Song* s = playing_songs.next; s != &playing_songs; s = s->next) {
        if (!s->playing)
            continue;
        int32_t left = s->samples_until_tick;
        int32_t done = 0;
        while (done < frames) {
            if (left <= 0) {
                if (s->tick_function)
                    s->tick_function(s);
                // Read after the tick: a tempo change applies at once. A tick
                // is at least one frame, whatever the song holds.
                left = s->samples_per_tick > 0 ? s->samples_per_tick : 1;
            }
            int32_t piece = left < frames - done ? left : frames - done;
            mix_voices(mix + size_t(done) * 2, &voice_list, piece);
            done += piece;
            left -= piece;
        }
        s->samples_until_tick = left;
    }
    clip_output(out, mix, frames);
}

int32_t render_to_end(const SongEnd* watch, int64_t done, int64_t limit, float* mix,
                      int16_t* out, int32_t frames)
{
    if (watch->finished || done >= limit || frames < 1)
        return 0;
    render_songs(mix, out, frames);
    int64_t keep = frames;
    if (watch->finished && done + keep > watch->last_end_frames)
        keep = watch->last_end_frames - done;
    if (done + keep > limit)
        keep = limit - done;
    return int32_t(keep);
}
