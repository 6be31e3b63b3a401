#include "korva/config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "korva/election_files.h"
#include "korva/settings.h"
#include "tests/common/test_support.h"

namespace {

using korva::settings;

std::string upper(std::string s) {
  for (char& c : s) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
  return s;
}

class VoteManagerConfig : public ::testing::Test {
 protected:
  void SetUp() override {
    settings = korva::Settings{};
    korva::election = korva::ElectionState{};
    std::filesystem::create_directory(dir_ / "in");
    testsupport::writeFile(dir_ / "cand.lst", "Ivan\r\nOlga {1}\r\n");
  }
  // Reads the least complete configuration followed by `extra` lines.
  void read(const std::string& extra) {
    settings = korva::Settings{};
    testsupport::writeFile(dir_ / "korva.cfg", "VoteId \"Test\"\r\nNetmailIn " + (dir_ / "in") + "\r\nMoveValid " +
                                                   (dir_ / "valid") + "\r\nMoveInvalid " + (dir_ / "invalid") +
                                                   "\r\nCandidates " + (dir_ / "cand.lst") + "\r\n" + extra);
    korva::readVoteManagerConfig(dir_ / "korva.cfg");
  }
  std::string stored(const std::string& name) const { return upper(dir_ / name) + "/"; }
  testsupport::ScratchDir dir_;
};

TEST_F(VoteManagerConfig, LeastConfiguration) {
  read("MoveBadDate\r\n");  // a key without a value changes nothing
  EXPECT_EQ(settings.voteId, "Test");
  EXPECT_EQ(settings.netmailIn, stored("in"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "invalid"));
  EXPECT_EQ(settings.moveBadDate, "");  // its messages go to MoveInvalid
  EXPECT_FALSE(korva::maskMatches(settings.validAddress, {2, 5020, 1, 0}));
  ASSERT_EQ(korva::election.candidates.size(), 2u);
  EXPECT_EQ(korva::election.candidates[1].status, 1);
}

TEST_F(VoteManagerConfig, ValidAddressMasks) {
  struct Case {
    const char* value;
    FtnAddress address;
    bool matches;
    bool nodesOnly;
  } cases[] = {
      {"2:*/*.*", {2, 5020, 1, 0}, true, false},        {"2:*/*.*", {2, 1, 2, 3}, true, false},
      {"2:*/*.*", {1, 5020, 1, 0}, false, false},       {"2:5020/*.0", {2, 5020, 77, 0}, true, true},
      {"2:5020/*.0", {2, 5021, 77, 0}, false, true},    {"2:5020/*.0", {2, 5020, 77, 1}, false, true},
      {"*:*/*.*", {7, 1, 1, 9}, true, false},           {"2:5020/100.*x", {2, 5020, 100, 4}, true, false},
      {"2:5020/100.5", {2, 5020, 100, 5}, true, false},
  };
  for (const Case& c : cases) {
    read(std::string("ValidAddress ") + c.value + "\r\n");
    EXPECT_EQ(korva::maskMatches(settings.validAddress, c.address), c.matches) << c.value;
    EXPECT_EQ(korva::maskAdmitsNodesOnly(settings.validAddress), c.nodesOnly) << c.value;
  }
}

TEST_F(VoteManagerConfig, DatesAreLocalDays) {
  testsupport::setTimeZone("MSK-3");
  read("Dates 1.5.2005-1.5.2005\r\n");
  EXPECT_EQ(settings.periodStart, 1114905600 - 3 * 3600);  // 2005-05-01 00:00 MSK
  EXPECT_EQ(settings.periodEnd, settings.periodStart + 86399);
  read("Dates 28.2.2004-1.3.2004\r\n");
  EXPECT_EQ(settings.periodEnd - settings.periodStart, 3 * 86400 - 1);
  testsupport::setTimeZone("UTC");
  read("Dates 31.12.3000-31.12.3000\r\n");
  EXPECT_EQ(settings.periodEnd - settings.periodStart, 86399);
}

TEST_F(VoteManagerConfig, AddressesAndNumbers) {
  read("ADDRESS 2:5020/999\r\nRejectAddress 2:5020/1 2:5020/2.1\r\nMaxRevotes abc\r\n");
  EXPECT_TRUE(sameAddress(settings.ownAddress, {2, 5020, 999, 0}));
  ASSERT_EQ(settings.rejectAddresses.size(), 2u);
  EXPECT_TRUE(sameAddress(settings.rejectAddresses[0], {2, 5020, 1, 0}));
  EXPECT_TRUE(sameAddress(settings.rejectAddresses[1], {2, 5020, 2, 1}));
  EXPECT_EQ(settings.maxRevotes, 0);

  read("RejectAddress 1:1/1.1 2:2/2\r\nRejectAddress  3:3/3.3 \r\nMaxRevotes 3\r\n");
  ASSERT_EQ(settings.rejectAddresses.size(), 1u);  // the second line replaces the list
  EXPECT_TRUE(sameAddress(settings.rejectAddresses[0], {3, 3, 3, 3}));
  EXPECT_EQ(settings.maxRevotes, 3);
}

TEST_F(VoteManagerConfig, EveryKeyReachesItsSetting) {
  using korva::Settings;
  const std::pair<const char*, bool Settings::*> switches[] = {
      {"OneVoteFromNode", &Settings::oneVoteFromNode},
      {"ForceToUUCP", &Settings::forceToUucp},
      {"BadDateAccept", &Settings::badDateAccept},
      {"CheckPvtNode", &Settings::checkPvtNode},
      {"CheckHoldNode", &Settings::checkHoldNode},
      {"CheckDownNode", &Settings::checkDownNode},
      {"CheckSubj", &Settings::checkSubj},
      {"CheckNodeName", &Settings::checkNodeName},
      {"CheckPointName", &Settings::checkPointName},
      {"CheckRouting", &Settings::checkRouting},
      {"CheckMsgId", &Settings::checkMsgId},
      {"CheckReplyTo", &Settings::checkReplyTo},
      {"CheckListedNode", &Settings::checkListedNode},
      {"CheckValidAddress", &Settings::checkValidAddress},
      {"CheckDateSystem", &Settings::checkDateSystem},
      {"CheckUserID", &Settings::checkUserId},
      {"PointDirectAccept", &Settings::pointDirectAccept},
      {"NodeFromPointAccept", &Settings::nodeFromPointAccept},
      {"LogCandidatName", &Settings::logCandidatName},
      {"BadPasswordAccept", &Settings::badPasswordAccept},
  };
  for (const auto& [key, flag] : switches) {
    read(upper(key) + " Yes\r\n");  // keys compare without regard to case
    int set = 0;
    for (const auto& other : switches) set += settings.*other.second;
    EXPECT_TRUE(settings.*flag) << key;
    EXPECT_EQ(set, 1) << key;
  }

  testsupport::writeFile(dir_ / "ann.tpl", "");
  read("Origin \"The origin\"\r\nAuxiliaryPassword \"aux\"\r\nCharset \"CP866\"\r\nCopyNetmailOut " +
       (dir_ / "copies") + "\r\nAnnounceTpl " + (dir_ / "ann.tpl") + " more\r\n");
  EXPECT_EQ(settings.origin, "The origin");
  EXPECT_EQ(settings.auxiliaryPassword, "aux");
  EXPECT_EQ(settings.charset, "CP866");
  EXPECT_EQ(settings.copyNetmailOut, stored("copies"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "copies"));
  EXPECT_EQ(settings.announceTpl, dir_ / "ann.tpl");
}

// Each file and directory key lands in its own setting: a slip in the key table would send a
// verdict's reply or its messages somewhere else.
TEST_F(VoteManagerConfig, EachFileAndDirectoryKeyHasItsOwnSetting) {
  using korva::Settings;
  const std::pair<const char*, std::string Settings::*> files[] = {
      {"Nodelist", &Settings::nodelist},
      {"Pointlist", &Settings::pointlist},
      {"ValidAddressList", &Settings::validAddressList},
      {"ValidTpl", &Settings::validTpl},
      {"UncheckValidTpl", &Settings::uncheckValidTpl},
      {"RevoteTpl", &Settings::revoteTpl},
      {"InvalidTpl", &Settings::invalidTpl},
      {"DuplicateTpl", &Settings::duplicateTpl},
      {"RevoteLimitExceedTpl", &Settings::revoteLimitExceedTpl},
      {"InvalidAddressTpl", &Settings::invalidAddressTpl},
      {"RejectAddressTpl", &Settings::rejectAddressTpl},
      {"InvalidEMailTpl", &Settings::invalidEMailTpl},
      {"BadListNameTpl", &Settings::badListNameTpl},
      {"MissingAddressTpl", &Settings::missingAddressTpl},
      {"PvtAddressTpl", &Settings::pvtAddressTpl},
      {"HoldAddressTpl", &Settings::holdAddressTpl},
      {"DownAddressTpl", &Settings::downAddressTpl},
      {"BadNodeNameTpl", &Settings::badNodeNameTpl},
      {"BadPointNameTpl", &Settings::badPointNameTpl},
      {"PointTpl", &Settings::pointTpl},
      {"DirPointTpl", &Settings::dirPointTpl},
      {"BadRouteTpl", &Settings::badRouteTpl},
      {"BadOrigTpl", &Settings::badOrigTpl},
      {"InvPointTpl", &Settings::invPointTpl},
      {"CancelPntTpl", &Settings::cancelPntTpl},
      {"SoonTpl", &Settings::soonTpl},
      {"LateTpl", &Settings::lateTpl},
      {"BadDateTpl", &Settings::badDateTpl},
      {"BadSubjTpl", &Settings::badSubjTpl},
      {"ManyVoicesTpl", &Settings::manyVoicesTpl},
      {"EmptyPasswordTpl", &Settings::emptyPasswordTpl},
      {"BadUserIdTpl", &Settings::badUserIdTpl},
      {"HelpTpl", &Settings::helpTpl},
      {"CheckOkTpl", &Settings::checkOkTpl},
      {"AuxiliaryTpl", &Settings::auxiliaryTpl},
      {"HeaderTpl", &Settings::headerTpl},
      {"AuditTpl", &Settings::auditTpl},
      {"AnnounceTpl", &Settings::announceTpl},
  };
  const std::pair<const char*, std::string Settings::*> directories[] = {
      {"NetmailOut", &Settings::netmailOut},         {"NetmailUnCheck", &Settings::netmailUnCheck},
      {"CopyNetmailOut", &Settings::copyNetmailOut}, {"MoveBadDate", &Settings::moveBadDate},
      {"MoveBadRoute", &Settings::moveBadRoute},     {"MoveBadMsgId", &Settings::moveBadMsgId},
      {"MoveBadUserId", &Settings::moveBadUserId},   {"MoveAuxiliary", &Settings::moveAuxiliary},
      {"MoveCancel", &Settings::moveCancel},         {"MoveDupe", &Settings::moveDupe},
      {"MoveBadSyntax", &Settings::moveBadSyntax},   {"MoveBadSubj", &Settings::moveBadSubj},
      {"MoveBadNode", &Settings::moveBadNode},
  };
  std::string lines;
  for (const auto& [key, member] : files) {
    testsupport::writeFile(dir_ / key, "");
    lines += std::string(key) + " " + (dir_ / key) + "\r\n";
  }
  for (const auto& [key, member] : directories) {
    std::filesystem::create_directory(dir_ / key);
    lines += std::string(key) + " " + (dir_ / key) + "\r\n";
  }
  read(lines);
  for (const auto& [key, member] : files) EXPECT_EQ(settings.*member, dir_ / key) << key;
  for (const auto& [key, member] : directories) EXPECT_EQ(settings.*member, stored(key)) << key;
}

TEST_F(VoteManagerConfig, SecondCandidatesLineReplacesTheList) {
  testsupport::writeFile(dir_ / "other list.txt", "Petr\n");
  read("Candidates " + (dir_ / "other list.txt") + "  \r\n");
  ASSERT_EQ(korva::election.candidates.size(), 1u);
  EXPECT_EQ(korva::election.candidates[0].name, "Petr");
  EXPECT_EQ(settings.candidatesPath, dir_ / "other list.txt");
}

}  // namespace
