// SPDX-License-Identifier: MIT
// The version a program is compiled against (the header's macros), the one the
// library reports at run time, and the one the build was configured with must
// be one and the same: a mismatch ships a package whose soname or pkg-config
// version lies about its header.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "kalmlib/kalmlib.h"

TEST(Version, HeaderLibraryAndBuildAgree) {
    char composed[40];
    std::snprintf(composed, sizeof composed, "%d.%d.%d", KALM_VERSION_MAJOR, KALM_VERSION_MINOR, KALM_VERSION_PATCH);
    EXPECT_STREQ(KALM_VERSION_STRING, composed);
    ASSERT_NE(kalm_version(), nullptr);
    EXPECT_STREQ(kalm_version(), KALM_VERSION_STRING);
    EXPECT_EQ(std::string(kalm_version()), KALM_PROJECT_VERSION);
}
