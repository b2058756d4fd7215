// xm_check.cpp -- tavimo-xm check: the song played offline with its check
// beside it, and the findings as text or JSON.
#include "tools/xm/xm_check.h"

#include <cstring>

#include "mixer/voice.h"
#include "player/render.h"
#include "player/song_end.h"
#include "tools/xm/xm_info.h"

static void collect(void* context, const SongCheckFinding* finding)
{
    static_cast<XmCheck*>(context)->findings.push_back(*finding);
}

bool xm_check_run(Song* song, int32_t rate, int32_t bound_seconds, XmCheck* check)
{
    check->findings.clear();
    check->rate = rate;
    check->end_found = false;
    check->bound_seconds = bound_seconds;
    if (!render_open(rate))
        return false;
    // The end watcher first: the check wraps its tick function.
    SongEnd* end = song_end_create(song, 0);
    SongCheck* watch = end ? song_check_create(song, end, collect, check) : nullptr;
    bool ok = watch && song_start(song);
    if (ok) {
        const int32_t block = mix_block_frames(rate);
        std::vector<float> mix(size_t(block) * 2);
        std::vector<int16_t> out(size_t(block) * 2);
        const int64_t limit = int64_t(bound_seconds) * rate;
        while (!end->finished && end->frames < limit)
            render_songs(mix.data(), out.data(), block);
        check->end_found = end->length_frames >= 0;
    }
    song_stop(song);
    song_check_free(watch);
    song_end_free(end);
    render_close();
    return ok;
}

// An instrument's and a sample's name as text; blank outside the song.
static void names_of(const Song* song, int32_t instrument, int32_t sample,
                     char name[XM_ITEM_NAME_BYTES + 1], char sample_name[XM_ITEM_NAME_BYTES + 1])
{
    name[0] = sample_name[0] = '\0';
    if (!song || instrument < 0 || instrument >= song->instrument_count)
        return;
    const Instrument* in = &song->instruments[instrument];
    xm_name_text(name, in->name, XM_ITEM_NAME_BYTES);
    if (sample >= 0 && sample < in->sample_count)
        xm_name_text(sample_name, in->sample_names[sample], XM_ITEM_NAME_BYTES);
}

void xm_check_line(char* out, size_t size, const Song* song, const XmCheck* check,
                   const SongCheckFinding* f)
{
    char name[XM_ITEM_NAME_BYTES + 1], sample_name[XM_ITEM_NAME_BYTES + 1];
    names_of(song, f->instrument, f->sample, name, sample_name);
    char sample[64];
    if (f->sample >= 0)
        snprintf(sample, sizeof sample, "sample %d \"%s\"", f->sample, sample_name);
    else
        snprintf(sample, sizeof sample, "no sample");
    snprintf(out, size,
             "order %3d  pattern %3d  row %3d  channel %2d  instrument %3d \"%s\" %s  "
             "%8.3f s  %s: %s, jump %.3f",
             f->order, f->pattern, f->row, f->channel + 1, f->instrument + 1, name, sample,
             double(f->frame) / check->rate, song_check_kind_name(f->kind),
             song_check_kind_text(f->kind), double(f->jump));
}

static void write_json(FILE* out, const char* file, const Song* song, const XmCheck* check)
{
    fprintf(out, "{\"file\": ");
    xm_json_string(out, file);
    fprintf(out, ", \"findings\": [");
    size_t n = 0;
    for (const SongCheckFinding& f : check->findings) {
        char name[XM_ITEM_NAME_BYTES + 1], sample_name[XM_ITEM_NAME_BYTES + 1];
        names_of(song, f.instrument, f.sample, name, sample_name);
        fprintf(out,
                "%s\n  {\"kind\": \"%s\", \"order\": %d, \"pattern\": %d, \"row\": %d, "
                "\"tick\": %d, \"channel\": %d, \"instrument\": %d, \"instrument_name\": ",
                n++ ? "," : "", song_check_kind_name(f.kind), f.order, f.pattern, f.row, f.tick,
                f.channel + 1, f.instrument + 1);
        xm_json_string(out, name);
        fprintf(out, ", \"sample\": %d, \"sample_name\": ", f.sample);
        xm_json_string(out, sample_name);
        fprintf(out, ", \"seconds\": %.3f, \"what\": \"%s\", \"jump\": %.4f}",
                double(f.frame) / check->rate, song_check_kind_text(f.kind), double(f.jump));
    }
    fprintf(out, "],\n \"count\": %zu, \"end_found\": %s, \"min_jump\": %.6f}\n",
            check->findings.size(), check->end_found ? "true" : "false",
            double(SONG_CHECK_MIN_JUMP));
}

void xm_check_write(FILE* out, const char* file, const Song* song, const XmCheck* check,
                    bool json)
{
    if (json) {
        write_json(out, file, song, check);
        return;
    }
    char line[512];
    for (const SongCheckFinding& f : check->findings) {
        xm_check_line(line, sizeof line, song, check, &f);
        fprintf(out, "%s\n", line);
    }
    if (!check->end_found)
        fprintf(out, "(no end found: the first %d s were checked)\n", check->bound_seconds);
    size_t count = check->findings.size();
    fprintf(out, "%zu place%s where the sound jumps\n", count, count == 1 ? "" : "s");
}
