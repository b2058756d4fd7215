// Golden pictures of the 2D scenes and the tube: each is the frame after a
// fixed run of passes from the first values, so it depends only on the pass
// counts (and on the assets it draws). TAVIMO_UPDATE_GOLDEN=1 rewrites them.
#include <gtest/gtest.h>

#include <memory>

#include "fx2d/framebuffer.h"
#include "fx2d/scenes.h"
#include "fx2d/tunnel.h"
#include "runtime/timeline.h"
#include "tests/support/golden.h"

namespace {

struct ScenesGolden : ::testing::Test {
    std::unique_ptr<FrameBuffer> fb = std::make_unique<FrameBuffer>();
    void SetUp() override
    {
        frame_buffer = fb.get();
        // As the entry and the frame loop's set-up do.
        prepare_scenes();
        prepare_timeline();
        for (int i = 0; i < FB_PIXELS; i++)  // a stand-in for the traced frame
            fb->pixels[i] = uint32_t(i % 320 * 255 / 319) << 16 | uint32_t(i / 320) << 8 | 0x40;
    }
    void TearDown() override { frame_buffer = nullptr; }
    // `count` passes of the given handlers with their table arguments, in order.
    void passes(int count, std::initializer_list<std::pair<void (*)(int), int>> rows)
    {
        for (int i = 0; i < count; i++)
            for (auto& row : rows) row.first(row.second);
    }
    ::testing::AssertionResult golden(const char* name)
    {
        return golden_match(name, fb->pixels, FB_WIDTH, FB_HEIGHT);
    }
};

// The opening as the table runs it: background alone, then the band opening,
// then band with blended picture and scroll text, then the fades to white.
TEST_F(ScenesGolden, Opening)
{
    passes(200, {{scene_opening_background, 0}});
    EXPECT_TRUE(golden("opening_fade"));
    passes(400, {{scene_opening_background, 0}});
    passes(120, {{scene_opening_background, 0}, {scene_band_overlay, 1}});
    EXPECT_TRUE(golden("opening_band"));
    passes(200, {{scene_opening_background, 0}, {scene_band_overlay, 1}});
    passes(250, {{scene_opening_background, 0}, {scene_band_overlay, 2}, {scene_scroll_text, 5}});
    EXPECT_TRUE(golden("opening_text"));
    passes(120, {{scene_opening_background, 0}, {scene_band_overlay, 4}, {scene_band_overlay, 3}});
    EXPECT_TRUE(golden("opening_unfade"));
}

TEST_F(ScenesGolden, Swarm)
{
    white_level = 200;  // where a short "unfade" would leave it
    hue_counter = 300.0f;
    passes(60, {{scene_gradient_background, 4}, {scene_points_swarm, 5}});
    EXPECT_TRUE(golden("swarm_fading"));
    passes(240, {{scene_gradient_background, 4}, {scene_points_swarm, 5}});
    EXPECT_TRUE(golden("swarm"));
}

TEST_F(ScenesGolden, MirroredPicture)
{
    hue_counter = 420.0f;
    passes(40, {{scene_mirrored_picture, 4}});
    EXPECT_TRUE(golden("mirror"));
}

TEST_F(ScenesGolden, Tunnel)
{
    passes(1, {{tunnel_scene, 8}});
    EXPECT_TRUE(golden("tunnel_first"));
    passes(150, {{tunnel_scene, 8}});
    EXPECT_TRUE(golden("tunnel"));
}

}  // namespace
