// The vote manager between two runs of a real tosser: netmail ballots written by crashwrite and
// tossed by crashmail into NetmailIn are judged by Scan, and the replies Scan leaves in NetmailOut
// are packed by crashmail for sending.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/e2e/scan_scenario.h"
#include "tests/interop/tosser.h"
#include "tests/nuvrel/packet_reader.h"

namespace {

using e2e::contains;

// A stored message with a header and no text: crashmail takes 1.msg of a *.MSG area as its
// high-water mark and never exports it, so the operator puts one there before the first reply.
std::string placeholderMessage() { return std::string(msg_header::kSize, '\0'); }

// The electors' clocks stand an hour behind the robot's (UTC): a ballot is dated before the scan
// even when both run within one second, and a ballot dated at or after the scan's start is refused.
constexpr const char* kElectorZone = "Etc/GMT+1";

struct TossedElection {
  e2e::Election e;

  // The robot 2:5020/50 with an open voting period; the tossing side files netmail into NetmailIn,
  // the packing side sends what stands in NetmailOut.
  void writeSetup() const {
    e.writeSetup("Dates 1.1.2020-31.12.2099\r\nCheckSubj Yes\r\nCheckListedNode Yes\r\n");
    e.dir.makeDirectory("pkt");
    const std::string nodes =
        "NODE 2:5020/1 \"\" \"\" PACKNETMAIL\nNODE 2:5020/7 \"\" \"\" PACKNETMAIL\n"
        "ROUTE \"2:5020/*.*\" \"2:5020/*.*\" 2:5020/50\n";
    tosser::writePrefs(e.dir, "toss", "2:5020/50", "in", nodes);
    tosser::writePrefs(e.dir, "pack", "2:5020/50", "out", nodes);
  }

  void sendBallot(const std::string& from, const std::string& address, const std::string& text) const {
    e.dir.write("ballot.txt", text);
    e2e::RunResult r =
        tosser::run(e.dir, "crashwrite",
                    {"DIR", e.dir.file("pkt"), "FROMNAME", from, "FROMADDR", address, "TONAME", "Korvamgr", "TOADDR",
                     "2:5020/50", "SUBJECT", "Elections 2005", "TEXT", e.dir.file("ballot.txt")},
                    kElectorZone);
    ASSERT_EQ(r.exitCode, 0) << r.out;
  }

  e2e::RunResult toss() const {
    return tosser::run(e.dir, "crashmail",
                       {"SETTINGS", e.dir.file("toss.prefs"), "TOSSDIR", e.dir.file("pkt"), "NOSECURITY"});
  }

  e2e::RunResult pack() const {
    return tosser::run(e.dir, "crashmail", {"SETTINGS", e.dir.file("pack.prefs"), "SCAN"});
  }

  // Every message of the packets crashmail left in its outbound directory.
  std::vector<packet_reader::PackedMessage> packed() const {
    std::vector<packet_reader::PackedMessage> messages;
    for (const std::string& name : e.dir.list("outbound")) {
      if (name.size() < 4 || name.substr(name.size() - 4) != ".pkt") continue;
      packet_reader::Packet packet = packet_reader::readPacket(e.dir.read("outbound/" + name));
      messages.insert(messages.end(), packet.messages.begin(), packet.messages.end());
    }
    return messages;
  }
};

TEST(KorvaAndTosser, TossedBallotsAreJudgedAndTheRepliesPackedForSending) {
  SKIP_WITHOUT_TOSSER();
  TossedElection t;
  t.writeSetup();
  t.e.dir.write("out/1.msg", placeholderMessage());
  t.sendBallot("Ivan Petrov", "2:5020/1", "Alpha !secret\n");
  t.sendBallot("Ivan Stranger", "2:5020/7", "Beta !other\n");  // not in the nodelist
  e2e::RunResult tossed = t.toss();
  ASSERT_EQ(tossed.exitCode, 0) << tossed.out;
  ASSERT_EQ(t.e.dir.list("in").size(), 2u) << tossed.out;

  e2e::RunResult scan = t.e.scan();
  ASSERT_EQ(scan.exitCode, 0) << scan.out;
  // The sender, the subject and the text came through the tosser intact: one vote, one refusal.
  EXPECT_EQ(t.e.voteBase(), "1\t0\t0000000000000000\t2:5020/1.0\tIvan Petrov\tsecret\r\n");
  std::string statistic = t.e.dir.read("x.sta");
  EXPECT_TRUE(contains(statistic, "VALD=1\r\n")) << statistic;
  EXPECT_TRUE(contains(statistic, "NDLA=1\r\n")) << statistic;
  EXPECT_EQ(t.e.dir.list("in"), std::vector<std::string>{});
  ASSERT_EQ(t.e.dir.list("valid"), std::vector<std::string>{"1.msg"});
  tosser::Stored accepted = tosser::readStored(t.e.dir.read("valid/1.msg"));
  EXPECT_EQ(accepted.from, "Ivan Petrov");
  EXPECT_EQ(accepted.subject, "Elections 2005");
  EXPECT_EQ(tosser::textLines(accepted.text), std::vector<std::string>{"Alpha !secret"});
  ASSERT_EQ(t.e.dir.list("badnode").size(), 1u);
  EXPECT_EQ(tosser::readStored(t.e.dir.read("badnode/" + t.e.dir.list("badnode")[0])).from, "Ivan Stranger");

  // The placeholder keeps its place and the replies follow it.
  EXPECT_EQ(t.e.dir.list("out"), (std::vector<std::string>{"1.msg", "2.msg", "3.msg"}));
  EXPECT_EQ(t.e.dir.read("out/1.msg"), placeholderMessage());

  e2e::RunResult packed = t.pack();
  ASSERT_EQ(packed.exitCode, 0) << packed.out;
  std::vector<packet_reader::PackedMessage> sent = t.packed();
  ASSERT_EQ(sent.size(), 2u) << packed.out;
  struct Expected {
    uint16_t node;
    const char* to;
    const char* line;
  } expected[] = {{1, "Ivan Petrov", "Accepted: Ivan Petrov"}, {7, "Ivan Stranger", "Refused: Ivan Stranger"}};
  for (const Expected& x : expected) {
    SCOPED_TRACE(x.to);
    auto reply = std::find_if(sent.begin(), sent.end(), [&x](const auto& m) { return m.to == x.to; });
    ASSERT_NE(reply, sent.end());
    EXPECT_EQ(reply->destNet, 5020);
    EXPECT_EQ(reply->destNode, x.node);
    EXPECT_EQ(reply->origNet, 5020);
    EXPECT_EQ(reply->origNode, 50);
    EXPECT_EQ(reply->from, "Korvamgr");
    EXPECT_EQ(reply->subject, "Elections 2005");
    EXPECT_TRUE(contains(reply->text,
                         "\x01"
                         "INTL 2:5020/" +
                             std::to_string(x.node) + " 2:5020/50\r"))
        << reply->text;
    EXPECT_TRUE(contains(reply->text, "\r" + std::string(x.line) + "\r")) << reply->text;
  }
}

TEST(KorvaAndTosser, WithoutThePlaceholderTheFirstReplyStaysUnsent) {
  SKIP_WITHOUT_TOSSER();
  TossedElection t;
  t.writeSetup();
  t.sendBallot("Ivan Petrov", "2:5020/1", "Alpha !secret\n");
  ASSERT_EQ(t.toss().exitCode, 0);
  ASSERT_EQ(t.e.scan().exitCode, 0);
  // Stored replies keep their numbering from 1; the tosser takes that number for its mark.
  EXPECT_EQ(t.e.dir.list("out"), std::vector<std::string>{"1.msg"});
  ASSERT_EQ(t.pack().exitCode, 0);
  EXPECT_EQ(t.packed().size(), 0u);
}

TEST(KorvaAndTosser, APlaceholderInNetmailInIsLeftAlone) {
  SKIP_WITHOUT_TOSSER();
  TossedElection t;
  t.writeSetup();
  t.e.dir.write("in/1.msg", placeholderMessage());
  t.sendBallot("Ivan Petrov", "2:5020/1", "Alpha !secret\n");
  ASSERT_EQ(t.toss().exitCode, 0);
  e2e::RunResult scan = t.e.scan();
  ASSERT_EQ(scan.exitCode, 0);
  EXPECT_EQ(t.e.dir.list("in"), std::vector<std::string>{"1.msg"});
  EXPECT_EQ(t.e.dir.read("in/1.msg"), placeholderMessage());
  EXPECT_TRUE(contains(t.e.dir.read("korva.log"), "! Message is empty.")) << t.e.dir.read("korva.log");
  EXPECT_EQ(t.e.voteBase(), "1\t0\t0000000000000000\t2:5020/1.0\tIvan Petrov\tsecret\r\n") << t.e.dir.read("korva.log");
}

}  // namespace
