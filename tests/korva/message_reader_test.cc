#include "korva/message_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "korva/ballot_lines.h"
#include "korva/settings.h"
#include "tests/common/test_support.h"
#include "tests/korva/stored_message_builder.h"

namespace {

using korva::InboundMessage;
using korva::ReadResult;

std::string addr(const FtnAddress& a) { return formatAddress4d(a); }

// A ballot's reading (verbose) or a look-up's.
ReadResult parseAs(bool verbose, std::string_view bytes, InboundMessage& msg) {
  if (!verbose) return korva::parseStoredMessage(bytes, msg);
  return korva::parseStoredMessage(bytes, msg, korva::handleBodyLine, korva::SenderReview::kLogAndJudge);
}

// The log's entries without their "\nHH:MM:SS " stamps; text before the first stamp is kept too.
std::vector<std::string> logEntries(const std::string& out) {
  auto stampAt = [&out](size_t i) {
    static const char kPattern[] = "\n##:##:## ";
    if (i + 10 > out.size()) return false;
    for (size_t k = 0; k < 10; ++k) {
      char c = out[i + k];
      if (kPattern[k] == '#' ? (c < '0' || c > '9') : c != kPattern[k]) return false;
    }
    return true;
  };
  std::vector<std::string> entries;
  std::string current;
  for (size_t i = 0; i < out.size();) {
    if (stampAt(i)) {
      if (!current.empty()) entries.push_back(current);
      current.clear();
      i += 10;
    } else {
      current += out[i++];
    }
  }
  if (!current.empty()) entries.push_back(current);
  return entries;
}

class MessageReader : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = korva::settings;
    korva::settings.ownAddress = {2, 5020, 50, 0};
    korva::settings.nodeFromPointAccept = false;
    testsupport::setTimeZone("UTC");
  }
  void TearDown() override { korva::settings = saved_; }

  ReadResult parse(std::string_view bytes, bool verbose = true) {
    testing::internal::CaptureStdout();
    ReadResult r = parseAs(verbose, bytes, msg_);
    log_ = logEntries(testing::internal::GetCapturedStdout());
    return r;
  }
  bool logged(const std::string& entry) const { return std::find(log_.begin(), log_.end(), entry) != log_.end(); }
  std::string logText() const {
    std::string all;
    for (const std::string& e : log_) all += "[" + e + "]";
    return all;
  }

  InboundMessage msg_;
  std::vector<std::string> log_;
  korva::Settings saved_;
};

TEST_F(MessageReader, AddressesCompletedFromKludges) {
  struct Case {
    const char* what;
    uint16_t net, node;
    std::vector<std::string> kludges;
    const char* orig;
    const char* dest;
    bool msgIdMatches;
  } cases[] = {
      {"INTL and FMPT", 5020, 1, {"INTL 2:5020/50 2:5030/1", "FMPT 7"}, "2:5030/1.7", "2:5020/50.0", false},
      {"TOPT",
       5020,
       1,
       {"INTL 2:5020/50 2:5020/1", "TOPT 3", "MSGID: 2:5020/1 1234abcd"},
       "2:5020/1.0",
       "2:5020/50.3",
       true},
      {"MSGID gives the zone, not its point",
       5020,
       1,
       {"MSGID: 2:5020/1.3 1a2b3c4d"},
       "2:5020/1.0",
       "2:5020/50.0",
       false},
      {"empty header address takes the whole MSGID",
       0,
       0,
       {"MSGID: 1:5020/1.3 1a2b3c4d"},
       "1:5020/1.3",
       "1:5020/50.0",
       true},
      {"MSGID zone before the own zone", 5020, 1, {"MSGID: 3:5020/1 1a2b3c4d"}, "3:5020/1.0", "3:5020/50.0", true},
      {"no MSGID: own zone", 5020, 1, {}, "2:5020/1.0", "2:5020/50.0", false},
      {"MSGID without an address", 5020, 1, {"MSGID: abcdef 1234"}, "2:5020/1.0", "2:5020/50.0", false},
      {"destination zone from orig", 5020, 1, {"INTL 0:5020/50 3:5030/1"}, "3:5030/1.0", "3:5020/50.0", false},
      {"INTL read in part", 5020, 1, {"INTL 1:2/3"}, "2:5020/1.0", "1:2/3.0", false},
      {"kludges are case-sensitive",
       5020,
       1,
       {"intl 3:1/1 3:2/2", "fmpt 5", "Msgid: 3:5020/1 1"},
       "2:5020/1.0",
       "2:5020/50.0",
       false},
      {"kludges without values",
       5020,
       1,
       {"INTL ", "FMPT ", "TOPT ", "MSGID: ", "INTL", "FMPT"},
       "2:5020/1.0",
       "2:5020/50.0",
       false},
  };
  for (const Case& c : cases) {
    testmsg::StoredMessage m;
    m.origNet = c.net;
    m.origNode = c.node;
    for (const std::string& k : c.kludges) m.kludge(k);
    m.line("Ivan Petrov !secret");
    ASSERT_EQ(parse(m.bytes()), korva::ReadResult::kRead) << c.what;
    EXPECT_EQ(addr(msg_.orig), c.orig) << c.what;
    EXPECT_EQ(addr(msg_.dest), c.dest) << c.what;
    EXPECT_EQ(msg_.msgIdMatches, c.msgIdMatches) << c.what;
  }
}

TEST_F(MessageReader, KludgeValuesAreCut) {
  using Field = std::string InboundMessage::*;
  const std::string a200(200, 'a'), b50(50, 'b'), c100(100, 'c');
  struct Case {
    std::string kludge;
    Field field;
    std::string expected;
  } cases[] = {
      {"REPLYADDR: ivan@example.org", &InboundMessage::replyAddr, "ivan@example.org"},
      {"REPLYADDR   ivan@example.org", &InboundMessage::replyAddr, "ivan@example.org"},
      {"REPLYADDR: " + a200, &InboundMessage::replyAddr, a200.substr(0, 127)},
      {"replyaddr: ivan@example.org", &InboundMessage::replyAddr, ""},
      {"REPLYTO: 2:5020/999 UUCP", &InboundMessage::replyToName, "UUCP"},
      {"REPLYTO 2:5020/999    Ivan  Petrov", &InboundMessage::replyToName, "Ivan  Petrov"},
      {"REPLYTO: 2:5020/999 " + b50, &InboundMessage::replyToName, b50.substr(0, 35)},
      {"REPLYTO: 2:5020/999", &InboundMessage::replyToName, ""},
      {"MSGID:   2:5020/1 " + c100, &InboundMessage::msgId, ("2:5020/1 " + c100).substr(0, 79)},
  };
  for (const Case& c : cases) {
    testmsg::StoredMessage m;
    m.kludge(c.kludge).line("text");
    ASSERT_EQ(parse(m.bytes(), false), korva::ReadResult::kRead) << c.kludge;
    EXPECT_EQ(msg_.*c.field, c.expected) << c.kludge;
  }
  testmsg::StoredMessage m;
  m.kludge("REPLYTO 2:5020/999 UUCP").line("text");
  parse(m.bytes(), false);
  EXPECT_EQ(addr(msg_.replyToAddress), "2:5020/999.0");
  parse(testmsg::StoredMessage().line("no kludges").bytes(), false);
  EXPECT_EQ(msg_.replyToAddress.zone, 0);
}

TEST_F(MessageReader, UserIdFromSubject) {
  struct Case {
    const char* subject;
    uint32_t first, second;
    const char* rest;
  } cases[] = {
      {"Elections 2005 [0000ABCD00001234]", 0xABCD, 0x1234, "Elections 2005"},
      {"Elections 2005 [abcdef01]", 0xABCDEF01, 0, "Elections 2005"},
      {"Elections 2005 [", 0, 0, "Elections 2005"},
      {"Elections[0000ABCD00001234]", 0, 0, "Elections[0000ABCD00001234]"},
      {"Elections 2005", 0, 0, "Elections 2005"},
  };
  for (const Case& c : cases) {
    testmsg::StoredMessage m;
    m.subject = c.subject;
    m.line("Ivan Petrov");
    ASSERT_EQ(parse(m.bytes(), false), korva::ReadResult::kRead) << c.subject;
    EXPECT_EQ(msg_.userId.first, c.first) << c.subject;
    EXPECT_EQ(msg_.userId.second, c.second) << c.subject;
    EXPECT_EQ(msg_.givenUserId.first, c.first) << c.subject;
    EXPECT_EQ(msg_.givenUserId.second, c.second) << c.subject;
    EXPECT_EQ(msg_.subject, c.rest);
  }
}

TEST_F(MessageReader, SizeLimits) {
  struct Case {
    size_t size;
    ReadResult result;
    const char* entry;
  } cases[] = {
      {189, korva::ReadResult::kHeaderIncomplete, "! Read error."},
      {195, korva::ReadResult::kTextEmpty, "! Message is empty."},
      {197, korva::ReadResult::kTextEmpty, "! Message is empty."},
      {198, korva::ReadResult::kRead, nullptr},
      {65723, korva::ReadResult::kRead, nullptr},
      {65724, korva::ReadResult::kTooLarge, "! Not enough memory to read this file (available 65723 bytes)."},
  };
  std::string header = testmsg::StoredMessage().header();
  for (const Case& c : cases) {
    std::string bytes = (header + std::string(c.size, 'x')).substr(0, c.size);
    EXPECT_EQ(parse(bytes), c.result) << c.size;
    if (c.entry) {
      EXPECT_TRUE(logged(c.entry)) << c.size << logText();
    }
  }
}

TEST_F(MessageReader, ReadsFiles) {
  testsupport::ScratchDir dir;
  testing::internal::CaptureStdout();
  EXPECT_EQ(
      korva::readStoredMessage(dir / "missing.msg", msg_, korva::handleBodyLine, korva::SenderReview::kLogAndJudge),
      korva::ReadResult::kCannotOpen);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("! Can't open file."), std::string::npos);

  testsupport::writeFile(dir / "big.msg", std::string(65724, 'x'));
  testing::internal::CaptureStdout();
  EXPECT_EQ(korva::readStoredMessage(dir / "big.msg", msg_), korva::ReadResult::kTooLarge);
  testing::internal::GetCapturedStdout();

  testmsg::StoredMessage m;
  m.kludge("INTL 2:5020/50 2:5030/1").kludge("FMPT 7").line("Ivan Petrov");
  m.writeTo(dir / "1.msg");
  testing::internal::CaptureStdout();
  EXPECT_EQ(korva::readStoredMessage(dir / "1.msg", msg_, korva::handleBodyLine, korva::SenderReview::kLogAndJudge),
            korva::ReadResult::kRead);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind(", size: " + std::to_string(m.bytes().size()) + " bytes", 0), 0u) << out;
  EXPECT_EQ(addr(msg_.orig), "2:5030/1.7");
  EXPECT_EQ(msg_.text, m.body());
}

TEST_F(MessageReader, LineEndsAndZeroByte) {
  std::string header = testmsg::StoredMessage().header();
  std::string body = std::string(
                         "\x01"
                         "FMPT 7\r\n\x01TOPT 3\n\x01MSGID: 2:5020/1 1\r") +
                     '\0' + "\x01INTL 3:1/1 3:2/2\r";
  ASSERT_EQ(parse(header + body, false), korva::ReadResult::kRead);
  EXPECT_EQ(msg_.orig.point, 7);
  EXPECT_EQ(msg_.dest.point, 3);  // the lone LF does not end the TOPT line: no MSGID
  EXPECT_EQ(msg_.msgId, "");
  EXPECT_EQ(addr(msg_.orig), "2:5020/1.7");  // nothing after the zero byte is read
  EXPECT_EQ(msg_.text, body.substr(0, body.find('\0')));
  EXPECT_EQ(msg_.fromName, "Ivan Petrov");
  EXPECT_EQ(msg_.dateText, "05 Apr 05  10:20:30");
}

TEST_F(MessageReader, ParseAddressText) {
  struct Case {
    const char* text;
    const char* found;  // nullptr: no address
  } cases[] = {
      {"2:5020/50", "2:5020/50.0"},
      {"net 5020/50", "2:5020/50.0"},
      {"1:5020/50.7 1a2b3c4d", "1:5020/50.7"},
      {"2:5020/1, 2:5020/2", "2:5020/1.0"},
      {"From (2:5020/1)", "2:5020/1.0"},
      {"From ((2:5020/1)", nullptr},
      {"x2:5020/1", nullptr},
      {"Node 2:5020/1.", nullptr},
      {"Node 2:5020/1. 2:5020/3", "2:5020/3.0"},
      {"12345 2:5020/1", "2:5020/1.0"},
      {"5:/1 2:5020/1", "2:5020/1.0"},
      {"2:5020", nullptr},
      {"", nullptr},
      {"   ", nullptr},
  };
  for (const Case& c : cases) {
    FtnAddress out{9, 9, 9, 9};
    bool found = korva::parseAddressText(c.text, out);
    EXPECT_EQ(found, c.found != nullptr) << c.text;
    EXPECT_EQ(addr(out), c.found ? c.found : "9:9/9.9") << c.text;
  }
}

TEST_F(MessageReader, ParseMessageDate) {
  auto utc = [](int y, int mon, int d, int h, int m, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900, tm.tm_mon = mon - 1, tm.tm_mday = d, tm.tm_hour = h, tm.tm_min = m, tm.tm_sec = s;
    return timegm(&tm);
  };
  struct Case {
    const char* text;
    std::time_t expected;
  } cases[] = {
      {"05 Apr 05  10:20:30", utc(2005, 4, 5, 10, 20, 30)},   {"  05 apr 05  10:20:30", utc(2005, 4, 5, 10, 20, 30)},
      {"31 Dec 79  23:59:59", utc(2079, 12, 31, 23, 59, 59)}, {"01 Jan 80  00:00:00", utc(1980, 1, 1, 0, 0, 0)},
      {"15 Xyz 05  01:02:03", utc(2005, 1, 15, 1, 2, 3)},     {"15 Jun 05", utc(2005, 6, 15, 0, 0, 0)},
  };
  for (const Case& c : cases) EXPECT_EQ(korva::parseMessageDate(c.text), c.expected) << c.text;

  testsupport::setTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");  // summer time in April
  EXPECT_EQ(korva::parseMessageDate("05 Apr 05  10:20:30"), utc(2005, 4, 5, 8, 20, 30));
  EXPECT_EQ(korva::parseMessageDate("05 Jan 05  10:20:30"), utc(2005, 1, 5, 9, 20, 30));
}

TEST_F(MessageReader, DateInTheSendersZone) {
  testsupport::setTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");  // the robot's zone plays no part with TZUTC
  const std::time_t written = 1112696430;                  // 05 Apr 05  10:20:30 UTC
  const std::time_t robotLocal = written - 2 * 3600;       // the same read as the robot's summer time
  struct Case {
    std::vector<std::string> kludges;
    std::time_t expected;
  } cases[] = {
      {{"TZUTC: 0300"}, written - 3 * 3600},
      {{"TZUTC: -0500"}, written + 5 * 3600},
      {{"TZUTC: +0530 "}, written - 330 * 60},
      {{"TZUTC: 1400"}, written - 14 * 3600},
      {{"TZUTC: 0000", "TZUTC: 0300"}, written},  // the first one counts
      {{}, robotLocal},
      {{"TZUTC: 300"}, robotLocal},
      {{"TZUTC: 03:00"}, robotLocal},
      {{"TZUTC: 0360"}, robotLocal},
      {{"TZUTC: 1401"}, robotLocal},
      {{"TZUTC: 0300x"}, robotLocal},
      {{"TZUTC: +-0300"}, robotLocal},
      {{"TZUTC 0300"}, robotLocal},
      {{"tzutc: 0300"}, robotLocal},
      {{"TZUTC: 03000", "TZUTC: 0300"}, robotLocal},
  };
  for (const Case& c : cases) {
    testmsg::StoredMessage m;
    for (const std::string& k : c.kludges) m.kludge(k);
    m.line("Ivan Petrov !secret");
    ASSERT_EQ(parse(m.bytes(), false), korva::ReadResult::kRead);
    EXPECT_EQ(msg_.date, c.expected) << (c.kludges.empty() ? "none" : c.kludges[0]);
    EXPECT_EQ(msg_.dateText, "05 Apr 05  10:20:30");
  }
}

TEST_F(MessageReader, RouteFromViaLines) {
  struct Case {
    const char* what;
    FtnAddress orig;
    std::vector<std::string> vias;
    bool nodeFromPointAccept, routeOk, directDelivery;
    const char* entry;  // expected among the log entries, or nullptr
  } cases[] = {
      {"node, own hop", {2, 5020, 1, 0}, {"2:5020/1"}, false, true, true, nullptr},
      {"point via its boss", {2, 5020, 1, 7}, {"2:5020/1"}, false, true, false, nullptr},
      {"point, own hop then boss", {2, 5020, 1, 7}, {"2:5020/1.7", "2:5020/1"}, false, true, false, nullptr},
      {"node written from a point",
       {2, 5020, 1, 0},
       {"2:5020/1.5", "2:5020/1"},
       false,
       false,
       false,
       "? Route 2:5020/1.5 --> 2:5020/1.0"},
      {"node written from a point, accepted", {2, 5020, 1, 0}, {"2:5020/1.5", "2:5020/1"}, true, true, false, nullptr},
      {"repeated hop counted once",
       {2, 5020, 1, 0},
       {"2:5020/1.5", "2:5020/1.5", "2:5020/1"},
       true,
       true,
       false,
       nullptr},
      {"point only hop", {2, 5020, 1, 0}, {"2:5020/1.5"}, false, false, false, "? Route 2:5020/1.5 --> Direct (?)"},
      {"node through another node",
       {2, 5030, 1, 0},
       {"2:5020/9", "2:5020/50"},
       false,
       true,
       false,
       "? -- @Via: 2:5020/9.0"},
      {"hops newest first", {2, 5030, 1, 0}, {"2:5020/9", "2:5030/1"}, false, true, false, nullptr},
      {"own node first, newest first", {2, 5020, 1, 0}, {"2:5020/50", "2:5020/1"}, false, true, true, nullptr},
      {"boss seen after a foreign first hop",
       {2, 5030, 1, 0},
       {"2:5020/9", "2:5030/1", "2:5020/50"},
       false,
       false,
       false,
       "? Route 2:5020/9.0 --> 2:5030/1.0"},
      {"point through a foreign point",
       {2, 5030, 1, 7},
       {"2:5020/9.1", "2:5030/1", "2:5020/50"},
       false,
       true,
       false,
       "? -- @Via: 2:5020/9.1"},
      {"point through a foreign node",
       {2, 5030, 1, 7},
       {"2:5020/9", "2:5020/50"},
       false,
       false,
       false,
       "? Route 2:5020/9.0 --> 2:5020/50.0"},
      {"no VIA lines", {2, 5020, 1, 0}, {}, false, false, true, "? -- @Via kludge(s) not exists."},
  };
  for (const Case& c : cases) {
    korva::settings.nodeFromPointAccept = c.nodeFromPointAccept;
    testmsg::StoredMessage m;
    m.origNet = uint16_t(c.orig.net), m.origNode = uint16_t(c.orig.node);
    m.kludge("INTL 2:5020/50 " + formatAddress(FtnAddress{c.orig.zone, c.orig.net, c.orig.node, 0}));
    if (c.orig.point) m.kludge("FMPT " + std::to_string(c.orig.point));
    m.kludge("MSGID: " + formatAddress(c.orig) + " 1a2b3c4d").line("Ivan Petrov !secret");
    for (const std::string& hop : c.vias) m.kludge("Via " + hop + " @20050405.102030 tosser");
    ASSERT_EQ(parse(m.bytes()), korva::ReadResult::kRead) << c.what;
    EXPECT_EQ(msg_.routeOk, c.routeOk) << c.what << logText();
    EXPECT_EQ(msg_.directDelivery, c.directDelivery) << c.what;
    if (c.entry) {
      EXPECT_TRUE(logged(c.entry)) << c.what << logText();
    }
    bool complained = std::any_of(log_.begin(), log_.end(), [](const std::string& e) { return e[0] == '?'; });
    EXPECT_EQ(complained, c.entry != nullptr) << c.what << logText();
  }
}

TEST_F(MessageReader, ViaPrefixAnyCase) {
  for (const char* via : {"via 2:5020/1", "VIA: 2:5020/1", "vIa: 2:5020/1"}) {
    testmsg::StoredMessage m;
    m.kludge("MSGID: 2:5020/1 1").kludge(via).line("text");
    parse(m.bytes());
    EXPECT_TRUE(msg_.routeOk) << via << logText();
  }
}

TEST_F(MessageReader, ParticularsLogged) {
  testmsg::StoredMessage m;
  m.kludge("MSGID: 2:5020/1.3 1a2b3c4d").kludge("REPLYADDR ivan@example.org");
  m.kludge("REPLY: 2:5030/7 12345678").kludge("REPLY: 2:5020/50 87654321").kludge("Via 2:5020/1");
  m.line("Ivan Petrov !secret");
  ASSERT_EQ(parse(m.bytes()), korva::ReadResult::kRead);
  const std::vector<std::string> expected = {"  From: Ivan Petrov (2:5020/1.0),  Date: 05 Apr 05  10:20:30",
                                             "  Reply address: ivan@example.org", "  -- @MSGID: 2:5020/1.3 1a2b3c4d",
                                             "  -- @REPLY: 2:5030/7 12345678"};
  EXPECT_EQ(log_, expected);
  EXPECT_EQ(msg_.date, 1112696430);

  ASSERT_EQ(parse(m.bytes(), false), korva::ReadResult::kRead);
  EXPECT_TRUE(log_.empty()) << logText();
  EXPECT_FALSE(msg_.msgIdMatches);
  EXPECT_FALSE(msg_.directDelivery);
}

TEST_F(MessageReader, EmailAddresses) {
  struct Case {
    const char* text;
    const char* email;
  } cases[] = {
      {"Ivan Petrov <ivan@example.org>", "<ivan@example.org>"},
      {"\"Ivan\";ivan@example.org;x", "<ivan@example.org>"},
      {"first@a second@b", "<first@a>"},
      {"@", "<@>"},
      {"Ivan Petrov", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(korva::extractEmail(c.text), c.email) << c.text;

  InboundMessage msg;
  msg.fromName = "Ivan via gate@fido.example";
  EXPECT_EQ(korva::senderEmail(msg), "<gate@fido.example>");
  msg.replyAddr = "Ivan <ivan@example.org>";
  EXPECT_EQ(korva::senderEmail(msg), "<ivan@example.org>");
  msg.replyAddr = "UUCP";
  msg.fromName = "Ivan Petrov";
  EXPECT_EQ(korva::senderEmail(msg), "");
}

// Reads `bytes` verbosely and not, checking what holds for any input.
void readAnything(std::string_view bytes, InboundMessage& msg) {
  for (bool verbose : {true, false}) {
    ReadResult r = parseAs(verbose, bytes, msg);
    ASSERT_GE(int(r), int(korva::ReadResult::kRead));
    ASSERT_LE(int(r), int(korva::ReadResult::kTextEmpty));
    if (r != korva::ReadResult::kRead) continue;
    ASSERT_LE(msg.text.size(), bytes.size() - 190);
    ASSERT_LE(msg.fromName.size(), 35u);
    ASSERT_LE(msg.subject.size(), 71u);
    ASSERT_LE(msg.dateText.size(), 19u);
    ASSERT_LE(msg.msgId.size(), korva::kMaxMsgIdLength);
    ASSERT_LE(msg.replyAddr.size(), korva::kMaxReplyAddrLength);
    ASSERT_LE(msg.replyToName.size(), korva::kMaxReplyToNameLength);
  }
}

TEST_F(MessageReader, HostileInputs) {
  testmsg::StoredMessage base;
  base.kludge("MSGID: 2:5020/1 1").line("Ivan Petrov");
  const std::string digits(65000, '7');
  std::vector<std::string> inputs = {
      std::string(190, 'A') + "\x01INTL 1:1/1 1:1/1\rtext\r",  // header texts without any zero byte
      std::string(190, '\0') + std::string(100, '\0'),
      std::string(190, '\xff') + std::string(100, '\x01'),
      base.header() + std::string(65533, '\r'),
      base.header() + std::string(65533, '\n'),
      base.header() + std::string(65533, '\x01'),
      base.header() +
          "\x01"
          "MSGID: " +
          digits,
      base.header() +
          "\x01"
          "MSGID: 1:" +
          digits,
      base.header() +
          "\x01"
          "MSGID: 1:1/" +
          digits + "." + digits.substr(0, 400),
      base.header() +
          "\x01"
          "REPLYTO " +
          digits,
      base.header() +
          "\x01"
          "VIA " +
          digits,
      base.header() +
          "\x01"
          "REPLY: " +
          digits,
      base.header() +
          "\x01"
          "INTL " +
          digits + ":" + digits.substr(0, 20000),
      base.header() +
          "\x01"
          "FMPT " +
          digits,
      base.header() +
          "\x01"
          "INTL 99999:99999/99999 -99999:-1/70000\r\x01"
          "FMPT -5\rx\r",
      base.header() +
          "\x01"
          "MSGID:\r\x01REPLYTO:\r\x01REPLYADDR:\r\x01VIA\r\x01REPLY:\r\x01INTL\r\x01TOPT\r",
  };
  for (const char* date : {"01 Jan 2147483647", "2147483647 Jan 05  2147483647:2147483647:9", "-2147483648"}) {
    testmsg::StoredMessage m = base;
    m.date = date;
    inputs.push_back(m.bytes());
  }
  for (const std::string& bytes : inputs) {
    auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStdout();
    readAnything(bytes, msg_);
    testing::internal::GetCapturedStdout();
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(1)) << bytes.substr(190, 20);
  }
}

TEST_F(MessageReader, MutatedMessages) {
  std::vector<std::string> seeds;
  testmsg::StoredMessage a;
  a.subject = "Elections 2005 [0000ABCD00001234]";
  a.kludge("INTL 2:5020/50 2:5030/1").kludge("FMPT 7").kludge("TOPT 1").kludge("MSGID: 2:5030/1.7 1a2b3c4d");
  a.kludge("REPLYTO 2:5030/1.7 UUCP").kludge("REPLYADDR: ivan@example.org").kludge("REPLY: 2:5030/9 11");
  a.line("Ivan Petrov !secret").line("%CHECK").kludge("Via 2:5030/1 @20050405.102030");
  a.kludge("Via 2:5020/50 @20050405.102031");
  seeds.push_back(a.bytes());
  testmsg::StoredMessage b;
  b.origNet = b.origNode = 0;
  b.kludge("MSGID: 1:1/1.1 1").kludge("via 1:1/1.1").kludge("via 1:1/1").kludge("VIA: 2:5020/50");
  b.zeroTerminated = true;
  seeds.push_back(b.bytes());

  static const char kInteresting[] = "\0\x01\r\n :/.@[]-9";
  const std::string interesting(kInteresting, sizeof kInteresting - 1);
  std::mt19937 rng(20050405);
  auto below = [&rng](size_t n) { return size_t(rng() % (n ? n : 1)); };
  for (int round = 0; round < 4000; ++round) {
    std::string bytes = seeds[round % seeds.size()];
    for (size_t edits = 1 + below(8); edits > 0 && !bytes.empty(); --edits) {
      size_t at = below(bytes.size());
      switch (below(6)) {
        case 0:
          bytes[at] = char(rng());
          break;
        case 1:
          bytes[at] = interesting[below(interesting.size())];
          break;
        case 2:
          bytes.insert(at, std::string(1 + below(3000), char('0' + below(10))));
          break;
        case 3:
          bytes.insert(at, bytes.substr(below(bytes.size()), below(200)));
          break;
        case 4:
          bytes.erase(at, below(50));
          break;
        case 5:
          bytes.resize(at);
          break;
      }
    }
    testing::internal::CaptureStdout();
    readAnything(bytes, msg_);
    testing::internal::GetCapturedStdout();
    if (HasFatalFailure()) FAIL() << "round " << round;
  }
}

}  // namespace
