#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

using Args = std::vector<std::string>;

const char kUsageBanner[] = "Kelvanoth Vote Manager  Version 2.10/32, Apr 2005.\r\n";
const char kLogBanner[] = "Korva      Version 2.10/32  Kelvanoth Vote Manager, Apr 2005.\n\r";

std::string upper(std::string s) {
  for (char& c : s) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
  return s;
}

e2e::RunResult korva(const std::string& cwd, const Args& args) { return e2e::runProgram(KORVA32_PATH, args, cwd); }

// The least configuration every election command needs, with an empty vote base beside it.
void writeMinimalElection(const e2e::ScenarioDir& dir) {
  dir.write("x.cfg",
            "VoteId \"Test\"\r\nNetmailIn in\r\nMoveValid valid\r\nMoveInvalid invalid\r\nCandidates cand.txt\r\n");
  dir.write("cand.txt", "First\r\n");
  dir.write("in/.keep", "");
  dir.write("valid/.keep", "");
  dir.write("invalid/.keep", "");
  dir.write("x.vot", "");
}

TEST(KorvaEntry, UsageWithoutCommandOrWhenAsked) {
  const std::string usage =
      "\n  Usage:\nKorva32 <command> [<options>]\n\n<command>:\n        Scan  - scan inbound netmail\n"
      "      Result  - general results report\n      Quorum  - quorum report\n   Passwords  - passwords list "
      "report\n    Announce  - generate announce messages\n       Index  - create new index file\n"
      "      Verify  - verify vote base against filed ballots\n\n<options>:\n"
      "            -cfg:<file>  - configuration file [korva.cfg]\n        -address         - sort report on "
      "addresses (quorum report only)\n           -name         - sort report on names\n          -votes       "
      "  - sort report on votes\n           -list:<file>  - filter address list (general report only)\n";
  e2e::ScenarioDir dir;
  for (const Args& args : {Args{}, Args{"-?"}, Args{"/h", "Scan"}, Args{"Res", "-help"}, Args{"Copy"}}) {
    e2e::RunResult r = e2e::runProgramWithTerminal(KORVA32_PATH, args, dir.path());
    SCOPED_TRACE(args.empty() ? "" : args[0]);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, usage);
    EXPECT_EQ(r.terminal, kUsageBanner);
    EXPECT_EQ(r.err, "");
  }
  // --version alone names the program and reads nothing; beside another argument it is an option.
  e2e::RunResult r = korva(dir.path(), {"--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "Korva32 2.10/32\n");
  EXPECT_EQ(korva(dir.path(), {"--version", "-?"}).out, usage);
}

TEST(KorvaEntry, CommandWords) {
  e2e::ScenarioDir dir;
  writeMinimalElection(dir);
  for (const char* word : {"Res", "RES", "Results", "resxyz", "Passwords", "pas", "Qu", "quorum"}) {
    e2e::RunResult r = korva(dir.path(), {"-cfg:x.cfg", word, "-a"});
    SCOPED_TRACE(word);
    EXPECT_EQ(r.exitCode, 0);
    // The quorum list of an empty election is its final newline alone.
    if (word[0] == 'Q' || word[0] == 'q') {
      ASSERT_EQ(r.out.substr(0, 1), "\n");
      r.out.erase(0, 1);
    }
    // The closing line: the version from column 1, the notice from column 38, ending in the date.
    ASSERT_GT(r.out.size(), 40u);
    EXPECT_EQ(r.out.substr(0, 38), "\n... Korva  Ver 2.10/32               ");
    EXPECT_NE(r.out[38], ' ');
    EXPECT_EQ(r.out.substr(r.out.size() - 11), "Apr 2005.\n\n");
    EXPECT_EQ(r.out.find('\n', 1), r.out.size() - 2);
  }
  for (const char* word : {"Scan", "SCAN", "scan", "Ind", "index"}) {
    e2e::RunResult r = korva(dir.path(), {word, "-cfg:x.cfg"});
    EXPECT_EQ(r.exitCode, 0) << word;
    // Index always rebuilds; Scan only when the index is missing or stale.
    std::string out = e2e::maskTimes(r.out);
    EXPECT_TRUE(out == "\n" || out == "\nhh:mm:ss - Candidates/Nodelist/valid list reindex.\n") << word << out;
  }
  for (const char* word : {"Scanner", "Q", "Copying", "xyz"}) {
    e2e::RunResult r = korva(dir.path(), {word, "-cfg:x.cfg"});
    EXPECT_EQ(r.exitCode, 1) << word;
    EXPECT_EQ(e2e::maskTimes(r.out), "\nhh:mm:ss Unknown command: " + std::string(word) + "\n");
    EXPECT_EQ(r.err, "") << word;  // no terminal, no banner
  }
  // A mistyped word in a scheduler's line is shown even when quiet, and its banner on a terminal.
  e2e::RunResult r = e2e::runProgramWithTerminal(KORVA32_PATH, {"Scna", "-cfg:x.cfg", "-quiet"}, dir.path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(e2e::maskTimes(r.out), "\nhh:mm:ss Unknown command: Scna\n");
  EXPECT_EQ(r.terminal, "");
  r = e2e::runProgramWithTerminal(KORVA32_PATH, {"Scna", "-cfg:x.cfg"}, dir.path());
  EXPECT_EQ(r.terminal, kLogBanner);
}

TEST(KorvaCopy, NumbersCopiesAfterTheHighestMessageOfTheTarget) {
  e2e::ScenarioDir dir;
  dir.write("in/a.MSG", "first");
  dir.write("in/notes.txt", "not a message");
  dir.write("out/7.msg", "seven");
  dir.write("out/zz.msg", "zz");
  // The directory is shown in its stored, upper-cased form but found in its real case.
  std::string shown = upper(dir.file("out")) + "/";
  e2e::RunResult r = korva(dir.file("in"), {"copy", dir.file("out")});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "\na.MSG  -->  " + shown + "8.msg\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.list("out"), (std::vector<std::string>{"7.msg", "8.msg", "zz.msg"}));
  EXPECT_EQ(dir.read("out/8.msg"), "first");
  EXPECT_EQ(dir.read("out/7.msg"), "seven");
  EXPECT_EQ(dir.read("in/a.MSG"), "first");
}

TEST(KorvaCopy, EveryMessageGetsItsOwnNumber) {
  e2e::ScenarioDir dir;
  for (const char* name : {"1.msg", "2.msg", "x.Msg"}) dir.write(std::string("in/") + name, name);
  dir.write("out/5.msg", "five");
  e2e::RunResult r = korva(dir.file("in"), {"Copy", "../out"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(dir.list("out"), (std::vector<std::string>{"5.msg", "6.msg", "7.msg", "8.msg"}));
  // Each reported line "<name>  -->  ../OUT/<n>.msg" names a copy of that file.
  std::istringstream lines(r.out);
  size_t copies = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    size_t arrow = line.find("  -->  ../OUT/");
    ASSERT_NE(arrow, std::string::npos) << line;
    EXPECT_EQ(dir.read("out/" + line.substr(arrow + 14)), line.substr(0, arrow));
    ++copies;
  }
  EXPECT_EQ(copies, 3u);
}

TEST(KorvaCopy, TargetSpellings) {
  struct Case {
    const char* target;
    const char* shown;
  } cases[] = {
      {"../out", "../OUT/"},
      {"../Out/", "../OUT/"},
      {"..\\out", "..\\OUT\\"},
      {"../out and more", "../OUT/"},  // cut at the first blank
  };
  for (const Case& c : cases) {
    e2e::ScenarioDir dir;
    dir.write("in/1.msg", "one");
    dir.write("out/.keep", "");
    e2e::RunResult r = korva(dir.file("in"), {"Copy", c.target});
    SCOPED_TRACE(c.target);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("\n1.msg  -->  ") + c.shown + "1.msg\n");
    EXPECT_EQ(dir.read("out/1.msg"), "one");
  }
}

TEST(KorvaCopy, Refusals) {
  e2e::ScenarioDir dir;
  dir.write("in/1.msg", "one");
  dir.write("empty/.keep", "");
  dir.write("full/65535.msg", "last");

  e2e::RunResult r = korva(dir.file("in"), {"Copy", dir.file("missing")});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.out.find("Directory \"" + upper(dir.file("missing")) + "/\" not exist."), std::string::npos) << r.out;

  r = korva(dir.file("empty"), {"Copy", dir.file("in")});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "\n*.msg not found\n");

  r = korva(dir.file("in"), {"Copy", dir.file("full")});
  EXPECT_EQ(r.exitCode, 14);
  EXPECT_EQ(dir.list("full"), std::vector<std::string>{"65535.msg"});
  EXPECT_EQ(dir.list("in"), std::vector<std::string>{"1.msg"});
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"empty", "full", "in"}));
}

}  // namespace
