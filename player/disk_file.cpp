// disk_file.cpp -- stream callbacks over ordinary files (stdio).
#include "player/disk_file.h"

#include <cerrno>
#include <cstdio>

#include "player/stream.h"

static FILE* open_files[DISK_FILE_SLOTS];
// Set when a seek asked for a position stdio refuses (before the start):
// reads then deliver nothing until a later seek succeeds, as for the
// in-memory files.
static bool position_lost[DISK_FILE_SLOTS];
static int32_t open_error;

static FILE* file_of(int32_t token)
{
    if (token < 1 || token > DISK_FILE_SLOTS)
        return nullptr;
    return open_files[token - 1];
}

int32_t disk_file_open(const char* path)
{
    for (int32_t slot = 0; slot < DISK_FILE_SLOTS; slot++) {
        if (open_files[slot])
            continue;
        FILE* file = fopen(path, "rb");
        if (!file) {
            open_error = errno;
            return 0;
        }
        open_files[slot] = file;
        position_lost[slot] = false;
        return slot + 1;
    }
    open_error = EMFILE;
    return 0;
}

int32_t disk_file_open_error(void)
{
    return open_error;
}

void disk_file_close(int32_t token)
{
    FILE* file = file_of(token);
    if (!file)
        return;
    fclose(file);
    open_files[token - 1] = nullptr;
}

uint32_t disk_file_read(void* destination, uint32_t length, int32_t token)
{
    FILE* file = file_of(token);
    if (!file || position_lost[token - 1])
        return 0;
    return static_cast<uint32_t>(fread(destination, 1, length, file));
}

int32_t disk_file_seek(int32_t token, int32_t offset, int32_t origin)
{
    FILE* file = file_of(token);
    if (!file)
        return -1;
    int whence;
    long distance = offset;
    switch (origin) {
    case 0: whence = SEEK_SET; break;
    case 1: whence = SEEK_CUR; break;
    case 2: whence = SEEK_END; distance = -static_cast<long>(offset); break;
    default: return -1;
    }
    bool lost = fseek(file, distance, whence) != 0;
    position_lost[token - 1] = lost;
    if (lost)
        return -1;
    return origin == 0 ? 0 : static_cast<int32_t>(ftell(file));
}

int32_t disk_file_tell(int32_t token)
{
    FILE* file = file_of(token);
    return file ? static_cast<int32_t>(ftell(file)) : 0;
}

void disk_file_register(void)
{
    register_stream_callbacks(disk_file_open, disk_file_close, disk_file_read,
                              disk_file_seek, disk_file_tell);
}
