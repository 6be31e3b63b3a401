// Verify through the built vote manager: an election judged by Scan proves sound, and each kind of
// change made by hand to the vote base or the filed ballots is named.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "tests/e2e/harness.h"
#include "tests/e2e/scan_scenario.h"

namespace {

using e2e::contains;
using e2e::Election;
using testmsg::StoredMessage;

// Revotes, a gateway elector, a ballot refused into MoveCancel, both password markers, a password
// taken from after the name, and a candidate withdrawn once voted for; Scan judges it all.
void writeJudgedElection(const Election& e) {
  e.writeSetup(
      "MaxRevotes 1\r\nOneVoteFromNode Yes\r\nPointDirectAccept Yes\r\nBadPasswordAccept Yes\r\n"
      "AuxiliaryPassword \"Officer1\"\r\nAuxiliaryTpl aux.tpl\r\n");
  e.put("in/1.msg", e.ballot("Ivan Petrov", 1, "Alpha !a"));
  e.put("in/2.msg", e.ballot("Ivan Petrov", 1, "Beta !a"));    // cancels the first
  e.put("in/3.msg", e.ballot("Point One", 1, "Alpha !p", 1));  // the node voted: refused, to MoveCancel
  StoredMessage gateway = e.ballot("Gateway", 4, "Gamma !g");
  gateway.kludge("REPLYADDR voter@example.org");
  e.put("in/4.msg", gateway);
  e.put("in/5.msg", e.ballot("Voter Three", 3, "Al pha secret"));  // "<-Bad password syntax->"
  e.put("in/6.msg", e.ballot("Voter Two", 2, "Alpha !"));          // "<-Empty password->"
  e.put("in/7.msg", e.ballot("Held Sysop", 5, "Gamma secret"));    // the password after the name
  StoredMessage withdraw = e.ballot("Officer", 6, "%PASSWORD: Officer1");
  withdraw.lines.push_back("%CHANGE: Gamma {1}");
  e.put("in/8.msg", withdraw);
  ASSERT_EQ(e.scan().exitCode, 0);
  ASSERT_TRUE(contains(e.voteBase(), "\t2:5020/4.0\t<voter@example.org>\tg\r\n")) << e.voteBase();
  ASSERT_EQ(e.dir.read("cand.txt"), "Alpha\r\nBeta\r\nGamma {1}\r\n");
}

// Every file and directory under the election's directory with its bytes, the log left out.
std::map<std::string, std::string> snapshot(const Election& e) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(e.dir.path())) {
    std::string name = std::filesystem::relative(entry.path(), e.dir.path()).string();
    if (entry.is_directory()) files[name + "/"] = "";
    if (entry.is_regular_file() && name != "korva.log") files[name] = e.dir.read(name);
  }
  return files;
}

// The filed message in the directory that holds the text.
std::string filedWith(const Election& e, const std::string& directory, const std::string& text) {
  for (const std::string& name : e.dir.list(directory)) {
    if (contains(e.dir.read(directory + "/" + name), text)) return directory + "/" + name;
  }
  return "";
}

void replaceInVoteBase(const Election& e, const std::string& from, const std::string& to) {
  std::string vot = e.voteBase();
  ASSERT_NE(vot.find(from), std::string::npos) << from << "\n" << vot;
  vot.replace(vot.find(from), from.size(), to);
  e.dir.write("x.vot", vot);
}

TEST(KorvaVerify, AJudgedElectionIsSoundAndNothingChanges) {
  Election e;
  e.writeSetup();
  // No Scan has run: nothing to prove, and no lock file made for it.
  EXPECT_EQ(e.verify().exitCode, 0);
  EXPECT_FALSE(e.dir.exists("x.lck"));

  writeJudgedElection(e);
  // A stopped run's journal is told of and left for the next Scan.
  e.dir.write("x.jnl", "left by a stopped run");
  std::map<std::string, std::string> before = snapshot(e);
  e2e::RunResult r = e.verify();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(contains(r.out, "... Korva  Ver ")) << r.out;
  std::string log = e.dir.read("korva.log");
  EXPECT_TRUE(contains(log, "= Verified 6 vote(s) against 7 ballot(s): 0 discrepancy(ies).")) << log;
  EXPECT_TRUE(contains(log, "! A stopped run left its work unfinished")) << log;
  EXPECT_EQ(snapshot(e), before);
}

TEST(KorvaVerify, EachChangeByHandIsNamed) {
  struct Case {
    const char* name;
    std::function<void(const Election&)> change;
    const char* logged;
  } cases[] = {
      {"vote added",
       [](const Election& e) {
         e.dir.write("x.vot", e.voteBase() + "1\t0\t0000000000000000\t2:5020/3.0\tVoter Three\tx\r\n");
       },
       "? Vote of Voter Three (2:5020/3.0) for candidate 1: no filed ballot."},
      {"vote added without a name",
       [](const Election& e) { e.dir.write("x.vot", e.voteBase() + "2\t0\t0000000000000000\t2:5020/9.0\t\tx\r\n"); },
       "? Vote of  (2:5020/9.0) for candidate 2: no filed ballot."},
      {"vote deleted",
       [](const Election& e) { replaceInVoteBase(e, "2\t1\t0000000000000000\t2:5020/1.0\tIvan Petrov\ta\r\n", ""); },
       "from Ivan Petrov (2:5020/1.0) backs no vote."},
      {"candidate changed",
       [](const Election& e) {
         replaceInVoteBase(e, "2\t1\t0000000000000000\t2:5020/1.0", "3\t1\t0000000000000000\t2:5020/1.0");
       },
       "? Vote of Ivan Petrov (2:5020/1.0) differs from \"VALID"},
      {"password changed",
       [](const Election& e) { replaceInVoteBase(e, "Voter Two\t<-Empty password->", "Voter Two\tguess"); },
       "(2:5020/2.0) differs from \"VALID"},
      {"filed ballot removed",
       [](const Election& e) { std::filesystem::remove(e.dir.file(filedWith(e, "valid", "Voter Two"))); },
       "? Vote of Voter Two (2:5020/2.0) for candidate 1: no filed ballot."},
      {"cancelled vote's ballot removed",
       [](const Election& e) { std::filesystem::remove(e.dir.file(filedWith(e, "cancel", "Ivan Petrov"))); },
       "? Vote of Ivan Petrov (2:5020/1.0) for candidate -1: no filed ballot."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Election e;
    writeJudgedElection(e);
    c.change(e);
    // Quiet, as from cron: the discrepancies are shown all the same.
    e2e::RunResult r = e.verify({"-quiet"});
    EXPECT_EQ(r.exitCode, 24) << r.out;
    EXPECT_TRUE(contains(r.out, c.logged)) << r.out;
    EXPECT_TRUE(contains(e.dir.read("korva.log"), c.logged));
    EXPECT_TRUE(contains(e.dir.read("korva.log"), ": 1 discrepancy(ies).")) << e.dir.read("korva.log");
  }
  // What differs, with both values.
  Election e;
  writeJudgedElection(e);
  replaceInVoteBase(e, "2\t1\t0000000000000000\t2:5020/1.0\tIvan Petrov\ta",
                    "3\t1\t0000000000000000\t2:5020/1.0\tIvan Petrov\tb");
  EXPECT_TRUE(contains(e.verify().out, ": candidate 3, ballot 2; password \"b\", ballot \"a\"."));
}

}  // namespace
