// stream.cpp -- the registered stream callback set and stream handles.
#include "player/stream.h"

#include <cstdlib>

static StreamCallbacks callbacks;

void register_stream_callbacks(StreamOpenFunction open, StreamCloseFunction close,
                               StreamReadFunction read, StreamSeekFunction seek,
                               StreamTellFunction tell)
{
    if (open && close && read && seek && tell)
        callbacks = StreamCallbacks{open, close, read, seek, tell};
    else
        callbacks = StreamCallbacks{};
}

bool stream_callbacks_complete(void)
{
    return callbacks.open != nullptr;
}

StreamHandle* stream_open(const char* name, uint8_t mode, int32_t user_value)
{
    if (!stream_callbacks_complete())
        return nullptr;
    StreamHandle* handle = static_cast<StreamHandle*>(calloc(1, sizeof(StreamHandle)));
    if (!handle)
        return nullptr;
    handle->mode = mode;
    handle->user_value = user_value;
    handle->token = callbacks.open(name);
    if (handle->token == 0) {
        free(handle);
        return nullptr;
    }
    return handle;
}

void stream_close(StreamHandle* handle)
{
    if (!handle)
        return;
    if (callbacks.close)
        callbacks.close(handle->token);
    free(handle);
}

uint32_t stream_read(void* destination, uint32_t length, StreamHandle* handle)
{
    if (!handle || !callbacks.read)
        return 0;
    return callbacks.read(destination, length, handle->token);
}

void stream_seek(StreamHandle* handle, int32_t offset, int32_t origin)
{
    if (!handle || !callbacks.seek)
        return;
    callbacks.seek(handle->token, offset, origin);
}

int32_t stream_tell(StreamHandle* handle)
{
    if (!handle || !callbacks.tell)
        return 0;
    return callbacks.tell(handle->token);
}
