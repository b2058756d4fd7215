// disk_file.h -- stream callbacks over ordinary files, for tools and tests.
//
// The show itself never reads files; tools and tests register this set to
// load any XM from disk through the same loader. The name given to
// stream_open is a path. Up to DISK_FILE_SLOTS files are open at once.
// Main thread only.
#pragma once
#include <cstdint>

enum { DISK_FILE_SLOTS = 8 };

int32_t disk_file_open(const char* path);  // 0 when the file cannot be opened
// The errno of the last open that failed (EMFILE when every slot was taken).
int32_t disk_file_open_error(void);
void disk_file_close(int32_t token);
uint32_t disk_file_read(void* destination, uint32_t length, int32_t token);
// Same origins and results as module_seek (origin 2 counts back from the end).
int32_t disk_file_seek(int32_t token, int32_t offset, int32_t origin);
int32_t disk_file_tell(int32_t token);
// Registers the disk_file_* set.
void disk_file_register(void);
