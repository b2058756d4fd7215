// module_file.h -- stream callbacks that serve bytes held in memory.
//
// The module_* set serves the module embedded in the executable
// (assets/assets.h) as a file with one read position, `module_position`;
// the start-up code sets it to 0 and registers the five callbacks before
// the sound device opens. The memory_file_* set serves any byte buffer the
// same way, for tests, tools and the fuzzer. Every token names the same
// bytes and the same position; open never resets the position (the loader
// seeks to 0 first). Main thread only.
#pragma once
#include <cstdint>

extern int32_t module_position;  // read position in the embedded module, bytes

int32_t module_open(const char* name);  // always 1; the name is not looked at
void module_close(int32_t token);       // nothing; the position stays
// Copies up to length bytes from module_position on and advances by the
// number copied. A read running past the module's end delivers only the
// bytes that remain and reports that count (0 outside the module).
uint32_t module_read(void* destination, uint32_t length, int32_t token);
// origin 0: position = offset, result 0; origin 1: position += offset,
// result the new position; origin 2: position = size - offset, result the
// new position; other origins change nothing (result -1). Positions outside
// the module are stored as they are; later reads there deliver nothing.
int32_t module_seek(int32_t token, int32_t offset, int32_t origin);
int32_t module_tell(int32_t token);

// The same five over a caller's buffer, which must outlive its use.
// memory_file_set also sets the position to 0.
void memory_file_set(const uint8_t* data, int32_t size);
int32_t memory_file_open(const char* name);
void memory_file_close(int32_t token);
uint32_t memory_file_read(void* destination, uint32_t length, int32_t token);
int32_t memory_file_seek(int32_t token, int32_t offset, int32_t origin);
int32_t memory_file_tell(int32_t token);
// Registers the memory_file_* set (a shorthand for tests and tools).
void memory_file_register(const uint8_t* data, int32_t size);

// The reading and seeking rules both sets share, over (data, size, position).
uint32_t memory_read_bytes(const uint8_t* data, int32_t size, int32_t* position,
                           void* destination, uint32_t length);
int32_t memory_seek_position(int32_t size, int32_t* position, int32_t offset, int32_t origin);
