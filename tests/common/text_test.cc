#include "common/text.h"

#include <gtest/gtest.h>

TEST(NormalizeName, DropsQuotePrefixAddressAndPunctuation) {
  std::string a = "First M. Last, 2:5020/1";
  EXPECT_EQ(text::normalizeName(a), "FirstMLast");
}
