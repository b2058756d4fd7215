// web_player_wav.cpp -- the web player's render to a WAV file, as tavimo-xm
// renders: the sound opened offline, a few blocks per call so the page stays
// live, the device opened again at the end.
#include "tools/webplayer/web_player_state.h"

#include "audio/sound.h"
#include "player/render.h"

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
    if (!wav_open(&p.wav, path, XM_RATE))
        return false;
    sound_close();
    p.watch = song_end_create(p.song, 0);
    if (!p.watch || !render_open(XM_RATE) ||
        !sound_open_offline(XM_RATE, render_songs) || !song_start(p.song)) {
        wav_close(&p.wav);
        song_stop(p.song);
        sound_close();
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
    sound_close();
    web_player_open(p.device_rate);
    p.status.state = WEB_PLAYER_STOPPED;
}

int32_t web_player_render_step(int32_t blocks)
{
    Player& p = player;
    if (!p.rendering)
        return -1;
    static int16_t block[2 * 8192];
    const SongEnd* watch = p.watch;
    for (int32_t i = 0; i < blocks && !watch->finished && p.render_frames < p.render_limit; i++) {
        int32_t n = block_frames <= 8192 ? sound_render_block(block) : 0;
        if (n <= 0)
            break;
        int64_t take = n;
        // As tavimo-xm renders: cut at the end, which began a tick in this block.
        if (watch->finished && p.render_frames + take > watch->last_end_frames)
            take = watch->last_end_frames - p.render_frames;
        if (p.render_frames + take > p.render_limit)
            take = p.render_limit - p.render_frames;
        wav_write(&p.wav, block, take);
        p.render_frames += take;
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
