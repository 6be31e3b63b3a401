#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

using Args = std::vector<std::string>;

const char kBanner[] = "Kelvanoth Poster  Version 2.10/32, Apr 2005.\r\n";

TEST(NuvrelEntry, UsageWithoutCommandOrWhenAsked) {
  const std::string usage =
      "\n  Usage:\nNuvrel32 <command> [<options>]\n\n<command>:\n      Post            - Post mode\n"
      "      Test [<ndays>]  - Testing mode (test <ndays> days)\n<options>:\n"
      "          /cfg:<file>     - configuration file [korva.cfp]\n"
      "          /txt            - output to text files (only post mode)\n"
      "          /hdr            - include header in text files (only text post mode)\n"
      "          /sect:<sect>    - section <sect> posted (only post mode)\n"
      "          /force[:<sect>] - force posted (only post mode)\n"
      "          /test:<ndays>   - test <ndays> days (only test mode)\n"
      "          /dates:<startdate>[-<enddate>]\n"
      "                          - test from <startdate> to <enddate>\n"
      "                            or <ndays> days (only test mode)\n"
      "                 <startdate>,<enddate> format:\n"
      "                            <day>.<month>.<year>\n"
      "\n";
  e2e::ScenarioDir dir;
  for (const Args& args : {Args{}, Args{"/?"}, Args{"-help", "Post"}, Args{"Test", "/HELP"}}) {
    e2e::RunResult r = e2e::runProgramWithTerminal(NUVREL32_PATH, args, dir.path());
    SCOPED_TRACE(args.empty() ? "" : args[0]);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, usage);
    EXPECT_EQ(r.terminal, kBanner);
    EXPECT_EQ(r.err, "");
  }
}

TEST(NuvrelEntry, CommandWords) {
  struct Case {
    Args args;
    const char* out;
    int exitCode;
  } cases[] = {
      {{"Post", "/cfg:k.cfp"}, "\nhh:mm:ss ! Nothing to do.\n", 0},
      {{"/hdr", "POST", "/h", "-cfg:k.cfp"}, "\nhh:mm:ss ! Nothing to do.\n", 0},  // "h": the header flag
      {{"Test", "/cfg:k.cfp"}, "\nTest mode.\n\n", 0},
      {{"test", "5", "/cfg:/nonexistent/korva.cfp"},
       "\nTest mode.\n\nConfiguration file \"/nonexistent/korva.cfp\" not found.\n",
       254},
      {{"Posting"}, "\nUnknown command.\n", 1},
      {{"/txt", "Tst"}, "\nUnknown command.\n", 1},
      // Quiet: nothing due is no news; a missing section needs the operator.
      {{"Post", "/cfg:k.cfp", "-quiet"}, "", 0},
      {{"Post", "/cfg:k.cfp", "/q", "/sect:Result"}, "\nhh:mm:ss ! Section not found in configuration file.\n", 0},
      {{"--version"}, "Nuvrel32 2.10/32\n", 0},
  };
  e2e::ScenarioDir dir;
  dir.write("k.cfp", "; nothing to post\r\n");
  for (const Case& c : cases) {
    e2e::RunResult r = e2e::runProgram(NUVREL32_PATH, c.args, dir.path());
    SCOPED_TRACE(c.args[0]);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(e2e::maskTimes(r.out), c.out);
    EXPECT_EQ(r.err, "");  // no terminal, no banner
  }
}

}  // namespace
