#include "korva/reports.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <regex>
#include <string>

#include "korva/election_files.h"
#include "korva/settings.h"
#include "tests/common/test_support.h"

namespace {

using korva::election;
using korva::ReportOptions;
using korva::settings;

class Reports : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::setTimeZone("Europe/Moscow");
    election = korva::ElectionState{};
    settings = korva::Settings{};
    settings.voteId = "Election of the Z2 Coordinator";
    std::tm first = {};
    first.tm_year = 126;
    first.tm_mon = 11;
    first.tm_mday = 1;
    std::tm last = first;
    last.tm_mday = 14;
    last.tm_hour = 23;
    settings.periodStart = std::mktime(&first);
    settings.periodEnd = std::mktime(&last);
  }
  void vote(int16_t candidate, FtnAddress address, const char* name, const char* password) {
    korva::addVote({address, {0, 0}, candidate, 0, name, password});
  }
  // The report with the clock's date and time masked.
  template <typename Report>
  std::string print(Report report, const ReportOptions& options) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    report(options);
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    return std::regex_replace(out, std::regex("\\d\\d [A-Z][a-z][a-z] \\d\\d  \\d\\d:\\d\\d:\\d\\d"),
                              "DD Mon YY  hh:mm:ss");
  }
  // The two heading lines for a title.
  static std::string header(const std::string& title) {
    std::string first = "Election of the Z2 Coordinator" + std::string(25, ' ') + "[01 Dec 26 - 14 Dec 26]";
    std::string second = title + std::string(57 - title.size(), ' ') + "DD Mon YY  hh:mm:ss";
    return "\n" + first + "\n" + second + "\n";
  }
};

TEST_F(Reports, GeneralResultsSortedOnVotesWithHiddenCandidates) {
  election.candidates = {{"A", 0}, {"Bb", 0}, {"C", 0}, {"Withdrawn", 1}};
  for (int i = 0; i < 5; ++i) vote(1, {2, 5020, int16_t(i + 1), 0}, "x", "p");
  for (int i = 0; i < 3; ++i) vote(2, {2, 5020, int16_t(i + 10), 0}, "x", "p");
  vote(4, {2, 5020, 20, 0}, "x", "p");   // a withdrawn candidate's vote still counts in the total
  vote(-1, {2, 5020, 21, 0}, "x", "p");  // cancelled
  ReportOptions options;
  options.sortOnVotes = true;
  EXPECT_EQ(print(korva::reportResults, options), header("*General results*") +
                                                      "\nA     5  (55.6%)"
                                                      "\nBb    3  (33.3%)"
                                                      "\nC     0  ( 0.0%)"
                                                      "\nTotal:    9\n");
}

TEST_F(Reports, EqualTotalsFallBackToNames) {
  election.candidates = {{"Zed", 0}, {"Abe", 0}, {"Max", 0}};
  vote(3, {2, 5020, 1, 0}, "x", "p");
  ReportOptions options;
  options.sortOnVotes = options.sortOnNames = true;
  options.validListMode = true;
  EXPECT_EQ(print(korva::reportResults, options), header("*General results (validlist check mode)*") +
                                                      "\nMax    1  (100.0%)"
                                                      "\nAbe    0  ( 0.0%)"
                                                      "\nZed    0  ( 0.0%)"
                                                      "\nTotal:    1\n");
}

TEST_F(Reports, NoCountedVoteShowsZeroShares) {
  election.candidates = {{"A", 0}, {"B", 0}};
  vote(-1, {2, 5020, 1, 0}, "x", "p");
  vote(0, {2, 5020, 2, 0}, "y", "q");
  std::string out = print(korva::reportResults, ReportOptions{});
  EXPECT_NE(out.find("\nA    0  ( 0.0%)"), std::string::npos) << out;
  EXPECT_NE(out.find("\nB    0  ( 0.0%)"), std::string::npos);
  EXPECT_EQ(out.find("nan"), std::string::npos);
}

TEST_F(Reports, EmptyElectionPrintsNothingButTheQuorumNewline) {
  election.candidates = {{"A", 0}};
  EXPECT_EQ(print(korva::reportResults, ReportOptions{}), "");
  EXPECT_EQ(print(korva::reportPasswords, ReportOptions{}), "");
  EXPECT_EQ(print(korva::reportQuorum, ReportOptions{}), "\n");
}

TEST_F(Reports, PasswordListDividesByAllRecords) {
  election.candidates = {{"Ann", 0}, {"Bo", 0}};
  vote(1, {2, 5020, 1, 0}, "x", "zeta");
  vote(1, {2, 5020, 2, 0}, "x", "Alpha");
  vote(1, {2, 5020, 3, 0}, "x", "beta");
  vote(-2, {2, 5020, 4, 0}, "x", "cancelled");
  EXPECT_EQ(print(korva::reportPasswords, ReportOptions{}), header("*Password list*") +
                                                                "\n > Ann  Passwords: 3 (75.0%)\nAlpha\nbeta\nzeta\n"
                                                                "\n > Bo   Passwords: 0 (0.0%)\n");
}

TEST_F(Reports, QuorumListsEveryRecordInTheAskedOrder) {
  election.candidates = {{"A", 0}};
  vote(1, {2, 5020, 12, 3}, "Petr Petrov", "p");
  vote(-1, {2, 5020, 12, 0}, "anna", "p");
  vote(0, {1, 5020, 2, 0}, "", "p");
  vote(1, {2, -1, 1, 0}, "Boris", "p");  // net 65535 sorts last as an unsigned number

  ReportOptions byAddress;
  byAddress.sortOnAddresses = true;
  EXPECT_EQ(print(korva::reportQuorum, byAddress), header("*Quorum list*") +
                                                       " \n1:5020/2          "
                                                       " \n2:5020/12         anna"
                                                       " \n2:5020/12.3       Petr Petrov"
                                                       " \n2:-1/1            Boris"
                                                       "\n");

  ReportOptions byName = byAddress;
  byName.sortOnNames = true;
  std::string out = print(korva::reportQuorum, byName);
  EXPECT_LT(out.find("1:5020/2 "), out.find("anna"));
  EXPECT_LT(out.find("anna"), out.find("Boris"));
  EXPECT_LT(out.find("Boris"), out.find("Petr Petrov"));
}

}  // namespace
