#include "korva/scan.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "korva/filed_ballots.h"
#include "korva/settings.h"
#include "tests/korva/stored_message_builder.h"

namespace fs = std::filesystem;

namespace {

TEST(MessageNumber, LeadingDigitsAsUnsigned16Bits) {
  struct Case {
    const char* name;
    uint16_t number;
  } cases[] = {
      {"12.msg", 12},       {"0012.MSG", 12}, {"12abc.msg", 12},   {"abc.msg", 0}, {"-3.msg", 0},
      {"65535.msg", 65535}, {"65536.msg", 0}, {"70000.msg", 4464}, {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(korva::messageNumber(c.name), c.number) << c.name;
}

class NextMessageNumber : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/scan-test-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { fs::remove_all(dir_); }
  void touch(const std::string& name) { std::ofstream(dir_ + "/" + name) << "x"; }
  // The directory as the configuration stores it: upper-cased, ending in a separator.
  std::string storedForm() const {
    std::string s = dir_ + "/";
    for (char& c : s) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    return s;
  }
  std::string dir_;
};

TEST_F(NextMessageNumber, OneWhenThereAreNoNumberedMessages) {
  EXPECT_EQ(korva::nextMessageNumber(dir_ + "/"), 1u);
  touch("abc.msg");
  touch("5.txt");
  fs::create_directory(dir_ + "/9.msg");  // a directory is no message
  EXPECT_EQ(korva::nextMessageNumber(dir_ + "/"), 1u);
  EXPECT_EQ(korva::nextMessageNumber(dir_ + "/missing/"), 1u);
}

TEST_F(NextMessageNumber, HighestNumberPlusOneNotTheFirstGap) {
  touch("7.msg");
  touch("12.MSG");
  touch("3.msg");
  touch("40.pkt");
  EXPECT_EQ(korva::nextMessageNumber(dir_ + "/"), 13u);
  EXPECT_EQ(korva::nextMessageNumber(storedForm()), 13u);  // found without regard to case
  touch("65535.msg");
  EXPECT_EQ(korva::nextMessageNumber(dir_ + "/"), 65536u);  // beyond 16 bits: the caller refuses it
}

// The earlier ballot of a revote: a remembered file is checked before it is used, and what others
// moved into MoveValid meanwhile is found.
TEST_F(NextMessageNumber, FiledBallotsFollowTheDirectory) {
  korva::settings.moveValid = dir_ + "/";
  korva::filedBallots = {};
  auto file = [this](const std::string& name, const std::string& from, uint16_t node) {
    testmsg::StoredMessage m;
    m.from = from;
    m.origNode = node;
    m.kludge("INTL 2:5020/50 2:5020/" + std::to_string(node)).line("Alpha");
    m.writeTo(dir_ + "/" + name);
  };
  const VoteRecord ivan{{2, 5020, 1, 0}, {}, 1, 0, "Ivan Petrov", "pw"};
  file("1.msg", "Olga", 2);
  file("2.msg", "Ivan Petrov", 1);
  EXPECT_EQ(korva::findFiledBallot(ivan), dir_ + "/2.msg");
  fs::remove(dir_ + "/2.msg");
  file("7.msg", "Ivan Petrov", 1);
  EXPECT_EQ(korva::findFiledBallot(ivan), dir_ + "/7.msg");
  file("7.msg", "Olga", 2);  // another elector's under the remembered name
  EXPECT_EQ(korva::findFiledBallot(ivan), "");
  korva::settings.moveValid.clear();
  korva::filedBallots = {};
}

}  // namespace
