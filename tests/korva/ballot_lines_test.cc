#include "korva/ballot_lines.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/message_reader.h"
#include "korva/settings.h"
#include "tests/korva/stored_message_builder.h"

namespace {

using korva::election;
using korva::InboundMessage;

class BallotLines : public ::testing::Test {
 protected:
  void SetUp() override {
    savedSettings_ = korva::settings;
    savedElection_ = election;
    election = korva::ElectionState{};
    korva::settings.auxiliaryPassword = "Secret";
    korva::app.indexRebuildRequest = false;
  }
  void TearDown() override {
    korva::settings = savedSettings_;
    election = savedElection_;
  }
  void candidates(std::vector<CandidateLine> list) {
    for (const CandidateLine& c : list) korva::addCandidate(c.name, c.status);
    election.candidatesDirty = false;
  }
  // Reads the lines as one message's text, as the ballot run or, with `lookOnly`, as a judged
  // ballot is read again; returns what was logged.
  std::string read(const std::vector<std::string>& lines, std::optional<korva::Electable> lookOnly = {}) {
    msg_ = InboundMessage{};
    testing::internal::CaptureStdout();
    for (const std::string& line : lines) {
      if (lookOnly) {
        korva::readBodyLine(line, msg_, *lookOnly);
      } else {
        korva::handleBodyLine(line, msg_);
      }
    }
    return testing::internal::GetCapturedStdout();
  }
  InboundMessage msg_;
  korva::Settings savedSettings_;
  korva::ElectionState savedElection_;
};

TEST_F(BallotLines, ChoiceAndPassword) {
  candidates({{"Alpha Beta", 0}, {"Alpha Beta Gamma", 0}, {"Ivan Petrov, 2:5020/1", 0}, {"Retired One", 1}});
  struct Case {
    const char* line;
    int16_t candidate;
    uint8_t state;
    const char* password;
  } cases[] = {
      // The first candidate whose key begins the line counts, even when a longer name follows.
      {"Alpha Beta Gamma ! pw1", 1, korva::kPasswordGiven, "pw1"},
      {"> Ivan Petrov !  quoted pw", 3, korva::kPasswordGiven, "quoted pw"},
      {"IP> ivan_petrov!x", 3, korva::kPasswordGiven, "x"},
      // No "!": the text after the name as written is the password, to be checked by hand.
      {"Ivan Petrov  secret word", 3, korva::kPasswordFromName, "secret word"},
      {" > Ivan Petrov secret", 3, korva::kPasswordFromName, "secret"},
      // Two blanks inside the name still match the key, but the name as written is not found.
      {"Ivan  Petrov secret", 3, korva::kPasswordMissing, ""},
      {"Retired One ! pw", 0, korva::kPasswordGiven, ""},  // not electable
      {"Nobody ! pw", 0, korva::kPasswordGiven, ""},
      {"", 0, korva::kPasswordGiven, ""},
  };
  for (const Case& c : cases) {
    read({c.line});
    EXPECT_EQ(msg_.candidate, c.candidate) << c.line;
    EXPECT_EQ(msg_.passwordState, c.state) << c.line;
    EXPECT_EQ(msg_.password, c.password) << c.line;
  }
}

TEST_F(BallotLines, PasswordIsCutAt79Characters) {
  candidates({{"Alpha", 0}});
  read({"Alpha !" + std::string(100, 'p')});
  EXPECT_EQ(msg_.password, std::string(79, 'p'));
}

TEST_F(BallotLines, SecondChoiceNegatesTheFirstAndKeepsItsPassword) {
  candidates({{"Alpha", 0}, {"Beta", 0}});
  struct Case {
    std::vector<std::string> lines;
    int16_t candidate;
  } cases[] = {
      {{"Beta ! one", "Alpha ! two"}, -2},
      {{"Beta ! one", "Beta ! two"}, -2},
      {{"Beta ! one", "Alpha ! two", "Alpha ! three"}, -2},
      {{"Beta ! one", "no choice here"}, 2},
  };
  for (const Case& c : cases) {
    read(c.lines);
    EXPECT_EQ(msg_.candidate, c.candidate) << c.lines[1];
    EXPECT_EQ(msg_.password, "one") << c.lines[1];
  }
}

TEST_F(BallotLines, NameThatReducesToNothingMatchesNoLine) {
  candidates({{"...", 0}, {"Alpha", 0}});
  read({"", "some text"});
  EXPECT_EQ(msg_.candidate, 0);
  read({"Alpha ! pw"});
  EXPECT_EQ(msg_.candidate, 2);
}

TEST_F(BallotLines, ReadingAJudgedBallotActsOnNothing) {
  candidates({{"Alpha", 1}, {"Beta", 0}});
  using korva::Electable;
  EXPECT_EQ(read({"%PASSWORD: Secret", "%ADD: New", "%CHANGE: Beta {1}", "%VOTE", "Beta ! b"}, Electable::kStatusZero),
            "");
  EXPECT_EQ(election.candidates.size(), 2u);
  EXPECT_EQ(election.candidates[1].status, 0);
  EXPECT_FALSE(election.candidatesDirty);
  EXPECT_FALSE(korva::app.indexRebuildRequest);
  EXPECT_TRUE(msg_.auxiliaryMessage);
  EXPECT_EQ(msg_.candidate, 0);  // no ballot line after the password line
  // A candidate withdrawn since is read only when every status counts.
  read({"Alpha ! a"}, Electable::kStatusZero);
  EXPECT_EQ(msg_.candidate, 0);
  read({"Alpha ! a"}, Electable::kAnyStatus);
  EXPECT_EQ(msg_.candidate, 1);
  EXPECT_EQ(msg_.password, "a");
}

TEST_F(BallotLines, QueryLines) {
  candidates({{"Alpha", 0}});
  struct Case {
    const char* line;
    uint16_t flags;
    bool unknownKeyword;
  } cases[] = {
      {"%HELP", korva::kHelpQuery, false},
      {"%help", korva::kHelpQuery, false},
      {"> %Help", korva::kHelpQuery, false},
      {"%CHECK", korva::kCheckQuery, false},
      {"% check.", korva::kCheckQuery, false},
      {"%HELP me", 0, true},
      {"%VOTE", 0, true},
  };
  for (const Case& c : cases) {
    std::string log = read({c.line});
    EXPECT_EQ(msg_.queryFlags, c.flags) << c.line;
    EXPECT_EQ(log.find("! Unknown keyword: \"" + std::string(c.line) + "\".") != std::string::npos, c.unknownKeyword)
        << c.line << log;
  }
}

TEST_F(BallotLines, PasswordLineMakesAnAuxiliaryMessage) {
  candidates({{"Alpha", 0}});
  std::string log = read({"%PASSWORD: Secret", "%HELP", "Alpha ! pw", "%password: Secret"});
  EXPECT_TRUE(msg_.auxiliaryMessage);
  EXPECT_TRUE(msg_.auxiliaryAuthorised);
  EXPECT_NE(log.find("% Auxiliary Messages."), std::string::npos);
  EXPECT_EQ(msg_.queryFlags, korva::kHelpQuery);                                        // queries still count after it
  EXPECT_EQ(msg_.candidate, 0);                                                         // ballot lines do not
  EXPECT_NE(log.find("! Unknown keyword: \"%password: Secret\"."), std::string::npos);  // only the first counts

  log = read({"%PASSWORD:   secret"});
  EXPECT_TRUE(msg_.auxiliaryMessage);
  EXPECT_FALSE(msg_.auxiliaryAuthorised);  // the case of the password counts
  EXPECT_NE(log.find("!!Bad auxiliary password!"), std::string::npos);

  korva::settings.auxiliaryPassword.clear();
  log = read({"%PASSWORD: Secret"});
  EXPECT_TRUE(msg_.auxiliaryMessage);
  EXPECT_FALSE(msg_.auxiliaryAuthorised);
  EXPECT_NE(log.find("! Auxiliary messages not accepted."), std::string::npos);
}

TEST_F(BallotLines, AddCandidate) {
  candidates({{"Alpha", 0}});
  std::string log = read({"%PASSWORD: Secret", "%ADD: New Name {1}", "%add:   Other", "%ADD: NEW  name"});
  ASSERT_EQ(election.candidates.size(), 3u);
  EXPECT_EQ(election.candidates[1].name, "New Name");
  EXPECT_EQ(election.candidates[1].status, 1);
  EXPECT_EQ(election.candidates[2].name, "Other");
  EXPECT_EQ(election.candidates[2].status, 0);
  EXPECT_TRUE(election.candidatesDirty);
  EXPECT_TRUE(korva::app.indexRebuildRequest);
  EXPECT_NE(log.find("% Add new candidate: \"New Name\", Status: 1."), std::string::npos) << log;
  EXPECT_NE(log.find("! Can't add new candidate: candidate \"New Name\" already exist with status 1."),
            std::string::npos)
      << log;

  log = read({"%PASSWORD: Secret", "%ADD: {2}"});
  EXPECT_NE(log.find("! %NEW: Syntax error."), std::string::npos) << log;
  EXPECT_EQ(election.candidates.size(), 3u);
}

TEST_F(BallotLines, CommandsNeedTheRightPasswordFirst) {
  candidates({{"Alpha", 0}});
  for (const std::vector<std::string>& lines :
       {std::vector<std::string>{"%ADD: Sneaky"}, {"%PASSWORD: wrong", "%ADD: Sneaky"}, {"%CHANGE: Alpha {1}"}}) {
    std::string log = read(lines);
    EXPECT_NE(log.find("! Unknown keyword: \"" + lines.back() + "\"."), std::string::npos) << log;
  }
  EXPECT_EQ(election.candidates.size(), 1u);
  EXPECT_EQ(election.candidates[0].status, 0);
  EXPECT_FALSE(korva::app.indexRebuildRequest);
}

TEST_F(BallotLines, ChangeCandidateStatus) {
  candidates({{"Alpha", 0}, {"Beta Gamma", 2}});
  std::string log =
      read({"%PASSWORD: Secret", "%CHANGE: beta  gamma", "%CHANGE: Alpha {3}", "%CHANGE: Nobody {1}", "%CHANGE:  {1}"});
  EXPECT_EQ(election.candidates[0].status, 3);
  EXPECT_EQ(election.candidates[1].status, 0);
  EXPECT_TRUE(election.candidatesDirty);
  EXPECT_NE(log.find("% Change candidate status: \"beta  gamma\", Old status: 2, New status: 0"), std::string::npos)
      << log;
  EXPECT_NE(log.find("! %CHANGE: Candidate \"Nobody\" not found."), std::string::npos) << log;
  EXPECT_NE(log.find("! %CHANGE: Candidate name missing."), std::string::npos) << log;

  // The change takes effect for the next message: Beta Gamma is electable, Alpha no longer.
  read({"Alpha ! x", "Beta Gamma ! y"});
  EXPECT_EQ(msg_.candidate, 2);
  EXPECT_EQ(msg_.password, "y");
}

TEST_F(BallotLines, MessageReaderHandsOverTextLinesButNotKludges) {
  candidates({{"Alpha", 0}, {"Beta", 0}});
  testmsg::StoredMessage m;
  m.kludge("MSGID: 2:5020/1 12345678").kludge("Beta ! kludge").line("Hello,").line("> Alpha !  pw").line("%CHECK");
  testing::internal::CaptureStdout();
  ASSERT_EQ(korva::parseStoredMessage(m.bytes(), msg_, korva::handleBodyLine, korva::SenderReview::kLogAndJudge),
            korva::ReadResult::kRead);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(msg_.candidate, 1);
  EXPECT_EQ(msg_.password, "pw");
  EXPECT_EQ(msg_.queryFlags, korva::kCheckQuery);

  // A look-up hands over no line: an officer's command in a stored message is not carried out again.
  m.line("%PASSWORD: Secret").line("%ADD: Gamma {0}");
  ASSERT_EQ(korva::parseStoredMessage(m.bytes(), msg_), korva::ReadResult::kRead);
  EXPECT_EQ(election.candidates.size(), 2u);
}

}  // namespace
