// xm_info.cpp -- tavimo-xm's info, as text lines or one JSON object.
#include "tools/xm/xm_info.h"

#include <cstring>

#include "player/song_end.h"

// The header's texts as info shows them.
struct HeaderText {
    char name[XM_MODULE_NAME_BYTES + 1];
    char tracker[XM_MODULE_NAME_BYTES + 1];
    unsigned version;
};

static HeaderText header_text(const Song* song)
{
    HeaderText text;
    xm_name_text(text.name, song->facts.name, XM_MODULE_NAME_BYTES);
    xm_name_text(text.tracker, song->facts.tracker, XM_MODULE_NAME_BYTES);
    text.version = song->facts.version;
    return text;
}

void xm_length_text(char* out, size_t size, const XmLength* length)
{
    if (!length->found) {
        snprintf(out, size, "over %d s (no end found within the bound)", length->bound_seconds);
        return;
    }
    double seconds = double(length->frames) / length->rate;
    const char* why = length->how == SONG_END_ORDER_LIST ? " (the order list ends)" : "";
    if (length->back_row == 0)
        snprintf(out, size, "%.2f s%s, then back to order %d", seconds, why, length->back_order);
    else
        snprintf(out, size, "%.2f s%s, then back to order %d, row %d", seconds, why,
                 length->back_order, length->back_row);
}

static const char* loop_name(uint8_t type)
{
    return type == LOOP_FORWARD ? "forward" : type == LOOP_PINGPONG ? "ping-pong" : "none";
}

static void write_text(FILE* out, const char* file, const HeaderText* header, const Song* song,
                       const XmLength* length)
{
    fprintf(out, "file          %s\n", file);
    fprintf(out, "name          %s\n", header->name);
    fprintf(out, "tracker       %s\n", header->tracker);
    fprintf(out, "version       0x%04X\n", header->version);
    fprintf(out, "channels      %d\n", song->channel_count);
    fprintf(out, "patterns      %d\n", song->pattern_slots);
    fprintf(out, "instruments   %d\n", song->instrument_count);
    fprintf(out, "orders        %d (restart at %d):", song->song_length, song->restart_position);
    for (int i = 0; i < song->song_length; i++)
        fprintf(out, " %d", song->order_table[i]);
    fprintf(out, "\n");
    fprintf(out, "speed         %d ticks per row\n", song->default_speed);
    fprintf(out, "bpm           %d\n", song->default_bpm);
    fprintf(out, "frequencies   %s\n", (song->module_flags & LINEAR_PERIODS) ? "linear" : "amiga");
    for (int i = 0; i < song->instrument_count; i++) {
        const Instrument& in = song->instruments[i];
        fprintf(out, "instrument %3d  %2d sample%s  volume envelope %s  fadeout %u\n", i + 1,
                in.sample_count, in.sample_count == 1 ? " " : "s",
                (in.volume_type & ENVELOPE_ON) ? "on " : "off", unsigned(in.fadeout));
        for (int s = 0; s < in.sample_count; s++) {
            const Sample* sm = in.samples[s];
            fprintf(out,
                    "    sample %2d  %7u frames  loop %-9s %u+%u  volume %2u  finetune %4d  note %+3d\n",
                    s, sm->length, loop_name(sm->loop_type), sm->loop_start, sm->loop_length,
                    unsigned(sm->volume), sm->finetune, sm->relative_note);
        }
    }
    char text[128];
    xm_length_text(text, sizeof text, length);
    fprintf(out, "length        %s\n", text);
}

void xm_json_string(FILE* out, const char* s)
{
    fputc('"', out);
    for (; *s; s++) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c == '"' || c == '\\')
            fprintf(out, "\\%c", c);
        else if (c < 0x20)
            fprintf(out, "\\u%04x", c);
        else
            fputc(c, out);
    }
    fputc('"', out);
}

static void write_json(FILE* out, const char* file, const HeaderText* header, const Song* song,
                       const XmLength* length)
{
    fprintf(out, "{\"file\": ");
    xm_json_string(out, file);
    fprintf(out, ", \"name\": ");
    xm_json_string(out, header->name);
    fprintf(out, ", \"tracker\": ");
    xm_json_string(out, header->tracker);
    fprintf(out, ", \"version\": %u, \"channels\": %d, \"patterns\": %d,\n", header->version,
            song->channel_count, song->pattern_slots);
    fprintf(out, " \"orders\": [");
    for (int i = 0; i < song->song_length; i++)
        fprintf(out, "%s%d", i ? ", " : "", song->order_table[i]);
    fprintf(out, "], \"restart\": %d, \"speed\": %d, \"bpm\": %d, \"frequencies\": \"%s\",\n",
            song->restart_position, song->default_speed, song->default_bpm,
            (song->module_flags & LINEAR_PERIODS) ? "linear" : "amiga");
    fprintf(out, " \"instruments\": [");
    for (int i = 0; i < song->instrument_count; i++) {
        const Instrument& in = song->instruments[i];
        fprintf(out, "%s\n  {\"volume_envelope\": %s, \"fadeout\": %u, \"samples\": [", i ? "," : "",
                (in.volume_type & ENVELOPE_ON) ? "true" : "false", unsigned(in.fadeout));
        for (int s = 0; s < in.sample_count; s++) {
            const Sample* sm = in.samples[s];
            fprintf(out,
                    "%s{\"frames\": %u, \"loop\": \"%s\", \"loop_start\": %u, \"loop_length\": %u, "
                    "\"volume\": %u, \"finetune\": %d, \"relative_note\": %d}",
                    s ? ", " : "", sm->length, loop_name(sm->loop_type), sm->loop_start,
                    sm->loop_length, unsigned(sm->volume), sm->finetune, sm->relative_note);
        }
        fprintf(out, "]}");
    }
    fprintf(out, "],\n");
    if (length->found) {
        fprintf(out,
                " \"length\": {\"seconds\": %.3f, \"frames\": %lld, \"rate\": %d, "
                "\"ends_by\": \"%s\", \"back_order\": %d, \"back_row\": %d}}\n",
                double(length->frames) / length->rate, static_cast<long long>(length->frames),
                length->rate, length->how == SONG_END_ORDER_LIST ? "order list" : "return",
                length->back_order, length->back_row);
    } else {
        fprintf(out, " \"length\": null, \"searched_seconds\": %d}\n", length->bound_seconds);
    }
}

void xm_info_write(FILE* out, const char* file, const Song* song, const XmLength* length,
                   bool json)
{
    HeaderText header = header_text(song);
    if (json)
        write_json(out, file, &header, song, length);
    else
        write_text(out, file, &header, song, length);
}
