// The Index command and the reports, run through the built vote manager.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

e2e::RunResult korva(const e2e::ScenarioDir& dir, const std::vector<std::string>& args) {
  return e2e::runProgram(KORVA32_PATH, args, dir.path(), {{"TZ", "UTC"}});
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Three votes: two electors in the valid list, one not.
void writeElection(const e2e::ScenarioDir& dir, const std::string& extra) {
  dir.write("x.cfg",
            "VoteId \"Test election\"\r\nAddress 2:5020/1\r\nValidAddress 2:5020/*.*\r\nNetmailIn in\r\n"
            "MoveValid valid\r\nMoveInvalid invalid\r\nCandidates cand.txt\r\nDates 1.12.2026-14.12.2026\r\n"
            "Nodelist net.ndl\r\n" +
                extra);
  dir.write("cand.txt", "Alpha\r\nBeta\r\n");
  for (const char* sub : {"in", "valid", "invalid"}) dir.write(std::string(sub) + "/.keep", "");
  dir.write("net.ndl", ";A header\r\nZone,2,Z,Z,Z_C,0,300\r\nHost,5020,N,M,Host_Sysop,0,300\r\n,2,S,M,Two,0,300\r\n");
  dir.write("valid.lst", "2:5020/2\r\n2:5020/3 Voter Three\r\n");
  dir.write("x.vot",
            "1\t0\t0000000100000001\t2:5020/2.0\tVoter Two\tpass2\r\n"
            "2\t0\t0000000100000002\t2:5020/3.0\tVoter Three\tpass3\r\n"
            "2\t0\t0000000100000003\t2:5020/4.0\tVoter Four\tpass4\r\n");
}

TEST(KorvaIndex, IndexCommandAlwaysRebuildsAndScanOnlyWhenStale) {
  e2e::ScenarioDir dir;
  writeElection(dir, "ValidAddressList valid.lst\r\n");
  e2e::RunResult r = korva(dir, {"Index", "-cfg:x.cfg"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(e2e::maskTimes(r.out), "\nhh:mm:ss - Candidates/Nodelist/valid list reindex.\n");
  std::string index = dir.read("x.kix");
  ASSERT_GE(index.size(), 162u + 4 * 12);
  EXPECT_EQ(index.substr(0, 22), std::string("Kelvanoth index file \0", 22));
  EXPECT_EQ(index.substr(24, 10), std::string("valid.lst\0", 10));

  r = korva(dir, {"Ind", "-cfg:x.cfg"});
  EXPECT_TRUE(contains(r.out, "reindex"));
  EXPECT_EQ(dir.read("x.kix"), index);
  // The candidates have been changed (not only appended) after the voting period began.
  dir.write("cand.txt", "Alpha\r\nGamma\r\n");
  r = korva(dir, {"Result", "-l", "-cfg:x.cfg"});
  EXPECT_EQ(r.exitCode, 19);
  EXPECT_TRUE(contains(r.out, "! Unexpected candidate \"Gamma\" in candidates file."));
  EXPECT_TRUE(contains(r.out, "To reindex run: \">Korva32.exe Index\""));
  r = korva(dir, {"Index", "-cfg:x.cfg"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(contains(r.out, "! CHECK RESULTS OF ELECTION! (see documentation)"));
  EXPECT_TRUE(contains(r.out, "reindex"));
}

TEST(KorvaReports, ListFilterLeavesOutUnlistedElectors) {
  e2e::ScenarioDir dir;
  writeElection(dir, "ValidAddressList valid.lst\r\n");
  e2e::RunResult all = korva(dir, {"Result", "-cfg:x.cfg", "-votes"});
  EXPECT_EQ(all.exitCode, 0);
  EXPECT_TRUE(contains(all.out, "*General results*"));
  EXPECT_TRUE(contains(all.out, "\nBeta     2  (66.7%)\nAlpha    1  (33.3%)\nTotal:    3\n")) << all.out;

  e2e::RunResult listed = korva(dir, {"Result", "-cfg:x.cfg", "-votes", "-list"});
  EXPECT_EQ(listed.exitCode, 0);
  EXPECT_TRUE(contains(listed.out, "*General results (validlist check mode)*"));
  EXPECT_TRUE(contains(listed.out, "\nAlpha    1  (50.0%)\nBeta     1  (50.0%)\nTotal:    2\n")) << listed.out;
  // Only in memory: the vote base is unchanged.
  EXPECT_TRUE(contains(dir.read("x.vot"), "2\t0\t0000000100000003\t2:5020/4.0"));

  // A list named on the command line replaces the configured one.
  dir.write("other.lst", "2:5020/4\r\n");
  e2e::RunResult other = korva(dir, {"Res", "-cfg:x.cfg", "-list:other.lst"});
  EXPECT_TRUE(contains(other.out, "Beta     1  (100.0%)")) << other.out;
}

TEST(KorvaReports, ListFilterWithoutAListCountsNothing) {
  e2e::ScenarioDir dir;
  writeElection(dir, "");
  e2e::RunResult r = korva(dir, {"Result", "-cfg:x.cfg", "-list"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(contains(r.out, "\nAlpha    0  ( 0.0%)")) << r.out;
  EXPECT_TRUE(contains(r.out, "\nTotal:    0\n"));
}

TEST(KorvaReports, PasswordsAndQuorum) {
  e2e::ScenarioDir dir;
  writeElection(dir, "");
  e2e::RunResult r = korva(dir, {"Pas", "-cfg:x.cfg", "-n"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(
      contains(r.out, "\n > Alpha  Passwords: 1 (33.3%)\npass2\n\n > Beta   Passwords: 2 (66.7%)\npass3\npass4\n"))
      << r.out;
  r = korva(dir, {"Quorum", "-cfg:x.cfg", "-n"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(contains(r.out, "Voter Four \n2:5020/3          Voter Three \n2:5020/2          Voter Two\n\n")) << r.out;
}

}  // namespace
