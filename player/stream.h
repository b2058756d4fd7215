// stream.h -- the stream callback set through which the player reads modules.
//
// The player never touches files. The host registers five callbacks once
// (open, close, read, seek, tell), all five or none, and the loader reads
// only through a StreamHandle wrapped around one opened stream.
//
// Who calls what, on which thread (all main thread):
//   runtime start-up  register_stream_callbacks (module_* of module_file.h)
//   render_open       stream_callbacks_complete (refuses to open without)
//   song_create       stream_open / stream_close around load_xm
//   load_xm           stream_read / stream_seek / stream_tell
// The mixing thread never reads streams.
#pragma once
#include <cstdint>

// Returns a non-zero token on success, 0 on failure.
typedef int32_t (*StreamOpenFunction)(const char* name);
typedef void (*StreamCloseFunction)(int32_t token);
// Returns the number of bytes delivered (fewer than asked at the end).
typedef uint32_t (*StreamReadFunction)(void* destination, uint32_t length, int32_t token);
// origin 0 = from the start, 1 = from the current position, 2 = backwards from the end.
typedef int32_t (*StreamSeekFunction)(int32_t token, int32_t offset, int32_t origin);
// Returns the read position in bytes from the start.
typedef int32_t (*StreamTellFunction)(int32_t token);

struct StreamCallbacks {
    StreamOpenFunction open;
    StreamCloseFunction close;
    StreamReadFunction read;
    StreamSeekFunction seek;
    StreamTellFunction tell;
};

// One opened stream, from the heap (zero-filled).
struct StreamHandle {
    uint8_t mode;        // mode byte given to stream_open; stored, never read
    int32_t token;       // what the open callback returned; non-zero
    int32_t user_value;  // value given to stream_open; stored, never read
};

// All five non-null: they become the set. Any null: the set is cleared.
void register_stream_callbacks(StreamOpenFunction open, StreamCloseFunction close,
                               StreamReadFunction read, StreamSeekFunction seek,
                               StreamTellFunction tell);
// True while a complete set is registered.
bool stream_callbacks_complete(void);

// Null when no set is registered, or the open callback returns 0.
StreamHandle* stream_open(const char* name, uint8_t mode, int32_t user_value);
// Null handle: nothing.
void stream_close(StreamHandle* handle);
// Null handle: 0. Otherwise the number of bytes delivered.
uint32_t stream_read(void* destination, uint32_t length, StreamHandle* handle);
// Null handle: nothing. The callback's result is not passed on.
void stream_seek(StreamHandle* handle, int32_t offset, int32_t origin);
// Null handle: 0.
int32_t stream_tell(StreamHandle* handle);
