// voice_tails.cpp -- smooth note starts: the fading tails of cut-off notes.
//
// A tail is a Voice record of its own, linked into voice_list after the
// voices, so that mix_voices mixes it, after every voice, as it mixes them:
// the old note on from where it was, its gains ramping to zero. Once its
// ramp has run (its gains are then exactly zero, adding nothing) or its
// sample has ended, the next cut takes it out of the list again. Nothing
// here runs unless a song's declick watcher calls voice_fade_out
// (player/song_declick.h); the show never does and links none of it.
#include "mixer/voice.h"

#include "mixer/list.h"

// The tail records; a record is free while its index is -1, and otherwise
// holds the index of the voice whose note it plays.
static Voice tails[VOICE_TAIL_COUNT];
static int32_t tails_linked;  // records not free
static bool tails_ready;      // the records have been marked free once

static void tail_free(Voice* t)
{
    list_unlink(t);
    t->index = -1;
    tails_linked--;
}

// Takes the tails whose fade is over out of the list. A voices_reset (or a
// voices_open) relinks voice_list with the voices alone: then every record
// is free.
static void tails_sweep(void)
{
    if (!voices || voice_list.prev == &voices[VOICE_COUNT - 1]) {
        for (Voice& t : tails)
            t.index = -1;
        tails_linked = 0;
        return;
    }
    for (Voice* t = voices[VOICE_COUNT - 1].next; t != &voice_list;) {
        Voice* next = t->next;
        if (!t->sample || t->ramp_frames_left == 0)
            tail_free(t);
        t = next;
    }
}

// A free record, or, with none left, the oldest tail (the first after the
// voices), which has the least left to fade.
static Voice* tail_record(void)
{
    if (tails_linked == VOICE_TAIL_COUNT) {
        Voice* oldest = voices[VOICE_COUNT - 1].next;
        tail_free(oldest);
        return oldest;
    }
    for (Voice& t : tails) {
        if (t.index < 0)
            return &t;
    }
    return nullptr;  // not reached: fewer than all are linked
}

static void tails_drop(void)
{
    tails_sweep();
    for (Voice* t = voices ? voices[VOICE_COUNT - 1].next : &voice_list; t != &voice_list;) {
        Voice* next = t->next;
        tail_free(t);
        t = next;
    }
}

// A voice whose applied gains are above zero hands what it plays to a tail.
// The applied gains, not the targets: the engine may already have set the
// next note's volume, and the applied gains are what was last heard. A
// starting voice then ramps in from silence to its gains.
void voice_fade_out(Voice* v, bool starting)
{
    if (!tails_ready) {
        for (Voice& t : tails)
            t.index = -1;
        tails_ready = true;
        voice_tails_drop = tails_drop;
    }
    tails_sweep();
    if (v->sample && (v->current_left != 0 || v->current_right != 0) && ramp_frames > 0) {
        Voice* t = tail_record();
        *t = *v;
        t->gain_left = t->gain_right = 0;
        t->ramp_target_left = t->ramp_target_right = 0;
        // As mix_voices computes a ramp's steps, towards gains of zero.
        t->ramp_step_left = float(-int(v->current_left)) / 255.0f * ramp_scale;
        t->ramp_step_right = float(-int(v->current_right)) / 255.0f * ramp_scale;
        t->ramp_frames_left = uint32_t(ramp_frames);
        list_insert_tail(t, &voice_list);
        tails_linked++;
    }
    if (starting) {
        v->current_left = v->current_right = 0;
        v->ramp_frames_left = 0;
    }
}
