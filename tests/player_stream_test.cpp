// player_stream_test.cpp -- the stream callback set and the in-memory module file.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "player/module_file.h"
#include "player/song.h"
#include "player/stream.h"
#include "assets/assets.h"

static void register_module(void)
{
    module_position = 0;
    register_stream_callbacks(module_open, module_close, module_read, module_seek, module_tell);
}

TEST(PlayerStream, RegistrationIsAllOrNothing)
{
    register_module();
    EXPECT_TRUE(stream_callbacks_complete());
    register_stream_callbacks(module_open, module_close, nullptr, module_seek, module_tell);
    EXPECT_FALSE(stream_callbacks_complete());
    EXPECT_EQ(stream_open("x", 0, 0), nullptr);
    // The null-handle operations are harmless.
    uint8_t byte = 7;
    EXPECT_EQ(stream_read(&byte, 1, nullptr), 0u);
    EXPECT_EQ(stream_tell(nullptr), 0);
    stream_seek(nullptr, 5, 0);
    stream_close(nullptr);
    EXPECT_EQ(byte, 7);
}

TEST(PlayerStream, HandleKeepsModeTokenAndUserValue)
{
    register_module();
    StreamHandle* handle = stream_open("anything", 3, 1234);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->mode, 3);
    EXPECT_EQ(handle->token, 1);
    EXPECT_EQ(handle->user_value, 1234);
    stream_close(handle);
}

TEST(PlayerStream, ModuleFileReadSeekTell)
{
    register_module();
    StreamHandle* handle = stream_open("x", 0, 0);
    ASSERT_NE(handle, nullptr);
    char id[17];
    ASSERT_EQ(stream_read(id, 17, handle), 17u);
    EXPECT_EQ(memcmp(id, module_data, 17), 0);
    EXPECT_EQ(stream_tell(handle), 17);
    EXPECT_EQ(module_seek(1, 0, 2), MODULE_DATA_SIZE);
    EXPECT_EQ(module_seek(1, 17, 2), MODULE_DATA_SIZE - 17);
    EXPECT_EQ(module_seek(1, 10, 1), MODULE_DATA_SIZE - 7);
    EXPECT_EQ(module_seek(1, 100, 0), 0);
    EXPECT_EQ(module_tell(1), 100);
    EXPECT_EQ(module_seek(1, 5, 9), -1);  // unknown origin: unchanged
    EXPECT_EQ(module_tell(1), 100);
    // A second open neither fails nor resets the position.
    StreamHandle* second = stream_open("y", 0, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(stream_tell(second), 100);
    stream_close(second);
    stream_close(handle);
    EXPECT_EQ(module_position, 100);
}

TEST(PlayerStream, ReadPastTheEndDeliversOnlyWhatRemains)
{
    register_module();
    std::vector<uint8_t> buffer(64, 0xAA);
    module_seek(1, 10, 2);
    EXPECT_EQ(module_read(buffer.data(), 64, 1), 10u);
    EXPECT_EQ(memcmp(buffer.data(), module_data + MODULE_DATA_SIZE - 10, 10), 0);
    EXPECT_EQ(buffer[10], 0xAA);
    EXPECT_EQ(module_position, MODULE_DATA_SIZE);
    EXPECT_EQ(module_read(buffer.data(), 64, 1), 0u);
    // Positions outside the module deliver nothing.
    module_seek(1, -5, 0);
    EXPECT_EQ(module_read(buffer.data(), 4, 1), 0u);
    module_seek(1, MODULE_DATA_SIZE + 3, 0);
    EXPECT_EQ(module_read(buffer.data(), 4, 1), 0u);
}

TEST(PlayerStream, MemoryFileServesACallersBuffer)
{
    const uint8_t bytes[5] = {1, 2, 3, 4, 5};
    memory_file_register(bytes, 5);
    StreamHandle* handle = stream_open("mem", 0, 0);
    ASSERT_NE(handle, nullptr);
    uint8_t out[8] = {};
    stream_seek(handle, 3, 0);
    EXPECT_EQ(stream_read(out, 8, handle), 2u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 5);
    EXPECT_EQ(stream_tell(handle), 5);
    stream_close(handle);
}

TEST(PlayerStream, EmbeddedModuleLoadsToItsLastByte)
{
    register_module();
    Song* song = song_create(song_name, nullptr);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(module_position, MODULE_DATA_SIZE);
    EXPECT_EQ(xm_mended, 0u);
    EXPECT_EQ(song->channel_count, 14);
    EXPECT_EQ(song->song_length, 20);
    EXPECT_EQ(song->instrument_count, 11);
    EXPECT_EQ(song->pattern_slots, 17);
    EXPECT_EQ(song->module_flags, 1);
    EXPECT_EQ(song->default_speed, 6);
    EXPECT_EQ(song->default_bpm, 125);
    song_free(song);
}
