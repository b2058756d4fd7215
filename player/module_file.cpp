// module_file.cpp -- the embedded module as an in-memory file.
#include "player/module_file.h"

#include "assets/assets.h"

int32_t module_position;

int32_t module_open(const char*)
{
    return 1;
}

void module_close(int32_t)
{
}

uint32_t module_read(void* destination, uint32_t length, int32_t)
{
    return memory_read_bytes(module_data, MODULE_DATA_SIZE, &module_position, destination, length);
}

int32_t module_seek(int32_t, int32_t offset, int32_t origin)
{
    return memory_seek_position(MODULE_DATA_SIZE, &module_position, offset, origin);
}

int32_t module_tell(int32_t)
{
    return module_position;
}
