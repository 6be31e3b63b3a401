// The poster's configuration pass and posting schedule, run through the built program.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/nuvrel/packet_reader.h"

namespace {

using Args = std::vector<std::string>;

// The poster started from the scenario directory, so its default configuration is looked for there;
// it works in `cwd` (the scenario directory when empty) with the environment `env` besides TZ.
e2e::RunResult localNuvrel(const e2e::ScenarioDir& dir, const Args& args, const char* tz = "UTC",
                           std::map<std::string, std::string> env = {}, const std::string& cwd = "") {
  if (!dir.exists("Nuvrel32")) std::filesystem::create_symlink(NUVREL32_PATH, dir.file("Nuvrel32"));
  env["TZ"] = tz;
  return e2e::runProgram(dir.file("Nuvrel32"), args, cwd.empty() ? dir.path() : cwd, env);
}

e2e::RunResult nuvrel(const e2e::ScenarioDir& dir, const Args& args, const char* tz = "Europe/Berlin") {
  return localNuvrel(dir, args, tz);
}

// Times of day and packet names masked.
std::string masked(const std::string& out) {
  std::string s = e2e::maskTimes(out);
  for (size_t at = s.find(".PKT"); at != std::string::npos; at = s.find(".PKT", at + 4)) {
    if (at >= 8) s.replace(at - 8, 8, "########");
  }
  return s;
}

const char kPacketCreated[] = "\nhh:mm:ss   ########.PKT created.";
const char kAddresses[] = "PktFromAddress 2:5020/9999\r\nPktToAddress 2:5020/1\r\nFromAddress 2:5020/9999\r\n";

// "D.M.YYYY" of today plus `days`, in UTC as the poster runs in these tests.
std::string utcDate(int days = 0) {
  std::time_t t = std::time(nullptr) + std::time_t(days) * 86400;
  std::tm tm{};
  gmtime_r(&t, &tm);
  return std::to_string(tm.tm_mday) + "." + std::to_string(tm.tm_mon + 1) + "." + std::to_string(tm.tm_year + 1900);
}

void setWriteTime(const e2e::ScenarioDir& dir, const std::string& name, int daysAgo) {
  auto when = std::chrono::system_clock::now() - std::chrono::hours(24 * daysAgo);
  std::filesystem::last_write_time(dir.file(name), std::filesystem::file_time_type::clock::from_sys(when));
}

std::string repeat(const std::string& s, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += s;
  return out;
}

std::string processed(const std::string& subj, const std::string& tpl) {
  return "\nhh:mm:ss > [" + subj + "] \"" + tpl + "\" processed.";
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Names of the entries of a subdirectory ("" for the top) that end in `suffix`.
std::vector<std::string> namesEndingIn(const e2e::ScenarioDir& dir, const std::string& sub, const std::string& suffix) {
  std::vector<std::string> names;
  for (const std::string& name : dir.list(sub)) {
    if (name.ends_with(suffix)) names.push_back(name);
  }
  return names;
}

TEST(NuvrelConfig, BadValuesNameFileAndLine) {
  struct Case {
    std::string line;
    std::string message;
  } cases[] = {
      {"DaysStage12 4", "Invalid keyword."},
      {"Dates %StageX", "Invalid \"%Stage\" macro."},
      {"Dates %Today", "Unknown macro in \"Dates\" value."},
      {"Dates 5.3.2005-1.3.2005", "Invalid \"Dates\" value (BeginDate > EndDate)."},
      {"BeginDate 1.13.2005", "Bad date value."},
      {"MaxMsgSize 0", "Invalid MaxMsgSize value: \"0\"."},
      {"maxmsgsize many", "Invalid MaxMsgSize value: \"many\"."},
      {"Subj \"" + std::string(75, 's') + "\"", "String \"" + std::string(75, 's') + "\" lenght (75) > 74 symbols."},
      {"PktPassword \"12345678901\"", "String \"12345678901\" lenght (11) > 10 symbols."},
      {"Origin Somewhere", "Bad string value."},
      {"PktToAddress 0:5020/1", "Bad FTN address."},
      {"Candidates none.lst", "Candidates file \"none.lst\" not found."},
      {"Areas \"X\"", "Unknown parameter \"Areas\"."},
      {"Log nodir/x.log", "Can't open log file \"nodir/x.log\"."},
      {"PktDir nodir/sub",
       "- Directory \"NODIR/SUB\" not found, create it.\nhh:mm:ss ! Error in configuration file \"k.cfp\", line 3: "
       "Can't create directory \"NODIR/SUB\"."},
      {"File missing.tpl", "file \"missing.tpl\" not exist."},
      {"File " + repeat("./", 128) + "a.tpl", "Filename lenght > 260 symbols."},  // an existing file
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    e2e::ScenarioDir dir;
    dir.write("a.tpl", "text\n");
    dir.write("k.cfp", "Subj \"x\"\r\nDates 1.1.2000-1.1.2100\r\n" + c.line + "\r\nArea \"after\"\r\n");
    e2e::RunResult r = nuvrel(dir, {"Post", "/cfg:k.cfp"});
    EXPECT_EQ(r.exitCode, 3);
    std::string header = "\nhh:mm:ss ! Error in configuration file \"k.cfp\", line 3: ";
    if (c.message[0] == '-') header = "\nhh:mm:ss ";
    EXPECT_EQ(e2e::maskTimes(r.out), header + c.message + "\n");
  }
  e2e::ScenarioDir dir;
  dir.write("k.cfp", "\r\nOncePostPerDay maybe\r\n");
  e2e::RunResult r = nuvrel(dir, {"Post", "/cfg:k.cfp"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out, "\nFile \"k.cfp\": Bad bool value in line 2.\n");
}

TEST(NuvrelConfig, MissingConfigurationFile) {
  e2e::ScenarioDir dir;
  for (const char* command : {"Post", "Test"}) {
    e2e::RunResult r = nuvrel(dir, {command, "/cfg:none.cfp"});
    EXPECT_EQ(r.exitCode, 254);  // -2
    EXPECT_EQ(r.out, std::string(command[0] == 'T' ? "\nTest mode.\n" : "") +
                         "\nConfiguration file \"none.cfp\" not found.\n");
  }
  // Without /cfg: the file is looked for beside the program.
  e2e::RunResult r = localNuvrel(dir, {"Post"});
  EXPECT_EQ(r.exitCode, 254);
  EXPECT_EQ(r.out, "\nConfiguration file \"" + dir.path() + "/korva.cfp\" not found.\n");
}

TEST(NuvrelPost, NothingToDoAndSections) {
  e2e::ScenarioDir dir;
  dir.write("a.tpl", "a\n");
  dir.write("b.tpl", "b\n");
  dir.write("empty.cfp", "; no File line\r\nSUBJ \"x\"\r\nstatistic whatever\r\n[Results]\r\n");
  dir.write("k.cfp",
            std::string(kAddresses) +
                "Subj \"Week\"\r\n[Weekly]\r\nDates 1.1.2001-2.1.2001\r\nFile a.tpl\r\n[Never]\r\nsubj \"N\"\r\n"
                "dates %never\r\nfile b.tpl\r\n[Empty]\r\nArea \"X\"\r\n");
  struct Case {
    Args args;
    std::string out;
  } cases[] = {
      {{"Post", "/cfg:empty.cfp"}, "\nhh:mm:ss ! Nothing to do.\n"},
      {{"Post", "/cfg:k.cfp"}, "\nhh:mm:ss ! Nothing to do.\n"},
      {{"Post", "/cfg:k.cfp", "/sect:never"}, processed("N", "b.tpl") + kPacketCreated + "\n"},
      {{"post", "/cfg:k.cfp", "/s:WEEKLY"}, processed("Week", "a.tpl") + kPacketCreated + "\n"},
      {{"Post", "/cfg:k.cfp", "/force:Never"}, processed("N", "b.tpl") + kPacketCreated + "\n"},
      {{"Post", "/cfg:k.cfp", "/sect:Empty"}, "\nhh:mm:ss ! Section not found in configuration file.\n"},
      {{"Post", "/cfg:k.cfp", "/sect:Missing"}, "\nhh:mm:ss ! Section not found in configuration file.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    e2e::RunResult r = nuvrel(dir, c.args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(masked(r.out), c.out);
  }
}

TEST(NuvrelPost, TodayWindowAndTheLog) {
  e2e::ScenarioDir dir;
  dir.write("a.tpl", "a\n");
  dir.write("k.cfp", std::string(kAddresses) + "Log post.log\r\nSubj \"Today\"\r\n[A]\r\nDates " + utcDate() +
                         "\r\nFile a.tpl\r\n[B]\r\nDates " + utcDate(1) + "-" + utcDate(9) +
                         "\r\nFile a.tpl\r\n[C]\r\nDates " + utcDate(-9) + "-" + utcDate(-1) + "\r\nFile a.tpl\r\n");
  e2e::RunResult r = nuvrel(dir, {"Post", "/cfg:k.cfp"}, "UTC");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(masked(r.out), processed("Today", "a.tpl") + kPacketCreated + "\n");
  std::string log = masked(dir.read("post.log"));
  EXPECT_EQ(log.substr(log.find("   Nuvrel v 2.10/32")),
            "   Nuvrel v 2.10/32\r" + processed("Today", "a.tpl") + "\r" + kPacketCreated + "\r\n");
  EXPECT_EQ(log.substr(0, 12), "\r\n--------- ");
}

TEST(NuvrelPost, OncePerDayFollowsTheStampFile) {
  e2e::ScenarioDir dir;
  dir.write("a.tpl", "a\n");
  dir.write("k.cfp", std::string(kAddresses) + "Subj \"Daily\"\r\nOncePostPerDay Yes\r\n[Daily]\r\nDates " + utcDate() +
                         "\r\nFile a.tpl\r\nFile a.tpl\r\n[Other]\r\nOncePostPerDay No\r\nFile a.tpl\r\n");
  const std::string posted = processed("Daily", "a.tpl");
  const std::string already = "\nhh:mm:ss   Message(s) already posted today.";
  const std::string daily = "\nhh:mm:ss   \"Daily.TXT\" created.";
  const std::string other = processed("Daily", "a.tpl") + "\nhh:mm:ss   \"Other.TXT\" created.";
  struct Case {
    int stampDaysAgo;  // -1: no stamp file
    Args options;
    std::string out;
    bool stampRenewed;
  } cases[] = {
      {-1, {}, posted + posted + posted + kPacketCreated + "\n", true},
      {1, {}, posted + posted + posted + kPacketCreated + "\n", true},
      {0, {}, already + posted + kPacketCreated + "\n", true},  // logged once; the last line has the rule off
      {0, {"/force"}, posted + posted + posted + kPacketCreated + "\n", true},
      {3, {"/force:daily"}, posted + posted + kPacketCreated + "\n", false},
      {0, {"/txt"}, posted + daily + posted + daily + other + "\n", false},
      {0, {"/test:3"}, posted + daily + posted + daily + other + "\n", false},  // begins with "t": text mode
      {0, {"/sect:Daily"}, already + "\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.stampDaysAgo) + (c.options.empty() ? "" : " " + c.options[0]));
    std::filesystem::remove(dir.file("nuvstamp.bin"));
    if (c.stampDaysAgo >= 0) {
      dir.write("nuvstamp.bin", "");
      setWriteTime(dir, "nuvstamp.bin", c.stampDaysAgo);
    }
    auto before = std::filesystem::exists(dir.file("nuvstamp.bin"))
                      ? std::filesystem::last_write_time(dir.file("nuvstamp.bin"))
                      : std::filesystem::file_time_type{};
    Args args = {"Post", "/cfg:k.cfp"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    e2e::RunResult r = localNuvrel(dir, args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(masked(r.out), c.out);
    bool renewed = std::filesystem::exists(dir.file("nuvstamp.bin")) &&
                   std::filesystem::last_write_time(dir.file("nuvstamp.bin")) != before;
    EXPECT_EQ(renewed, c.stampRenewed);
  }
  // A second run on the same day finds the stamp the first one left.
  std::filesystem::remove(dir.file("nuvstamp.bin"));
  EXPECT_EQ(masked(localNuvrel(dir, {"Post", "/cfg:k.cfp"}).out), posted + posted + posted + kPacketCreated + "\n");
  EXPECT_EQ(masked(localNuvrel(dir, {"Post", "/cfg:k.cfp"}).out), already + posted + kPacketCreated + "\n");
}

// An installed poster, run from elsewhere with the election's configuration: the stamp is kept
// beside that configuration, and the once-a-day rule holds.
TEST(NuvrelPost, StampIsKeptBesideTheConfiguration) {
  e2e::ScenarioDir dir;
  dir.makeDirectory("election");
  dir.write("a.tpl", "a\n");
  dir.write("election/k.cfp",
            std::string(kAddresses) + "Subj \"S\"\r\nOncePostPerDay Yes\r\nDates 1.1.2000-1.1.2100\r\nFile a.tpl\r\n");
  auto post = [&] {
    return masked(e2e::runProgram(NUVREL32_PATH, {"Post", "-cfg:election/k.cfp"}, dir.path(), {{"TZ", "UTC"}}).out);
  };
  EXPECT_EQ(post(), processed("S", "a.tpl") + kPacketCreated + "\n");
  EXPECT_TRUE(dir.exists("election/nuvstamp.bin"));
  EXPECT_EQ(post(), "\nhh:mm:ss   Message(s) already posted today.\n");
}

// Without MaxMsgSize a text of a few lines is one message, not one message a line.
TEST(NuvrelPost, ShortTextIsOneMessageByDefault) {
  e2e::ScenarioDir dir;
  dir.write("a.tpl", "one\ntwo\nthree\nfour\n");
  dir.write("k.cfp", std::string(kAddresses) + "Subj \"S\"\r\nDates 1.1.2000-1.1.2100\r\nFile a.tpl\r\n");
  ASSERT_EQ(nuvrel(dir, {"Post", "/cfg:k.cfp"}).exitCode, 0);
  std::vector<std::string> packets = namesEndingIn(dir, "", ".PKT");
  ASSERT_EQ(packets.size(), 1u);
  packet_reader::Packet p = packet_reader::readPacket(dir.read(packets[0]));
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_TRUE(contains(p.messages[0].text, "\rone\rtwo\rthree\rfour\r")) << p.messages[0].text;
}

TEST(NuvrelTest, ReplaysStagesWindowsAndPeriodsDayByDay) {
  e2e::ScenarioDir dir;
  dir.write("k.cfp",
            "Log test.log\r\nSubj \"Stats\"\r\nBeginDate 20.3.05\r\nDaysStage0 3\r\nDaysStage1 0\r\nDaysStage2 5\r\n"
            "[Announce]\r\nDates %Stage0\r\nPeriod 1\r\nFile a.tpl\r\n"
            "[Weekly]\r\nSubj \"Weekly\"\r\nDates 21.3.2005-3.4.2005\r\nPeriod 7,3*\r\nFile b.tpl\r\n"
            "[Once]\r\nSubj \"Once\"\r\nDates 28.3.2005\r\nFile c.tpl\r\n");
  e2e::RunResult r = nuvrel(dir, {"Test", "12", "/cfg:k.cfp", "/dates:20.3.2005"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "\nTest mode.\n"
            "20 Mar: 0[Stats] \"a.tpl\"\n"
            "21 Mar: 0[Stats] \"a.tpl\"\n"
            "21 Mar: 0[Weekly] \"b.tpl\"\n"
            "22 Mar: 0[Stats] \"a.tpl\"\n"
            "24 Mar: 2[Weekly] \"b.tpl\"\n"  // the fourth day of the window
            "28 Mar [Once] \"c.tpl\"\n"      // after the change to summer time on the 27th
            "31 Mar [Weekly] \"b.tpl\"\n"
            "\n");
  EXPECT_FALSE(dir.exists("test.log"));  // the log is not kept in test mode
  EXPECT_FALSE(dir.exists("a.tpl"));     // templates are not opened either
}

TEST(NuvrelTest, WindowCarriesOverFromThePreviousPass) {
  e2e::ScenarioDir dir;
  dir.write("k.cfp", "Subj \"Early\"\r\n[First]\r\nFile a.tpl\r\n[Second]\r\nPeriod 2\r\nDates 2.3.2005-5.3.2005\r\n");
  e2e::RunResult r = nuvrel(dir, {"Test", "/cfg:k.cfp", "/dates:1.3.2005", "/test:4"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "\nTest mode.\n 2 Mar [Early] \"a.tpl\"\n 4 Mar [Early] \"a.tpl\"\n\n");
}

TEST(NuvrelTest, SectionOptionAndBadDatesOption) {
  e2e::ScenarioDir dir;
  dir.write("k.cfp", "Subj \"S\"\r\n[Never]\r\nDates %Never\r\nFile x.tpl\r\n");
  e2e::RunResult r = nuvrel(dir, {"Test", "1", "/cfg:k.cfp", "/dates:10.10.2005", "/sect:never"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "\nTest mode.\n 8 Oct [S] \"x.tpl\"\n 9 Oct [S] \"x.tpl\"\n10 Oct [S] \"x.tpl\"\n"
            "11 Oct [S] \"x.tpl\"\n12 Oct [S] \"x.tpl\"\n\n");
  r = nuvrel(dir, {"Test", "/cfg:k.cfp", "/dates:10.13.2005"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out, "\nTest mode.\nBad date value.\n");
}

// A whole election posted: candidates, vote base and statistic beside the configuration.
void writeElection(const e2e::ScenarioDir& dir) {
  dir.write("cand.lst", "Ivan\r\nOlga {1}\r\nBoris\r\n");
  dir.write("k.vot",
            "1\t0\t0000000100000002\t2:5020/1.0\tJohn\tpw1\r\n3\t0\t0000000100000003\t2:5020/2.0\tAnn\tpw2\r\n");
  dir.write("k.sta", "VALD=2\r\nDUPE=1\r\n");
  dir.write("res.tpl", "Ballots: %ALLB, valid %VALD (%VALE%%)\n%RESV\n");
  dir.write("k.cfp", std::string(kAddresses) +
                         "Area \"ELECTION\"\r\nSubj \"Results\"\r\nFrom \"Robot\"\r\nMaxMsgSize 8000\r\nPktDir "
                         "out\r\nCandidates cand.lst\r\n"
                         "[Results]\r\nDates 1.1.2000-1.1.2100\r\nFile res.tpl\r\n");
}

TEST(NuvrelPost, PostsAnElectionIntoAPacket) {
  e2e::ScenarioDir dir;
  writeElection(dir);
  e2e::RunResult r = nuvrel(dir, {"Post", "/cfg:k.cfp"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(masked(r.out), "\nhh:mm:ss - Directory \"OUT\" not found, create it." + processed("Results", "res.tpl") +
                               "\nhh:mm:ss   OUT\\########.PKT created.\n");
  std::vector<std::string> packets = dir.list("out");
  ASSERT_EQ(packets.size(), 1u);
  packet_reader::Packet p = packet_reader::readPacket(dir.read("out/" + packets[0]));
  EXPECT_TRUE(p.wellEnded);
  ASSERT_EQ(p.messages.size(), 1u);
  const std::string& text = p.messages[0].text;
  EXPECT_EQ(text.substr(0, 14), "AREA:ELECTION\r");
  EXPECT_NE(text.find("\rBallots: 3, valid 2 (67%)\rIvan     1  (50.0%)\rBoris    1  (50.0%)\rTotal:    2\r\r--- "),
            std::string::npos)
      << text;
  EXPECT_TRUE(dir.exists("nuvstamp.bin"));
}

TEST(NuvrelTest, TextModeWithHeaderWritesTheFilesOfEveryDueDay) {
  e2e::ScenarioDir dir;
  writeElection(dir);
  e2e::RunResult r = nuvrel(dir, {"Test", "0", "/cfg:k.cfp", "/dates:1.3.2005", "/txt", "/hdr"});
  EXPECT_EQ(r.exitCode, 0);
  std::string out = masked(r.out);
  // Four simulated days, each with its test line and its file; the figures stay those of the start.
  const std::string day = processed("Results", "res.tpl") + "\nhh:mm:ss   \"Results.TXT\" created.";
  EXPECT_EQ(out, "\nTest mode.\n\nhh:mm:ss - Directory \"OUT\" not found, create it.27 Feb [Results] \"res.tpl\"\n" +
                     day + "28 Feb [Results] \"res.tpl\"\n" + day + " 1 Mar [Results] \"res.tpl\"\n" + day +
                     " 2 Mar [Results] \"res.tpl\"\n" + day + "\n");
  std::string file = dir.read("Results.TXT");
  EXPECT_NE(file.find("Subj: Results\n"), std::string::npos);
  EXPECT_NE(file.find("Ballots: 3, valid 2 (67%)\nIvan     1  (50.0%)\n"), std::string::npos) << file;
  EXPECT_FALSE(dir.exists("nuvstamp.bin"));
}

// Every simulated day is the posting day of its date, 01:00, also after a change to summer time at
// 01:00 itself: a period of two days keeps its rhythm, and a text's header shows the hour.
TEST(NuvrelTest, EverySimulatedDayIsOneOClockOfItsDate) {
  struct Case {
    const char* zone;
    std::string year;
  } cases[] = {{"Europe/London", "2010"}, {"Europe/Berlin", "2005"}, {"Europe/Moscow", "2005"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zone);
    e2e::ScenarioDir dir;
    dir.write("a.tpl", "a\n");
    dir.write("k.cfp", "FromAddress 2:5020/9999\r\nSubj \"S\"\r\nPeriod 2\r\nDates 26.3." + c.year + "-31.3." + c.year +
                           "\r\n[Every2]\r\nFile a.tpl\r\n");
    e2e::RunResult r = nuvrel(dir, {"Test", "5", "/cfg:k.cfp", "/dates:26.3." + c.year, "/txt", "/hdr"}, c.zone);
    EXPECT_EQ(r.exitCode, 0);
    const std::string day = processed("S", "a.tpl") + "\nhh:mm:ss   \"Every2.TXT\" created.";
    EXPECT_EQ(masked(r.out), "\nTest mode.\n26 Mar [S] \"a.tpl\"\n" + day + "28 Mar [S] \"a.tpl\"\n" + day +
                                 "30 Mar [S] \"a.tpl\"\n" + day + "\n");
    std::string text = dir.read("Every2.TXT");  // the last posting day's
    EXPECT_TRUE(contains(text, "30 Mar " + c.year.substr(2) + "  01:00:00\n")) << text;
  }
}

// Two texts posted, then a template whose third line overflows (exit 22).  The packet holds the
// two finished texts with all their parts and nothing of the third; in text mode the third
// section's file keeps its old text.
TEST(NuvrelPost, ARunEndedInsideATemplateKeepsTheTextsFinishedBeforeIt) {
  e2e::ScenarioDir dir;
  dir.write("a.tpl", "a1\na2\n");
  dir.write("b.tpl", "b1\n");
  dir.write("c.tpl", "c1\nc2\n" + repeat("%AREA", 1000) + "\n");  // 80 000 characters once expanded
  dir.write("k.cfp", std::string(kAddresses) +
                         "Area \"ELECTION\"\r\nSubj \"S\"\r\nMaxMsgSize 1\r\nPktDir out\r\n"
                         "Dates 1.1.2000-1.1.2100\r\n[A]\r\nFile a.tpl\r\n[B]\r\nFile b.tpl\r\n[C]\r\nArea \"" +
                         std::string(80, 'X') + "\"\r\nFile c.tpl\r\n");
  dir.write("C.TXT", "old C\n");
  const std::string posted = processed("S", "a.tpl") + processed("S", "b.tpl") + processed("S", "c.tpl") +
                             "\nhh:mm:ss ! Header bufer overflow (header: \"c.tpl\"). Process aborted.";

  e2e::RunResult r = nuvrel(dir, {"Post", "/cfg:k.cfp"});
  EXPECT_EQ(r.exitCode, 22);
  EXPECT_EQ(masked(r.out), "\nhh:mm:ss - Directory \"OUT\" not found, create it." + posted +
                               "\nhh:mm:ss   OUT\\########.PKT created.\n");
  std::vector<std::string> packets = dir.list("out");
  ASSERT_EQ(packets.size(), 1u);
  packet_reader::Packet p = packet_reader::readPacket(dir.read("out/" + packets[0]));
  EXPECT_TRUE(p.wellEnded);
  std::vector<std::string> subjects, lines;
  for (const packet_reader::PackedMessage& m : p.messages) {
    subjects.push_back(m.subject);
    for (const char* line : {"\ra1\r", "\ra2\r", "\rb1\r", "\rc1\r", "\rc2\r"}) {
      if (contains(m.text, line)) lines.push_back(std::string(line).substr(1, 2));
    }
  }
  EXPECT_EQ(subjects, (std::vector<std::string>{"S", "[part 2] S", "S"}));
  EXPECT_EQ(lines, (std::vector<std::string>{"a1", "a2", "b1"}));
  EXPECT_TRUE(dir.exists("nuvstamp.bin"));  // what the packet holds was posted today

  r = nuvrel(dir, {"Post", "/cfg:k.cfp", "/txt"});
  EXPECT_EQ(r.exitCode, 22);
  EXPECT_EQ(masked(r.out), processed("S", "a.tpl") + "\nhh:mm:ss   \"A.TXT\" created." + processed("S", "b.tpl") +
                               "\nhh:mm:ss   \"B.TXT\" created." + processed("S", "c.tpl") +
                               "\nhh:mm:ss ! Header bufer overflow (header: \"c.tpl\"). Process aborted.\n");
  EXPECT_TRUE(contains(dir.read("A.TXT"), "a1\na2\n"));
  EXPECT_EQ(dir.read("C.TXT"), "old C\n");
  EXPECT_EQ(namesEndingIn(dir, "", ".$$$"), std::vector<std::string>{});
}

// A Post run disturbed at each of its disk operations in turn: killed there ("kill"), or that one
// operation failing as on a full disk ("fail").  A packet, when there is one, is whole with every
// message of the run; each text file holds its old text or its new one, whole.  A failing run
// ends with code 14 and tells of no file it did not make; a killed run's leftovers go with the
// next run.
void walkPostFaults(const std::string& mode, bool textMode) {
  e2e::ScenarioDir dir(e2e::ScenarioDir::kInMemory);
  dir.write("a.tpl", repeat("The first text, long enough to be split into parts.\n", 20));
  dir.write("b.tpl", "The second text.\n");
  dir.write("k.cfp", std::string(kAddresses) +
                         "Area \"ELECTION\"\r\nSubj \"S\"\r\nMaxMsgSize 300\r\nPktDir out\r\n"
                         "Dates 1.1.2000-1.1.2100\r\n[A]\r\nFile a.tpl\r\n[B]\r\nFile b.tpl\r\n");
  dir.makeDirectory("out");
  Args args = {"Post", "/cfg:k.cfp"};
  if (textMode) args.push_back("/txt");
  const std::map<std::string, std::string> oldTexts = {{"A.TXT", "old A\n"}, {"B.TXT", "old B\n"}};
  auto reset = [&] {
    for (const std::string& name : dir.list("out")) std::filesystem::remove(dir.file("out/" + name));
    for (const auto& [name, bytes] : oldTexts) dir.write(name, bytes);
  };
  size_t messages = 0;  // of the undisturbed run's packet
  auto wholePackets = [&] {
    std::vector<std::string> packets = namesEndingIn(dir, "out", ".PKT");
    for (const std::string& name : packets) {
      packet_reader::Packet p = packet_reader::readPacket(dir.read("out/" + name));
      EXPECT_TRUE(p.wellEnded) << name;
      EXPECT_EQ(p.messages.size(), messages) << name;
    }
    return packets.size();
  };
  reset();
  e2e::RunResult undisturbed = nuvrel(dir, args);
  ASSERT_EQ(undisturbed.exitCode, 0) << undisturbed.out;
  if (!textMode) {
    ASSERT_EQ(dir.list("out").size(), 1u);
    messages = packet_reader::readPacket(dir.read("out/" + dir.list("out")[0])).messages.size();
    EXPECT_GT(messages, 2u);  // the first text split into parts
  }
  std::map<std::string, std::string> newTexts;
  for (const auto& [name, bytes] : oldTexts) newTexts[name] = dir.read(name);

  int points = 0;
  for (int n = 1; n < 100; ++n) {
    reset();
    e2e::RunResult r =
        localNuvrel(dir, args, "UTC", {{"KELVANOTH_FAULT_AT", std::to_string(n)}, {"KELVANOTH_FAULT", mode}});
    SCOPED_TRACE(mode + " at operation " + std::to_string(n) + ": " + r.err);
    if (!contains(r.err, "fault injected at operation " + std::to_string(n) + ":")) {
      EXPECT_EQ(r.exitCode, 0) << r.out;  // the run had fewer operations
      break;
    }
    ++points;
    size_t packets = wholePackets();
    size_t renewed = 0;
    for (const auto& [name, bytes] : oldTexts) {
      std::string now = dir.read(name);
      EXPECT_TRUE(now == bytes || now == newTexts[name]) << name << " holds: " << now;
      if (now != bytes) ++renewed;
    }
    if (mode == "kill") {
      EXPECT_EQ(r.exitCode, 128 + SIGKILL);
      e2e::RunResult next = nuvrel(dir, args);
      EXPECT_EQ(next.exitCode, 0) << next.out;
      wholePackets();
      for (const auto& [name, bytes] : newTexts) EXPECT_EQ(dir.read(name), bytes) << name;
    } else {
      EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 14) << r.exitCode << r.out;
      size_t created = 0;
      for (size_t at = r.out.find(" created."); at != std::string::npos; at = r.out.find(" created.", at + 1))
        ++created;
      EXPECT_EQ(created, textMode ? renewed : packets) << r.out;
      if (r.exitCode == 0) {
        EXPECT_EQ(created, textMode ? 2u : 1u) << r.out;
      }
    }
    EXPECT_EQ(namesEndingIn(dir, "out", ".$$$"), std::vector<std::string>{});
    EXPECT_EQ(namesEndingIn(dir, "", ".$$$"), std::vector<std::string>{});
  }
  EXPECT_GE(points, textMode ? 10 : 6) << "the fault hook fired at only " << points << " operations";
}

TEST(NuvrelPost, KilledAtAnyOperationLeavesAWholePacketOrNone) { walkPostFaults("kill", false); }
TEST(NuvrelPost, KilledAtAnyOperationLeavesEachTextOldOrNew) { walkPostFaults("kill", true); }
TEST(NuvrelPost, AnyOneFailingOperationLeavesAWholePacketOrNone) { walkPostFaults("fail", false); }
TEST(NuvrelPost, AnyOneFailingOperationLeavesEachTextOldOrNew) { walkPostFaults("fail", true); }

// A disk too small for the run's output: the run ends with the output error, tells of no file
// created, and leaves neither a packet nor a temporary behind; an old text file stays as it was.
TEST(NuvrelPost, AFullDiskEndsWithTheOutputErrorAndLeavesNothingBehind) {
  e2e::ScenarioDir dir;
  dir.makeDirectory("disk");
  if (::mount("tmpfs", dir.file("disk").c_str(), "tmpfs", 0, "size=16k") != 0) {
    GTEST_SKIP() << "a small tmpfs cannot be mounted here (" << std::strerror(errno)
                 << "); the full-disk test needs it";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{dir.file("disk")};
  dir.write("disk/A.TXT", "old A\n");
  dir.write("a.tpl", repeat(std::string(70, 'x') + "\n", 400));  // 28 KB for a disk of 16
  dir.write("k.cfp", std::string(kAddresses) + "Subj \"S\"\r\nMaxMsgSize 100000\r\nPktDir " + dir.file("disk") +
                         "\r\n[A]\r\nDates 1.1.2000-1.1.2100\r\nFile " + dir.file("a.tpl") + "\r\n");
  for (bool textMode : {false, true}) {
    SCOPED_TRACE(textMode ? "text mode" : "packet mode");
    Args args = {"Post", "/cfg:" + dir.file("k.cfp")};
    if (textMode) args.push_back("/txt");
    e2e::RunResult r = localNuvrel(dir, args, "UTC", {}, dir.file("disk"));
    EXPECT_EQ(r.exitCode, 14);
    EXPECT_TRUE(contains(r.out, "create error")) << r.out;
    EXPECT_FALSE(contains(r.out, "created.")) << r.out;
    EXPECT_EQ(dir.list("disk"), std::vector<std::string>{"A.TXT"});
    EXPECT_EQ(dir.read("disk/A.TXT"), "old A\n");
    EXPECT_FALSE(dir.exists("nuvstamp.bin"));
  }
}

}  // namespace
