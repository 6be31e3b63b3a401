#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

const char kLeast[] =
    "VoteId \"Test\"\r\nNetmailIn in\r\nMoveValid valid\r\nMoveInvalid invalid\r\nCandidates cand.txt\r\n";

e2e::RunResult korva(const e2e::ScenarioDir& dir, const std::vector<std::string>& args) {
  return e2e::runProgram(KORVA32_PATH, args, dir.path(), {{"TZ", "UTC"}});
}

void writeElection(const e2e::ScenarioDir& dir, const std::string& config) {
  dir.write("x.cfg", config);
  dir.write("cand.txt", "First\r\nSecond {1}\r\n");
  for (const char* sub : {"in", "valid", "invalid"}) dir.write(std::string(sub) + "/.keep", "");
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(KorvaConfig, BadValuesNameFileAndLine) {
  struct Case {
    const char* line;
    const char* message;
  } cases[] = {
      {"ValidAddress 2:5020/100", "Bad <ValidAddress> value."},
      {"ValidAddress 2/5020:100.0", "Bad <ValidAddress> value."},
      {"Dates 2.5.2005-1.5.2005", "Bad <Dates> value (FromDate > ToDate)."},
      {"Dates 1.5.1980-1.6.2005", "Bad <Dates> value."},
      {"Dates 1.5.2005-1.6.3001", "Bad <Dates> value."},
      {"Dates 1.5.05-1.6.05", "Bad <Dates> value."},
      {"Dates 1.5.2005", "Bad <Dates> value."},
      {"Dates 0.5.2005-1.6.2005", "Bad <Dates> value."},
      {"Dates 1.13.2005-1.6.2006", "Bad <Dates> value."},
      {"Dates 1.5.4294969301-1.6.2005", "Bad <Dates> value."},  // not 2005 by a wrapped number
      {"NetmailIn   ", "Directory \"\\\" not exist."},          // a value of blanks is no directory
      {"ADDRESS 0:5020/999", "Bad <Address> value."},
      {"ADDRESS 2:0/999", "Bad <Address> value."},
      {"VoteIdent \"Test\"", "Unknown parameter \"VoteIdent\"."},
      {"Candidates missing.txt", "Candidates file \"missing.txt\" not found."},
      {"Candidates long.txt", "Candidates file \"long.txt\", line 2: more than 79 characters."},
      {"Nodelist missing.ndl", "file \"missing.ndl\" not exist."},
      {"Pointlist missing.*", "file \"missing.*\" not exist."},  // a wildcard that matches nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    e2e::ScenarioDir dir;
    writeElection(dir, std::string(kLeast) + "Log x.log\r\n" + c.line + "\r\nMaxRevotes 1\r\n");
    dir.write("long.txt", "First\r\n" + std::string(76, 'x') + " {1}\r\n");
    // Shown even when quiet, and logged too: the log must tell why the run stopped.
    e2e::RunResult r = korva(dir, {"Res", "-cfg:x.cfg", "-quiet"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, std::string("\nError in configuration file \"x.cfg\", line 7:\n --- ") + c.message + "\n");
    EXPECT_TRUE(
        contains(dir.read("x.log"), std::string("! Error in configuration file \"x.cfg\", line 7: ") + c.message))
        << dir.read("x.log");
  }
}

TEST(KorvaConfig, LowerCaseKeysAndBareLineFeeds) {
  e2e::ScenarioDir dir;
  writeElection(dir, "voteid \"T\"\nnetmailin in\nmovevalid valid\nmoveinvalid invalid\ncandidates cand.txt\n");
  dir.write("x.vot", "");
  e2e::RunResult r = korva(dir, {"Qu", "-cfg:x.cfg"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"cand.txt", "in", "invalid", "valid", "x.cfg", "x.vot"}));
}

TEST(KorvaConfig, MissingPiecesInTheirOrder) {
  const std::vector<std::string> lines = {"VoteId \"T\"", "NetmailIn in", "MoveValid valid", "MoveInvalid invalid"};
  const char* names[] = {"VoteId", "NetmailIn", "MoveValid", "MoveInvalid"};
  std::vector<std::pair<std::string, std::string>> cases;  // configuration, message
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string config = "Candidates cand.txt\r\n";
    for (size_t j = 0; j < i; ++j) config += lines[j] + "\r\n";
    cases.push_back({config, std::string("! File \"x.cfg\": ") + names[i] + " parameter not defind."});
  }
  // An empty candidates list is found before any missing key; a second list replaces the first.
  cases.push_back({"Candidates empty.txt\r\n", "! Candidates list is empty."});
  cases.push_back({std::string(kLeast) + "Candidates empty.txt\r\n", "! Candidates list is empty."});
  for (const auto& [config, message] : cases) {
    SCOPED_TRACE(config);
    e2e::ScenarioDir dir;
    writeElection(dir, config);
    dir.write("empty.txt", "\r\n\r\n  \r\n\n");
    e2e::RunResult r = korva(dir, {"Res", "-cfg:x.cfg"});
    EXPECT_EQ(r.exitCode, 253);
    EXPECT_EQ(e2e::maskTimes(r.out), "\nhh:mm:ss " + message + "\n");
  }
}

TEST(KorvaConfig, ConfigurationFileMissing) {
  e2e::ScenarioDir dir;
  e2e::RunResult r = korva(dir, {"Res", "-cfg:none.cfg"});
  EXPECT_EQ(r.exitCode, 254);
  EXPECT_EQ(r.out, "\nConfiguration file \"none.cfg\" not found.\n");
  r = korva(dir, {"Res", "-config"});  // the option without a path
  EXPECT_EQ(r.exitCode, 254);
  EXPECT_EQ(r.out, "\nConfiguration file \"\" not found.\n");
  // Without the option the file is korva.cfg beside the program.
  r = korva(dir, {"Res"});
  EXPECT_EQ(r.exitCode, 254);
  EXPECT_TRUE(contains(r.out, "korva.cfg\" not found.")) << r.out;
}

TEST(KorvaConfig, LogValueIsTakenWholeAndASecondLogReplacesTheFirst) {
  e2e::ScenarioDir dir;
  writeElection(dir, std::string(kLeast) + "Log first.log\r\nLog my  log.txt  \r\n");
  e2e::RunResult r = korva(dir, {"Res", "-cfg:x.cfg"});  // no vote base: reported in the log
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(dir.exists("my  log.txt"));
  EXPECT_TRUE(contains(dir.read("my  log.txt"), "? Can't open vote base file \"x.vot\".\r\n"));
  EXPECT_EQ(dir.read("first.log"), "");
}

TEST(KorvaStartUp, VoteBaseBesideTheConfiguration) {
  const std::string good = "1\t0\t0000000100000002\t2:5020/1.0\tName\tpw\r\n";
  struct Case {
    std::string voteBase;  // "" : no file
    int exitCode;
    const char* message;
  } cases[] = {
      {"", 0, "? Can't open vote base file \"sub/x.vot\"."},
      {good + "\r\n; hand-made note\r\n" + good, 0, nullptr},
      {good + "\r\n1\t0\t0000000100000002\t2:5020/1.0\r\n", 2, "! Invalid file format \"sub/x.vot\", aborted."},
      {"1\t0\t2:5020/1.0\tName\tpw\r\n", 2, "! Invalid file format \"sub/x.vot\", aborted."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.voteBase);
    e2e::ScenarioDir dir;
    writeElection(dir, std::string(kLeast) + "Log x.log\r\n");
    dir.write("sub/x.cfg", dir.read("x.cfg"));
    if (!c.voteBase.empty()) dir.write("sub/x.vot", c.voteBase);
    dir.write("x.vot", "garbage 1\r\n");  // beside the working directory, not the configuration
    e2e::RunResult r = korva(dir, {"Passwords", "-cfg:sub/x.cfg", "-list:other.lst"});
    EXPECT_EQ(r.exitCode, c.exitCode);
    std::string log = dir.read("x.log");
    if (c.message == nullptr) {
      EXPECT_EQ(log.find("vote base"), std::string::npos) << log;
    } else {
      EXPECT_TRUE(contains(log, c.message)) << log;
    }
    if (!c.voteBase.empty()) {
      EXPECT_EQ(dir.read("sub/x.vot"), c.voteBase);  // loading never writes
    }
  }
}

}  // namespace
