#include "common/text.h"

#include <gtest/gtest.h>

TEST(Text, Placeholder) { EXPECT_TRUE(true); }
