#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

using Args = std::vector<std::string>;

const char kBanner[] = "Lisdor Userlist Converter  Version 2.10/32, Apr 2005.\r\n";

const char kUserlist[] =
    "Ivanov, Ivan                2:5020/1\r\n"
    "Petr Petrov                 2:5020/12.3\r\n"
    "Sidorova, Anna              2:450/7\r\n"
    "Alpha Beta                  2:5020/99\r\n";

// The converted lines of kUserlist, by letter.
std::string listOf(const std::string& letters) {
  std::string out;
  for (char c : letters) {
    switch (c) {
      case 'A':
        out += "2:5020/1             Ivan Ivanov\r\n";
        break;
      case 'B':
        out += "2:5020/12.3          Petr Petrov\r\n";
        break;
      case 'C':
        out += "2:450/7              Anna Sidorova\r\n";
        break;
      case 'D':
        out += "2:5020/99            Alpha Beta\r\n";
        break;
    }
  }
  return out;
}

e2e::RunResult lisdor(const e2e::ScenarioDir& dir, const Args& args) {
  return e2e::runProgram(LISDOR32_PATH, args, dir.path());
}

TEST(Lisdor, ConvertsIntoTheTargetInTheOrderAsked) {
  struct Case {
    Args options;
    const char* order;
  } cases[] = {
      {{}, "ABCD"},         {{"-addr"}, "CABD"},           {{"/A"}, "CABD"}, {{"-fname"}, "DCAB"}, {{"-n"}, "DCAB"},
      {{"-lname"}, "DABC"}, {{"-lname", "-addr"}, "DABC"},  // the name sort comes after the address sort
  };
  for (const Case& c : cases) {
    e2e::ScenarioDir dir;
    dir.write("golded.lst", kUserlist);
    Args args = {"golded.lst", "valid.lst"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    e2e::RunResult r = lisdor(dir, args);
    SCOPED_TRACE(c.order);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "4 records processed.\n");
    EXPECT_EQ(r.err, "");  // no terminal, no banner
    EXPECT_EQ(dir.read("valid.lst"), listOf(c.order));
    EXPECT_EQ(dir.read("golded.lst"), kUserlist);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"golded.lst", "valid.lst"}));
  }
}

TEST(Lisdor, WithoutTargetReplacesTheSourceAndKeepsABackup) {
  e2e::ScenarioDir dir;
  const std::string original =
      "Ivanov, Ivan 2:5020/1\nPetr Petrov 2:5020/12.3\nSidorova, Anna 2:450/7\nAlpha Beta 2:5020/99\n";
  dir.write("lists/golded.lst", original);
  dir.write("work/.keep", "");
  // An absolute path is the source, not an option; the temporary file lives beside the source.
  Args args = {dir.file("lists/golded.lst"), "-addr"};
  e2e::RunResult r = e2e::runProgram(LISDOR32_PATH, args, dir.file("work"));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "4 records processed.\n");
  EXPECT_EQ(dir.read("lists/golded.lst"), listOf("CABD"));
  EXPECT_EQ(dir.read("lists/golded.bak"), original);
  EXPECT_EQ(dir.list("lists"), (std::vector<std::string>{"golded.bak", "golded.lst"}));

  // The second run reads the list form, and the first run's output becomes the backup.
  args[1] = "-lname";
  r = e2e::runProgram(LISDOR32_PATH, args, dir.file("work"));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(dir.read("lists/golded.lst"), listOf("DABC"));
  EXPECT_EQ(dir.read("lists/golded.bak"), listOf("CABD"));
  EXPECT_EQ(dir.list("lists"), (std::vector<std::string>{"golded.bak", "golded.lst"}));
}

TEST(Lisdor, LineLengthLimitIs255Characters) {
  for (size_t length : {size_t(255), size_t(256)}) {
    e2e::ScenarioDir dir;
    std::string name(length - 9, 'N');
    dir.write("golded.lst", name + " 2:5020/1\r\n");
    e2e::RunResult r = lisdor(dir, {"golded.lst", "valid.lst"});
    SCOPED_TRACE(length);
    if (length == 255) {
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_EQ(dir.read("valid.lst"), "2:5020/1             " + name + "\r\n");
    } else {
      EXPECT_EQ(r.exitCode, 11);
      EXPECT_EQ(r.out, "Unknown format of Source file \"golded.lst\".\n");
    }
  }
}

TEST(Lisdor, FailuresLeaveTheSourceAlone) {
  const char kFormat[] = "Unknown format of Source file \"golded.lst\".\n";
  struct Case {
    const char* what;
    const char* source;  // nullptr: no source file
    Args args;
    std::string out;
    int exitCode;
  } cases[] = {
      {"missing source", nullptr, {"golded.lst"}, "Source file \"golded.lst\" not found.\n", 10},
      {"blank line", "Ivan 2:5020/1\n\nPetr 2:5020/2\n", {"golded.lst"}, kFormat, 11},
      {"blanks only", "Ivan 2:5020/1\n   \n", {"golded.lst"}, kFormat, 11},
      {"userlist line without blank", "Ivan 2:5020/1\nPetr\n", {"golded.lst"}, kFormat, 11},
      {"list line without blank", "2:5020/1 Ivan\n2:5020/2", {"golded.lst"}, kFormat, 11},
      {"target cannot be created",
       "Ivan 2:5020/1\n",
       {"golded.lst", "no/valid.lst"},
       "Can't create target file \"no/valid.lst\".\n",
       15},
  };
  for (const Case& c : cases) {
    e2e::ScenarioDir dir;
    if (c.source) dir.write("golded.lst", c.source);
    e2e::RunResult r = lisdor(dir, c.args);
    SCOPED_TRACE(c.what);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(dir.list(), c.source ? std::vector<std::string>{"golded.lst"} : std::vector<std::string>{});
    if (c.source) {
      EXPECT_EQ(dir.read("golded.lst"), c.source);
    }
  }
}

TEST(Lisdor, DirectoryIsNoSource) {
  e2e::ScenarioDir dir;
  dir.write("golded.lst/x", "");
  e2e::RunResult r = lisdor(dir, {"golded.lst"});
  EXPECT_EQ(r.exitCode, 10);
  EXPECT_EQ(r.out, "Source file \"golded.lst\" not found.\n");
  EXPECT_EQ(dir.list(), std::vector<std::string>{"golded.lst"});
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("golded.lst")));
}

TEST(Lisdor, ReportsASourceThatCannotBeReplaced) {
  e2e::ScenarioDir dir;
  dir.write("golded.lst", kUserlist);
  dir.write("golded.bak/in-the-way", "");  // a backup name that can be neither deleted nor taken
  e2e::RunResult r = lisdor(dir, {"golded.lst"});
  EXPECT_EQ(r.exitCode, 15);
  EXPECT_EQ(r.out, "4 records processed.\nCan't replace source file \"golded.lst\".\n");
  EXPECT_EQ(dir.read("golded.lst"), kUserlist);
}

// Killed or failing at any one of its disk operations, an in-place run never leaves the source
// missing or half-written: it is the old list or the new one, and no temporary stays behind once
// a run ends normally (a killed run's temporaries go with the next run).
TEST(Lisdor, AnInPlaceRunStoppedAtAnyOperationKeepsTheSource) {
  const std::string converted = listOf("ABCD");
  for (const char* mode : {"kill", "fail"}) {
    bool fired = true;
    for (int n = 1; fired; ++n) {
      SCOPED_TRACE(std::string(mode) + " at operation " + std::to_string(n));
      e2e::ScenarioDir dir(e2e::ScenarioDir::kInMemory);
      dir.write("golded.lst", kUserlist);
      e2e::RunResult r = e2e::runProgram(LISDOR32_PATH, {"golded.lst"}, dir.path(),
                                         {{"KELVANOTH_FAULT_AT", std::to_string(n)}, {"KELVANOTH_FAULT", mode}});
      fired = r.err.find("fault injected") != std::string::npos;
      ASSERT_LT(n, 100);
      ASSERT_TRUE(dir.exists("golded.lst"));
      std::string now = dir.read("golded.lst");
      EXPECT_TRUE(now == kUserlist || now == converted) << now;
      if (fired && std::string(mode) == "kill") {
        // The next run reads the list form, or the userlist, and clears what the killed one left.
        ASSERT_EQ(lisdor(dir, {"golded.lst"}).exitCode, 0);
        EXPECT_EQ(dir.read("golded.lst"), converted);
      }
      for (const std::string& name : dir.list()) EXPECT_TRUE(name == "golded.lst" || name == "golded.bak") << name;
    }
  }
}

TEST(Lisdor, UsageWithoutSourceOrWhenAsked) {
  const std::string usage =
      "\n  Usage:\nLisdor32 <source> [<target>][options]\n    <options>:\n        -addr  - sort on address\n"
      "       -fname  - sort on first name\n       -lname  - sort on last name\n";
  for (const Args& args : {Args{}, Args{"-h"}, Args{"golded.lst", "-?"}, Args{"/help", "golded.lst"}}) {
    e2e::ScenarioDir dir;
    dir.write("golded.lst", kUserlist);
    e2e::RunResult r = e2e::runProgramWithTerminal(LISDOR32_PATH, args, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, usage);
    EXPECT_EQ(r.terminal, kBanner);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"golded.lst"});
  }
  e2e::ScenarioDir dir;
  EXPECT_EQ(lisdor(dir, {"--version"}).out, "Lisdor32 2.10/32\n");
}

}  // namespace
