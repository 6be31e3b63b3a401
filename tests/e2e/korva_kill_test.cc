// A scan killed at arbitrary instants and resumed never loses an accepted ballot nor a file.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/e2e/scan_scenario.h"

namespace {

using e2e::Election;

constexpr int kBallots = 150;

std::string electorName(int n) { return "Voter " + std::to_string(n); }

// Electors named in the vote base, with how often each stands there counted (cancelled or not).
std::map<std::string, int> recordedElectors(const std::string& voteBase) {
  std::map<std::string, int> seen;
  std::istringstream lines(voteBase);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string f; std::getline(split, f, '\t');) fields.push_back(f);
    if (fields.size() >= 5) ++seen[fields[4]];
  }
  return seen;
}

TEST(KorvaKill, KilledScansLoseNoBallot) {
  Election e;
  e.writeSetup();
  for (int n = 1; n <= kBallots; ++n) {
    e.put("in/" + std::to_string(n) + ".msg", e.ballot(electorName(n), 100 + n, "Alpha !pw" + std::to_string(n)));
  }
  std::mt19937 random(20261207);
  int kills = 0;
  for (int round = 0; round < 200; ++round) {
    // From almost at once to well into the run.
    auto delay = std::chrono::microseconds(500 + random() % 40000);
    e2e::RunResult r = e2e::runProgramKilledAfter(KORVA32_PATH, {"Scan", "-cfg:x.cfg"}, e.dir.path(),
                                                  {{"TZ", "UTC"}}, delay);
    if (r.exitCode == 0) break;
    ASSERT_EQ(r.exitCode, 128 + 9) << r.out;
    ++kills;

    // Whatever instant the kill came at: every ballot filed as valid is in the vote base.
    std::map<std::string, int> recorded = recordedElectors(e.voteBase());
    if (!e.dir.exists("valid")) continue;
    for (const std::string& name : e.dir.list("valid")) {
      std::string bytes = e.dir.read("valid/" + name);
      std::string from = bytes.substr(0, bytes.find('\0'));
      EXPECT_EQ(recorded[from], 1) << from << " filed as valid but not recorded once (round " << round << ")";
    }
  }
  EXPECT_GT(kills, 3);
  e2e::RunResult last = e.scan();
  ASSERT_EQ(last.exitCode, 0) << last.out;

  // Every elector is recorded exactly once; every inbound file is in exactly one place.
  std::map<std::string, int> recorded = recordedElectors(e.voteBase());
  EXPECT_EQ(recorded.size(), size_t(kBallots));
  for (int n = 1; n <= kBallots; ++n) EXPECT_EQ(recorded[electorName(n)], 1) << electorName(n);
  EXPECT_EQ(e.dir.list("in"), std::vector<std::string>{});
  std::multiset<std::string> filed;
  for (const char* sub : {"valid", "dupe"}) {
    if (!e.dir.exists(sub)) continue;
    for (const std::string& name : e.dir.list(sub)) {
      std::string bytes = e.dir.read(std::string(sub) + "/" + name);
      filed.insert(bytes.substr(0, bytes.find('\0')));
    }
  }
  EXPECT_EQ(filed.size(), size_t(kBallots));
  for (int n = 1; n <= kBallots; ++n) EXPECT_EQ(filed.count(electorName(n)), 1u) << electorName(n);
}

// Where each inbound file is: its From name and the directories holding a file of that name.
std::map<std::string, std::vector<std::string>> filedByName(const Election& e) {
  std::map<std::string, std::vector<std::string>> where;
  for (const char* sub : {"in", "valid", "invalid", "dupe", "badsyntax", "badnode", "aux"}) {
    if (!e.dir.exists(sub)) continue;
    for (const std::string& name : e.dir.list(sub)) {
      std::string bytes = e.dir.read(std::string(sub) + "/" + name);
      where[bytes.substr(0, bytes.find('\0'))].push_back(sub);
    }
  }
  return where;
}

// Many more ballots, valid ones and refused ones mixed, killed at many instants: after every kill
// each file is in exactly one directory and the election files load; at the end every accepted
// ballot is recorded exactly once.
TEST(KorvaKill, ManyKillsLeaveEveryFileOnceAndTheFilesLoadable) {
  constexpr int kVoters = 300, kOutsiders = 100;
  Election e;
  e.writeSetup();
  for (int n = 1; n <= kVoters + kOutsiders; ++n) {
    bool outsider = n > kVoters;
    testmsg::StoredMessage m = e.ballot((outsider ? "Outsider " : "Voter ") + std::to_string(n), 100 + n,
                                        (n % 3 == 0 ? "Beta !pw" : "Alpha !pw") + std::to_string(n));
    if (outsider) {  // from 2:5021, outside ValidAddress: refused
      std::string address = "2:5021/" + std::to_string(100 + n);
      m.origNet = 5021;
      m.lines[0] = "\x01INTL 2:5020/50 " + address;
      m.lines[1] = "\x01MSGID: " + address + " 1234abcd";
    }
    e.put("in/" + std::to_string(n) + ".msg", m);
  }
  std::mt19937 random(20261208);
  const auto start = std::chrono::steady_clock::now();
  int kills = 0;
  for (int round = 0; round < 400; ++round) {
    auto delay = std::chrono::microseconds(200 + random() % 30000);
    e2e::RunResult r = e2e::runProgramKilledAfter(KORVA32_PATH, {"Scan", "-cfg:x.cfg"}, e.dir.path(),
                                                  {{"TZ", "UTC"}}, delay);
    if (r.exitCode == 0) break;
    ASSERT_EQ(r.exitCode, 128 + 9) << r.out;
    ++kills;
    for (const auto& [from, dirs] : filedByName(e)) {
      ASSERT_EQ(dirs.size(), 1u) << from << " is in more than one directory (round " << round << ")";
    }
    e2e::RunResult report = e2e::runProgram(KORVA32_PATH, {"Result", "-cfg:x.cfg"}, e.dir.path(), {{"TZ", "UTC"}});
    ASSERT_EQ(report.exitCode, 0) << "round " << round << ": " << report.out;
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(12)) break;  // enough instants tried
  }
  EXPECT_GT(kills, 20);
  e2e::RunResult last = e.scan();
  ASSERT_EQ(last.exitCode, 0) << last.out;
  ASSERT_EQ(e2e::runProgram(KORVA32_PATH, {"Result", "-cfg:x.cfg"}, e.dir.path(), {{"TZ", "UTC"}}).exitCode, 0);

  std::map<std::string, std::vector<std::string>> where = filedByName(e);
  EXPECT_EQ(where.size(), size_t(kVoters + kOutsiders));
  std::map<std::string, int> recorded = recordedElectors(e.voteBase());
  EXPECT_EQ(recorded.size(), size_t(kVoters));
  for (int n = 1; n <= kVoters + kOutsiders; ++n) {
    std::string from = (n > kVoters ? "Outsider " : "Voter ") + std::to_string(n);
    ASSERT_EQ(where[from].size(), 1u) << from;
    if (n > kVoters) {
      EXPECT_EQ(where[from][0], "invalid") << from;
      EXPECT_EQ(recorded.count(from), 0u) << from;
    } else {
      EXPECT_TRUE(where[from][0] == "valid" || where[from][0] == "dupe") << from << " in " << where[from][0];
      EXPECT_EQ(recorded[from], 1) << from;
    }
  }
  std::string statistic = e.dir.read("x.sta");
  for (const char* code : {"AUX_=", "VALD=", "NAMP=", "BUID="}) EXPECT_NE(statistic.find(code), std::string::npos) << code;
}

}  // namespace
