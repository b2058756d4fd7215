// web_player_wav.cpp -- the web player's render to a WAV file, as tavimo-xm
// renders (player/render.h): the device closed and the voices opened at the
// render's rate, a few blocks per call so the page stays live, the device
// opened again at the end.
#include "tools/webplayer/web_player_state.h"

#include "sound/sound.h"
#include "mixer/voice.h"
#include "player/render.h"
#include "player/song_declick.h"

extern "C" {

bool web_player_render_begin(const char* path)
{
    Player& p = player;
    if (!p.song || p.rendering)
        return false;
    web_player_stop();
    Song* fresh = web_player_load_song();
    if (!fresh)
        return false;
    song_end_free(p.watch);
    p.watch = nullptr;
    song_free(p.song);
    p.song = fresh;
    song_declick(p.song, p.declick);
    if (!wav_open(&p.wav, path, XM_RATE))
        return false;
    // The device makes way: its blocks would take the song's frames.
    sound_close();
    p.watch = song_end_create(p.song, 0);
    if (!p.watch || !render_open(XM_RATE) || !song_start(p.song)) {
        wav_close(&p.wav);
        song_stop(p.song);
        web_player_open(p.device_rate);
        return false;
    }
    p.rendering = true;
    p.render_frames = 0;
    p.render_limit = int64_t(XM_LENGTH_BOUND_S) * XM_RATE;
    p.status.state = WEB_PLAYER_RENDERING;
    return true;
}

// Back to the device after a render, the song stopped.
static void render_finish(void)
{
    Player& p = player;
    p.rendering = false;
    song_stop(p.song);
    song_end_free(p.watch);
    p.watch = nullptr;
    web_player_open(p.device_rate);
    p.status.state = WEB_PLAYER_STOPPED;
}

int32_t web_player_render_step(int32_t blocks)
{
    Player& p = player;
    if (!p.rendering)
        return -1;
    constexpr int32_t BLOCK = mix_block_frames(XM_RATE);
    static float mix[2 * BLOCK];
    static int16_t block[2 * BLOCK];
    const SongEnd* watch = p.watch;
    for (int32_t i = 0; i < blocks; i++) {
        int32_t n = render_to_end(watch, p.render_frames, p.render_limit, mix, block, BLOCK);
        if (n <= 0)
            break;
        wav_write(&p.wav, block, n);
        p.render_frames += n;
    }
    bool done = watch->finished || p.render_frames >= p.render_limit;
    if (!done) {
        int64_t total = p.length.found ? p.length.frames : p.render_limit;
        int64_t permille = total > 0 ? p.render_frames * 1000 / total : 0;
        return int32_t(permille > 999 ? 999 : permille);
    }
    bool written = wav_close(&p.wav);
    render_finish();
    return written ? 1000 : -1;
}

void web_player_render_cancel(void)
{
    Player& p = player;
    if (!p.rendering)
        return;
    wav_close(&p.wav);
    render_finish();
}

}  // extern "C"
