// The programs' CP866 texts on the console: shown as UTF-8 on a UTF-8 terminal, kept byte for byte
// everywhere else (pipes, files, the log, terminals of other character sets).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

const std::string kIvanCp866 = "\x88\xA2\xA0\xAD";  // the name Ivan in CP866
const std::string kIvanUtf8 = "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD";
const std::string kWordCp866 = "\xAF\xE0\xAE\xA1\xA0";  // a command word nobody knows
const std::string kWordUtf8 = "\xD0\xBF\xD1\x80\xD0\xBE\xD0\xB1\xD0\xB0";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void writeElection(const e2e::ScenarioDir& dir) {
  dir.write("x.cfg",
            "VoteId \"Test election\"\r\nAddress 2:5020/1\r\nValidAddress 2:5020/*.*\r\nNetmailIn in\r\n"
            "MoveValid valid\r\nMoveInvalid invalid\r\nCandidates cand.txt\r\nDates 1.12.2026-14.12.2026\r\n"
            "Log x.log\r\n");
  dir.write("cand.txt", kIvanCp866 + "\r\nBeta\r\n");
  for (const char* sub : {"in", "valid", "invalid"}) dir.write(std::string(sub) + "/.keep", "");
  dir.write("x.vot", "1\t0\t0000000100000001\t2:5020/2.0\tVoter Two\tpass2\r\n");
}

struct Case {
  const char* name;
  bool terminal;
  const char* lang;
  bool shownAsUtf8;
};

const Case kCases[] = {
    {"UTF-8 terminal", true, "C.UTF-8", true},
    {"ASCII terminal", true, "C", false},
    {"pipe under a UTF-8 locale", false, "C.UTF-8", false},
};

e2e::RunResult run(const Case& c, const std::string& program, const std::vector<std::string>& args,
                   const e2e::ScenarioDir& dir) {
  std::map<std::string, std::string> env = {{"TZ", "UTC"}, {"LANG", c.lang}};
  return c.terminal ? e2e::runProgramOnTerminal(program, args, dir.path(), env)
                    : e2e::runProgram(program, args, dir.path(), env);
}

TEST(ConsoleText, ReportsAndMessagesFollowTheTerminalWhileTheLogKeepsCp866) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    e2e::ScenarioDir dir;
    writeElection(dir);
    e2e::RunResult report = run(c, KORVA32_PATH, {"Result", "-cfg:x.cfg"}, dir);
    EXPECT_EQ(report.exitCode, 0);
    EXPECT_TRUE(contains(report.out, (c.shownAsUtf8 ? kIvanUtf8 : kIvanCp866) + "    1  (100.0%)")) << report.out;

    e2e::RunResult unknown = run(c, KORVA32_PATH, {kWordCp866, "-cfg:x.cfg"}, dir);
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(contains(unknown.out, "Unknown command: " + (c.shownAsUtf8 ? kWordUtf8 : kWordCp866))) << unknown.out;
    std::string log = dir.read("x.log");
    EXPECT_TRUE(contains(log, "Unknown command: " + kWordCp866)) << log;
    EXPECT_FALSE(contains(log, kWordUtf8));
  }
}

TEST(ConsoleText, ConverterMessagesFollowTheTerminal) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    e2e::ScenarioDir dir;
    e2e::RunResult r = run(c, LISDOR32_PATH, {kIvanCp866 + ".lst"}, dir);
    EXPECT_EQ(r.exitCode, 10);
    std::string shown = c.shownAsUtf8 ? kIvanUtf8 : kIvanCp866;
    EXPECT_TRUE(contains(r.out, "Source file \"" + shown + ".lst\" not found.")) << r.out;
  }
}

TEST(ConsoleText, ConvertedFileKeepsCp866OnAUtf8Terminal) {
  e2e::ScenarioDir dir;
  dir.write("golded.lst", "Petrov, " + kIvanCp866 + "      2:5020/2\r\n");
  e2e::RunResult r = e2e::runProgramOnTerminal(LISDOR32_PATH, {"golded.lst", "valid.lst"}, dir.path(),
                                               {{"TZ", "UTC"}, {"LANG", "C.UTF-8"}});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(dir.read("valid.lst"), "2:5020/2             " + kIvanCp866 + " Petrov\r\n");
}

}  // namespace
