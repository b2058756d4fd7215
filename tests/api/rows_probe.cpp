// rows_probe.cpp -- prints the rows the replay engine enters in a module and
// the frame each begins at (44100 Hz), in render_wav's words, from the
// engine's own tick lengths: what the library's row reports are held to.
//
//   rows_probe MODULE   ->   "frame F order O pattern P row R" per row, to the song's end
#include <cstdio>

#include "mixer/voice.h"
#include "player/disk_file.h"
#include "player/song.h"
#include "player/song_end.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: rows_probe MODULE\n");
        return 2;
    }
    disk_file_register();
    Song* song = song_create(argv[1], nullptr);
    if (!song) {
        fprintf(stderr, "rows_probe: %s: refused\n", argv[1]);
        return 1;
    }
    // No voices: the ticks run, nothing is mixed.
    voices_set_rate(44100);
    SongEnd* watch = song_start(song) ? song_end_create(song, 0) : nullptr;
    if (!watch) {
        fprintf(stderr, "rows_probe: out of memory\n");
        song_free(song);
        return 1;
    }
    const int64_t limit = int64_t(1200) * 44100;
    while (!watch->finished && watch->frames < limit) {
        bool row = song->tick == 0;
        int64_t frame = watch->frames;
        song->tick_function(song);
        if (row && !watch->finished)
            printf("frame %lld order %d pattern %d row %d\n", static_cast<long long>(frame),
                   song->order_pos, song->order_table[song->order_pos], song->row);
    }
    song_end_free(watch);
    song_free(song);
    return 0;
}
