#include "nuvrel/readers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/config_values.h"
#include "common/ftn_address.h"
#include "common/index_format.h"
#include "common/log.h"
#include "nuvrel/app.h"
#include "nuvrel/config.h"
#include "tests/common/test_support.h"

namespace {

using nuvrel::election;
using testsupport::ScratchDir;

TEST(PosterCandidates, ReadsNamesAndStatusesAndDropsTheRestOfLongLines) {
  ScratchDir dir;
  election = nuvrel::ElectionData{};
  testsupport::writeFile(dir / "cand.lst", "First\r\n\r\n  Second {1}\r\n" + std::string(100, 'L') +
                                               "\r\n\x8D"
                                               "ame {2}\nLast");
  nuvrel::loadPosterCandidates(dir / "cand.lst");
  ASSERT_EQ(election.candidates.size(), 5u);
  EXPECT_EQ(election.candidates[0].name, "First");
  EXPECT_EQ(election.candidates[1].name, "Second");
  EXPECT_EQ(election.candidates[1].status, 1);
  EXPECT_EQ(election.candidates[2].name, std::string(79, 'L'));  // one candidate, not two
  EXPECT_EQ(election.candidates[3].name, "Hame");
  EXPECT_EQ(election.candidates[3].status, 2);
  EXPECT_EQ(election.candidates[4].name, "Last");
}

TEST(PosterCandidates, MissingFileIsAConfigurationError) {
  ScratchDir dir;
  logging::logInit({"Nuvrel", "2.10/32", ""});
  config::source = config::ConfigSource{"korva.cfp", 0, nuvrel::writeConfigErrorHeader};
  EXPECT_EXIT_STDOUT(nuvrel::loadPosterCandidates(dir / "none.lst"), 3, dir / "out");
  EXPECT_EQ(testsupport::readFile(dir / "out"), "Candidates file \"" + (dir / "none.lst") + "\" not found.\n");
}

}  // namespace

namespace {

using nuvrel::app;

class PosterReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    logging::logInit({"Nuvrel", "2.10/32", ""});
    election = nuvrel::ElectionData{};
    nuvrel::settings = nuvrel::Settings{};
    app.configPath = dir_ / "korva.cfp";
  }
  void write(const char* extension, const std::string& bytes) {
    testsupport::writeFile(dir_ / ("korva." + std::string(extension)), bytes);
  }
  // Runs a step and returns what it printed.
  static std::string printed(const std::function<void()>& step) {
    testing::internal::CaptureStdout();
    step();
    return testing::internal::GetCapturedStdout();
  }
  ScratchDir dir_;
};

TEST_F(PosterReaders, StatisticSumsAndCountWidth) {
  write("sta",
        ";\r\n; Kelvanoth Statistic      ver. 2.10/32\r\n;\r\nVALD=10\r\nMANV=2\r\nDUPE=3\r\nvald=50\r\nAUX_=7\r\n");
  EXPECT_EQ(nuvrel::formatCount(7), "7");  // before the file is read
  nuvrel::loadPosterStatistic();
  EXPECT_EQ(election.refusedSum, 3u);
  EXPECT_EQ(election.ballotTotal, 15u);  // AUX_ counts in neither sum
  EXPECT_EQ(election.countWidth, 2);
  EXPECT_EQ(nuvrel::formatCount(7), " 7");
  write("sta", "VALD=99\r\n");
  nuvrel::loadPosterStatistic();  // read once per run
  EXPECT_EQ(election.ballotTotal, 15u);
}

TEST_F(PosterReaders, MissingFilesLeaveEmptyFigures) {
  std::string out = printed([] {
    nuvrel::loadPosterStatistic();
    nuvrel::loadPosterVotes();
    nuvrel::loadListedAddresses();
  });
  EXPECT_NE(out.find("? Can't open statistic file \"" + (dir_ / "korva.sta") + "\"."), std::string::npos);
  EXPECT_NE(out.find("? Can't open vote base file \"" + (dir_ / "korva.vot") + "\"."), std::string::npos);
  EXPECT_NE(out.find("? Can't open index file \"" + (dir_ / "korva.kix") + "\"."), std::string::npos);
  EXPECT_EQ(election.countWidth, 0);
  EXPECT_TRUE(election.votes.empty());
  EXPECT_EQ(election.listedAddresses, 0u);
}

TEST_F(PosterReaders, ListedAddressesFromTheIndexHeader) {
  struct Case {
    uint16_t version;
    uint32_t firstNodelistRecord;
    size_t fileSize;  // the records after the header as far as they reach
    unsigned listed;
    const char* complaint;  // "" when the header is taken
  } cases[] = {
      {4, 162, 162, 0, ""},
      {4, 162 + 12 * 5, 162 + 12 * 5, 5, ""},
      {4, 162 + 12 * 5 + 9, 162 + 12 * 6, 0, "Damaged index file"},  // not on a record boundary
      {4, 100, 162, 0, "Damaged index file"},
      {4, 162 + 12 * 5, 162 + 12 * 2, 0, "Damaged index file"},  // beyond the file
      {3, 162 + 12 * 5, 162 + 12 * 5, 0, "Unknown version of index file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.firstNodelistRecord);
    election = nuvrel::ElectionData{};
    index_format::Header header;
    header.version = c.version;
    header.firstNodelistRecord = header.firstPointlistRecord = header.candidatesBlock = c.firstNodelistRecord;
    std::string bytes = index_format::encodeHeader(header);
    bytes.resize(c.fileSize, '\0');
    write("kix", bytes);
    std::string out = printed(nuvrel::loadListedAddresses);
    EXPECT_EQ(election.listedAddresses, c.listed);
    if (*c.complaint) {
      EXPECT_NE(out.find(c.complaint), std::string::npos) << out;
    } else {
      EXPECT_EQ(out.find("index file"), std::string::npos) << out;
    }
  }
}

TEST_F(PosterReaders, VoteBaseRecordsAndBrokenLines) {
  const std::string good =
      "1\t0\t0000000100000002\t2:5020/1.0\tJohn Doe\tpass1\r\n-2\t1\t0000000100000003\t2:5020/2.0\tAnn\tA b\r\n";
  write("vot", good + "\r\nnotes\r\n1\t0\t0000000100000004\t2:5020/3.0\tLater\tx\r\n");
  nuvrel::loadPosterVotes();
  // Blank and text lines hold no vote; the vote after them counts, as the vote manager counts it.
  ASSERT_EQ(election.votes.size(), 3u);
  EXPECT_EQ(election.votes[2].name, "Later");
  EXPECT_EQ(election.votes[1].candidate, -2);
  EXPECT_EQ(election.votes[1].password, "A b");
  EXPECT_EQ(election.votes[1].userId.first, 0u);  // not kept
  write("vot", "");
  nuvrel::loadPosterVotes();  // read once per run
  EXPECT_EQ(election.votes.size(), 3u);
  for (const std::string& broken :
       {std::string("1\t0\t00000001\r\n"), std::string("1\t0\t0000000100000004\t2:5020/3.0\tNoTab\r\n")}) {
    election = nuvrel::ElectionData{};
    write("vot", good + broken);
    std::string out = printed(nuvrel::loadPosterVotes);
    EXPECT_NE(out.find("! Invalid file format \"" + (dir_ / "korva.vot") + "\", aborted."), std::string::npos);
    EXPECT_TRUE(election.votes.empty());
  }
}

TEST_F(PosterReaders, TallyAndOrders) {
  election.candidates = {{"bob", 0}, {"Olga", 1}, {"Alice", 0}, {"Carl", 0}};
  auto vote = [](int16_t candidate, FtnAddress address, const char* name, const char* password) {
    VoteRecord r;
    r.candidate = candidate;
    r.address = address;
    r.name = name;
    r.password = password;
    return r;
  };
  election.votes = {vote(3, {2, 5020, 2, 0}, "zed", "b"), vote(1, {2, 5020, 1, 1}, "Ann", "C"),
                    vote(3, {2, 5020, 1, 0}, "ann", "a"), vote(-1, {1, 1, 1, 0}, "Bo", "d"),
                    vote(0, {2, -25536, 1, 0}, "Bo", "e")};
  EXPECT_EQ(nuvrel::tallyPosterVotes({}), 5u);  // "Alice"; Olga is not electable
  EXPECT_EQ(election.totals, (std::vector<uint16_t>{1, 0, 2, 0}));
  EXPECT_EQ(election.countedVotes, 3);
  EXPECT_EQ(election.electable, (std::vector<int>{0, 2, 3}));
  nuvrel::tallyPosterVotes({.byName = true});
  EXPECT_EQ(election.electable, (std::vector<int>{2, 0, 3}));
  nuvrel::tallyPosterVotes({.byVotes = true, .byName = true});
  EXPECT_EQ(election.electable, (std::vector<int>{2, 0, 3}));
  nuvrel::tallyPosterVotes({.byVotes = true});
  EXPECT_EQ(election.electable.front(), 2);

  auto names = [] {
    std::string s;
    for (const VoteRecord& r : election.votes) s += r.name + "@" + formatAddress(r.address) + " ";
    return s;
  };
  nuvrel::orderVoteRecords({.byAddress = true});  // net 40000 is above 5020 as an unsigned number
  EXPECT_EQ(names(), "Bo@1:1/1 ann@2:5020/1 Ann@2:5020/1.1 zed@2:5020/2 Bo@2:-25536/1 ");
  nuvrel::orderVoteRecords({.byName = true, .byAddress = true});
  EXPECT_EQ(names(), "ann@2:5020/1 Ann@2:5020/1.1 Bo@1:1/1 Bo@2:-25536/1 zed@2:5020/2 ");
  nuvrel::orderVoteRecords({.byName = true, .byAddress = true, .byPassword = true});
  std::string passwords;
  for (const VoteRecord& r : election.votes) passwords += r.password;
  EXPECT_EQ(passwords, "abCde");
}

// Long shared beginnings, texts that are beginnings of others, CP866 bytes above 0x7F and names
// equal but for case: the order is that of an unsigned, ASCII-folded comparison, ties kept as read.
TEST_F(PosterReaders, NameOrderPastASharedBeginning) {
  const char* read[] = {"Elector Name 10", "Elector Name \x80", "elector name 1", "Elector Name",
                        "Elector Name 1",  "Elector Name 1zz",  "Elector Name 2", "ELECTOR NAME 1"};
  election.votes.clear();
  for (int i = 0; i < 8; ++i) {
    VoteRecord r;
    r.name = read[i];
    r.address = {2, 5020, int16_t(i), 0};
    election.votes.push_back(r);
  }
  nuvrel::orderVoteRecords({.byName = true});
  std::string order;
  for (const VoteRecord& r : election.votes) order += std::to_string(r.address.node);
  EXPECT_EQ(order, "32470561");
}

TEST_F(PosterReaders, TallyEndsTheRunOnBadData) {
  EXPECT_EXIT_STDOUT(nuvrel::tallyPosterVotes({}), 12, dir_ / "out");
  EXPECT_NE(testsupport::readFile(dir_ / "out").find("! Candidates file not defined. Process aborted."),
            std::string::npos);
  nuvrel::settings.candidatesPath = "cand.lst";
  EXPECT_EXIT_STDOUT(nuvrel::tallyPosterVotes({}), 12, dir_ / "out");
  EXPECT_NE(testsupport::readFile(dir_ / "out").find("! Candidates file is empty. Process aborted."),
            std::string::npos);
  election.candidates = {{"A", 0}, {"B", 0}};
  election.votes.resize(3);
  election.votes[0].candidate = 2;
  election.votes[1].candidate = -5;
  election.votes[2].candidate = 3;
  EXPECT_EXIT_STDOUT(nuvrel::tallyPosterVotes({}), 7, dir_ / "out");
  EXPECT_NE(testsupport::readFile(dir_ / "out").find("! Vote Base error! Invalid candidat id in pos 3."),
            std::string::npos);
}

}  // namespace
