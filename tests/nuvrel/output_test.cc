#include "nuvrel/output.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/log.h"
#include "common/platform.h"
#include "nuvrel/app.h"
#include "tests/common/test_support.h"
#include "tests/nuvrel/packet_reader.h"
#include "tests/nuvrel/poster_state.h"

namespace {

using nuvrel::app;
using nuvrel::output;
using nuvrel::settings;
using packet_reader::get16;
using testsupport::readFile;
using testsupport::ScratchDir;

class PosterOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::resetPosterState();
    settings.pktFromAddress = {2, 5020, 9999, 0};
    settings.pktToAddress = {2, 5020, 1, 0};
    settings.fromAddress = {2, 5020, 9999, 5};
    settings.area = "ELECTION";
    settings.subj = "Results";
    settings.from = "Robot";
    settings.origin = "Station";
    settings.pktDir = dir_.path + "/";
    settings.maxMsgSize = 10000;
    app.stampPath = dir_ / "nuvstamp.bin";
  }
  // One posted template of these lines.
  void post(const std::vector<std::string>& lines) {
    output.partCounter = 0;
    for (const std::string& line : lines) nuvrel::writeOutputLine(line);
    nuvrel::finishPost(false);
  }
  packet_reader::Packet packet() {
    testing::internal::CaptureStdout();
    nuvrel::closeOutput();
    testing::internal::GetCapturedStdout();
    std::vector<std::string> names = platform::listFiles(dir_.path, "*.PKT");
    EXPECT_EQ(names.size(), 1u);
    return names.empty() ? packet_reader::Packet{} : packet_reader::readPacket(readFile(dir_ / names[0]));
  }
  ScratchDir dir_;
};

const std::string kTearline = "\r--- Nuvrel  Ver. 2.10/32            Kelvanoth Poster, Apr 2005.";
const std::string kOrigin = "\r * Origin: Station (2:5020/9999.5)";

std::string kludgesWithoutMsgId(const std::string& text) {
  size_t msgid = text.find("\x01MSGID: ");
  return text.substr(0, msgid) + text.substr(text.find('\r', msgid) + 1);
}

TEST_F(PosterOutput, PacketHeaderFields) {
  namespace h = nuvrel::pkt_header;
  nuvrel::PacketHeader header;
  header.orig = {2, 5020, 9999, 5};
  header.dest = {1, -2, 3, 4};
  header.created.tm_year = 105;
  header.created.tm_mon = 0;  // January is month 0 in the packet
  header.created.tm_mday = 31;
  header.created.tm_hour = 23;
  header.created.tm_min = 58;
  header.created.tm_sec = 59;
  header.password = "1234567890";
  std::string bytes = nuvrel::encodePacketHeader(header);
  ASSERT_EQ(bytes.size(), 58u);
  struct Field {
    size_t at;
    uint16_t value;
  } fields[] = {
      {h::kOrigNode, 9999},
      {h::kDestNode, 3},
      {h::kYear, 2005},
      {h::kMonth, 0},
      {h::kDay, 31},
      {h::kHour, 23},
      {h::kMinute, 58},
      {h::kSecond, 59},
      {h::kBaud, 0},
      {h::kPacketType, 2},
      {h::kOrigNet, 5020},
      {h::kDestNet, 0xFFFE},
      {h::kQmOrigZone, 2},
      {h::kQmDestZone, 1},
      {h::kAuxNet, 0},
      {h::kCapabilityCopy, 0x0100},
      {h::kCapabilityWord, 0x0001},
      {h::kOrigZone, 2},
      {h::kDestZone, 1},
      {h::kOrigPoint, 5},
      {h::kDestPoint, 4},
      {h::kProductData, 0},
      {h::kProductData + 2, 0},
  };
  for (const Field& f : fields) {
    SCOPED_TRACE(f.at);
    EXPECT_EQ(get16(bytes, f.at), f.value);
  }
  EXPECT_EQ(uint8_t(bytes[h::kProductCodeLow]), 0xFF);
  EXPECT_EQ(uint8_t(bytes[h::kProductCodeHigh]), 0xFF);
  EXPECT_EQ(bytes[h::kRevisionMajor], 1);
  EXPECT_EQ(bytes[h::kRevisionMinor], 0);
  EXPECT_EQ(bytes.substr(h::kPassword, 8), "12345678");
  header.password = "ab";
  EXPECT_EQ(nuvrel::encodePacketHeader(header).substr(h::kPassword, 8), std::string("ab\0\0\0\0\0\0", 8));
}

TEST_F(PosterOutput, TwoTemplatesShareOnePacket) {
  settings.charset = "CP866 2";
  post({"one\n", "two\n", "three\n"});
  settings.subj = "Second";
  settings.origin.clear();
  post({"four\n"});
  packet_reader::Packet p = packet();
  EXPECT_TRUE(p.wellEnded);
  ASSERT_EQ(p.messages.size(), 2u);
  const packet_reader::PackedMessage& m = p.messages[0];
  EXPECT_EQ(m.type, 2);
  EXPECT_EQ(m.origNode, 9999);
  EXPECT_EQ(m.origNet, 5020);
  EXPECT_EQ(m.destNode, 1);
  EXPECT_EQ(m.destNet, 5020);
  EXPECT_EQ(m.dateTime.size(), 20u);
  EXPECT_EQ(m.dateTime.back(), '\0');
  EXPECT_EQ(m.to, "All");
  EXPECT_EQ(m.from, "Robot");
  EXPECT_EQ(m.subject, "Results");
  EXPECT_EQ(kludgesWithoutMsgId(m.text),
            "AREA:ELECTION\r\x01PID: Nuvrel 2.10/32\r\x01"
            "CHRS: CP866 2\rone\rtwo\rthree\r" +
                kTearline + kOrigin + "\r");
  EXPECT_NE(m.text.find("\x01MSGID: 2:5020/9999.5 "), std::string::npos);
  EXPECT_EQ(p.messages[1].subject, "Second");
  EXPECT_EQ(kludgesWithoutMsgId(p.messages[1].text),
            "AREA:ELECTION\r\x01PID: Nuvrel 2.10/32\r\x01"
            "CHRS: CP866 2\rfour\r" +
                kTearline + "\r");
  EXPECT_TRUE(std::filesystem::exists(app.stampPath));
}

TEST_F(PosterOutput, SmallMessageSizeMakesEveryLineAPart) {
  settings.maxMsgSize = 1;
  settings.shortTearline = true;
  post({"one\n", "two\n", "three\n"});
  packet_reader::Packet p = packet();
  ASSERT_EQ(p.messages.size(), 3u);
  const std::string tear = "\r--- Nuvrel  Ver. 2.10/32";
  const std::string split = "\r  * Message split, to be continued *\r";
  const char* subjects[] = {"Results", "[part 2] Results", "[part 3] Results"};
  const char* bodies[] = {"one\r", "\r  * Continuation 1 of a split message *\rtwo\r",
                          "\r  * Continuation 2 of a split message *\rthree\r"};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(p.messages[i].subject, subjects[i]);
    std::string trailer = (i < 2 ? split : "") + tear + kOrigin + "\r";
    EXPECT_EQ(kludgesWithoutMsgId(p.messages[i].text),
              std::string("AREA:ELECTION\r\x01PID: Nuvrel 2.10/32\r") + bodies[i] + trailer);
  }
}

TEST_F(PosterOutput, LongNamesAreCutToThePackedMessageFields) {
  settings.from = std::string(38, 'f');
  settings.subj = std::string(74, 's');
  settings.maxMsgSize = 1;
  post({"one\n", "two\n"});
  packet_reader::Packet p = packet();
  ASSERT_EQ(p.messages.size(), 2u);
  EXPECT_EQ(p.messages[0].from, std::string(35, 'f'));
  EXPECT_EQ(p.messages[0].subject, std::string(71, 's'));
  EXPECT_EQ(p.messages[1].subject, ("[part 2] " + std::string(74, 's')).substr(0, 71));
}

TEST_F(PosterOutput, ForcedSectionLeavesTheStampAlone) {
  app.forcedSection = "Daily";
  settings.includeTearline = false;
  post({"one\n"});
  packet_reader::Packet p = packet();
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_EQ(kludgesWithoutMsgId(p.messages[0].text), "AREA:ELECTION\r\x01PID: Nuvrel 2.10/32\rone\r" + kOrigin + "\r");
  EXPECT_FALSE(std::filesystem::exists(app.stampPath));
}

TEST_F(PosterOutput, TextFiles) {
  app.textMode = true;
  app.currentSection = dir_ / "Weekly";
  app.postingDay = platform::localSeconds(2005, 3, 7, 1, 0, 0);
  settings.area = "election.results";
  testing::internal::CaptureStdout();
  post({"one\n", "two\n"});
  app.headerFlag = true;
  app.currentSection = dir_ / "Head";
  post({"three\n"});
  EXPECT_NE(testing::internal::GetCapturedStdout().find("\"" + (dir_ / "Weekly.TXT") + "\" created."),
            std::string::npos);
  EXPECT_EQ(readFile(dir_ / "Weekly.TXT"), "one\ntwo\n" + kTearline.substr(1).insert(0, "\n") + std::string("\n\0", 2));
  std::string from = "From: Robot                               2:5020/9999.5";
  from.resize(60, ' ');
  EXPECT_EQ(readFile(dir_ / "Head.TXT"), std::string(60, '=') + " ELECTION.RESULTS =\n" + from +
                                             " 7 Mar 05  01:00:00\nTo  : All\nSubj: Results\n" + std::string(79, '=') +
                                             "\nthree\n\n--- Nuvrel  Ver. 2.10/32            Kelvanoth Poster, Apr "
                                             "2005.\n * Origin: Station (2:5020/9999.5)\n" +
                                             std::string(1, '\0'));
  EXPECT_EQ(settings.area, "ELECTION.RESULTS");
}

// A text whose template did not finish never reaches the disk: with no finished text before it
// there is no packet to deliver, and nothing was posted that the stamp could tell of.
TEST_F(PosterOutput, ARunEndedInsideItsFirstTemplateMakesNoPacket) {
  settings.maxMsgSize = 1;  // the text in progress has a finished part already
  nuvrel::writeOutputLine("one\n");
  nuvrel::writeOutputLine("two\n");
  nuvrel::closeOutput();
  EXPECT_EQ(platform::listFiles(dir_.path, "*"), std::vector<std::string>{});
}

TEST_F(PosterOutput, MissingPacketAddressesEndTheRun) {
  settings.pktToAddress = {};
  EXPECT_EXIT_STDOUT(nuvrel::writeOutputLine("x\n"), 15, dir_ / "out");
  EXPECT_NE(readFile(dir_ / "out").find("! Unknown PktToAddress."), std::string::npos);
  settings.pktToAddress = {2, 5020, 1, 0};
  settings.pktFromAddress = {};
  EXPECT_EXIT_STDOUT(nuvrel::writeOutputLine("x\n"), 15, dir_ / "out");
  EXPECT_NE(readFile(dir_ / "out").find("! Unknown PktFromAddress."), std::string::npos);
}

TEST_F(PosterOutput, MsgIdSerialsIncrease) {
  uint32_t last = nuvrel::nextMsgIdSerial();
  for (int i = 0; i < 5; ++i) {
    uint32_t next = nuvrel::nextMsgIdSerial();
    EXPECT_GT(next, last);
    last = next;
  }
  output.msgIdSerial = 0xFFFFFFF0u;  // a clock set back: the last serial plus one
  EXPECT_EQ(nuvrel::nextMsgIdSerial(), 0xFFFFFFF1u);
}

}  // namespace
