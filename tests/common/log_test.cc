#include "common/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <set>

#include "common/text.h"
#include "tests/common/test_support.h"

namespace {

using logging::appExit;
using logging::logPrint;
using testsupport::readFile;

const logging::LogIdentity kKorva{"Korva", "2.10/32", ""};

// A pattern with every "@" standing for a time of day.
std::regex stamped(const std::string& pattern) {
  return std::regex(std::regex_replace(pattern, std::regex("@"), "\\d\\d:\\d\\d:\\d\\d"));
}

TEST(LogPrint, ConsoleOnlyStampsEntriesAndKeepsTheFirstLine) {
  logging::logInit(kKorva);
  testing::internal::CaptureStdout();
  EXPECT_EQ(logPrint("\n? -- Bad date."), 24);
  EXPECT_EQ(logPrint(", size: %lu bytes", 12ul), 16);
  logPrint("\n! Header file \"%s\" open error. Process aborted.\n", "x.hdr");
  logPrint("first %d\nsecond %d", 1, 2);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::regex_match(out, stamped("\n@ \\? -- Bad date\\., size: 12 bytes\n"
                                            "@ ! Header file \"x\\.hdr\" open error\\. Process aborted\\.first 1")))
      << out;
}

TEST(LogPrint, AppendsDatedHeaderAndEntriesInLocalTimeWithCrLf) {
  testsupport::ScratchDir dir;
  std::string log = dir / "korva.log", out = dir / "stdout";
  testsupport::writeFile(log, "old\r\n");
  std::time_t start = std::time(nullptr);
  EXPECT_EXIT_STDOUT(
      {
        testsupport::setTimeZone("XYZ-14");
        logging::logInit(kKorva);
        logPrint("\n* before the log");
        if (!logging::logOpen(log)) std::_Exit(98);
        logPrint("\n* Process %s", "a.msg");
        logPrint(", size: %d bytes", 5);
        logPrint("\n+ two\nignored");
        appExit(logging::ExitCode{4});
      },
      4, out);
  // Dates and times of day in UTC+14 over the seconds the child may have run.
  std::set<std::string> dates, times;
  for (std::time_t t = start; t <= std::time(nullptr); ++t) {
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t shifted = t + 14 * 3600;
    std::tm tm{};
    ::gmtime_r(&shifted, &tm);
    dates.insert(text::format("%d-%s-%d", tm.tm_mday, months[tm.tm_mon], tm.tm_year + 1900));
    times.insert(text::format("%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec));
  }
  std::smatch m;
  std::string content = readFile(log);
  ASSERT_TRUE(std::regex_match(content, m,
                               std::regex("old\r\n\r\n--------- (\\S+)   Korva v 2\\.10/32\r\n"
                                          "(\\S+) \\* Process a\\.msg, size: 5 bytes\r\n"
                                          "(\\S+) \\+ two\r\n")))
      << content;
  EXPECT_TRUE(dates.count(m[1])) << m[1];
  EXPECT_TRUE(times.count(m[2])) << m[2];
  EXPECT_TRUE(times.count(m[3])) << m[3];
  EXPECT_TRUE(std::regex_match(readFile(out), stamped("\n@ \\* before the log\n@ \\* Process a\\.msg, "
                                                      "size: 5 bytes\n@ \\+ two\n")));
}

TEST(LogPrint, RunThatLogsNothingLeavesTheLogAlone) {
  testsupport::ScratchDir dir;
  std::string log = dir / "korva.log", out = dir / "stdout";
  testsupport::writeFile(log, "old\r\n");
  for (bool logSomething : {false, false, true}) {
    EXPECT_EXIT_STDOUT(
        {
          logging::logInit(kKorva);
          if (!logging::logOpen(log)) std::_Exit(98);
          if (logSomething) logPrint("\n* one");
          appExit(logging::ExitCode{0});
        },
        0, out);
    if (!logSomething) {
      EXPECT_EQ(readFile(log), "old\r\n");
    }
  }
  EXPECT_TRUE(std::regex_match(readFile(log), stamped("old\r\n\r\n--------- .*\r\n@ \\* one\r\n")));
}

// Closing finishes the log as an ending does; what follows reaches the console only.
TEST(LogPrint, ClosedLogIsFinishedAndLeftAlone) {
  testsupport::ScratchDir dir;
  std::string log = dir / "korva.log", out = dir / "stdout";
  EXPECT_EXIT_STDOUT(
      {
        logging::logInit(kKorva);
        if (!logging::logOpen(log)) std::_Exit(98);
        logPrint("\n* one");
        logging::logClose();
        if (logging::logIsOpen()) std::_Exit(97);
        logPrint("\n* two");
        appExit(logging::ExitCode{0});
      },
      0, out);
  EXPECT_TRUE(std::regex_match(readFile(log), stamped("\r\n--------- .*\r\n@ \\* one\r\n")));
  EXPECT_TRUE(std::regex_match(readFile(out), stamped("\n@ \\* one\n@ \\* two\n")));
}

TEST(LogPrint, WithoutATerminalTheBannerGoesNowhere) {
  testsupport::ScratchDir dir;
  std::string err = dir / "stderr", out = dir / "stdout";
  EXPECT_EXIT_STDOUT(
      {
        ::setsid();  // no controlling terminal, as under cron
        if (std::freopen(err.c_str(), "w", stderr) == nullptr) std::_Exit(98);
        logging::logInit({"Korva", "2.10/32", "Banner line.\n\r"});
        logPrint("\n* one");
        appExit(logging::ExitCode{0});
      },
      0, out);
  EXPECT_EQ(readFile(err), "");
  EXPECT_EQ(readFile(out).find("Banner"), std::string::npos);
}

// Quiet: standard output shows the operator's entries with their continuations and nothing
// else, not even the closing line break when nothing was shown; the log keeps every entry.
TEST(LogPrint, QuietShowsOnlyWhatNeedsAnOperator) {
  testsupport::ScratchDir dir;
  std::string log = dir / "korva.log", out = dir / "stdout";
  EXPECT_EXIT_STDOUT(
      {
        logging::logInit(kKorva);
        logging::setQuiet(true);
        if (!logging::logOpen(log)) std::_Exit(98);
        logPrint("\n* Process %s", "a.msg");
        logPrint(", size: %d bytes", 5);
        logging::logRoutine("\n! Nothing to do.");
        logging::logToFileOnly("\n! Error in configuration file");
        appExit(logging::ExitCode{0});
      },
      0, out);
  EXPECT_EQ(readFile(out), "");
  EXPECT_TRUE(
      std::regex_match(readFile(log), stamped("\r\n--------- .*\r\n@ \\* Process a\\.msg, size: 5 bytes"
                                              "\r\n@ ! Nothing to do\\.\r\n@ ! Error in configuration file\r\n")))
      << readFile(log);
  EXPECT_EXIT_STDOUT(
      {
        logging::logInit(kKorva);
        logging::setQuiet(true);
        logPrint("\n* hidden");
        logPrint("\n! Can't save %s", "x.vot");
        logPrint(", aborted");
        logPrint("\n? hidden too");
        logging::logAlert("\nUnknown command: %s", "Scna");
        appExit(logging::ExitCode{1});
      },
      1, out);
  EXPECT_TRUE(std::regex_match(readFile(out), stamped("\n@ ! Can't save x\\.vot, aborted\n@ Unknown command: Scna\n")))
      << readFile(out);
}

TEST(AppExit, NegativeCodesEndWithTheirLowByte) {
  testsupport::ScratchDir dir;
  std::string out = dir / "stdout";
  EXPECT_EXIT_STDOUT(appExit(logging::ExitCode{-2}), 254, out);
  EXPECT_EQ(readFile(out), "\n");
  EXPECT_EXIT_STDOUT(
      {
        logging::logInit(kKorva);
        logging::outOfMemory();
      },
      11, out);
  EXPECT_TRUE(std::regex_match(readFile(out), stamped("\n@ ! Not enough memory\\.\n")));
}

}  // namespace
