#include "common/ftn_address.h"

#include <gtest/gtest.h>

namespace {

TEST(ScanFtnAddress, ReadsLikeFormattedInput) {
  struct {
    const char* input;
    int fields;
    FtnAddress address;
    size_t consumed;
  } cases[] = {
      {"2:5020/1.5", 4, {2, 5020, 1, 5}, 10},
      {"2:5020/1 tail", 3, {2, 5020, 1, 9}, 8},    // the point keeps its contents
      {" 2: 5020/ 1. 5", 4, {2, 5020, 1, 5}, 14},  // blanks may precede each number
      {"2 :5020/1", 1, {2, 9, 9, 9}, 1},           // but not a separator
      {"2:5020/", 2, {2, 5020, 9, 9}, 7},
      {"x", 0, {9, 9, 9, 9}, 0},
      {"-1:70000/99999999999.-2", 4, {-1, 4464, -6145, -2}, 23},  // wraps to 16 bits
  };
  for (const auto& c : cases) {
    FtnAddress a{9, 9, 9, 9};
    size_t consumed = 99;
    EXPECT_EQ(scanFtnAddress(c.input, a, &consumed), c.fields) << c.input;
    EXPECT_EQ(formatAddress4d(a), formatAddress4d(c.address)) << c.input;
    EXPECT_EQ(consumed, c.consumed) << c.input;
  }
}

TEST(FtnAddress, ComparesAndFormats) {
  FtnAddress point{2, 5020, 1, 5}, node{2, 5020, 1, 0}, negative{-1, 1, 1, 0};
  EXPECT_TRUE(sameNode(point, node));
  EXPECT_FALSE(sameAddress(point, node));
  EXPECT_FALSE(sameNode(point, FtnAddress{2, 5020, 2, 5}));
  EXPECT_GT(compareAddresses(point, node), 0);
  EXPECT_GT(compareAddresses(negative, point), 0);  // parts order as unsigned numbers
  EXPECT_EQ(formatAddress(node), "2:5020/1");
  EXPECT_EQ(formatAddress(point), "2:5020/1.5");
  EXPECT_EQ(formatAddress4d(node), "2:5020/1.0");
  EXPECT_EQ(formatAddress3d(point), "2:5020/1");
}

}  // namespace
