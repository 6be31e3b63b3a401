// The Announce command in valid-list mode and in nodelist mode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/e2e/scan_scenario.h"

namespace {

using e2e::contains;
using e2e::Election;

std::string toName(const std::string& message) { return message.substr(36, message.find('\0', 36) - 36); }
std::string subject(const std::string& message) { return message.substr(72, message.find('\0', 72) - 72); }

e2e::RunResult announce(const Election& e) {
  return e2e::runProgram(KORVA32_PATH, {"Announce", "-cfg:x.cfg"}, e.dir.path(), {{"TZ", "UTC"}});
}

// The written messages in the order of their numbers.
std::vector<std::string> written(const Election& e) {
  std::vector<std::string> out;
  for (int n = 1; e.dir.exists("out/" + std::to_string(n) + ".msg"); ++n) {
    out.push_back(e.dir.read("out/" + std::to_string(n) + ".msg"));
  }
  return out;
}

TEST(KorvaAnnounce, ValidListModeNamesEveryElector) {
  Election e;
  e.writeSetup(
      "CheckValidAddress Yes\r\nValidAddressList electors.lst\r\nAnnounceTpl announce.tpl\r\nCheckPvtNode Yes\r\n"
      "CopyNetmailOut copies\r\n");
  e.dir.write("announce.tpl", "Dear %TNAM, vote!\r\n");
  e.dir.write("electors.lst",
              "2:5020/1\r\n"
              "2:5020/9\r\n"
              "2:5020/3 <abcdefghijklmnopqrstuvwxyz@example.> Long Mail\r\n"
              "2:5020/4\t<abcdefghijklmnopqrstuvwxyz@example.o>   Longer Mail\r\n"
              "2:5020/2 Pvt Person\r\n");
  e2e::RunResult r = announce(e);
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::vector<std::string> messages = written(e);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(toName(messages[0]), "Ivan Petrov");  // from the nodelist
  EXPECT_TRUE(contains(messages[0], "Dear Ivan Petrov, vote!\r"));
  EXPECT_EQ(toName(messages[1]), "Sysop");
  // The header keeps 35 characters: a longer address would be cut, so it goes to "UUCP".
  EXPECT_EQ(toName(messages[2]), "abcdefghijklmnopqrstuvwxyz@example.");
  EXPECT_TRUE(contains(messages[2], "\rTo: Long Mail <abcdefghijklmnopqrstuvwxyz@example.>\r"));
  EXPECT_EQ(toName(messages[3]), "UUCP");
  EXPECT_TRUE(contains(messages[3], "\rTo: Longer Mail <abcdefghijklmnopqrstuvwxyz@example.o>\r"));
  for (const std::string& m : messages) {
    EXPECT_EQ(subject(m), "Elections 2005");
    EXPECT_FALSE(contains(m, "\x01REPLY"));
  }
  EXPECT_EQ(e.dir.list("copies").size(), 4u);
  EXPECT_TRUE(contains(r.out, "! 2:5020/2.0 not announced: PVT node."));
  EXPECT_TRUE(contains(r.out, "* Announced 4 sysops."));
  EXPECT_TRUE(contains(r.out, "... Korva  Ver 2.10/32"));
}

TEST(KorvaAnnounce, ForceToUucpAndBrokenLines) {
  Election e;
  e.writeSetup(
      "CheckValidAddress Yes\r\nValidAddressList electors.lst\r\nAnnounceTpl announce.tpl\r\nForceToUUCP Yes\r\n");
  e.dir.write("announce.tpl", "Vote!\r\n");
  e.dir.write("electors.lst", "2:5020/3 <a@b.c> Short Mail\r\n2:5020/4 <broken@b.c Name\r\n");
  e2e::RunResult r = announce(e);
  EXPECT_EQ(r.exitCode, 12);
  EXPECT_TRUE(contains(r.out, "! Invalid e-mail in ValidAddressList (offset=1Dh):")) << r.out;
  std::vector<std::string> messages = written(e);
  ASSERT_EQ(messages.size(), 1u);  // what was written before stays
  EXPECT_EQ(toName(messages[0]), "UUCP");
}

TEST(KorvaAnnounce, NodelistModeAndMissingSettings) {
  Election e;
  e.writeSetup("AnnounceTpl announce.tpl\r\n");
  e.dir.write("announce.tpl", "Vote!\r\n");
  e2e::RunResult r = announce(e);
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::vector<std::string> messages = written(e);
  // Host, nodes 1 to 6 (Pvt, Hold and Down announced too without their checks); the Zone line is
  // outside 2:5020.
  ASSERT_EQ(messages.size(), 7u);
  EXPECT_EQ(toName(messages[0]), "Host Sysop");
  EXPECT_EQ(toName(messages[2]), "Pvt Sysop");
  EXPECT_TRUE(contains(r.out, "  -- Announce mode."));
  EXPECT_TRUE(contains(r.out, "* Announced 7 sysops."));

  Election none;
  none.writeSetup();
  r = announce(none);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(contains(r.out, "! Announce failed. Announce template not defined in config file."));
  EXPECT_EQ(written(none).size(), 0u);
}

}  // namespace
