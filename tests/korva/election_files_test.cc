#include "korva/election_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/platform.h"
#include "tests/common/test_support.h"

namespace {

using korva::election;
using testsupport::readFile;
using testsupport::writeFile;

class ElectionFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    election = korva::ElectionState{};
    election.voteBasePath = dir_ / "korva.vot";
    election.statisticPath = dir_ / "korva.sta";
    election.candidatesPath = dir_ / "cand.lst";
  }
  // Forgets the tables and reads all three files back.
  void reload() {
    std::string vot = election.voteBasePath, sta = election.statisticPath, cand = election.candidatesPath;
    election = korva::ElectionState{};
    election.voteBasePath = vot;
    election.statisticPath = sta;
    election.candidatesPath = cand;
    int line = 0;
    ASSERT_EQ(korva::loadCandidates(cand, line), korva::kCandidatesLoaded);
    korva::loadVoteBase();
    korva::loadStatistics();
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const CandidateLine& c : election.candidates) out.push_back(c.name);
    return out;
  }
  testsupport::ScratchDir dir_;
};

TEST_F(ElectionFiles, SaveAndLoadRoundTrip) {
  korva::addCandidate("None Of The Above", 0);
  korva::addCandidate("Ivan Petrov", 0);
  korva::addCandidate("Olga \x8D", 3);  // the Cyrillic En is stored as Latin H
  korva::addVote({{2, 5020, 1, 0}, {0x1234, 0x56AB}, 2, 0, "Voter One", "pw 1"});
  korva::addVote({{2, 5020, 1, 5}, {0xABCDEF01, 0}, -3, 1, "Voter Two", "<-Empty password->"});
  korva::addVote({{2, 5020, 9, 0}, {0, 1}, 0, 0, "Id Only", ""});
  korva::addVote({{2, 5020, 8, 0}, {0, 2}, 1, 0, "", "deleted"});
  election.counters.count[3] = 2;
  election.counters.count[27] = 40000;
  korva::saveElectionFiles("2.10/32");
  EXPECT_FALSE(election.voteBaseDirty);
  EXPECT_FALSE(election.candidatesDirty);

  EXPECT_EQ(readFile(election.voteBasePath),
            "2\t0\t00001234000056AB\t2:5020/1.0\tVoter One\tpw 1\r\n"
            "-3\t1\tABCDEF0100000000\t2:5020/1.5\tVoter Two\t<-Empty password->\r\n"
            "0\t0\t0000000000000001\t2:5020/9.0\tId Only\t\r\n");
  EXPECT_EQ(readFile(election.candidatesPath), "None Of The Above\r\nIvan Petrov\r\nOlga H {3}\r\n");
  const std::string sta = readFile(election.statisticPath);
  const std::string head = ";\r\n; Kelvanoth Statistic      ver. 2.10/32\r\n;\r\nAUX_=0\r\nMANV=0\r\nVALD=2\r\n";
  EXPECT_EQ(sta.substr(0, head.size()), head);
  EXPECT_NE(sta.find("\r\nDUPE=40000\r\n"), std::string::npos);

  // Read back, the tables give the same files again.
  const std::string vot = readFile(election.voteBasePath), cand = readFile(election.candidatesPath);
  reload();
  EXPECT_FALSE(election.voteBaseDirty);
  EXPECT_FALSE(election.candidatesDirty);
  EXPECT_EQ(election.votes.size(), 3u);
  EXPECT_EQ(election.counters.count[27], 40000);
  election.voteBaseDirty = election.candidatesDirty = true;
  std::filesystem::remove(election.voteBasePath);
  std::filesystem::remove(election.candidatesPath);
  std::filesystem::remove(election.statisticPath);
  korva::saveElectionFiles("2.10/32");
  EXPECT_EQ(readFile(election.voteBasePath), vot);
  EXPECT_EQ(readFile(election.candidatesPath), cand);
  EXPECT_EQ(readFile(election.statisticPath), sta);
}

TEST_F(ElectionFiles, OnlyChangedFilesAreRewritten) {
  writeFile(election.voteBasePath, "kept\r\n");
  writeFile(election.candidatesPath, "kept too\r\n");
  writeFile(election.statisticPath, "old");
  korva::saveElectionFiles("2.10/32");  // nothing changed: only the counters are written
  EXPECT_EQ(readFile(election.voteBasePath), "kept\r\n");
  EXPECT_EQ(readFile(election.candidatesPath), "kept too\r\n");
  EXPECT_EQ(readFile(election.statisticPath).substr(0, 3), ";\r\n");

  // A table whose records are all deleted still replaces the file, with nothing.
  korva::addVote({{2, 5020, 1, 0}, {}, 1, 0, "", ""});
  korva::saveElectionFiles("2.10/32");
  EXPECT_EQ(readFile(election.voteBasePath), "");
  EXPECT_EQ(readFile(election.candidatesPath), "kept too\r\n");
  EXPECT_FALSE(std::filesystem::exists(election.voteBasePath + ".$$$"));
}

// A save writes each record as it stands then, whoever changed it since the last save.
TEST_F(ElectionFiles, ARecordChangedAfterASaveIsSavedChanged) {
  korva::addVote({{2, 5020, 1, 0}, {0, 1}, 2, 0, "Voter One", "pw"});
  korva::addVote({{2, 5020, 2, 0}, {0, 2}, 0, 0, "Placeholder", ""});
  korva::addVote({{2, 5020, 3, 0}, {0, 3}, 1, 0, "Voter Three", "pw"});
  korva::saveElectionFiles("2.10/32");
  election.votes[0].candidate = -2;  // cancelled
  election.votes[0].revotes = 1;
  election.votes[1].name.clear();  // a placeholder deleted
  election.votes[2].password = "new";
  election.voteBaseDirty = true;
  korva::saveElectionFiles("2.10/32");
  EXPECT_EQ(readFile(election.voteBasePath),
            "-2\t1\t0000000000000001\t2:5020/1.0\tVoter One\tpw\r\n"
            "1\t0\t0000000000000003\t2:5020/3.0\tVoter Three\tnew\r\n");
}

// The node index follows the table: records appended by any way, and a table loaded anew.
TEST_F(ElectionFiles, VotesFromNodeFollowTheTable) {
  using V = std::vector<size_t>;
  korva::addVote({{2, 5020, 1, 0}, {}, 1, 0, "Node", "pw"});
  korva::addVote({{2, 5020, 2, 0}, {}, 1, 0, "Other", "pw"});
  election.votes.push_back({{2, 5020, 1, 3}, {}, 1, 0, "Point", "pw"});
  EXPECT_EQ(korva::votesFromNode({2, 5020, 1, 7}), (V{0, 2}));
  EXPECT_EQ(korva::votesFromNode({2, 5020, 9, 0}), V{});
  writeFile(election.voteBasePath,
            "1\t0\t0000000000000000\t2:5020/2.0\tOther\tpw\r\n1\t0\t0000000000000000\t2:5020/1.0\tNode\tpw\r\n");
  korva::loadVoteBase();
  korva::addVote({{2, 5020, 1, 3}, {}, 2, 0, "Point", "pw"});
  EXPECT_EQ(korva::votesFromNode({2, 5020, 1, 0}), (V{1, 2}));
  EXPECT_EQ(korva::votesFromNode({2, 5020, 2, 0}), V{0});
}

// A vote stores its candidate's position, so saving must never move a candidate, not even a
// none-of-the-above choice that does not stand last.
TEST_F(ElectionFiles, CandidatesKeepTheirNumbersAcrossASave) {
  for (const char* name : {"None of the above", "Ivan Petrov", "NONE_OF_THE_ABOVE", "Olga"})
    korva::addCandidate(name, 0);
  election.candidates[0].status = 2;  // withdrawn by the officers: stays withdrawn
  election.candidates[2].status = 1;
  korva::addVote({{2, 5020, 1, 0}, {}, 2, 0, "Voter One", "pw"});
  korva::addVote({{2, 5020, 2, 0}, {}, 4, 0, "Voter Two", "pw"});
  korva::addCandidate("Added Later", 0);  // as an auxiliary message appends one
  korva::addVote({{2, 5020, 3, 0}, {}, 5, 0, "Voter Three", "pw"});
  korva::saveElectionFiles("2.10/32");
  EXPECT_EQ(readFile(election.candidatesPath),
            "None of the above {2}\r\nIvan Petrov\r\nNONE_OF_THE_ABOVE {1}\r\nOlga\r\nAdded Later\r\n");
  reload();
  EXPECT_EQ(names(),
            (std::vector<std::string>{"None of the above", "Ivan Petrov", "NONE_OF_THE_ABOVE", "Olga", "Added Later"}));
  EXPECT_EQ(election.candidates[0].status, 2);
  korva::tallyVotes(false, false);
  EXPECT_EQ(election.totals, (std::vector<uint16_t>{0, 1, 0, 1, 1}));
  EXPECT_EQ(election.electable, (std::vector<int>{1, 3, 4}));
}

// Fails the n-th disk operation from here on (the platform's fault injection).
void failOperation(int n) {
  ::setenv("KELVANOTH_FAULT_AT", std::to_string(n).c_str(), 1);
  ::setenv("KELVANOTH_FAULT", "fail", 1);
  platform::restartFaultInjection();
}

void stopFailing() {
  ::unsetenv("KELVANOTH_FAULT_AT");
  platform::restartFaultInjection();
}

TEST_F(ElectionFiles, FailedSaveKeepsThePreviousFile) {
  writeFile(election.voteBasePath, "previous\r\n");
  writeFile(election.candidatesPath, "previous list\r\n");
  writeFile(election.statisticPath, "previous counters");
  korva::addVote({{2, 5020, 1, 0}, {}, 1, 0, "Voter", "pw"});
  std::string out = dir_ / "out.txt";
  // A save writes the statistic file in five operations (create, write, sync, rename, directory
  // sync); the sixth is the next file's first.
  EXPECT_EXIT_STDOUT((failOperation(6), korva::saveElectionFiles("2.10/32")), 13, out);
  EXPECT_NE(readFile(out).find("! Can't save vote base file \"" + election.voteBasePath + "\"."), std::string::npos);
  EXPECT_EQ(readFile(out).find("RESULTS"), std::string::npos);  // only the first line is shown
  EXPECT_EQ(readFile(election.voteBasePath), "previous\r\n");

  election.voteBaseDirty = false;
  korva::addCandidate("New", 0);
  EXPECT_EXIT_STDOUT((failOperation(6), korva::saveElectionFiles("2.10/32")), 13, out);
  EXPECT_NE(readFile(out).find("! Can't save candidates base file \"" + election.candidatesPath + "\"."),
            std::string::npos);
  EXPECT_EQ(readFile(election.candidatesPath), "previous list\r\n");
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path)) {
    EXPECT_EQ(entry.path().string().find("$$$"), std::string::npos) << entry.path();
  }

  // The counters are secondary: a failed statistic save is told once per run, and the run goes on.
  election.candidatesDirty = false;
  writeFile(election.statisticPath, "previous counters");
  testing::internal::CaptureStdout();
  failOperation(1);
  korva::saveElectionFiles("2.10/32");
  failOperation(1);
  korva::saveElectionFiles("2.10/32");
  stopFailing();
  std::string said = testing::internal::GetCapturedStdout();
  EXPECT_NE(said.find("! Can't save statistic file \"" + election.statisticPath + "\"."), std::string::npos) << said;
  EXPECT_EQ(said.find("statistic", said.find("statistic") + 1), std::string::npos) << said;
  EXPECT_EQ(readFile(election.statisticPath), "previous counters");
}

TEST_F(ElectionFiles, VoteBaseLoading) {
  const std::string good = "1\t0\t0000000100000002\t2:5020/1.0\tName\tpw\r\n";
  // Blank and text lines are passed over; the votes after them stay.
  writeFile(election.voteBasePath, "\r\n" + good + "; a note\n\n" + good);
  korva::addCandidate("A", 0);
  korva::loadVoteBase();
  EXPECT_EQ(election.votes.size(), 2u);
  EXPECT_FALSE(election.voteBaseDirty);
  EXPECT_FALSE(election.candidatesDirty);

  // Too few tabs fails wherever the line stands.
  std::string out = dir_ / "out.txt";
  for (const std::string& content :
       {good + "1\t0\t0000000100000002\t2:5020/1.0\tName", "\n1\t0\t0000000100000002\t2:5020/1.0\tName\n" + good}) {
    writeFile(election.voteBasePath, content);
    EXPECT_EXIT_STDOUT(korva::loadVoteBase(), 2, out);
    EXPECT_NE(readFile(out).find("! Invalid file format \"" + election.voteBasePath + "\", aborted."),
              std::string::npos);
  }

  std::filesystem::remove(election.voteBasePath);
  testing::internal::CaptureStdout();
  korva::loadVoteBase();
  korva::loadStatistics();  // missing too, and silently so
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("? Can't open vote base file \"" + election.voteBasePath + "\"."), std::string::npos);
  EXPECT_EQ(out.find("sta"), std::string::npos);
  int line = 0;
  EXPECT_EQ(korva::loadCandidates(dir_ / "missing.lst", line), korva::kCandidatesCannotOpen);
}

TEST_F(ElectionFiles, CandidateLinesHoldAt79Characters) {
  const std::string long79(79, 'a'), long80(80, 'b');
  int line = 0;
  writeFile(election.candidatesPath, "\r\n  \r\n" + long79 + "\r\n" + std::string(75, 'c') + " {1}\n" + long79);
  ASSERT_EQ(korva::loadCandidates(election.candidatesPath, line), korva::kCandidatesLoaded);
  EXPECT_EQ(names(), (std::vector<std::string>{long79, std::string(75, 'c'), long79}));
  EXPECT_EQ(election.candidates[1].status, 1);
  EXPECT_TRUE(election.candidatesDirty);

  // Cut, a longer line would lose its status or change its name; split, it would add a candidate.
  for (const std::string& content : {"A\r\n" + long80 + "\r\nB\r\n", "A\n" + long79 + "{1}\n", "A\n" + long80}) {
    writeFile(election.candidatesPath, content);
    election.candidates.clear();
    EXPECT_EQ(korva::loadCandidates(election.candidatesPath, line), korva::kCandidateLineTooLong) << content;
    EXPECT_EQ(line, 2) << content;
  }
}

// An added name is made to fit one line of the candidates base, so it reads back the same.
TEST_F(ElectionFiles, AddedCandidatesReadBackAsWritten) {
  korva::addCandidate("Ivan\r\nPetrov\tJr\x1A", 0);
  korva::addCandidate(std::string(100, 'x'), 0);
  korva::addCandidate(std::string(100, 'y'), 7);
  EXPECT_EQ(names(), (std::vector<std::string>{"Ivan  Petrov Jr ", std::string(79, 'x'), std::string(75, 'y')}));
  korva::saveElectionFiles("2.10/32");
  const std::vector<std::string> before = names();
  reload();
  EXPECT_EQ(names(), before);
  EXPECT_EQ(election.candidates[2].status, 7);
}

TEST_F(ElectionFiles, NamesAndPasswordsStayOneField) {
  EXPECT_EQ(korva::addVote({{2, 5020, 1, 0}, {}, 1, 0, "Ivan\tPetrov\r\n", "pass\nword\x1A"}), 0);
  EXPECT_EQ(korva::addVote({{2, 5020, 2, 0}, {}, 2, 0, "After", "pw"}), 1);
  EXPECT_TRUE(election.voteBaseDirty);
  korva::addCandidate("A", 0);
  korva::saveElectionFiles("2.10/32");
  EXPECT_EQ(readFile(election.voteBasePath),
            "1\t0\t0000000000000000\t2:5020/1.0\tIvan Petrov  \tpass word \r\n"
            "2\t0\t0000000000000000\t2:5020/2.0\tAfter\tpw\r\n");
  reload();
  EXPECT_EQ(election.votes.size(), 2u);

  // What a file already holds is kept: an earlier election's password with tabs is written back.
  const std::string loaded = "1\t0\t0000000000000000\t2:5020/3.0\tName\tpw\twith\ttabs\r\n";
  writeFile(election.voteBasePath, loaded);
  reload();
  ASSERT_EQ(election.votes.size(), 1u);
  EXPECT_EQ(election.votes[0].password, "pw\twith\ttabs");
  election.voteBaseDirty = true;
  korva::saveElectionFiles("2.10/32");
  EXPECT_EQ(readFile(election.voteBasePath), loaded);
}

// A zero byte in a damaged vote base or candidates base would cut the field when the files are
// saved: a name cut to nothing reads back as a deleted vote, a candidate as no candidate at all,
// and every later candidate's number would shift.
TEST_F(ElectionFiles, ZeroBytesDoNotCutWhatIsSaved) {
  using namespace std::string_literals;
  writeFile(election.candidatesPath, "A\n\0B {1}\nC\n"s);
  writeFile(election.voteBasePath, "3\t0\t0000000000000001\t2:5020/1.0\t\0Name\tp\0w\r\n"s);
  reload();
  ASSERT_EQ(election.candidates.size(), 3u);
  ASSERT_EQ(election.votes.size(), 1u);
  election.candidatesDirty = election.voteBaseDirty = true;  // as after a change by an auxiliary message
  korva::saveElectionFiles("2.10/32");
  reload();
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(election.candidates[1].status, 1);
  ASSERT_EQ(election.votes.size(), 1u);
  EXPECT_EQ(election.votes[0].name, " Name");
  EXPECT_EQ(election.votes[0].password, "p w");
  EXPECT_EQ(election.votes[0].candidate, 3);
}

TEST_F(ElectionFiles, TallyAndSortOrders) {
  // "\x84" is a CP866 capital letter: it sorts after every Latin one.
  for (const char* name : {"charlie", "alpha", "Bravo", "Hidden candidate",
                           "\x84"
                           "elta"})
    korva::addCandidate(name, 0);
  election.candidates[3].status = 1;
  for (int v : {3, 3, 4, 4, 4, 1, 2, 5, -2, 0}) korva::addVote({{2, 5020, 1, 0}, {}, int16_t(v), 0, "V", ""});
  struct Case {
    bool onVotes, onNames;
    std::vector<int> order;  // empty: only the totals' order is settled
  } cases[] = {
      {false, true, {1, 2, 0, 4}},
      {true, true, {2, 1, 0, 4}},
      {true, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.onVotes << c.onNames);
    EXPECT_EQ(korva::tallyVotes(c.onVotes, c.onNames), 7u);  // the longest electable name
    if (!c.order.empty()) {
      EXPECT_EQ(election.electable, c.order);
    } else {
      ASSERT_EQ(election.electable.size(), 4u);
      EXPECT_EQ(election.electable[0], 2);
    }
  }
  EXPECT_EQ(election.countedVotes, 8);  // the hidden candidate's votes count; 0 and -2 do not
  EXPECT_EQ(election.totals, (std::vector<uint16_t>{1, 1, 2, 3, 1}));

  korva::addVote({{2, 5020, 2, 0}, {}, 6, 0, "V", ""});
  std::string out = dir_ / "out.txt";
  EXPECT_EXIT_STDOUT(korva::tallyVotes(false, false), 7, out);
  EXPECT_NE(readFile(out).find("\nVote Base error! Invalid candidat id in pos 11.\n"), std::string::npos);
}

}  // namespace
