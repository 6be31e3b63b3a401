#include "nuvrel/templates.h"

#include <gtest/gtest.h>

#include <string>

#include "common/log.h"
#include "common/platform.h"
#include "nuvrel/app.h"
#include "nuvrel/output.h"
#include "nuvrel/schedule.h"
#include "tests/common/test_support.h"
#include "tests/nuvrel/poster_state.h"

namespace {

using nuvrel::app;
using nuvrel::election;
using nuvrel::settings;
using testsupport::readFile;
using testsupport::ScratchDir;

class PosterTemplates : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::resetPosterState();
    app.configPath = dir_ / "korva.cfp";
    app.textMode = true;  // every posted text lands in "<section>.TXT"
    app.currentSection = dir_ / "out";
    settings.includeTearline = false;
    settings.area = "ELECTION";
    testsupport::writeFile(dir_ / "korva.sta", "VALD=140\r\nMANV=3\r\nDUPE=7\r\nNDLA=0\r\n");
  }
  // The text the template expands to, and what was logged.
  std::string expand(const std::string& tpl) {
    testsupport::writeFile(dir_ / "t.tpl", tpl);
    std::filesystem::remove(dir_ / "out.TXT");
    testing::internal::CaptureStdout();
    nuvrel::expandPostTemplate(dir_ / "t.tpl");
    logged_ = testing::internal::GetCapturedStdout();
    if (!std::filesystem::exists(dir_ / "out.TXT")) return "<nothing>";
    std::string text = readFile(dir_ / "out.TXT");
    return text.substr(0, text.size() - 2);  // the closing LF and zero byte
  }
  ScratchDir dir_;
  std::string logged_;
};

TEST_F(PosterTemplates, NumberMacros) {
  struct Case {
    const char* line;
    const char* expected;
  } cases[] = {
      {"valid %VALD, all %ALLB, refused %INVD, vale %VALE%%, inve %INVE\n",
       "valid 140, all 150, refused   7, vale 93%, inve 5\n"},
      {"%vald %Vald\n", "140 140\n"},              // any case
      {"dupes: %DUPE$ seen\n", "dupes:  seen\n"},  // counted: only the six characters go
      {"none: %ADDL$ seen\n", "<nothing>"},        // zero: the whole line goes
      {"refused %INVD %BRK$\n", "refused   7 \n"},
      {"address errors %ADDA %BRK$\n", "<nothing>"},
      {"%NDLA%BRK$ text\n", "<nothing>"},
      {"%VALT %NDLS %LALL %TALL\n", "143   0 0 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(expand(c.line), c.expected);
  }
}

TEST_F(PosterTemplates, PercentSignsAndUnknownMacros) {
  struct Case {
    const char* line;
    const char* expected;
  } cases[] = {
      {"100%% sure\n", "100% sure\n"},
      {"%%VALD\n", "%VALD\n"},
      {"50%\n", "50%\n"},  // fewer than four characters after the sign: kept
      {"x %ab\n", "x %ab\n"},
      {"%QQQQ stays\n", "%QQQQ stays\n"},
      {"area %AREA, %BDS7 %BDSx.\n", "area ELECTION,  1.01.1970 .\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(expand(c.line), c.expected);
  }
  expand("one\n%QQQQ stays\n");
  EXPECT_NE(logged_.find("! Unknown macro 51515151 (QQQQ) in line 2"), std::string::npos) << logged_;
  settings.useMacro = false;
  EXPECT_EQ(expand("100%% %VALD\n"), "100%% %VALD\n");
}

TEST_F(PosterTemplates, StageDates) {
  nuvrel::applyBeginDate("1.3.2005");
  nuvrel::applyDaysStage("DaysStage0", "3");
  nuvrel::applyDaysStage("DaysStage2", "30");
  EXPECT_EQ(expand("%BDS0-%EDS0, %BDS2-%EDS2\n"), " 1.03.2005- 3.03.2005,  4.03.2005- 2.04.2005\n");
}

TEST_F(PosterTemplates, CandidateLists) {
  election.candidates = {{"Ivan, 2:5020/1", 0}, {"Olga", 1}, {"Boris", 0}, {"Petr", 1}};
  EXPECT_EQ(expand("%CAND\n"), "  1. Ivan, 2:5020/1\n  2. Boris\n");  // the electable ones before any CAS
  EXPECT_EQ(expand("Observers:%CAS1 lost\n%CAND\n"), "Observers:\n  1. Olga\n  2. Petr\n  1. Olga\n  2. Petr\n");
  EXPECT_EQ(expand("Observers:%CAS1$\n%CAND\n"), "Observers:\n  1. Olga\n  2. Petr\n");
  EXPECT_EQ(expand("%CAS1$\nend\n"), "\nend\n");
  EXPECT_EQ(expand("Nobody:%CAS5\n%CAND\nend\n"), "end\n");
  EXPECT_EQ(expand("before %CANF after\n"), "Ivan !<password>\nBoris !<password>\n");
}

TEST_F(PosterTemplates, ResultsQuorumAndPasswords) {
  election.candidates = {{"Ivan", 0}, {"Olga", 1}, {"Bo", 0}};
  testsupport::writeFile(dir_ / "korva.vot",
                         "1\t0\t0000000100000002\t2:5020/2.0\tzed\tpw2\r\n"
                         "3\t0\t0000000100000003\t2:5020/1.0\tann\tPW1\r\n"
                         "1\t0\t0000000100000004\t2:5020/1.1\tbob\tpw0\r\n"
                         "-3\t1\t0000000100000005\t1:1/1.0\tcancelled\tpw3\r\n");
  EXPECT_EQ(expand("%RESV\n"), "Ivan    2  (66.7%)\nBo      1  (33.3%)\nTotal:    3\n");
  EXPECT_EQ(expand("%RESN\n"), "Bo      1  (33.3%)\nIvan    2  (66.7%)\nTotal:    3\n");
  EXPECT_EQ(
      expand("x %QUOA y\n"),
      " 1:1/1              cancelled\n 2:5020/1           ann\n 2:5020/1.1         bob\n 2:5020/2           zed\n");
  EXPECT_EQ(expand("%PASV\n"), "\n > Ivan  Passwords: 2 (50.0%)\npw0\npw2\n\n > Bo    Passwords: 1 (25.0%)\nPW1\n");
}

TEST_F(PosterTemplates, ResultsWithoutCountedVotesOrWithoutVoteBase) {
  election.candidates = {{"Ivan", 0}, {"Bo", 0}};
  EXPECT_EQ(expand("Results: %RESU.\n"), "Results: <Results not available>.\n");
  election = nuvrel::ElectionData{};
  election.candidates = {{"Ivan", 0}, {"Bo", 0}};
  testsupport::writeFile(dir_ / "korva.vot",
                         "-1\t0\t0000000100000002\t2:5020/2.0\tzed\tpw2\r\n"
                         "0\t0\t0000000100000003\t2:5020/1.0\tann\tPW1\r\n");
  EXPECT_EQ(expand("%RESU\n"), "Ivan    0  ( 0.0%)\nBo      0  ( 0.0%)\nTotal:    0\n");
}

TEST_F(PosterTemplates, LongListLinesAndLongLines) {
  const std::string longName(1000, 'N'), longPassword(2000, 'p');
  election.candidates = {{longName, 0}};
  testsupport::writeFile(dir_ / "korva.vot",
                         "1\t0\t0000000100000002\t2:5020/2.0\t" + longName + "\t" + longPassword + "\r\n");
  EXPECT_EQ(expand("%QUOR\n"), " 2:5020/2           " + longName + "\n");
  EXPECT_EQ(expand("%RESU\n"), longName + "    1  (100.0%)\n" + std::string(994, ' ') + "Total:    1\n");
  EXPECT_EQ(expand("%PASS\n"), "\n > " + longName + "  Passwords: 1 (100.0%)\n" + longPassword + "\n");
  // A line of 16382 characters arrives whole; expansion may grow it up to the buffer's size.
  std::string near(16000, 'x');
  EXPECT_EQ(expand(near + "%AREA\n"), near + "ELECTION\n");
}

TEST_F(PosterTemplates, LineOverflowEndsTheRun) {
  settings.area = std::string(80, 'A');
  std::string line;
  for (int i = 0; i < 3000; ++i) line += "%AREA";  // 15000 characters that would grow to 240000
  testsupport::writeFile(dir_ / "t.tpl", line + "\n");
  EXPECT_EXIT_STDOUT(nuvrel::expandPostTemplate(dir_ / "t.tpl"), 22, dir_ / "stdout");
  EXPECT_NE(readFile(dir_ / "stdout")
                .find("! Header bufer overflow (header: \"" + (dir_ / "t.tpl") + "\"). Process aborted."),
            std::string::npos);
  EXPECT_EXIT_STDOUT(nuvrel::expandPostTemplate(dir_ / "none.tpl"), 21, dir_ / "stdout");
  EXPECT_NE(
      readFile(dir_ / "stdout").find("! Template file \"" + (dir_ / "none.tpl") + "\" open error. Process aborted."),
      std::string::npos);
}

}  // namespace
