// memory_file.cpp -- any byte buffer as an in-memory file (tests, tools, fuzzing).
#include "player/module_file.h"

#include <cstring>

#include "player/stream.h"

static const uint8_t* memory_data;
static int32_t memory_size;
static int32_t memory_position;

uint32_t memory_read_bytes(const uint8_t* data, int32_t size, int32_t* position,
                           void* destination, uint32_t length)
{
    int64_t start = *position;
    if (start < 0 || start >= size)
        return 0;
    uint32_t available = static_cast<uint32_t>(size - start);
    uint32_t count = length < available ? length : available;
    memcpy(destination, data + start, count);
    *position = static_cast<int32_t>(start + count);
    return count;
}

int32_t memory_seek_position(int32_t size, int32_t* position, int32_t offset, int32_t origin)
{
    // Unsigned arithmetic: an absurd offset wraps instead of overflowing.
    switch (origin) {
    case 0:
        *position = offset;
        return 0;
    case 1:
        *position = static_cast<int32_t>(static_cast<uint32_t>(*position) +
                                         static_cast<uint32_t>(offset));
        return *position;
    case 2:
        *position = static_cast<int32_t>(static_cast<uint32_t>(size) -
                                         static_cast<uint32_t>(offset));
        return *position;
    default:
        return -1;
    }
}

void memory_file_set(const uint8_t* data, int32_t size)
{
    memory_data = data;
    memory_size = data ? size : 0;
    memory_position = 0;
}

int32_t memory_file_open(const char*)
{
    return 1;
}

void memory_file_close(int32_t)
{
}

uint32_t memory_file_read(void* destination, uint32_t length, int32_t)
{
    return memory_read_bytes(memory_data, memory_size, &memory_position, destination, length);
}

int32_t memory_file_seek(int32_t, int32_t offset, int32_t origin)
{
    return memory_seek_position(memory_size, &memory_position, offset, origin);
}

int32_t memory_file_tell(int32_t)
{
    return memory_position;
}

void memory_file_register(const uint8_t* data, int32_t size)
{
    memory_file_set(data, size);
    register_stream_callbacks(memory_file_open, memory_file_close, memory_file_read,
                              memory_file_seek, memory_file_tell);
}
