#include "korva/templates.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "common/log.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/message_reader.h"
#include "korva/nodelist_index.h"
#include "korva/settings.h"
#include "tests/common/test_support.h"

namespace {

using korva::election;
using korva::inboundMessage;
using testsupport::readFile;
using testsupport::writeFile;

class Templates : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::setTimeZone("UTC");
    savedSettings_ = korva::settings;
    savedElection_ = election;
    savedIndex_ = korva::indexState;
    election = korva::ElectionState{};
    inboundMessage = korva::InboundMessage{};
    inboundMessage.orig = {2, 5020, 1, 7};
    inboundMessage.dest = {2, 5020, 50, 0};
    inboundMessage.fromName = "Ivan Petrov";
    inboundMessage.toName = "Korva";
    inboundMessage.subject = "Elections 2005";
    inboundMessage.dateText = "05 Apr 05  10:20:30";
    inboundMessage.msgId = "2:5020/1.7 1a2b3c4d";
  }
  void TearDown() override {
    korva::settings = savedSettings_;
    election = savedElection_;
    korva::indexState = savedIndex_;
    inboundMessage = korva::InboundMessage{};
  }
  // Expands a template of the given content; what was logged lands in log_.
  std::string expand(const std::string& content) {
    writeFile(path_, content);
    std::string out;
    testing::internal::CaptureStdout();
    result_ = korva::expandTemplate(path_, out);
    log_ = testing::internal::GetCapturedStdout();
    return out;
  }
  testsupport::ScratchDir dir_;
  std::string path_ = dir_ / "reply.tpl";
  korva::TemplateResult result_ = korva::kTemplateExpanded;
  std::string log_;
  korva::Settings savedSettings_;
  korva::ElectionState savedElection_;
  korva::IndexState savedIndex_;
};

TEST_F(Templates, MessageMacros) {
  inboundMessage.replyAddr = "gate: \"Ivan\" <ivan@example.org>;";
  struct Case {
    const char* line;
    const char* result;
  } cases[] = {
      {"Hello, %FNAM!\n", "Hello, Ivan Petrov!\r"},
      {"%fnam %Tnam\n", "Ivan Petrov Korva\r"},
      {"%FADR -> %TADR\n", "2:5020/1.7 -> 2:5020/50\r"},
      {"%FDAT\n", "05 Apr 05  10:20:30\r"},
      {"[%MSID]\n", "[2:5020/1.7 1a2b3c4d]\r"},
      {"%EMAL\n", "<ivan@example.org>\r"},
      {"%SUBJ|%USID|\n", "Elections 2005||\r"},
      {"100%% sure\n", "100% sure\r"},
      {"%%FNAM\n", "%FNAM\r"},
      {"a% an word\n", "aword\r"},
      {"%ZZZZ\n", "\r"},
      {"100%\n", "100%\r"},
      {"Big \x8D\n", "Big H\r"},  // the Cyrillic En is a soft line break to FidoNet software
      {"no line end", "no line end"},
  };
  for (const Case& c : cases) EXPECT_EQ(expand(c.line), c.result) << c.line;
  EXPECT_EQ(result_, korva::kTemplateExpanded);
}

TEST_F(Templates, WholeTemplateKeepsLinesAndDropsNothingElse) {
  EXPECT_EQ(expand(""), "");
  EXPECT_EQ(expand("one\r\n\r\ntwo\n"), "one\r\rtwo\r");  // read as text: CR LF is one line end
}

TEST_F(Templates, SenderTextIsInsertedAsItStands) {
  inboundMessage.fromName = "Evil %FNAM %CAND %%";
  election.candidates = {{"Alpha", 0}};
  EXPECT_EQ(expand("From %FNAM.\n"), "From Evil %FNAM %CAND %%.\r");
}

TEST_F(Templates, EmailFromTheFromNameOrNone) {
  inboundMessage.fromName = "Ivan ivan@example.org";
  EXPECT_EQ(expand("%EMAL\n"), "<ivan@example.org>\r");
  inboundMessage.fromName = "Ivan Petrov";
  EXPECT_EQ(expand("[%EMAL]\n"), "[]\r");
}

TEST_F(Templates, SubjectAndUserId) {
  const std::string s51(51, 's'), s52(52, 's');
  struct Case {
    std::string subject;
    UserId given, current;
    std::string subj, usid;
  } cases[] = {
      {"Elections 2005", {0x1A2B, 0x3C4D}, {0x1A2B, 0x3C4D}, "Elections 2005  [00001A2B00003C4D]", "00001A2B00003C4D"},
      // The reply shows the UserID that the vote manager holds for the sender.
      {"Elections 2005", {0x1A2B, 0x3C4D}, {0xABC, 0xDEF}, "Elections 2005  [00001A2B00003C4D]", "00000ABC00000DEF"},
      {s51, {1, 2}, {1, 2}, s51 + "  [0000000100000002]", "0000000100000002"},
      {s52, {1, 2}, {1, 2}, s52, "0000000100000002"},  // no room left for the UserID
      // Without a UserID in the subject nothing is shown, even when one has been issued since.
      {"Elections 2005", {0, 5}, {0x77, 0x88}, "Elections 2005", ""},
  };
  for (const Case& c : cases) {
    inboundMessage.subject = c.subject;
    inboundMessage.givenUserId = c.given;
    inboundMessage.userId = c.current;
    EXPECT_EQ(expand("%SUBJ\n"), c.subj + "\r") << c.subject;
    EXPECT_EQ(expand("%USID\n"), c.usid + "\r") << c.subject;
  }
}

TEST_F(Templates, VotingPeriodInLocalTime) {
  testsupport::setTimeZone("XYZ-3");         // three hours east of UTC
  korva::settings.periodStart = 1764882000;  // 2025-12-05 00:00:00 local
  korva::settings.periodEnd = 1767214799;    // 2025-12-31 23:59:59 local
  EXPECT_EQ(expand("From %SDAT to %EDAT.\n"), "From 5 Dec 2025 to 31 Dec 2025.\r");
}

TEST_F(Templates, ListFilesAndTheirFirstLines) {
  korva::indexState.nodelistFileName = "NODELIST.123";
  korva::indexState.nodelistFirstLine = ";A Nodelist for Friday\r\n";
  korva::indexState.pointlistFileName = "POINTS.TXT";
  korva::indexState.pointlistFirstLine = ";A Points\r\n";
  korva::settings.nodelist = "/x/NODELIST.123";
  korva::settings.pointlist = "/x/POINTS.TXT";
  // The first line keeps the line-end bytes it was read with; the template line's own LF becomes CR.
  EXPECT_EQ(expand("%NDLF: %NDLI\n"), "NODELIST.123: ;A Nodelist for Friday\r\n\r");
  EXPECT_EQ(expand("%PNTF: %pnti\n"), "POINTS.TXT: ;A Points\r\n\r");
  korva::settings.nodelist.clear();
  korva::settings.pointlist.clear();
  EXPECT_EQ(expand("[%NDLF|%NDLI|%PNTF|%PNTI]\n"), "[|||]\r");
}

TEST_F(Templates, ListMacrosWriteTheirLinesAndDropTheirOwn) {
  election.candidates = {{"Alpha", 0}, {"Beta", 1}, {"Gamma, 2:5020/3", 0}};
  EXPECT_EQ(expand("Candidates:\n%CAND\nEnd.\n"), "Candidates:\r  1. Alpha\r  3. Gamma, 2:5020/3\rEnd.\r");
  EXPECT_EQ(expand("Heading %canf trailing\n"), "Alpha\rBeta {1}\rGamma, 2:5020/3\r");
  EXPECT_EQ(expand("%CASH\n"), "Alpha !<password>\rGamma !<password>\r");
  election.candidates.clear();
  EXPECT_EQ(expand("Heading %CAND\nnext\n"), "next\r");
}

TEST_F(Templates, LogExcerptWithoutALog) {
  ASSERT_FALSE(logging::logIsOpen());
  EXPECT_EQ(expand("Log: %CLOG.\n"), "Log: <Log error>.\r");
}

TEST_F(Templates, LogExcerptOfTheMessageInHand) {
  std::string log = dir_ / "korva.log", result = dir_ / "result";
  writeFile(path_, "Report:\n%CLOG-- end\n");
  EXPECT_EXIT(
      {
        if (!logging::logOpen(log)) std::_Exit(98);
        logging::logPrint("\n* Process \"1.msg\"");
        korva::app.messageLogOffset = logging::logLength();
        logging::logPrint("\n.");
        logging::logPrint("\n* Process \"2.msg\"");
        logging::logPrint(", size: %d bytes", 300);
        std::string out;
        if (korva::expandTemplate(path_, out) != korva::kTemplateExpanded) std::_Exit(97);
        logging::logPrint("\n+ after");  // still appended at the end
        writeFile(result, out);
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
  std::string out = readFile(result);
  std::regex expected(
      "Report:\r\\d\\d:\\d\\d:\\d\\d \\.\r\\d\\d:\\d\\d:\\d\\d \\* Process \"2\\.msg\", size: 300 bytes\r-- end\r");
  EXPECT_TRUE(std::regex_match(out, expected)) << out;
  EXPECT_NE(readFile(log).find("* Process \"2.msg\", size: 300 bytes\r\n"), std::string::npos);
  EXPECT_NE(readFile(log).find(" + after"), std::string::npos);
}

TEST_F(Templates, MissingTemplateAndOverflowAreReported) {
  std::string out = "kept";
  testing::internal::CaptureStdout();
  EXPECT_EQ(korva::expandTemplate(dir_ / "missing.tpl", out), korva::kTemplateCannotOpen);
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("! Header file \"" + (dir_ / "missing.tpl") + "\" open error. Process aborted."),
            std::string::npos)
      << log;
  EXPECT_EQ(out, "kept");

  // The longest template line, all sender names of 35 characters: far beyond the line buffer.
  inboundMessage.fromName = std::string(35, 'N');
  std::string line;
  while (line.size() + 5 <= 16382) line += "%FNAM";
  expand(line + "\n");
  EXPECT_EQ(result_, korva::kTemplateOverflow);
  EXPECT_NE(log_.find("! Header bufer overflow (header: \"" + path_ + "\"). Process aborted."), std::string::npos);
}

TEST_F(Templates, LongLineArrivesInPieces) {
  std::string longLine(20000, 'x');
  std::string out = expand(longLine + "\n");
  EXPECT_EQ(out, longLine + "\r");  // 16382 characters, then the rest with its line end
}

}  // namespace
