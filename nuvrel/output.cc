#include "nuvrel/output.h"

#include <cstdio>

#include "common/byte_order.h"
#include "common/log.h"
#include "common/msgid_serial.h"
#include "common/platform.h"
#include "common/text.h"
#include "nuvrel/app.h"
#include "nuvrel/exit_codes.h"
#include "nuvrel/schedule.h"

namespace nuvrel {

namespace {

using byte_order::put16;
using byte_order::put32;
using logging::logPrint;

constexpr size_t kCreditColumn = 37;  // of the tearline, its leading line end counting as 0
constexpr size_t kTextDateColumn = 60;
constexpr size_t kTextRuleWidth = 79;
constexpr size_t kAreaRuleRoom = 76;

// A zero-terminated text of at most `limit` characters.
std::string zeroTerminated(std::string_view s, size_t limit) { return std::string(s.substr(0, limit)) + '\0'; }

// The first packet name tried: the MSGID serial this moment would give.
uint32_t clockSerial() { return msgid::serialFromClock(platform::systemClock()); }

std::string packetName(uint32_t number) {
  return text::format("%s%8.8lX.PKT", settings.pktDir.c_str(), static_cast<unsigned long>(number));
}

// The tearline after the line end `eol`: version, then the credit notice at its column.
std::string tearline(char eol) {
  std::string line = std::string(1, eol) + text::format("--- Nuvrel  Ver. %s", kProgramVersion);
  if (settings.shortTearline) return line;
  if (line.size() < kCreditColumn) line.resize(kCreditColumn, ' ');
  return line + text::format("Kelvanoth Poster, %s.", kBuildDate);
}

std::string originLine(char eol) {
  const FtnAddress& a = settings.fromAddress;
  return std::string(1, eol) + " * Origin: " + settings.origin + " (" + formatAddress(a) + ")";
}

void startPacket() {
  platform::removeDeadTemporaries(settings.pktDir);
  if (settings.pktToAddress.zone == 0) {
    logPrint("\n! Unknown PktToAddress.");
    logging::appExit(kExitNoPacketAddress);
  }
  if (settings.pktFromAddress.zone == 0) {
    logPrint("\n! Unknown PktFromAddress.");
    logging::appExit(kExitNoPacketAddress);
  }
  output.packetNumber = clockSerial();
  PacketHeader header{settings.pktFromAddress, settings.pktToAddress, platform::localTime(std::time(nullptr)),
                      settings.pktPassword};
  output.packet = encodePacketHeader(header);
  output.partSize = settings.maxMsgSize;
}

void startMessagePart() {
  const FtnAddress& from = settings.fromAddress;
  const FtnAddress& to = settings.pktToAddress;
  std::string head(packed_message::kFixedSize, '\0');
  put16(head, packed_message::kType, packed_message::kType2);
  put16(head, packed_message::kOrigNode, uint16_t(from.node));
  put16(head, packed_message::kDestNode, uint16_t(to.node));
  put16(head, packed_message::kOrigNet, uint16_t(from.net));
  put16(head, packed_message::kDestNet, uint16_t(to.net));
  head +=
      zeroTerminated(text::fidoDateTime(platform::localTime(std::time(nullptr))), packed_message::kDateTimeSize - 1);
  head += zeroTerminated("All", packed_message::kMaxToFromName);
  head += zeroTerminated(settings.from, packed_message::kMaxToFromName);
  std::string subject = settings.subj;
  if (output.partCounter > 0) subject = text::format("[part %d] %s", output.partCounter + 1, settings.subj.c_str());
  head += zeroTerminated(subject, packed_message::kMaxSubject);
  head += "AREA:" + settings.area + "\r";
  head +=
      "\x01MSGID: " + formatAddress(from) + text::format(" %8.8lx\r", static_cast<unsigned long>(nextMsgIdSerial()));
  head += text::format("\x01PID: Nuvrel %s\r", kProgramVersion);
  if (!settings.charset.empty())
    head +=
        "\x01"
        "CHRS: " +
        settings.charset + "\r";
  if (output.partCounter > 0) {
    head += text::format("\r  * Continuation %d of a split message *\r", output.partCounter);
  }
  output.text += head;
}

void writePacketLine(std::string_view line) {
  if (output.packet.empty()) startPacket();
  if (output.partSize >= settings.maxMsgSize) {
    output.partStart = output.text.size();
    if (output.partCounter > 0) finishPost(true);
    startMessagePart();
    ++output.partCounter;
  }
  std::string packed(line);
  for (char& c : packed) {
    if (c == '\n') c = '\r';
  }
  output.text += packed;
  output.partSize = static_cast<unsigned long>(output.text.size() - output.partStart);
}

std::string textFileHeader() {
  for (char& c : settings.area) c = text::foldAscii(c);  // later uses in the run see it so too
  std::string rule(settings.area.size() < kAreaRuleRoom ? kAreaRuleRoom - settings.area.size() : 0, '=');
  std::string header = rule + " " + settings.area + " =\n";
  std::string from = text::format("From: %-36s", settings.from.c_str()) + formatAddress(settings.fromAddress);
  from.resize(std::max(from.size() + 1, kTextDateColumn), ' ');
  std::tm day = platform::localTime(app.postingDay);
  header += from + text::format("%2d %3s %2.2d  %2.2d:%2.2d:%2.2d\n", day.tm_mday, text::monthAbbreviation(day.tm_mon),
                                day.tm_year % 100, day.tm_hour, day.tm_min, day.tm_sec);
  header += "To  : All\n";
  header += "Subj: " + settings.subj + "\n";
  header += std::string(kTextRuleWidth, '=') + "\n";
  return header;
}

void writeTextFileLine(std::string_view line) {
  if (!output.textStarted) {
    output.textStarted = true;
    output.textName = app.currentSection + ".TXT";
    output.text = app.headerFlag ? textFileHeader() : std::string();
  }
  output.text += line;
}

// The text file replaces the previous one of its section in one step: until then that one stays whole.
void finishTextFile() {
  if (settings.includeTearline) output.text += tearline('\n');
  if (!settings.origin.empty() && app.headerFlag) output.text += originLine('\n');
  output.text += std::string("\n\0", 2);
  bool saved = platform::writeFileAtomically(platform::cp866ToUtf8(output.textName), output.text);
  output.text.clear();
  output.textStarted = false;
  if (!saved) {
    logPrint("\n! File \"%s\" create error", output.textName.c_str());
    logging::appExit(kExitCreateFailed);
  }
  logPrint("\n  \"%s\" created.", output.textName.c_str());
}

// Gives the finished packet in `temporary` the first free packet name from its number on.  A name
// taken meanwhile, by a run of another configuration sharing the directory, is passed over: the
// rename never overwrites a packet.
bool renameToPacketName(const std::string& temporary, std::string& name) {
  for (uint32_t number = output.packetNumber;; ++number) {
    name = packetName(number);
    if (platform::isRegularFile(name)) continue;
    if (platform::renameFile(temporary, name) == platform::RenameResult::kDone) return true;
    if (!platform::isRegularFile(name)) return false;
  }
}

// Writes the packet whole under a temporary name, forced to disk, and only then gives it its
// packet name: a tosser never sees a packet that is not whole.
void deliverPacket() {
  std::string bytes = output.packet + std::string("\0\0", 2);
  std::string name = packetName(output.packetNumber);
  std::string temporary = platform::temporaryPath(name);
  output.packet.clear();
  output.packetHoldsText = false;
  bool written = platform::writeNewFile(temporary, bytes);
  if (!written || !renameToPacketName(temporary, name)) {
    if (written) platform::deleteFile(temporary);
    logPrint("\n! File \"%s\" create error.", name.c_str());
    logging::appExit(kExitCreateFailed);
  }
  // A packet in place stays posted: a lost directory sync is no reason to post its texts twice.
  platform::syncDirectory(platform::directoryPart(name));
  logPrint("\n  %s created.", name.c_str());
}

// A posted text joins the packet once its template is finished, all its parts at once.
void finishPacketText() {
  output.packet += output.text;
  output.text.clear();
  output.packetHoldsText = true;
}

// The stamp's date is its last-write time.  It is replaced, never deleted first: a stop in between
// would leave no stamp, and a rerun the same day would post once more.
void renewStamp() {
  if (!platform::writeFileAtomically(app.stampPath, "")) {
    logPrint("\n! Timestamp file \"%s\" create error.", app.stampPath.c_str());
  }
}

}  // namespace

std::string encodePacketHeader(const PacketHeader& h) {
  namespace p = pkt_header;
  std::string bytes(p::kSize, '\0');
  put16(bytes, p::kOrigNode, uint16_t(h.orig.node));
  put16(bytes, p::kDestNode, uint16_t(h.dest.node));
  put16(bytes, p::kYear, uint16_t(h.created.tm_year + 1900));
  put16(bytes, p::kMonth, uint16_t(h.created.tm_mon));
  put16(bytes, p::kDay, uint16_t(h.created.tm_mday));
  put16(bytes, p::kHour, uint16_t(h.created.tm_hour));
  put16(bytes, p::kMinute, uint16_t(h.created.tm_min));
  put16(bytes, p::kSecond, uint16_t(h.created.tm_sec));
  put16(bytes, p::kBaud, uint16_t(0));
  put16(bytes, p::kPacketType, p::kType2);
  put16(bytes, p::kOrigNet, uint16_t(h.orig.net));
  put16(bytes, p::kDestNet, uint16_t(h.dest.net));
  bytes[p::kProductCodeLow] = char(0xFF);
  bytes[p::kRevisionMajor] = 1;
  bytes.replace(p::kPassword, std::min(h.password.size(), p::kPasswordSize), h.password, 0, p::kPasswordSize);
  put16(bytes, p::kQmOrigZone, uint16_t(h.orig.zone));
  put16(bytes, p::kQmDestZone, uint16_t(h.dest.zone));
  put16(bytes, p::kAuxNet, uint16_t(0));
  put16(bytes, p::kCapabilityCopy, p::kCapabilityCopyValue);
  bytes[p::kProductCodeHigh] = char(0xFF);
  bytes[p::kRevisionMinor] = 0;
  put16(bytes, p::kCapabilityWord, p::kCapability);
  put16(bytes, p::kOrigZone, uint16_t(h.orig.zone));
  put16(bytes, p::kDestZone, uint16_t(h.dest.zone));
  put16(bytes, p::kOrigPoint, uint16_t(h.orig.point));
  put16(bytes, p::kDestPoint, uint16_t(h.dest.point));
  put32(bytes, p::kProductData, 0);
  return bytes;
}

uint32_t nextMsgIdSerial() { return msgid::nextMsgIdSerial(output.msgIdSerial); }

void writeOutputLine(std::string_view line) {
  if (app.textMode) {
    writeTextFileLine(line);
  } else {
    writePacketLine(line);
  }
}

void finishPost(bool split) {
  if (app.textMode) {
    if (output.textStarted) finishTextFile();
    return;
  }
  if (output.partCounter == 0) return;  // the template wrote no line
  if (split) output.text += "\r  * Message split, to be continued *\r";
  if (settings.includeTearline) output.text += tearline('\r');
  if (!settings.origin.empty()) output.text += originLine('\r');
  output.text += std::string("\r\0", 2);
  output.partSize = settings.maxMsgSize;
  if (!split) finishPacketText();
}

void closeOutput() {
  // A run that ends inside a template drops the text in progress, every part of it: half a text
  // must not reach the echo area, nor replace a whole one.
  output.text.clear();
  output.textStarted = false;
  if (!output.packetHoldsText) {
    output.packet.clear();
    return;
  }
  deliverPacket();
  if (app.forcedSection.empty() && !app.stampPath.empty()) renewStamp();
}

}  // namespace nuvrel
