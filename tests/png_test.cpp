// PNG round trip and golden comparison.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "tests/support/golden.h"
#include "tools/formats/png.h"

TEST(Png, WritesAndReadsBackExactPixelsAtAnyScale)
{
    std::vector<uint32_t> picture(7 * 5);
    for (size_t i = 0; i < picture.size(); i++)
        picture[i] = uint32_t(i * 0x0A0B0C) & 0xFFFFFF;
    const std::string path = test_build_path("png_test.png");
    ASSERT_TRUE(png_write(path.c_str(), picture.data(), 7, 5, 3));
    PngImage back;
    ASSERT_TRUE(png_read(path.c_str(), &back));
    ASSERT_EQ(back.width, 21);
    ASSERT_EQ(back.height, 15);
    for (int y = 0; y < 15; y++)
        for (int x = 0; x < 21; x++)
            ASSERT_EQ(back.pixels[y * 21 + x], picture[(y / 3) * 7 + x / 3]) << x << "," << y;
    remove(path.c_str());
}

TEST(Png, RefusesMissingAndDamagedFiles)
{
    PngImage image;
    EXPECT_FALSE(png_read("/nonexistent/x.png", &image));
    const std::string path = test_build_path("png_test_bad.png");
    FILE* f = fopen(path.c_str(), "wb");
    fputs("\x89PNG\r\n\x1A\nnot really", f);
    fclose(f);
    EXPECT_FALSE(png_read(path.c_str(), &image));
    EXPECT_TRUE(image.pixels.empty());
    remove(path.c_str());
}

TEST(Golden, MissingGoldenFailsAndWritesTheActualPicture)
{
    uint32_t pixel = 0x123456;
    EXPECT_FALSE(golden_match("does-not-exist", &pixel, 1, 1));
    PngImage actual;
    EXPECT_TRUE(png_read(test_build_path("golden-out/does-not-exist.actual.png").c_str(), &actual));
}
