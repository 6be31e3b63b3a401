#include "korva/netmail_writer.h"

#include <cstdio>
#include <ctime>

#include "common/byte_order.h"
#include "common/log.h"
#include "common/msgid_serial.h"
#include "common/platform.h"
#include "common/text.h"
#include "korva/app.h"
#include "korva/exit_codes.h"
#include "korva/message_effects.h"
#include "korva/message_format.h"
#include "korva/scan.h"
#include "korva/settings.h"
#include "korva/templates.h"

namespace korva {

namespace {

using logging::appExit;
using logging::logPrint;

// "  [" + 16 hexadecimal digits + "]", as replies carry the elector's UserID.
constexpr size_t kUserIdSuffixLength = 20;

bool isUserIdSuffix(std::string_view s) {
  if (s.size() != kUserIdSuffixLength || s.substr(0, 3) != "  [" || s.back() != ']') return false;
  for (char c : s.substr(3, 16)) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

void putText(uint8_t* header, size_t offset, size_t fieldSize, std::string_view s) {
  s = s.substr(0, fieldSize - 1);  // the zero byte always fits
  for (size_t i = 0; i < s.size(); ++i) header[offset + i] = uint8_t(s[i]);
}

void putWord(uint8_t* header, size_t offset, int16_t value) { byte_order::put16(header + offset, uint16_t(value)); }

std::string dateTimeText() { return text::fidoDateTime(platform::localTime(std::time(nullptr))); }

std::string headerBytes(const FtnAddress& dest, std::string_view toName, std::string_view subject) {
  using namespace msg_header;
  uint8_t header[kSize] = {};
  const FtnAddress& own = settings.ownAddress;
  putText(header, kFromName, kFromNameSize, kRobotName);
  putText(header, kToName, kToNameSize, text::withinLine(toName));
  putText(header, kSubject, kSubjectSize, text::withinLine(fitSubject(subject)));
  putText(header, kDateTime, kDateTimeSize, dateTimeText());
  putWord(header, kDestNode, dest.node);
  putWord(header, kOrigNode, own.node);
  putWord(header, kOrigNet, own.net);
  putWord(header, kDestNet, dest.net);
  putWord(header, kDestZone, dest.zone);
  putWord(header, kOrigZone, own.zone);
  putWord(header, kDestPoint, dest.point);
  putWord(header, kOrigPoint, own.point);
  byte_order::put16(header + kAttribute, kOutgoingAttribute);
  return std::string(reinterpret_cast<const char*>(header), kSize);
}

std::string kludgeBlock(const FtnAddress& dest, const std::optional<std::string>& replyId) {
  const FtnAddress& own = settings.ownAddress;
  std::string k = text::format("\x01INTL %s %s\r", formatAddress3d(dest).c_str(), formatAddress3d(own).c_str());
  if (dest.point != 0) k += text::format("\x01TOPT %hd\r", dest.point);
  if (own.point != 0) k += text::format("\001FMPT %hd\r", own.point);  // octal: "\x01F" would be one escape
  k += "\x01MSGID: " + formatAddress(own);
  k += text::format(" %lx\r", static_cast<unsigned long>(msgid::nextMsgIdSerial(app.msgIdSerial)));
  if (replyId && !replyId->empty()) k += "\x01REPLY: " + text::withinLine(*replyId) + "\r";
  k += text::format("\x01PID: Korva %s\r", kProgramVersion);
  if (!settings.charset.empty())
    k += "\x01"
         "CHRS: " +
         settings.charset + "\r";
  return k;
}

std::string closingText() {
  const FtnAddress& own = settings.ownAddress;
  std::string c = text::format("\r--- Korva v. %s\r", kProgramVersion);
  if (!settings.origin.empty()) {
    c += text::format(" * Origin: %s (%s", settings.origin.c_str(), formatAddress(own).c_str());
    c += ")\r";
  }
  c += '\0';  // ends the message
  return c;
}

void appendTemplate(const std::string& templatePath, std::string& body) {
  TemplateResult result = expandTemplate(templatePath, body);
  if (result == kTemplateCannotOpen) appExit(kExitTemplateMissing);
  if (result == kTemplateOverflow) appExit(kExitTemplateOverflow);
}

}  // namespace

std::string fitSubject(std::string_view subject) {
  if (subject.size() <= kMaxSubjectLength) return std::string(subject);
  std::string_view suffix = subject.substr(subject.size() - kUserIdSuffixLength);
  if (!isUserIdSuffix(suffix)) return std::string(subject.substr(0, kMaxSubjectLength));
  return std::string(subject.substr(0, kMaxSubjectLength - kUserIdSuffixLength)) + std::string(suffix);
}

void writeNetmail(const Netmail& netmail) {
  const FtnAddress& destination = netmail.destination;
  if (netmail.templatePath.empty() || settings.netmailOut.empty()) return;
  // The whole message is built before anything is written: a template that fails leaves nothing.
  std::string message =
      headerBytes(destination, netmail.toName, netmail.subject) + kludgeBlock(destination, netmail.replyId);
  if (!netmail.firstLine.empty()) message += netmail.firstLine + "\r";
  if (!settings.headerTpl.empty() && netmail.replyId) appendTemplate(settings.headerTpl, message);
  appendTemplate(netmail.templatePath, message);
  std::string sentLine = logging::logEntry("\n< Send message to %s, template: \"%s\".",
                                           formatAddress4d(destination).c_str(), netmail.templatePath.c_str());
  message += closingText();
  const bool copied = netmail.copy && !settings.copyNetmailOut.empty();
  if (planningMessage()) {
    planMessage(message, settings.netmailOut, sentLine, false);
    if (copied) planMessage(message, settings.copyNetmailOut, "", true);
    return;
  }
  std::string path;
  if (!writeMessageNow(message, settings.netmailOut, path)) {
    logPrint("\n! File \"%s\" create error", path.c_str());
    appExit(kExitCreateFailed);
  }
  logging::logWriteEntry(sentLine);
  if (copied && writeMessageNow(message, settings.copyNetmailOut, path)) {
    logPrint("\n< Save copy to \"%s\".", path.c_str());
  }
}

void writeAuditMessage() {
  writeNetmail({.templatePath = settings.auditTpl,
                .destination = settings.ownAddress,
                .toName = "Returning Officer",
                .subject = "Korva Audit"});
}

}  // namespace korva
