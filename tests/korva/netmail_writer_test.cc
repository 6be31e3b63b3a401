#include "korva/netmail_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <string>

#include "common/byte_order.h"
#include "korva/app.h"
#include "korva/message_format.h"
#include "korva/message_reader.h"
#include "korva/settings.h"
#include "tests/common/test_support.h"
#include "tests/korva/stored_message_builder.h"

namespace fs = std::filesystem;

namespace {

using testsupport::readFile;
using testsupport::writeFile;

class NetmailWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::setTimeZone("UTC");
    saved_ = korva::settings;
    prepare();
  }
  // A robot at 2:5020/50 with an empty NetmailOut, answering Ivan Petrov.
  void prepare() {
    korva::settings = saved_;
    fs::remove_all(out_);
    korva::inboundMessage = korva::InboundMessage{};
    korva::inboundMessage.fromName = "Ivan Petrov";
    fs::create_directory(out_);
    fs::create_directory(copies_);
    korva::settings.netmailOut = out_ + "/";
    korva::settings.ownAddress = {2, 5020, 50, 0};
    korva::settings.origin = "Kelvanoth test robot";
    writeFile(template_, "Dear %FNAM,\nyour ballot is counted.\n");
    writeFile(header_, "In reply to %FNAM:\n");
  }
  void TearDown() override {
    korva::settings = saved_;
    korva::inboundMessage = korva::InboundMessage{};
  }

  // Writes one message; returns the log.
  std::string write(const FtnAddress& to, const std::string& toName, const std::string& subject,
                    std::optional<std::string> replyId, const std::string& firstLine = "", bool copy = false,
                    std::optional<std::string> tpl = std::nullopt) {
    testing::internal::CaptureStdout();
    korva::writeNetmail({tpl.value_or(template_), to, toName, subject, replyId, firstLine, copy});
    return testing::internal::GetCapturedStdout();
  }

  // A written message with its date and MSGID serial masked: "DATE" and "SERIAL".
  std::string masked(const std::string& path) {
    std::string bytes = readFile(path);
    EXPECT_GE(bytes.size(), msg_header::kSize);
    std::string date = bytes.substr(msg_header::kDateTime, msg_header::kDateTimeSize);
    EXPECT_TRUE(
        std::regex_match(date, std::regex(std::string("\\d\\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                                      "\\d\\d  \\d\\d:\\d\\d:\\d\\d") +
                                          '\0' + '$')))
        << date;
    bytes.replace(msg_header::kDateTime, msg_header::kDateTimeSize, "DATE");
    return std::regex_replace(bytes, std::regex("(\x01MSGID: [0-9:/.]+) [0-9a-f]+\r"), "$1 SERIAL\r");
  }

  // The expected header with "DATE" in its date field.
  static std::string header(const std::string& to, const std::string& subject, const FtnAddress& dest,
                            const FtnAddress& own) {
    testmsg::StoredMessage m;
    m.from = "Korvamgr";
    m.to = to;
    m.subject = subject;
    m.date = "";
    m.origNet = uint16_t(own.net);
    m.origNode = uint16_t(own.node);
    m.destNet = uint16_t(dest.net);
    m.destNode = uint16_t(dest.node);
    m.attribute = 0x0181;
    std::string h = m.header();
    auto word = [&h](size_t offset, int16_t v) {
      byte_order::put16(reinterpret_cast<uint8_t*>(&h[offset]), uint16_t(v));
    };
    word(msg_header::kDestZone, dest.zone);
    word(msg_header::kOrigZone, own.zone);
    word(msg_header::kDestPoint, dest.point);
    word(msg_header::kOrigPoint, own.point);
    return h.substr(0, msg_header::kDateTime) + "DATE" + h.substr(msg_header::kDateTime + msg_header::kDateTimeSize);
  }

  testsupport::ScratchDir dir_;
  std::string out_ = dir_ / "out", copies_ = dir_ / "copies";
  std::string template_ = dir_ / "valid.tpl", header_ = dir_ / "header.tpl";
  korva::Settings saved_;
};

TEST_F(NetmailWriter, ReplyByteForByte) {
  korva::settings.headerTpl = header_;
  korva::settings.charset = "CP866 2";
  std::string log = write({2, 5020, 1, 0}, "Ivan Petrov", "Elections 2005  [00001A2B00003C4D]", "2:5020/1 1a2b3c4d",
                          "To: ivan@example.org");
  EXPECT_EQ(masked(out_ + "/1.msg"),
            header("Ivan Petrov", "Elections 2005  [00001A2B00003C4D]", {2, 5020, 1, 0}, {2, 5020, 50, 0}) +
                "\x01INTL 2:5020/1 2:5020/50\r"
                "\x01MSGID: 2:5020/50 SERIAL\r"
                "\x01REPLY: 2:5020/1 1a2b3c4d\r"
                "\x01PID: Korva 2.10/32\r"
                "\x01"
                "CHRS: CP866 2\r"
                "To: ivan@example.org\r"
                "In reply to Ivan Petrov:\r"
                "Dear Ivan Petrov,\ryour ballot is counted.\r"
                "\r--- Korva v. 2.10/32\r"
                " * Origin: Kelvanoth test robot (2:5020/50)\r" +
                std::string(1, '\0'));
  EXPECT_NE(log.find("< Send message to 2:5020/1.0, template: \"" + template_ + "\"."), std::string::npos) << log;
}

TEST_F(NetmailWriter, PointsInKludgesAndNoOrigin) {
  korva::settings.ownAddress = {2, 5020, 50, 3};
  korva::settings.origin.clear();
  writeFile(template_, "Hi\n");
  write({2, 5020, 1, 7}, "Ivan Petrov", "Elections 2005", std::nullopt);
  EXPECT_EQ(masked(out_ + "/1.msg"), header("Ivan Petrov", "Elections 2005", {2, 5020, 1, 7}, {2, 5020, 50, 3}) +
                                         "\x01INTL 2:5020/1 2:5020/50\r"
                                         "\x01TOPT 7\r"
                                         "\x01"
                                         "FMPT 3\r"
                                         "\x01MSGID: 2:5020/50.3 SERIAL\r"
                                         "\x01PID: Korva 2.10/32\r"
                                         "Hi\r"
                                         "\r--- Korva v. 2.10/32\r" +
                                         std::string(1, '\0'));
}

TEST_F(NetmailWriter, HeaderTemplateOnlyForReplies) {
  korva::settings.headerTpl = header_;
  writeFile(template_, "Body\n");
  write({2, 5020, 1, 0}, "A", "S", std::nullopt);  // announce, notice, audit
  write({2, 5020, 1, 0}, "A", "S", "");            // a reply to a ballot without MSGID
  std::string notice = readFile(out_ + "/1.msg"), reply = readFile(out_ + "/2.msg");
  EXPECT_EQ(notice.find("In reply to"), std::string::npos);
  EXPECT_NE(reply.find("\x01PID: Korva 2.10/32\rIn reply to Ivan Petrov:\rBody\r"), std::string::npos);
  EXPECT_EQ(reply.find("\x01REPLY"), std::string::npos);  // an empty identifier gives no kludge
}

TEST_F(NetmailWriter, NumbersFollowTheHighestAndSerialsIncrease) {
  writeFile(out_ + "/7.msg", "x");
  writeFile(out_ + "/12.MSG", "x");
  write({2, 5020, 1, 0}, "A", "S", std::nullopt);
  write({2, 5020, 1, 0}, "A", "S", std::nullopt);
  ASSERT_TRUE(fs::exists(out_ + "/13.msg"));
  ASSERT_TRUE(fs::exists(out_ + "/14.msg"));
  auto serial = [](const std::string& bytes) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(bytes, m, std::regex("\x01MSGID: 2:5020/50 ([0-9a-f]+)\r")));
    return std::stoul(m[1], nullptr, 16);
  };
  EXPECT_GT(serial(readFile(out_ + "/14.msg")), serial(readFile(out_ + "/13.msg")));
}

TEST_F(NetmailWriter, SenderTextNeverOverflowsTheHeader) {
  std::string longName(50, 'n');
  std::string longText(70, 's');
  write({2, 5020, 1, 0}, longName, longText + "  [00001A2B00003C4D]", std::nullopt);
  write({2, 5020, 1, 0}, "A", std::string(80, 'x') + " [no UserID]", std::nullopt);
  write({2, 5020, 1, 0}, "A", std::string(100, 'y') + "  [00001A2B00003C4D]", std::nullopt);

  korva::InboundMessage read;
  ASSERT_EQ(korva::readStoredMessage(out_ + "/1.msg", read), korva::ReadResult::kRead);
  EXPECT_EQ(read.toName, std::string(35, 'n'));
  // The UserID survives the cut, so the elector can send it back.
  EXPECT_EQ(read.subject, std::string(51, 's') + " ");  // cut at " [", the first of the two blanks stays
  EXPECT_EQ(read.givenUserId.first, 0x1A2Bu);
  EXPECT_EQ(read.givenUserId.second, 0x3C4Du);
  ASSERT_EQ(korva::readStoredMessage(out_ + "/2.msg", read), korva::ReadResult::kRead);
  EXPECT_EQ(read.subject, std::string(71, 'x'));
  std::string third = readFile(out_ + "/3.msg");
  EXPECT_EQ(third.substr(msg_header::kSubject, 72), std::string(51, 'y') + "  [00001A2B00003C4D]" + '\0');
}

TEST_F(NetmailWriter, CopyIntoCopyNetmailOut) {
  korva::settings.copyNetmailOut = copies_ + "/";
  writeFile(copies_ + "/4.msg", "x");
  std::string log = write({2, 5020, 1, 0}, "A", "S", std::nullopt, "", true);
  EXPECT_EQ(readFile(copies_ + "/5.msg"), readFile(out_ + "/1.msg"));
  EXPECT_NE(log.find("< Save copy to \"" + copies_ + "/5.msg\"."), std::string::npos) << log;
  write({2, 5020, 1, 0}, "A", "S", std::nullopt, "", false);
  EXPECT_FALSE(fs::exists(copies_ + "/6.msg"));
}

TEST_F(NetmailWriter, AuditMessageToTheRobotItself) {
  korva::settings.headerTpl = header_;
  korva::settings.copyNetmailOut = copies_ + "/";
  korva::settings.auditTpl = dir_ / "audit.tpl";
  writeFile(korva::settings.auditTpl, "Processed: %FNAM\n");
  testing::internal::CaptureStdout();
  korva::writeAuditMessage();
  testing::internal::GetCapturedStdout();
  std::string bytes = masked(out_ + "/1.msg");
  std::string expected = header("Returning Officer", "Korva Audit", {2, 5020, 50, 0}, {2, 5020, 50, 0});
  EXPECT_EQ(bytes.substr(0, expected.size()), expected);
  EXPECT_NE(bytes.find("\rProcessed: Ivan Petrov\r"), std::string::npos);
  EXPECT_EQ(bytes.find("In reply to"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(copies_));
}

TEST_F(NetmailWriter, NothingWithoutTemplateOrNetmailOut) {
  write({2, 5020, 1, 0}, "A", "S", std::nullopt, "", false, "");
  korva::settings.auditTpl.clear();
  korva::writeAuditMessage();
  korva::settings.netmailOut.clear();
  write({2, 5020, 1, 0}, "A", "S", std::nullopt);
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(NetmailWriter, FailuresEndTheRunAndLeaveNoHalfMessage) {
  std::string log = dir_ / "stdout", noHeader = dir_ / "nohdr.tpl";
  struct Case {
    const char* what;
    std::function<void()> prepare;
    int code;
    std::string message;
  } cases[] = {
      {"missing template", [this] { fs::remove(template_); }, 21,
       "! Header file \"" + template_ + "\" open error. Process aborted."},
      {"missing header template", [&] { korva::settings.headerTpl = noHeader; }, 21,
       "! Header file \"" + noHeader + "\" open error. Process aborted."},
      {"overflowing template",
       [this] {
         korva::inboundMessage.fromName = std::string(35, 'N');
         std::string line;
         while (line.size() + 5 <= 16382) line += "%FNAM";
         writeFile(template_, line + "\n");
       },
       22, "! Header bufer overflow (header: \"" + template_ + "\"). Process aborted."},
      {"no free number", [this] { writeFile(out_ + "/65535.msg", "x"); }, 14,
       "! No free message number in \"" + out_ + "/\"."},
      {"directory gone", [this] { korva::settings.netmailOut = dir_ / "gone/"; }, 14,
       "! File \"" + (dir_ / "gone/korva.")},
  };
  for (const Case& c : cases) {
    prepare();
    c.prepare();
    EXPECT_EXIT_STDOUT(korva::writeNetmail({template_, {2, 5020, 1, 0}, "A", "S", "", "", false}), c.code, log);
    std::string out = readFile(log);
    EXPECT_NE(out.find(c.message), std::string::npos) << c.what << ": " << out;
    for (const auto& entry : fs::directory_iterator(out_)) {
      EXPECT_EQ(entry.path().filename(), "65535.msg") << c.what;  // the message begun was removed
    }
  }
}

}  // namespace
