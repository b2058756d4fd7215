// golden.h -- golden-image checks for deterministic pictures.
//
// golden_match compares a picture with tests/golden/<name>.png. On a
// mismatch it writes the actual picture and a difference picture (changed
// pixels red, the rest dimmed) to <build>/golden-out/ and fails with the
// count of differing pixels. With TAVIMO_UPDATE_GOLDEN=1 in the environment
// it rewrites the golden file from the actual picture and passes; look at
// the new files before committing them.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

::testing::AssertionResult golden_match(const std::string& name, const uint32_t* pixels,
                                        int width, int height);

// Paths of the source tree and the build tree, fixed at build time.
std::string test_source_path(const std::string& relative);
std::string test_build_path(const std::string& relative);
