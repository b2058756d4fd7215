// web_player.cpp -- the module player behind player.html (see web_player.h):
// a module's bytes loaded, its facts and names told.
#include "tools/webplayer/web_player_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sound/sound.h"
#include "mixer/voice.h"
#include "player/module_file.h"
#include "player/render.h"
#include "tools/xm/xm_check.h"

Player player;

const Pattern* web_player_pattern_of_order(const Song* song, int32_t order)
{
    if (order < 0 || order >= song->song_length)
        return nullptr;
    int32_t number = song->order_table[order];
    return number < song->pattern_slots ? &song->patterns[number] : nullptr;
}

Song* web_player_load_song(void)
{
    memory_file_register(player.buffer, player.module_size);
    return song_create(player.name, nullptr);
}

namespace {

const char* refusal(const char* name, const char* reason)
{
    static char text[NAME_BYTES + 96];
    snprintf(text, sizeof text, "%.*s: %s", NAME_BYTES - 1, name, reason);
    return text;
}

// The song's length at XM_RATE as `tavimo-xm info` finds it, on a load of
// its own.
XmLength measure_length(void)
{
    XmLength length = {false, 0, XM_RATE, -1, -1, SONG_END_NONE, XM_LENGTH_BOUND_S};
    Song* song = web_player_load_song();
    if (!song)
        return length;
    SongLength measured;
    if (song_end_measure(song, XM_RATE, int64_t(XM_LENGTH_BOUND_S) * XM_RATE, &measured))
        length = XmLength{measured.found, measured.frames, XM_RATE, measured.back_order,
                          measured.back_row, measured.how, XM_LENGTH_BOUND_S};
    song_free(song);
    return length;
}

void free_song(void)
{
    Player& p = player;
    if (p.rendering)
        web_player_render_cancel();
    song_end_free(p.watch);
    p.watch = nullptr;
    song_free(p.song);
    p.song = nullptr;
    free(p.tick_levels);
    free(p.levels);
    for (char*& text : p.info) {
        free(text);
        text = nullptr;
    }
    p.tick_levels = p.levels = nullptr;
    p.module_size = 0;
    p.status = WebPlayerStatus{};
    p.status.loop = p.loop;
    p.status.rate = output_rate;
    p.status.length_ms = -1;
}

// The facts as `tavimo-xm info` writes them, as text or JSON; null when
// memory runs out.
char* write_info(bool json)
{
    const Player& p = player;
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    if (!out)
        return nullptr;
    xm_info_write(out, p.name, p.song, &p.length, json);
    fclose(out);
    return text;
}

// The instruments' and samples' names as the loader kept them, a line each.
char* write_names(void)
{
    const Song* song = player.song;
    char* text = nullptr;
    size_t text_size = 0;
    FILE* out = open_memstream(&text, &text_size);
    if (!out)
        return nullptr;
    char name[XM_ITEM_NAME_BYTES + 1];
    for (int32_t n = 0; n < song->instrument_count; n++) {
        const Instrument& in = song->instruments[n];
        xm_name_text(name, in.name, XM_ITEM_NAME_BYTES);
        fprintf(out, "instrument %3d  %s\n", n + 1, name);
        for (int32_t s = 0; s < in.sample_count; s++) {
            xm_name_text(name, in.sample_names[s], XM_ITEM_NAME_BYTES);
            fprintf(out, "    sample %2d  %s\n", s, name);
        }
    }
    fclose(out);
    return text;
}

// The places where the sound jumps as `tavimo-xm check` writes them, from
// a load of their own played offline at XM_RATE (the device, when it is
// open, makes way as for a WAV render); null when that cannot be had.
char* write_findings(void)
{
    Player& p = player;
    Song* song = web_player_load_song();
    if (!song)
        return nullptr;
    bool device = output_ring != nullptr;
    if (device)
        sound_close();
    XmCheck check;
    bool ok = xm_check_run(song, XM_RATE, XM_LENGTH_BOUND_S, &check);
    if (device)
        web_player_open(p.device_rate);
    char* text = nullptr;
    size_t size = 0;
    FILE* out = ok ? open_memstream(&text, &size) : nullptr;
    if (out) {
        xm_check_write(out, p.name, song, &check, false);
        fclose(out);
    }
    song_free(song);
    return text;
}

}  // namespace

extern "C" {

bool web_player_open(int32_t rate)
{
    memory_file_register(player.buffer, player.buffer_size);
    player.device_rate = rate;
    player.blocks_rendered = 0;  // counted afresh from the open, as the device counts
    bool ok = render_open(rate) && sound_open(rate, web_player_render);
    player.status.rate = output_rate;
    return ok;
}

const char* web_player_size_refusal(const char* name, double size)
{
    if (size >= 0 && size <= double(WEB_PLAYER_SIZE_LIMIT))
        return "";
    static char text[NAME_BYTES + 96];
    snprintf(text, sizeof text, "%s: too large (%.1f MiB; at most %d MiB)", name,
             size / 1048576.0, WEB_PLAYER_SIZE_LIMIT >> 20);
    return text;
}

uint8_t* web_player_buffer(int32_t size)
{
    free_song();  // its bytes go
    free(player.buffer);
    player.buffer = nullptr;
    player.buffer_size = 0;
    if (size < 0 || size > WEB_PLAYER_SIZE_LIMIT)
        return nullptr;
    player.buffer = static_cast<uint8_t*>(malloc(size_t(size) + 1));
    player.buffer_size = player.buffer ? size : 0;
    return player.buffer;
}

const char* web_player_load(const char* name, int32_t size)
{
    Player& p = player;
    free_song();
    snprintf(p.name, sizeof p.name, "%s", name ? name : "");
    if (!p.buffer || size < 0 || size > p.buffer_size)
        return refusal(p.name, xm_refusal_text(XM_NOT_XM));
    p.module_size = size;
    Song* song = web_player_load_song();
    if (!song) {
        p.module_size = 0;
        return refusal(p.name, xm_refusal_text(xm_refusal));
    }
    p.song = song;
    int32_t channels = song->channel_count > 0 ? song->channel_count : 0;
    p.tick_levels = static_cast<uint8_t*>(calloc(size_t(TICK_LOG) * channels + 1, 1));
    p.levels = static_cast<uint8_t*>(calloc(size_t(channels) + 1, 1));
    p.length = measure_length();
    p.info[0] = write_info(false);
    p.info[1] = write_info(true);
    p.info[2] = write_names();
    p.info[3] = write_findings();
    if (!p.tick_levels || !p.levels || !p.info[0] || !p.info[1] || !p.info[2] || !p.info[3]) {
        free_song();
        return refusal(p.name, xm_refusal_text(XM_OUT_OF_MEMORY));
    }
    p.paused = false;
    p.status.state = WEB_PLAYER_STOPPED;
    p.status.song_length = song->song_length;
    p.status.channels = channels;
    p.status.length_ms = p.length.found ? int32_t(p.length.frames * 1000 / XM_RATE) : -1;
    const Pattern* first = web_player_pattern_of_order(song, 0);
    p.status.pattern = song->order_table[0];
    p.status.rows = first ? first->rows : 0;
    return "";
}

const char* web_player_info(bool json)
{
    const char* text = player.song ? player.info[json ? 1 : 0] : nullptr;
    return text ? text : "";
}

const char* web_player_names(void)
{
    const char* text = player.song ? player.info[2] : nullptr;
    return text ? text : "";
}

const char* web_player_findings(void)
{
    const char* text = player.song ? player.info[3] : nullptr;
    return text ? text : "";
}

}  // extern "C"
