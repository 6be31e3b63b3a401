// The poster's packets tossed by a real tosser into a *.MSG echo area: every message part arrives
// in its area with its subject, from name and text.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/interop/tosser.h"

namespace {

using tosser::Stored;

// "Elections" in CP866: the texts travel 8-bit.
const std::string kCp866Word = "\x82\xeb\xa1\xae\xe0\xeb";

struct PostedToArea {
  e2e::ScenarioDir dir;

  void writeSetup() const {
    dir.makeDirectory("echo");
    tosser::writePrefs(dir, "tosser", "2:5020/9999", "netmail",
                       "NODE 2:5020/1 \"\" \"SECRET\"\nAREA \"ELECTION\" 2:5020/9999 MSG \"" + dir.file("echo") +
                           "\"\nEXPORT 2:5020/1\n");
    dir.write("korva.cfp",
              "PktFromAddress 2:5020/1\r\nPktToAddress 2:5020/9999\r\nFromAddress 2:5020/1.5\r\n"
              "PktPassword \"SECRET\"\r\nPktDir " +
                  dir.file("inbound") +
                  "\r\nArea \"election\"\r\n"
                  "Charset \"CP866 2\"\r\nOrigin \"Election station\"\r\nMaxMsgSize 120\r\n"
                  "[Post]\r\nSubj \"Election results\"\r\nFrom \"Election Robot\"\r\nFile results.tpl\r\n"
                  "Subj \"Next stage\"\r\nFrom \"Returning Officer\"\r\nFile stage.tpl\r\n");
    dir.write("results.tpl", "Results of the " + kCp866Word + " in %AREA.\r\n" + std::string(70, '-') +
                                 "\r\nThe last line, 100%% counted.\r\n");
    dir.write("stage.tpl", "The second stage begins.\r\n");
  }

  e2e::RunResult post() const {
    // The stamp file is kept beside korva.cfp, in the scenario directory.
    return e2e::runProgram(NUVREL32_PATH, {"Post", "/sect:Post", "/cfg:korva.cfp"}, dir.path(), {{"TZ", "UTC"}});
  }

  std::vector<Stored> area(const std::string& sub) const {
    std::vector<Stored> messages;
    for (const std::string& name : dir.list(sub)) messages.push_back(tosser::readStored(dir.read(sub + "/" + name)));
    return messages;
  }
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Tosses the inbound packet; the tosser must take it whole, leaving nothing inbound and nothing bad.
e2e::RunResult tossWhole(const PostedToArea& p) {
  e2e::RunResult tossed = tosser::run(p.dir, "crashmail", {"SETTINGS", p.dir.file("tosser.prefs"), "TOSS"});
  EXPECT_EQ(tossed.exitCode, 0) << tossed.out;
  EXPECT_EQ(p.dir.list("inbound"), std::vector<std::string>{}) << "the packet was not taken: " << tossed.out;
  EXPECT_EQ(p.dir.list("bad"), std::vector<std::string>{}) << tossed.out;
  return tossed;
}

TEST(PosterAndTosser, EveryPostedPartArrivesInTheEchoArea) {
  SKIP_WITHOUT_TOSSER();
  PostedToArea p;
  p.writeSetup();
  e2e::RunResult posted = p.post();
  ASSERT_EQ(posted.exitCode, 0) << posted.out;
  ASSERT_EQ(p.dir.list("inbound").size(), 1u) << posted.out;
  e2e::RunResult tossed = tossWhole(p);

  // The first text is split at MaxMsgSize into three parts; the second text follows in the packet.
  std::vector<Stored> echo = p.area("echo");
  ASSERT_EQ(echo.size(), 4u) << tossed.out;
  struct Expected {
    const char* subject;
    const char* from;
    std::string line;
  } expected[] = {
      {"Election results", "Election Robot", "Results of the " + kCp866Word + " in election."},
      {"[part 2] Election results", "Election Robot", std::string(70, '-')},
      {"[part 3] Election results", "Election Robot", "The last line, 100% counted."},
      {"Next stage", "Returning Officer", "The second stage begins."},
  };
  for (size_t i = 0; i < echo.size(); ++i) {
    SCOPED_TRACE(expected[i].subject);
    EXPECT_EQ(echo[i].subject, expected[i].subject);
    EXPECT_EQ(echo[i].from, expected[i].from);
    EXPECT_EQ(echo[i].to, "All");
    std::vector<std::string> lines = tosser::textLines(echo[i].text);
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected[i].line), lines.end()) << echo[i].text;
    EXPECT_TRUE(has(echo[i].text,
                    "\x01"
                    "MSGID: 2:5020/1.5 "))
        << echo[i].text;
    EXPECT_TRUE(has(echo[i].text,
                    "\x01"
                    "CHRS: CP866 2\r"))
        << echo[i].text;
    EXPECT_TRUE(has(echo[i].text, "\r * Origin: Election station (2:5020/1.5)\r")) << echo[i].text;
    EXPECT_EQ(has(echo[i].text, "* Message split, to be continued *"), i == 0 || i == 1) << echo[i].text;
  }
}

// A run that ends inside a template (a line that overflows, exit 22) still leaves a packet the
// tosser takes whole: the texts finished before it all arrive, and nothing goes to BAD.
TEST(PosterAndTosser, APacketOfARunEndedInsideATemplateIsTossedWhole) {
  SKIP_WITHOUT_TOSSER();
  PostedToArea p;
  p.writeSetup();
  std::string overflowing;
  for (int i = 0; i < 1000; ++i) overflowing += "%AREA";  // 80 000 characters once expanded
  p.dir.write("overflow.tpl", "A line before the trouble.\r\n" + overflowing + "\r\n");
  p.dir.write("korva.cfp", p.dir.read("korva.cfp") + "Area \"" + std::string(80, 'X') + "\"\r\nFile overflow.tpl\r\n");
  e2e::RunResult posted = p.post();
  ASSERT_EQ(posted.exitCode, 22) << posted.out;
  ASSERT_EQ(p.dir.list("inbound").size(), 1u) << posted.out;
  tossWhole(p);
  std::vector<std::string> subjects;
  for (const Stored& m : p.area("echo")) subjects.push_back(m.subject);
  EXPECT_EQ(subjects, (std::vector<std::string>{"Election results", "[part 2] Election results",
                                                "[part 3] Election results", "Next stage"}));
}

TEST(PosterAndTosser, APacketWithTheWrongPasswordIsRefused) {
  SKIP_WITHOUT_TOSSER();
  PostedToArea p;
  p.writeSetup();
  std::string cfg = p.dir.read("korva.cfp");
  cfg.replace(cfg.find("PktPassword \"SECRET\""), 20, "PktPassword \"OTHER\"");
  p.dir.write("korva.cfp", cfg);
  ASSERT_EQ(p.post().exitCode, 0);
  e2e::RunResult tossed = tosser::run(p.dir, "crashmail", {"SETTINGS", p.dir.file("tosser.prefs"), "TOSS"});
  // The password field is where the tosser looks for it: a wrong one keeps the mail out.
  EXPECT_EQ(p.area("echo").size(), 0u);
  EXPECT_NE(tossed.out.find("password"), std::string::npos) << tossed.out;
}

}  // namespace
