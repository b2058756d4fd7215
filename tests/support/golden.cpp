// golden.cpp -- golden-image comparison with an update mode.
#include "tests/support/golden.h"

#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "tools/formats/png.h"

std::string test_source_path(const std::string& relative)
{
    return std::string(TAVIMO_SOURCE_DIR) + "/" + relative;
}

std::string test_build_path(const std::string& relative)
{
    return std::string(TAVIMO_BUILD_DIR) + "/" + relative;
}

::testing::AssertionResult golden_match(const std::string& name, const uint32_t* pixels,
                                        int width, int height)
{
    const std::string expected_path = test_source_path("tests/golden/" + name + ".png");
    const char* update = getenv("TAVIMO_UPDATE_GOLDEN");
    if (update && update[0] == '1') {
        mkdir(test_source_path("tests/golden").c_str(), 0777);
        if (!png_write(expected_path.c_str(), pixels, width, height))
            return ::testing::AssertionFailure() << "cannot write " << expected_path;
        return ::testing::AssertionSuccess();
    }

    PngImage expected;
    const std::string out_dir = test_build_path("golden-out");
    mkdir(out_dir.c_str(), 0777);
    const std::string actual_path = out_dir + "/" + name + ".actual.png";
    if (!png_read(expected_path.c_str(), &expected)) {
        png_write(actual_path.c_str(), pixels, width, height);
        return ::testing::AssertionFailure()
               << "no golden image " << expected_path << "; actual picture written to "
               << actual_path << " (TAVIMO_UPDATE_GOLDEN=1 creates it)";
    }
    if (expected.width != width || expected.height != height)
        return ::testing::AssertionFailure()
               << name << ": golden is " << expected.width << "x" << expected.height
               << ", picture is " << width << "x" << height;

    std::vector<uint32_t> diff(size_t(width) * height);
    int differing = 0;
    for (size_t i = 0; i < diff.size(); i++) {
        uint32_t a = pixels[i] & 0xFFFFFF;
        if (a == expected.pixels[i]) {
            diff[i] = (a >> 2) & 0x3F3F3F;
        } else {
            diff[i] = 0xFF0000;
            differing++;
        }
    }
    if (differing == 0)
        return ::testing::AssertionSuccess();
    const std::string diff_path = out_dir + "/" + name + ".diff.png";
    png_write(actual_path.c_str(), pixels, width, height);
    png_write(diff_path.c_str(), diff.data(), width, height);
    return ::testing::AssertionFailure()
           << name << ": " << differing << " pixels differ from " << expected_path
           << "; see " << actual_path << " and " << diff_path;
}
