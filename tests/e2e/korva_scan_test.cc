// Scan through the built vote manager: scenario directories of configuration, lists and stored
// messages, and what the run leaves behind (vote base, statistics, filed messages, replies, log).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/e2e/scan_scenario.h"

namespace {

using e2e::contains;
using e2e::Election;
using testmsg::StoredMessage;

TEST(KorvaScan, AcceptsABallotRecordsFilesAndAnswers) {
  Election e;
  e.writeSetup();
  e.put("in/1.msg", e.ballot("Ivan Petrov", 1, "Alpha !secret"));
  e2e::RunResult r = e.scan();
  ASSERT_EQ(r.exitCode, 0) << r.out;

  EXPECT_EQ(e.voteBase(), "1\t0\t0000000000000000\t2:5020/1.0\tIvan Petrov\tsecret\r\n");
  EXPECT_TRUE(contains(e.dir.read("x.sta"), "VALD=1\r\n"));
  EXPECT_EQ(e.dir.list("in"), std::vector<std::string>{});
  EXPECT_EQ(e.dir.list("valid"), std::vector<std::string>{"1.msg"});
  EXPECT_EQ(e.dir.read("valid/1.msg"), e.ballot("Ivan Petrov", 1, "Alpha !secret").bytes());

  // The reply: to the sender, with the template's text.
  ASSERT_EQ(e.dir.list("out"), std::vector<std::string>{"1.msg"});
  std::string reply = e.dir.read("out/1.msg");
  EXPECT_EQ(reply.substr(36, 11), std::string("Ivan Petrov"));
  EXPECT_TRUE(contains(reply, "Accepted: Ivan Petrov\r"));
  EXPECT_TRUE(contains(reply,
                       "\x01"
                       "REPLY: 2:5020/1 1234abcd\r"));

  std::string log = e2e::maskTimes(e.dir.read("korva.log"));
  for (const char* line :
       {"hh:mm:ss * Process \"1.MSG\"", "hh:mm:ss   >> Moved to \"", "+    Ballot successfully processed.",
        "hh:mm:ss < Send message to 2:5020/1.0, template: \"valid.tpl\".",
        "hh:mm:ss = Total processed 1 message(s)."}) {
    EXPECT_TRUE(contains(log, line)) << line << "\n" << log;
  }
}

TEST(KorvaScan, NumberedFilesFirstThenTheOthers) {
  Election e;
  e.writeSetup();
  e.put("in/3.msg", e.ballot("Voter Three", 3, "Alpha !a"));
  e.put("in/1.msg", e.ballot("Voter One", 1, "Alpha !b"));
  e.put("in/abc.msg", e.ballot("Voter Abc", 4, "Beta !c"));
  // Names that are no plain message number are judged too, after the numbered ones.
  for (const char* odd : {"0007.msg", "2x.msg", "3.msg.msg", "70000.msg"}) {
    e.put(std::string("in/") + odd, e.ballot(std::string("Odd ") + odd, 5, "Gamma !o"));
  }
  e.dir.write("valid/7.msg", "x");
  e.dir.write("valid/12.msg", "y");
  ASSERT_EQ(e.scan().exitCode, 0);
  std::string vot = e.voteBase();
  EXPECT_LT(vot.find("Voter One"), vot.find("Voter Three"));
  EXPECT_LT(vot.find("Voter Three"), vot.find("Odd 0007.msg"));
  EXPECT_LT(vot.find("Odd 0007.msg"), vot.find("Voter Abc"));
  for (const char* odd : {"Odd 2x.msg", "Odd 3.msg.msg", "Odd 70000.msg"}) EXPECT_TRUE(contains(vot, odd)) << odd;
  EXPECT_EQ(e.dir.list("in"), std::vector<std::string>{});
  EXPECT_EQ(e.dir.list("valid").size(), 9u);
  EXPECT_TRUE(contains(e.dir.read("valid/13.msg"), "Voter One"));
  EXPECT_TRUE(contains(e.dir.read("x.sta"), "VALD=7\r\n"));
}

struct Refusal {
  const char* name;
  const char* config;  // extra configuration lines
  StoredMessage message;
  const char* verdict;    // statistic line expected
  const char* directory;  // where the ballot lands
  const char* logLine;
};

TEST(KorvaScan, EachRefusalFilesCountsAndAnswers) {
  Election base;
  StoredMessage ok = base.ballot("Ivan Petrov", 1, "Alpha !secret");
  auto with = [&](auto change) {
    StoredMessage m = ok;
    change(m);
    return m;
  };
  std::vector<Refusal> cases = {
      {"subject", "CheckSubj Yes\r\n", with([](StoredMessage& m) { m.subject = "Other"; }), "SUBI=1", "badsubj",
       "? -- Unknown Subj: \"Other\"."},
      {"too soon", "", with([](StoredMessage& m) { m.date = "05 Mar 05  10:20:30"; }), "DATS=1", "baddate",
       "? -- Ballot is received too soon."},
      {"too late", "", with([](StoredMessage& m) { m.date = "05 May 05  10:20:30"; }), "DATL=1", "baddate",
       "? -- Ballot is received too late."},
      {"future date", "", with([](StoredMessage& m) { m.date = "05 Apr 30  10:20:30"; }), "DATI=1", "baddate",
       "? -- Bad date."},
      // By the robot's clock the period is over, whatever date the sender's clock gave.
      {"future date after the period", "BadDateAccept Yes\r\nCheckDateSystem Yes\r\n",
       with([](StoredMessage& m) { m.date = "05 Apr 30  10:20:30"; }), "DATL=1", "baddate",
       "? -- Ballot is received too late."},
      // Still April where it was written, but already May for the robot (UTC).
      {"too late in the sender's zone", "", with([](StoredMessage& m) {
         m.date = "30 Apr 05  22:00:00";
         m.kludge("TZUTC: -0500");
       }),
       "DATL=1", "baddate", "? -- Ballot is received too late."},
      {"point", "ValidAddress 2:5020/*.0\r\n", base.ballot("Point Voter", 1, "Alpha !p", 7), "PNTC=1", "invalid",
       "? -- Ballot from point not accepted."},
      {"rejected", "RejectAddress 2:5020/1\r\n", ok, "ADDI=1", "invalid", "? -- Originating address not validated."},
      {"unlisted", "CheckValidAddress Yes\r\nValidAddressList valid.lst\r\n", base.ballot("Nobody", 2, "Alpha !x"),
       "ADDL=1", "invalid", "? -- Originating address not found in valid adresses list."},
      {"list name", "CheckValidAddress Yes\r\nValidAddressList valid.lst\r\n", base.ballot("Wrong Name", 1, "Alpha !x"),
       "ADDN=1", "invalid", "? -- FromName not found in valid adresses list."},
      {"not in nodelist", "CheckListedNode Yes\r\n", base.ballot("Nobody", 9, "Alpha !x"), "NDLA=1", "badnode",
       "? -- (Boss)Node not found in nodelist."},
      {"pvt", "CheckPvtNode Yes\r\n", base.ballot("Pvt Sysop", 2, "Alpha !x"), "NDLP=1", "badnode",
       "? -- Ballot from \"Pvt\" node."},
      {"e-mail", "CheckValidAddress Yes\r\nValidAddressList valid.lst\r\n", with([](StoredMessage& m) {
         m.origNode = 4;
         m.lines[0] = "\x01INTL 2:5020/50 2:5020/4";
         m.lines[1] = "\x01MSGID: 2:5020/4 1234abcd";
         m.kludge("REPLYADDR other@example.org");
       }),
       "ADDE=1", "invalid", "? -- Originating e-mail not found in valid adresses list."},
      {"hold", "CheckHoldNode Yes\r\n", base.ballot("Held Sysop", 5, "Alpha !x"), "NDLH=1", "badnode",
       "? -- Ballot from \"Hold\" node."},
      {"down", "CheckDownNode Yes\r\n", base.ballot("Down Sysop", 6, "Alpha !x"), "NDLD=1", "badnode",
       "? -- Ballot from \"Down\" node."},
      {"point name", "Pointlist points.pnt\r\nCheckPointName Yes\r\n", base.ballot("Somebody", 1, "Alpha !x", 1),
       "NAMP=1", "badnode", "? -- Invalid name (expected \"Point One\")."},
      {"direct from point", "", base.ballot("Point One", 1, "Alpha !x", 1), "PNTD=1", "badroute",
       "? -- Direct ballot from point not accepted."},
      {"routing", "CheckRouting Yes\r\n", with([](StoredMessage& m) {
         m.line("\x01Via 2:5030/1.5 @20050405.102030");
         m.line("\x01Via 2:5020/50 @20050405.102031");
       }),
       "ROUT=1", "badroute", "? -- Invalid routing."},
      {"reply-to", "CheckReplyTo Yes\r\n", with([](StoredMessage& m) { m.kludge("REPLYTO 2:5020/10 UUCP"); }), "REPL=1",
       "badmsgid", "? -- \"From\" and \"@REPLYTO\" addresses is different."},
      {"node name", "CheckNodeName Yes\r\n", base.ballot("Petr Ivanov", 1, "Alpha !x"), "NAMN=1", "badnode",
       "? -- Invalid name (expected \"Ivan Petrov\")."},
      {"msgid", "CheckMsgId Yes\r\n", with([](StoredMessage& m) { m.lines[1] = "\x01MSGID: 2:5020/77 1234abcd"; }),
       "MSGI=1", "badmsgid", "? -- MsgId Kludge not corresponded From address."},
      {"two choices", "", base.ballot("Ivan Petrov", 1, "Alpha !a", 0, "Beta"), "MANY=1", "badsyntax",
       "? -- Ballot contents more 1 choises."},
      {"no candidate", "", base.ballot("Ivan Petrov", 1, "Nobody !a"), "UNKC=1", "badsyntax",
       "? -- Unknown candidate name."},
      {"empty password", "", base.ballot("Ivan Petrov", 1, "Alpha !"), "PASE=1", "badsyntax",
       "? -- Empty password not accepted."},
      {"bad password", "", base.ballot("Ivan Petrov", 1, "Alpha  secret"), "PASI=1", "badsyntax",
       "? -- Bad password not accepted."},
      // Its record would have no name, which marks a deleted record: never reported as accepted.
      {"empty from name", "", base.ballot("", 1, "Alpha !x"), "OTHR=1", "invalid", "? -- Empty sender name."},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    Election e;
    e.writeSetup(c.config);
    e.put("in/1.msg", c.message);
    e2e::RunResult r = e.scan();
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(contains(e.dir.read("x.sta"), std::string(c.verdict) + "\r\n")) << e.dir.read("x.sta");
    EXPECT_EQ(e.dir.list(c.directory), std::vector<std::string>{"1.msg"});
    EXPECT_EQ(e.voteBase(), "");
    EXPECT_TRUE(contains(e.dir.read("korva.log"), c.logLine)) << e.dir.read("korva.log");
    // Every refusal is answered from its template.
    ASSERT_EQ(e.dir.list("out"), std::vector<std::string>{"1.msg"});
    EXPECT_TRUE(contains(e.dir.read("out/1.msg"), "Refused: "));
  }
}

TEST(KorvaScan, ForeignAndUnreadableMessagesStayInPlace) {
  Election e;
  e.writeSetup();
  StoredMessage foreignAddress = e.ballot("Ivan Petrov", 1, "Alpha !a");
  foreignAddress.lines[0] = "\x01INTL 2:5020/51 2:5020/1";
  foreignAddress.destNode = 51;
  StoredMessage foreignName = e.ballot("Ivan Petrov", 1, "Alpha !a");
  foreignName.to = "Somebody";
  e.put("in/1.msg", foreignAddress);
  e.put("in/2.msg", foreignName);
  e.dir.write("in/3.msg", "too short");
  e.dir.write("in/4.msg", "");
  // A link is never followed: the file it names would be quoted into the log and the reply.
  e.dir.write("secret.txt", std::string(190, 'S') + "Alpha !secret\r");
  ASSERT_EQ(::symlink(e.dir.file("secret.txt").c_str(), e.dir.file("in/5.msg").c_str()), 0);
  e2e::RunResult r = e.scan();
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_EQ(e.dir.list("in"), (std::vector<std::string>{"1.msg", "2.msg", "3.msg", "4.msg", "5.msg"}));
  std::string log = e.dir.read("korva.log");
  EXPECT_TRUE(contains(log, "5.msg\" is not a regular file, left in place.")) << log;
  EXPECT_FALSE(contains(log, "SSSS"));
  EXPECT_TRUE(contains(log, "? -- Foreign destination address: 2:5020/51.0, ignore."));
  EXPECT_TRUE(contains(log, "? -- Foreign destination name \"Somebody\", ignore."));
  EXPECT_EQ(e.dir.list("out"), std::vector<std::string>{});
  EXPECT_EQ(e.voteBase(), "");
}

TEST(KorvaScan, EmptyInboundSaysSoOnTheTerminalUnlessQuiet) {
  Election e;
  e.writeSetup();
  e2e::RunResult r = e2e::runProgramWithTerminal(KORVA32_PATH, {"Scan", "-cfg:x.cfg"}, e.dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(contains(r.terminal, "*.MSG files not found.")) << r.terminal;
  r = e2e::runProgramWithTerminal(KORVA32_PATH, {"Scan", "-cfg:x.cfg", "-quiet"}, e.dir.path());
  EXPECT_EQ(r.out + r.terminal, "");
}

// Quiet, as from cron: a run that goes well prints nothing at all, one that needs the operator
// prints just that; the log has everything either way.
TEST(KorvaScan, QuietScanPrintsOnlyWhatNeedsAnOperator) {
  Election e;
  e.writeSetup();
  e.put("in/1.msg", e.ballot("Ivan Petrov", 1, "Alpha !secret"));
  e2e::RunResult r = e2e::runProgram(KORVA32_PATH, {"Scan", "-cfg:x.cfg", "-q"}, e.dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_TRUE(contains(e.dir.read("korva.log"), "Ballot successfully processed.")) << e.dir.read("korva.log");
  e.dir.makeDirectory("in/2.msg");
  e.put("in/3.msg", e.ballot("Voter Three", 3, "Beta !pass"));
  r = e2e::runProgram(KORVA32_PATH, {"Scan", "-cfg:x.cfg", "-quiet"}, e.dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(e2e::maskTimes(r.out), "\nhh:mm:ss ! \"IN\\2.msg\" is not a regular file, left in place.\n");
}

TEST(KorvaScan, UncheckedPassRecordsWhatTheCheckingPassRefuses) {
  Election e;
  e.writeSetup("NetmailUnCheck uncheck\r\nCheckSubj Yes\r\n");
  StoredMessage wrongSubject = e.ballot("Voter One", 1, "Alpha !a");
  wrongSubject.subject = "Other";
  e.put("uncheck/1.msg", wrongSubject);
  e.put("uncheck/2.msg", e.ballot("Voter Two", 2, "Alpha !b", 0, "Beta"));
  e.put("uncheck/3.msg", e.ballot("Voter Three", 3, "Nobody !c"));
  e2e::RunResult r = e.scan();
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_EQ(e.voteBase(),
            "1\t0\t0000000000000000\t2:5020/1.0\tVoter One\ta\r\n"
            "-1\t0\t0000000000000000\t2:5020/2.0\tVoter Two\tb\r\n");
  EXPECT_EQ(e.dir.list("uncheck"), std::vector<std::string>{"3.msg"});
  EXPECT_TRUE(contains(e.dir.read("korva.log"), "= Total processed 3 messages."));
  EXPECT_TRUE(contains(e.dir.read("out/1.msg"), "Unchecked accepted"));
}

TEST(KorvaScan, RevotesUpToTheLimitThenRefused) {
  Election e;
  e.writeSetup("MaxRevotes 2\r\n");
  // The first revote cancels a ballot filed by an earlier run, the second one filed by this run.
  e.put("in/1.msg", e.ballot("Ivan Petrov", 1, "Alpha !a"));
  ASSERT_EQ(e.scan().exitCode, 0);
  e.put("in/2.msg", e.ballot("Ivan Petrov", 1, "Beta !a"));
  e.put("in/3.msg", e.ballot("Ivan Petrov", 1, "Gamma !a"));
  e.put("in/4.msg", e.ballot("Ivan Petrov", 1, "Alpha !a"));
  e.put("in/5.msg", e.ballot("Ivan Petrov", 1, "Gamma !a"));
  ASSERT_EQ(e.scan().exitCode, 0);
  EXPECT_EQ(e.voteBase(),
            "-1\t1\t0000000000000000\t2:5020/1.0\tIvan Petrov\ta\r\n"
            "-2\t2\t0000000000000000\t2:5020/1.0\tIvan Petrov\ta\r\n"
            "3\t2\t0000000000000000\t2:5020/1.0\tIvan Petrov\ta\r\n");
  // The earlier ballots went from valid to cancel; the fourth was over the limit, the fifth a duplicate.
  ASSERT_EQ(e.dir.list("valid").size(), 1u);
  EXPECT_EQ(e.dir.read("valid/" + e.dir.list("valid")[0]), e.ballot("Ivan Petrov", 1, "Gamma !a").bytes());
  EXPECT_EQ(e.dir.list("cancel"), (std::vector<std::string>{"1.msg", "2.msg"}));
  EXPECT_EQ(e.dir.read("cancel/1.msg"), e.ballot("Ivan Petrov", 1, "Alpha !a").bytes());
  EXPECT_EQ(e.dir.read("cancel/2.msg"), e.ballot("Ivan Petrov", 1, "Beta !a").bytes());
  EXPECT_EQ(e.dir.list("dupe").size(), 2u);
  std::string sta = e.dir.read("x.sta");
  EXPECT_TRUE(contains(sta, "VALD=3\r\n"));
  EXPECT_TRUE(contains(sta, "DUPE=2\r\n"));
  EXPECT_TRUE(contains(sta, "CANP=2\r\n"));
  std::string log = e.dir.read("korva.log");
  EXPECT_TRUE(contains(log, "# -- Previous vote from Ivan Petrov (2:5020/1.0) canceled."));
  EXPECT_TRUE(contains(log, "? -- Revotes limit exceed."));
  EXPECT_TRUE(contains(log, "? -- Duplicate ballot."));
}

TEST(KorvaScan, WithoutRevotesAChangedVoteIsRefused) {
  Election e;
  e.writeSetup();
  e.put("in/1.msg", e.ballot("Ivan Petrov", 1, "Alpha !a"));
  e.put("in/2.msg", e.ballot("Ivan Petrov", 1, "Beta !a"));
  ASSERT_EQ(e.scan().exitCode, 0);
  EXPECT_EQ(e.voteBase(), "1\t0\t0000000000000000\t2:5020/1.0\tIvan Petrov\ta\r\n");
  EXPECT_TRUE(contains(e.dir.read("out/2.msg"), "Revote limit"));
}

TEST(KorvaScan, ABallotFromEastOfTheRobotIsNotFromTheFuture) {
  Election e;
  e.writeSetup("Dates 1.1.2001-31.12.2078\r\n");
  const std::time_t now = std::time(nullptr);
  // The header date as a sender three hours east of the robot's UTC writes it.
  auto ballotAt = [&](const char* from, int node, std::time_t utc) {
    std::time_t senderClock = utc + 3 * 3600;
    std::tm tm{};
    gmtime_r(&senderClock, &tm);
    char text[20];
    std::strftime(text, sizeof text, "%d %b %y  %H:%M:%S", &tm);
    StoredMessage m = e.ballot(from, node, "Alpha !a");
    m.date = text;
    m.kludge("TZUTC: 0300");
    return m;
  };
  e.put("in/1.msg", ballotAt("Ivan Petrov", 1, now - 30 * 60));  // its header date 2.5 hours ahead
  e.put("in/2.msg", ballotAt("Voter Three", 3, now + 30 * 60));  // ahead in its own zone too
  ASSERT_EQ(e.scan().exitCode, 0);
  EXPECT_EQ(e.voteBase(), "1\t0\t0000000000000000\t2:5020/1.0\tIvan Petrov\ta\r\n");
  EXPECT_TRUE(contains(e.dir.read("x.sta"), "DATI=1\r\n"));
}

TEST(KorvaScan, AcceptedEmptyPasswordGetsItsMarker) {
  Election e;
  e.writeSetup("BadPasswordAccept Yes\r\n");
  e.put("in/1.msg", e.ballot("Ivan Petrov", 1, "Alpha !"));
  ASSERT_EQ(e.scan().exitCode, 0);
  EXPECT_EQ(e.voteBase(), "1\t0\t0000000000000000\t2:5020/1.0\tIvan Petrov\t<-Empty password->\r\n");
}

// The log tells of a move only once it is done.
TEST(KorvaScan, AFailedMoveIsNotLoggedAsDone) {
  Election e;
  e.writeSetup();
  e.dir.makeDirectory("valid/1.msg");  // not a message, but its name is taken
  e.put("in/1.msg", e.ballot("Ivan Petrov", 1, "Alpha !a"));
  e2e::RunResult r = e.scan();
  EXPECT_EQ(r.exitCode, 16);
  std::string log = e.dir.read("korva.log");
  EXPECT_TRUE(contains(log, "! Can't move file (error=")) << log;
  EXPECT_FALSE(contains(log, ">> Moved to")) << log;
}

TEST(KorvaScan, OneVoteFromNodeCancelsItsPoints) {
  Election e;
  e.writeSetup("OneVoteFromNode Yes\r\nPointDirectAccept Yes\r\n");
  e.put("in/1.msg", e.ballot("Point One", 1, "Alpha !p", 1));
  e.put("in/2.msg", e.ballot("Ivan Petrov", 1, "Beta !n"));
  e.put("in/3.msg", e.ballot("Point Two", 1, "Beta !q", 2));
  e.put("in/4.msg", e.ballot("Ivan Petrov", 1, "Beta !n"));
  ASSERT_EQ(e.scan().exitCode, 0);
  EXPECT_EQ(e.voteBase(),
            "-1\t0\t0000000000000000\t2:5020/1.1\tPoint One\tp\r\n"
            "2\t0\t0000000000000000\t2:5020/1.0\tIvan Petrov\tn\r\n");
  std::string log = e.dir.read("korva.log");
  EXPECT_TRUE(contains(log, "# -- Vote from Point One (2:5020/1.1) canceled!")) << log;
  EXPECT_TRUE(contains(log, "? -- 2:5020/1.1 already voted."));
  // Replies 1 (point), notice to the point, reply 2, refusal 3, duplicate 4: the point is told once.
  int notices = 0;
  for (const std::string& name : e.dir.list("out"))
    notices += contains(e.dir.read("out/" + name), "Your vote was cancelled");
  EXPECT_EQ(notices, 1);
}

// The node's UserID placeholder stands before its point's vote: the node's vote still cancels it.
TEST(KorvaScan, OneVoteFromNodeCancelsPointsAfterThePlaceholder) {
  Election e;
  e.writeSetup("OneVoteFromNode Yes\r\nPointDirectAccept Yes\r\nCheckUserID Yes\r\n");
  e.put("in/1.msg", e.ballot("Ivan Petrov", 1, "Alpha !"));  // refused, but the node gets its UserID
  ASSERT_EQ(e.scan().exitCode, 0);
  std::string vot = e.voteBase();
  std::string id = vot.substr(vot.find('\t', 2) + 1, 16);
  e.put("in/2.msg", e.ballot("Point One", 1, "Alpha !p", 1));
  StoredMessage node = e.ballot("Ivan Petrov", 1, "Beta !n");
  node.subject = "Elections 2005  [" + id + "]";
  e.put("in/3.msg", node);
  ASSERT_EQ(e.scan().exitCode, 0);
  vot = e.voteBase();
  EXPECT_TRUE(contains(vot, "-1\t0\t")) << vot;
  EXPECT_TRUE(contains(vot, "2\t0\t" + id + "\t2:5020/1.0\tIvan Petrov\tn\r\n")) << vot;
  EXPECT_TRUE(contains(e.dir.read("korva.log"), "# -- Vote from Point One (2:5020/1.1) canceled!"));
}

TEST(KorvaScan, UserIdsAreIssuedAndChecked) {
  Election e;
  e.writeSetup("CheckUserID Yes\r\nMaxRevotes 3\r\n");
  e.put("in/1.msg", e.ballot("Ivan Petrov", 1, "Alpha !a"));
  ASSERT_EQ(e.scan().exitCode, 0);
  std::string vot = e.voteBase();
  ASSERT_EQ(vot.size() > 20, true) << vot;
  std::string id = vot.substr(vot.find('\t', 2) + 1, 16);
  EXPECT_NE(id.substr(0, 8), "00000000");
  EXPECT_TRUE(contains(e.dir.read("korva.log"), ": Set new UserID: " + id));
  EXPECT_TRUE(contains(e.dir.read("out/1.msg"), "Elections 2005  [" + id + "]"));

  // Without the UserID, or with another, a later ballot is refused; with it, it is a revote.
  e.put("in/2.msg", e.ballot("Ivan Petrov", 1, "Beta !a"));
  StoredMessage wrong = e.ballot("Ivan Petrov", 1, "Beta !a");
  wrong.subject = "Elections 2005  [0000000100000002]";
  e.put("in/3.msg", wrong);
  StoredMessage right = e.ballot("Ivan Petrov", 1, "Beta !a");
  right.subject = "Re: Elections 2005  [" + id + "]";
  e.put("in/4.msg", right);
  ASSERT_EQ(e.scan().exitCode, 0);
  std::string log = e.dir.read("korva.log");
  EXPECT_TRUE(contains(log, "? -- Empty UserID"));
  EXPECT_TRUE(contains(log, "? -- Invalid UserID: 0000000100000002 (expected " + id + ")"));
  EXPECT_TRUE(contains(e.dir.read("x.sta"), "BUID=2\r\n"));
  EXPECT_EQ(e.dir.list("baduserid").size(), 2u);
  EXPECT_TRUE(contains(e.voteBase(), "2\t1\t" + id + "\t2:5020/1.0\tIvan Petrov\ta\r\n")) << e.voteBase();

  // An elector behind a gateway is recorded and found under the e-mail address: the UserID holds,
  // a revote cancels the first ballot, and no third ballot counts beside them.
  auto gateway = [&e](const std::string& line, const std::string& userId) {
    StoredMessage m = e.ballot("Gateway", 4, line);
    m.kludge("REPLYADDR voter@example.org");
    if (!userId.empty()) m.subject = "Elections 2005  [" + userId + "]";
    return m;
  };
  e.put("in/5.msg", gateway("Alpha !g", ""));
  ASSERT_EQ(e.scan().exitCode, 0);
  vot = e.voteBase();
  size_t at = vot.find("\t2:5020/4.0\t<voter@example.org>\tg");
  ASSERT_NE(at, std::string::npos) << vot;
  std::string gid = vot.substr(at - 16, 16);
  e.put("in/6.msg", gateway("Beta !g", gid));
  e.put("in/7.msg", gateway("Gamma !g", gid));
  ASSERT_EQ(e.scan().exitCode, 0);
  vot = e.voteBase();
  EXPECT_TRUE(contains(vot, "-1\t1\t" + gid + "\t2:5020/4.0\t<voter@example.org>\tg\r\n")) << vot;
  EXPECT_TRUE(contains(vot, "2\t1\t" + gid + "\t2:5020/4.0\t<voter@example.org>\tg\r\n")) << vot;
  EXPECT_FALSE(contains(vot, "\t3\t")) << vot;
  EXPECT_TRUE(contains(e.dir.read("korva.log"), "? -- Already voted, was cancelled."));
  EXPECT_EQ(e.dir.list("cancel").size(), 3u);  // the two earlier ballots and the refused third
}

// Sender text put into the robot's messages never makes a line of its own, let alone a kludge.
TEST(KorvaScan, SenderTextStaysWithinItsLine) {
  Election e;
  e.writeSetup("AuditTpl audit.tpl\r\n");
  e.dir.write("audit.tpl", "%CLOG\r\n%FNAM %SUBJ\r\n");
  StoredMessage m = e.ballot("Iv\r\x01INTL 1:1/1 2:2/2", 1, "Alpha !a");
  m.subject = "Other\r\x01INTL 3:3/3 4:4/4";
  e.put("in/1.msg", m);
  ASSERT_EQ(e.scan().exitCode, 0);
  ASSERT_EQ(e.dir.list("out").size(), 2u);
  for (const std::string& name : e.dir.list("out")) {
    std::string written = e.dir.read("out/" + name);
    EXPECT_FALSE(contains(written, "\x01INTL 1:1/1")) << name;
    EXPECT_FALSE(contains(written, "\x01INTL 3:3/3")) << name;
  }
  EXPECT_TRUE(contains(e.dir.read("out/1.msg"), "Accepted: Iv  INTL 1:1/1 2:2/2\r"));
  EXPECT_TRUE(contains(e.dir.read("out/2.msg"), "Unknown Subj: \"Other  INTL 3:3/3 4:4/4\"."));
}

TEST(KorvaScan, HelpAndCheckQueries) {
  Election e;
  e.writeSetup();
  StoredMessage help = e.ballot("Ivan Petrov", 1, "%HELP");
  StoredMessage helpSubject = e.ballot("Voter Two", 2, "");
  helpSubject.subject = "%help";
  StoredMessage check = e.ballot("Ivan Petrov", 1, "%CHECK");
  check.lines.push_back("> Alpha !secret");
  e.put("in/1.msg", help);
  e.put("in/2.msg", helpSubject);
  e.put("in/3.msg", check);
  // A check query from an address outside ValidAddress counts as ADDI but is filed as auxiliary.
  StoredMessage outside = e.ballot("Stranger", 1, "%CHECK");
  outside.lines[0] = "\x01INTL 2:5020/50 2:5030/1";
  outside.lines[1] = "\x01MSGID: 2:5030/1 1234abcd";
  outside.origNet = 5030;
  e.put("in/4.msg", outside);
  ASSERT_EQ(e.scan().exitCode, 0);
  std::string log = e.dir.read("korva.log");
  EXPECT_TRUE(contains(log, "  -- Help query."));
  EXPECT_TRUE(contains(log, "  -- Check query."));
  EXPECT_TRUE(contains(log, "  -- Check Ok."));
  std::string sta = e.dir.read("x.sta");
  EXPECT_TRUE(contains(sta, "AUX_=3\r\n")) << sta;
  EXPECT_TRUE(contains(sta, "ADDI=1\r\n"));
  EXPECT_EQ(e.dir.list("aux").size(), 4u);
  EXPECT_EQ(e.voteBase(), "");
  EXPECT_TRUE(contains(e.dir.read("out/1.msg"), "Help text"));
}

TEST(KorvaScan, AuxiliaryMessagesChangeTheCandidates) {
  Election e;
  e.writeSetup("AuxiliaryPassword \"Officer1\"\r\nAuxiliaryTpl aux.tpl\r\n");
  StoredMessage aux = e.ballot("Officer", 1, "%PASSWORD: Officer1");
  aux.lines.push_back("%ADD: Delta");
  aux.lines.push_back("%CHANGE: Beta {1}");
  aux.lines.push_back("Alpha !not a vote");
  e.put("in/1.msg", aux);
  e.put("in/2.msg", e.ballot("Voter Two", 2, "Delta !d"));
  StoredMessage wrong = e.ballot("Intruder", 3, "%PASSWORD: guess");
  wrong.lines.push_back("%ADD: Epsilon");
  e.put("in/3.msg", wrong);
  e2e::RunResult r = e.scan();
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(e.dir.read("cand.txt"), "Alpha\r\nBeta {1}\r\nGamma\r\nDelta\r\n");
  EXPECT_EQ(e.voteBase(), "4\t0\t0000000000000000\t2:5020/2.0\tVoter Two\td\r\n");
  std::string log = e.dir.read("korva.log");
  EXPECT_TRUE(contains(log, "% Add new candidate: \"Delta\", Status: 0."));
  EXPECT_TRUE(contains(log, "!!Bad auxiliary password!"));
  EXPECT_TRUE(contains(log, "- Candidates/Nodelist/valid list reindex."));
  EXPECT_EQ(e.dir.list("aux").size(), 2u);
  EXPECT_TRUE(contains(e.dir.read("x.sta"), "AUX_=2\r\n"));
}

TEST(KorvaScan, AWildcardNodelistIsTheNewestMatchingFile) {
  Election e;
  e.writeSetup("Nodelist nodelist.*\r\nCheckListedNode Yes\r\n");
  auto writeList = [&](const std::string& name, const std::string& bytes, int aprilDay) {
    e.dir.write(name, bytes);
    auto when = std::chrono::system_clock::from_time_t(1112313600 + (aprilDay - 1) * 86400);  // 2005-04-xx
    std::filesystem::last_write_time(e.dir.file(name), std::filesystem::file_time_type::clock::from_sys(when));
  };
  writeList("nodelist.001", ";Week 1\r\nZone,2,Z,Z,Z_C,0,300\r\nHost,5020,N,M,Host_Sysop,0,300\r\n", 1);
  e.dir.write("valid.tpl", "Accepted by %NDLF: %NDLI");
  e.dir.write("refused.tpl", "Refused by %NDLF: %NDLI");
  e.put("in/1.msg", e.ballot("Ivan Petrov", 1, "Alpha !a"));
  ASSERT_EQ(e.scan().exitCode, 0);
  EXPECT_TRUE(contains(e.dir.read("out/1.msg"), "Refused by nodelist.001: ;Week 1\r"));

  // The new week's list arrives; the configuration stays as it was.
  writeList("NODELIST.008", ";Week 8\r\n" + e.dir.read("net.ndl"), 8);
  e.put("in/1.msg", e.ballot("Ivan Petrov", 1, "Alpha !a"));
  e2e::RunResult r = e.scan();
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(contains(r.out, "- Candidates/Nodelist/valid list reindex."));
  EXPECT_TRUE(contains(e.dir.read("out/2.msg"), "Accepted by NODELIST.008: ;Week 8\r"));
  EXPECT_EQ(e.dir.read("x.kix").substr(38, 13), std::string("NODELIST.008\0", 13));
  EXPECT_FALSE(contains(e.scan().out, "reindex"));
}

}  // namespace
