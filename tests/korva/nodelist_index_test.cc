#include "korva/nodelist_index.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/index_format.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/message_reader.h"
#include "korva/settings.h"
#include "tests/common/test_support.h"

namespace {

using korva::app;
using korva::election;
using korva::indexState;
using korva::NodeStatus;
using korva::PointStatus;
using korva::settings;
using testsupport::readFile;
using testsupport::writeFile;

const char kNodelist[] =
    ";A Nodelist for Friday, 1 January 2027 -- Day number 001 : 12345\r\n"
    "Zone,2,Europe,Somewhere,Zone_Coordinator,7-000,300,CM\r\n"
    ",7,Zone_Node,City,Directly_In_Zone,7-000,300,CM\r\n"
    "Host,5020,Moscow_Net,Moscow,Host_Sysop,7-095,9600,CM\r\n"
    ",1,First_Station,Moscow,Ivan_Ivanov,7-095-1,9600,CM\r\n"
    ";S a comment\r\n"
    "Pvt,2,Private,Moscow,Petr_Petrov,-Unpublished-,300\r\n"
    "HOLD,3,Held,Moscow,Held_Sysop,7-095-3,300,CM\r\n"
    "Down,4,Down,Moscow,Down_Sysop,7-095-4,300,CM\r\n"
    "Host,5030,Other_Net,Tver,Other_Host,7-082,300,CM\r\n"
    ",1,Other,Tver,Other_Sysop,7-082-1,300,CM\r\n";

const char kPointlist[] =
    ";A Pointlist\r\n"
    "Boss,2:5020/1\r\n"
    "Point,1,Home,Moscow,Point_One,-Unpublished-,300,CM\r\n"
    "Point,2,Home,Moscow,Point_Two,-Unpublished-,300,CM\r\n"
    "boss,2:5020/4\r\n"
    "Point,3,Home,Moscow,Point_Three_Under_1,-Unpublished-,300,CM\r\n";

const char kValidList[] =
    "2:5020/1 <ivan@example.org> Ivan Ivanov\r\n"
    "2:5020/1.1\r\n"
    "junk line without an address\r\n"
    "2:5020/2 Petr Petrov\r\n"
    "2:5020/9 <broken@example.org Nobody\r\n";

class NodelistIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::setTimeZone("UTC");
    writeFile(dir_ / "net.ndl", kNodelist);
    writeFile(dir_ / "points.pnt", kPointlist);
    writeFile(dir_ / "valid.lst", kValidList);
    writeFile(dir_ / "korva.cfg", "");
    settings = korva::Settings{};
    settings.ownAddress = {2, 5020, 1, 0};
    settings.validAddress.part[0] = 2;
    settings.validAddress.part[1] = 5020;
    settings.validAddress.wildcard[2] = settings.validAddress.wildcard[3] = true;
    settings.nodelist = dir_ / "net.ndl";
    settings.pointlist = dir_ / "points.pnt";
    settings.validAddressList = dir_ / "valid.lst";
    settings.configDate = 0x5A21;
    settings.configTime = 0x6000;
    settings.periodStart = 2000000000;  // voting has not begun
    app = korva::AppState{};
    app.configPath = dir_ / "korva.cfg";
    app.startTime = 1800000000;
    election = korva::ElectionState{};
    election.candidates = {{"Ivan Petrov", 0}, {"Olga I. Sidorova", 0}};
    indexState = korva::IndexState{};
  }

  // Runs openIndex and returns what it logged.
  std::string open() {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    korva::openIndex();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }

  std::string indexBytes() { return readFile(dir_ / "korva.kix"); }

  static void touch(const std::string& path, int hoursLater) {
    auto t = std::filesystem::last_write_time(path);
    std::filesystem::last_write_time(path, t + std::chrono::hours(hoursLater));
  }

  testsupport::ScratchDir dir_;
};

std::vector<index_format::Record> recordsOf(const std::string& bytes, uint32_t from, uint32_t to) {
  std::vector<index_format::Record> out;
  for (uint32_t at = from; at + index_format::kRecordSize <= to; at += index_format::kRecordSize) {
    out.push_back(index_format::decodeRecord(reinterpret_cast<const uint8_t*>(bytes.data() + at)));
  }
  return out;
}

long offsetOf(const char* file, const char* line) { return long(std::string(file).find(line)); }

using index_format::Header;

// Index bytes with one header field changed.
void changeHeader(std::string& bytes, void (*change)(Header& header)) {
  Header h = index_format::decodeHeader(bytes);
  change(h);
  bytes.replace(0, index_format::kHeaderSize, index_format::encodeHeader(h));
}

TEST_F(NodelistIndex, BuildsTheFileLayout) {
  EXPECT_NE(open().find("- Candidates/Nodelist/valid list reindex."), std::string::npos);
  std::string bytes = indexBytes();
  index_format::Header h = index_format::decodeHeader(bytes);
  EXPECT_EQ(bytes.substr(0, 22), std::string("Kelvanoth index file \0", 22));
  EXPECT_EQ(h.version, 4);
  EXPECT_EQ(h.validListName, "valid.lst");
  EXPECT_EQ(h.nodelistName, "net.ndl");
  EXPECT_EQ(h.pointlistName, "points.pnt");
  EXPECT_EQ(h.configDate, 0x5A21);
  EXPECT_EQ(h.configTime, 0x6000);
  EXPECT_NE(h.nodelistDate, 0);
  EXPECT_EQ(bytes.substr(98, 64), std::string(64, '\0'));
  // The bytes after a name's NUL are zero.
  EXPECT_EQ(bytes.substr(38 + 7, 7), std::string(7, '\0'));

  // Valid list: from its first line; the line without an address gives nothing.
  std::vector<index_format::Record> valid = recordsOf(bytes, 162, h.firstNodelistRecord);
  ASSERT_EQ(valid.size(), 4u);
  EXPECT_EQ(valid[1].point, 1);
  EXPECT_EQ(valid[2].node, 2);
  EXPECT_EQ(long(valid[2].offset), offsetOf(kValidList, "2:5020/2 "));
  for (const auto& r : valid) EXPECT_EQ(r.kind, index_format::kValidEntry);

  // Nodelist: the first line never; the mask 2:5020/*.* keeps the host and its nodes only.
  struct Expected {
    int16_t node;
    uint8_t kind;
    const char* line;
  };
  const Expected nodes[] = {
      {0, 1, "Host,5020"}, {1, 1, ",1,First"}, {2, 3, "Pvt,2"}, {3, 5, "HOLD,3"}, {4, 7, "Down,4"}};
  std::vector<index_format::Record> nodelist = recordsOf(bytes, h.firstNodelistRecord, h.firstPointlistRecord);
  ASSERT_EQ(nodelist.size(), 5u);
  for (size_t i = 0; i < nodelist.size(); ++i) {
    SCOPED_TRACE(nodes[i].line);
    EXPECT_EQ(nodelist[i].zone, 2);
    EXPECT_EQ(nodelist[i].net, 5020);
    EXPECT_EQ(nodelist[i].node, nodes[i].node);
    EXPECT_EQ(nodelist[i].kind, nodes[i].kind);
    EXPECT_EQ(long(nodelist[i].offset), offsetOf(kNodelist, nodes[i].line));
  }

  // Pointlist: "boss," in lower case is no Boss line, so point 3 is filed under 2:5020/1.
  std::vector<index_format::Record> points = recordsOf(bytes, h.firstPointlistRecord, h.candidatesBlock);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[2].node, 1);
  EXPECT_EQ(points[2].point, 3);
  EXPECT_EQ(points[2].kind, index_format::kPoint);

  EXPECT_EQ(h.candidateCount, 2);
  EXPECT_EQ(bytes.substr(h.candidatesBlock), std::string("IvanPetrov\0OlgaISidorova\0", 25));
  EXPECT_EQ(indexState.nodelistFileName, "net.ndl");
  EXPECT_EQ(indexState.nodelistFirstLine, std::string(kNodelist).substr(0, 66));
}

TEST_F(NodelistIndex, ZoneLinesAndNodesBeforeAnyHost) {
  settings.validAddress = korva::AddressMask{};
  for (bool& w : settings.validAddress.wildcard) w = true;
  open();
  EXPECT_EQ(korva::findNodelistEntry({2, 0, 0, 0}).status, NodeStatus::kListed);
  EXPECT_EQ(korva::findNodelistEntry({2, 0, 0, 0}).sysopName, "Zone Coordinator");
  EXPECT_EQ(korva::findNodelistEntry({2, 0, 7, 0}).status, NodeStatus::kListed);
  EXPECT_EQ(korva::findNodelistEntry({2, 0, 7, 0}).sysopName, "Directly In Zone");
  EXPECT_EQ(korva::findNodelistEntry({2, 5030, 1, 0}).status, NodeStatus::kListed);
}

TEST_F(NodelistIndex, Lookups) {
  open();
  EXPECT_EQ(korva::findNodelistEntry({2, 5020, 0, 0}).status, NodeStatus::kListed);
  EXPECT_EQ(korva::findNodelistEntry({2, 5020, 0, 0}).sysopName, "Host Sysop");
  korva::NodelistEntry boss = korva::findNodelistEntry({2, 5020, 2, 7});  // a point is looked up by its boss
  EXPECT_EQ(boss.status, NodeStatus::kPvt);
  EXPECT_EQ(boss.sysopName, "Petr Petrov");
  EXPECT_EQ(korva::findNodelistEntry({2, 5020, 3, 0}).status, NodeStatus::kHold);
  EXPECT_EQ(korva::findNodelistEntry({2, 5020, 4, 0}).status, NodeStatus::kDown);
  EXPECT_EQ(korva::findNodelistEntry({2, 5030, 1, 0}).status, NodeStatus::kNotListed);  // outside the mask
  EXPECT_EQ(korva::findNodelistEntry({2, 5030, 1, 0}).sysopName, "");

  korva::InboundMessage msg;
  msg.orig = {2, 5020, 1, 0};
  EXPECT_EQ(korva::findPointlistEntry(msg).status, PointStatus::kNotPoint);
  msg.orig.point = 2;
  EXPECT_EQ(korva::findPointlistEntry(msg).status, PointStatus::kListed);
  EXPECT_EQ(korva::findPointlistEntry(msg).sysopName, "Point Two");
  msg.orig.point = 9;
  EXPECT_EQ(korva::findPointlistEntry(msg).status, PointStatus::kNotListed);

  EXPECT_EQ(korva::findValidAddress(FtnAddress{2, 5020, 2, 0}), korva::AddressListing::kListed);
  EXPECT_EQ(korva::findValidAddress(FtnAddress{2, 5020, 2, 1}), korva::AddressListing::kNotListed);

  using korva::SenderListing;
  struct Case {
    FtnAddress from;
    const char* name;
    const char* replyAddr;
    SenderListing expected;
  } cases[] = {
      // e-mail case and name spelling ignored
      {{2, 5020, 1, 0}, "ivan.IVANOV", "IVAN@example.org", SenderListing::kAccepted},
      {{2, 5020, 1, 0}, "Ivan Ivanov", "other@example.org", SenderListing::kEmailDiffers},
      {{2, 5020, 1, 0}, "Somebody Else", "ivan@example.org", SenderListing::kNameDiffers},
      // an address alone admits every sender from it
      {{2, 5020, 1, 1}, "Anybody", "", SenderListing::kAccepted},
      {{2, 5020, 2, 0}, "Petr  Petrov", "", SenderListing::kAccepted},
      {{2, 5020, 2, 0}, "Petr Ivanov", "", SenderListing::kNameDiffers},
      {{2, 5020, 3, 0}, "Held Sysop", "", SenderListing::kAddressNotListed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    korva::InboundMessage m;
    m.orig = c.from;
    m.fromName = c.name;
    m.replyAddr = c.replyAddr;
    EXPECT_EQ(korva::findValidAddress(m), c.expected);
  }
}

TEST_F(NodelistIndex, MissingListsAnswerNoList) {
  settings.nodelist.clear();
  settings.pointlist.clear();
  settings.validAddressList.clear();
  open();
  korva::InboundMessage msg;
  msg.orig = {2, 5020, 1, 1};
  EXPECT_EQ(korva::findNodelistEntry(msg.orig).status, NodeStatus::kNoNodelist);
  EXPECT_EQ(korva::findPointlistEntry(msg).status, PointStatus::kNoPointlist);
  EXPECT_EQ(korva::findValidAddress(msg), korva::SenderListing::kNoList);
  EXPECT_EQ(korva::findValidAddress(msg.orig), korva::AddressListing::kNoList);
  index_format::Header h = index_format::decodeHeader(indexBytes());
  EXPECT_EQ(h.firstNodelistRecord, 162u);
  EXPECT_EQ(h.candidatesBlock, 162u);
  EXPECT_EQ(h.nodelistName, "");
  EXPECT_EQ(h.nodelistDate, 0);
}

TEST_F(NodelistIndex, DamagedSourcesEndTheRun) {
  testsupport::ScratchDir out;
  open();
  korva::InboundMessage msg;
  msg.orig = {2, 5020, 9, 0};
  EXPECT_EXIT_STDOUT(korva::findValidAddress(msg), 12, out / "valid");
  EXPECT_NE(readFile(out / "valid").find("! Invalid REPLYADDR value in ValidAddressList (offset="), std::string::npos);

  // The nodelist changed under the open index: the line at the offset is another one.
  std::string shifted = std::string(kNodelist);
  shifted.insert(shifted.find("Pvt,2"), "Pvt,8,Intruder,X,Y,0,0\r\n");
  writeFile(settings.nodelist, shifted);
  std::fclose(indexState.nodelist);
  indexState.nodelist = std::fopen(settings.nodelist.c_str(), "rb");
  EXPECT_EXIT_STDOUT(korva::findNodelistEntry({2, 5020, 2, 0}), 12, out / "nodelist");
  EXPECT_NE(readFile(out / "nodelist").find("! Invalid nodelist record (offset="), std::string::npos);

  settings.pointlist = dir_ / "missing.pnt";
  EXPECT_EXIT_STDOUT(korva::openIndex(), 11, out / "open");
  // A new entry: its time of day before it.
  EXPECT_NE(readFile(out / "open").find(" ! Can't open pointlist \""), std::string::npos) << readFile(out / "open");
}

TEST_F(NodelistIndex, RebuildsOnlyWhenStale) {
  open();
  EXPECT_EQ(open(), "");
  touch(settings.nodelist, 24);
  EXPECT_NE(open().find("reindex"), std::string::npos);
  // A renamed pointlist with the same date and time is not a reason.
  std::filesystem::copy_file(settings.pointlist, dir_ / "renamed.pnt");
  std::filesystem::last_write_time(dir_ / "renamed.pnt", std::filesystem::last_write_time(settings.pointlist));
  settings.pointlist = dir_ / "renamed.pnt";
  EXPECT_EQ(open(), "");
  // Under a wildcard another file newest is another list, whatever its stamp; of equal times the
  // greatest name is the newest.
  settings.pointlist = dir_ / "*.PNT";
  open();
  EXPECT_EQ(open(), "");
  EXPECT_EQ(indexState.pointlistFileName, "renamed.pnt");
  std::filesystem::copy_file(dir_ / "renamed.pnt", dir_ / "week2.pnt");
  std::filesystem::last_write_time(dir_ / "week2.pnt", std::filesystem::last_write_time(dir_ / "renamed.pnt"));
  EXPECT_NE(open().find("reindex"), std::string::npos);
  EXPECT_EQ(index_format::decodeHeader(indexBytes()).pointlistName, "week2.pnt");
  settings.configTime = 0x6001;
  EXPECT_NE(open().find("reindex"), std::string::npos);
  app.indexRebuildRequest = true;
  EXPECT_NE(open().find("reindex"), std::string::npos);
  EXPECT_FALSE(app.indexRebuildRequest);
  // A damaged index file, or one of another version, is rebuilt, not trusted: neither by the
  // lookups nor, once voting began, by the candidates check.
  std::string bytes = indexBytes();
  struct Damage {
    const char* what;
    void (*apply)(std::string& bytes);
  } damages[] = {
      {"cut inside the records", [](std::string& b) { b.resize(170); }},
      {"cut inside the header", [](std::string& b) { b.resize(100); }},
      {"cut inside the candidates block", [](std::string& b) { b.resize(b.size() - 3); }},
      {"another version", [](std::string& b) { changeHeader(b, [](Header& h) { h.version = 5; }); }},
      {"negative candidate count", [](std::string& b) { changeHeader(b, [](Header& h) { h.candidateCount = -1; }); }},
      {"more candidates than the file holds",
       [](std::string& b) { changeHeader(b, [](Header& h) { h.candidateCount = 1 << 20; }); }},
      {"more candidates than the block holds",
       [](std::string& b) { changeHeader(b, [](Header& h) { h.candidateCount = 3; }); }},
      {"candidates block beyond the file",
       [](std::string& b) { changeHeader(b, [](Header& h) { h.candidatesBlock += 10 * 12; }); }},
      {"nodelist records start a record late",
       [](std::string& b) { changeHeader(b, [](Header& h) { h.firstNodelistRecord += 12; }); }},
      {"pointlist records start among the nodelist's",
       [](std::string& b) { changeHeader(b, [](Header& h) { h.firstPointlistRecord -= 12; }); }},
  };
  for (bool votingBegan : {false, true}) {
    app.startTime = votingBegan ? settings.periodStart : 1800000000;
    for (const Damage& d : damages) {
      SCOPED_TRACE(std::string(d.what) + (votingBegan ? ", voting began" : ""));
      std::string damaged = bytes;
      d.apply(damaged);
      writeFile(dir_ / "korva.kix", damaged);
      std::string log = open();
      EXPECT_NE(log.find("reindex"), std::string::npos);
      EXPECT_EQ(log.find("! Candidates file was changed!"), std::string::npos);
      EXPECT_EQ(log.find("CHECK RESULTS"), std::string::npos);
      EXPECT_EQ(indexBytes(), bytes);
    }
  }
}

TEST_F(NodelistIndex, CandidatesCheckOnceVotingBegan) {
  open();
  // Before the voting period nothing is compared.
  election.candidates[0].name = "Someone Else";
  EXPECT_EQ(open(), "");
  election.candidates[0].name = "ivan   petrov";  // the same key
  app.startTime = settings.periodStart;
  EXPECT_EQ(open(), "");

  election.candidates.push_back({"Third Candidate", 0});
  std::string log = open();
  EXPECT_NE(log.find("! Candidates file was changed!"), std::string::npos);
  EXPECT_NE(log.find("reindex"), std::string::npos);
  EXPECT_EQ(log.find("CHECK RESULTS"), std::string::npos);

  testsupport::ScratchDir out;
  election.candidates[2].name = "Fourth Candidate";
  EXPECT_EXIT_STDOUT(korva::openIndex(), 19, out / "renamed");
  std::string renamed = readFile(out / "renamed");
  EXPECT_NE(renamed.find("! Unexpected candidate \"Fourth Candidate\" in candidates file."), std::string::npos);
  EXPECT_EQ(renamed.find("! Candidates file was changed!"), std::string::npos);
  EXPECT_NE(renamed.find("! CHECK RESULTS OF ELECTION!"), std::string::npos);
  // An index stale for another reason (a newer nodelist) is still compared before it is rebuilt.
  touch(settings.nodelist, 24);
  EXPECT_EXIT_STDOUT(korva::openIndex(), 19, out / "stale");

  election.candidates.erase(election.candidates.begin() + 1);
  EXPECT_EXIT_STDOUT(korva::openIndex(), 19, out / "removed");
  std::string removed = readFile(out / "removed");
  EXPECT_NE(removed.find("! Candidates file was changed!"), std::string::npos);
  EXPECT_NE(removed.find("! CHECK RESULTS OF ELECTION! (see documentation)"), std::string::npos);
  EXPECT_NE(removed.find("To reindex run: \">Korva32.exe Index\""), std::string::npos);

  // The Index command accepts the change.
  app.indexRebuildRequest = true;
  log = open();
  EXPECT_NE(log.find("CHECK RESULTS"), std::string::npos);
  EXPECT_NE(log.find("reindex"), std::string::npos);
  EXPECT_EQ(open(), "");
}

TEST_F(NodelistIndex, LinesBeyondTheOffsetRangeAreRefused) {
  // A sparse valid list whose last line starts past the 24-bit offsets.
  std::string path = dir_ / "huge.lst";
  writeFile(path, "2:5020/1\r\n");
  std::filesystem::resize_file(path, (1u << 24) + 10);
  {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    std::fputs("\r\n2:5020/2\r\n", f);
    std::fclose(f);
  }
  settings.validAddressList = path;
  testsupport::ScratchDir out;
  EXPECT_EXIT_STDOUT(korva::openIndex(), 11, out / "log");
  EXPECT_NE(readFile(out / "log").find("! File \"" + path + "\" is too large to be indexed"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "korva.kix"));
}

TEST_F(NodelistIndex, LongFileNamesAreCutToTheField) {
  std::string path = dir_ / "a-very-long-nodelist-name.001";
  std::filesystem::copy_file(settings.nodelist, path);
  settings.nodelist = path;
  open();
  EXPECT_EQ(index_format::decodeHeader(indexBytes()).nodelistName, "a-very-long-n");
  EXPECT_EQ(indexState.nodelistFileName, "a-very-long-nodelist-name.001");
  EXPECT_EQ(open(), "");
  EXPECT_EQ(korva::findNodelistEntry({2, 5020, 1, 0}).status, NodeStatus::kListed);
}

}  // namespace
