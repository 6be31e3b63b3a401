#include "nuvrel/output.h"

#include <cstdio>

#include "common/log.h"
#include "common/msgid_serial.h"
#include "common/platform.h"
#include "common/text.h"
#include "nuvrel/app.h"
#include "nuvrel/schedule.h"

namespace nuvrel {

namespace {

using logging::logPrint;

constexpr size_t kCreditColumn = 37;  // of the tearline, its leading line end counting as 0
constexpr size_t kTextDateColumn = 60;
constexpr size_t kTextRuleWidth = 79;
constexpr size_t kAreaRuleRoom = 76;

void put16(std::string& bytes, size_t at, uint16_t value) {
  bytes[at] = char(value & 0xFF);
  bytes[at + 1] = char(value >> 8);
}

void put16(std::string& bytes, size_t at, int16_t value) { put16(bytes, at, uint16_t(value)); }

void put32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = char(value >> (8 * i) & 0xFF);
}

void writeBytes(std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), output.file); }

// A zero-terminated text of at most `limit` characters.
void writeZeroTerminated(std::string_view s, size_t limit) {
  writeBytes(s.substr(0, limit));
  writeBytes(std::string_view("\0", 1));
}

long packetSize() { return std::ftell(output.file); }

// The first packet name tried: the MSGID serial this moment would give.
uint32_t clockSerial() { return msgid::serialFromClock(platform::systemClock()); }

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

void createPacket() {
  platform::removeDeadTemporaries(settings.pktDir);
  std::string name;
  for (uint32_t number = clockSerial();; ++number) {
    name = text::format("%s%8.8lX.PKT", settings.pktDir.c_str(), static_cast<unsigned long>(number));
    if (!platform::isRegularFile(name)) break;
  }
  if (settings.pktToAddress.zone == 0) {
    logPrint("\n! Unknown PktToAddress.");
    finishRun(15);
  }
  if (settings.pktFromAddress.zone == 0) {
    logPrint("\n! Unknown PktFromAddress.");
    finishRun(15);
  }
  platform::deleteFile(name);
  output.file = platform::openFile(name, "wb");
  if (output.file == nullptr) {
    logPrint("\n! File \"%s\" create error.", name.c_str());
    finishRun(14);
  }
  output.name = name;
  PacketHeader header{settings.pktFromAddress, settings.pktToAddress, platform::localTime(std::time(nullptr)),
                      settings.pktPassword};
  writeBytes(encodePacketHeader(header));
  output.partSize = settings.maxMsgSize;
}

void startMessagePart() {
  const FtnAddress& from = settings.fromAddress;
  const FtnAddress& to = settings.pktToAddress;
  std::string head(packed_message::kFixedSize, '\0');
  put16(head, packed_message::kType, pkt_header::kType2);
  put16(head, packed_message::kOrigNode, from.node);
  put16(head, packed_message::kDestNode, to.node);
  put16(head, packed_message::kOrigNet, from.net);
  put16(head, packed_message::kDestNet, to.net);
  writeBytes(head);
  writeZeroTerminated(text::fidoDateTime(platform::localTime(std::time(nullptr))), packed_message::kDateTimeSize - 1);
  writeZeroTerminated("All", packed_message::kMaxToFromName);
  writeZeroTerminated(settings.from, packed_message::kMaxToFromName);
  std::string subject = settings.subj;
  if (output.partCounter > 0) subject = text::format("[part %d] %s", output.partCounter + 1, settings.subj.c_str());
  writeZeroTerminated(subject, packed_message::kMaxSubject);
  std::string kludges = "AREA:" + settings.area + "\r";
  kludges += "\x01MSGID: " + formatAddress(from) + text::format(" %8.8lx\r", static_cast<unsigned long>(nextMsgIdSerial()));
  kludges += text::format("\x01PID: Nuvrel %s\r", kProgramVersion);
  if (!settings.charset.empty()) kludges += "\x01" "CHRS: " + settings.charset + "\r";
  if (output.partCounter > 0) {
    kludges += text::format("\r  * Continuation %d of a split message *\r", output.partCounter);
  }
  writeBytes(kludges);
}

void writePacketLine(std::string_view line) {
  if (output.file == nullptr) createPacket();
  if (output.partSize >= settings.maxMsgSize) {
    output.partStart = packetSize();
    if (output.partCounter > 0) finishPost(true);
    startMessagePart();
    ++output.partCounter;
  }
  std::string packed(line);
  for (char& c : packed) {
    if (c == '\n') c = '\r';
  }
  writeBytes(packed);
  output.partSize = static_cast<unsigned long>(packetSize() - output.partStart);
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
  if (output.file == nullptr) {
    std::string name = app.currentSection + ".TXT";
    std::string systemName = platform::cp866ToUtf8(name);
    platform::deleteFile(systemName);
    output.file = platform::openFile(systemName, "wb");
    if (output.file == nullptr) {
      logPrint("\n! File \"%s\" create error", name.c_str());
      finishRun(14);
    }
    output.name = name;
    if (app.headerFlag) writeBytes(textFileHeader());
  }
  writeBytes(line);
}

void finishTextFile() {
  std::string trailer;
  if (settings.includeTearline) trailer += tearline('\n');
  if (!settings.origin.empty() && app.headerFlag) trailer += originLine('\n');
  trailer += std::string("\n\0", 2);
  writeBytes(trailer);
  std::fclose(output.file);
  output.file = nullptr;
  logPrint("\n  \"%s\" created.", output.name.c_str());
}

void renewStamp() {
  platform::deleteFile(app.stampPath);
  std::FILE* stamp = platform::openFile(app.stampPath, "wb");
  if (stamp == nullptr) {
    logPrint("\n! Timestamp file \"%s\" create error.", app.stampPath.c_str());
    return;
  }
  std::fclose(stamp);
}

}  // namespace

std::string encodePacketHeader(const PacketHeader& h) {
  namespace p = pkt_header;
  std::string bytes(p::kSize, '\0');
  put16(bytes, p::kOrigNode, h.orig.node);
  put16(bytes, p::kDestNode, h.dest.node);
  put16(bytes, p::kYear, uint16_t(h.created.tm_year + 1900));
  put16(bytes, p::kMonth, uint16_t(h.created.tm_mon));
  put16(bytes, p::kDay, uint16_t(h.created.tm_mday));
  put16(bytes, p::kHour, uint16_t(h.created.tm_hour));
  put16(bytes, p::kMinute, uint16_t(h.created.tm_min));
  put16(bytes, p::kSecond, uint16_t(h.created.tm_sec));
  put16(bytes, p::kBaud, uint16_t(0));
  put16(bytes, p::kPacketType, p::kType2);
  put16(bytes, p::kOrigNet, h.orig.net);
  put16(bytes, p::kDestNet, h.dest.net);
  bytes[p::kProductCodeLow] = char(0xFF);
  bytes[p::kRevisionMajor] = 1;
  bytes.replace(p::kPassword, std::min(h.password.size(), p::kPasswordSize), h.password, 0, p::kPasswordSize);
  put16(bytes, p::kQmOrigZone, h.orig.zone);
  put16(bytes, p::kQmDestZone, h.dest.zone);
  put16(bytes, p::kAuxNet, uint16_t(0));
  put16(bytes, p::kCapabilityCopy, p::kCapabilityCopyValue);
  bytes[p::kProductCodeHigh] = char(0xFF);
  bytes[p::kRevisionMinor] = 0;
  put16(bytes, p::kCapabilityWord, p::kCapability);
  put16(bytes, p::kOrigZone, h.orig.zone);
  put16(bytes, p::kDestZone, h.dest.zone);
  put16(bytes, p::kOrigPoint, h.orig.point);
  put16(bytes, p::kDestPoint, h.dest.point);
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
    if (output.file != nullptr) finishTextFile();
    return;
  }
  if (output.partCounter == 0) return;  // the template wrote no line
  std::string trailer;
  if (split) trailer += "\r  * Message split, to be continued *\r";
  if (settings.includeTearline) trailer += tearline('\r');
  if (!settings.origin.empty()) trailer += originLine('\r');
  trailer += std::string("\r\0", 2);
  writeBytes(trailer);
  output.partSize = settings.maxMsgSize;
}

void closeOutput() {
  if (output.file == nullptr) return;
  if (app.textMode) {
    std::fclose(output.file);  // a run that ends inside a template keeps what it wrote
    output.file = nullptr;
    return;
  }
  writeBytes(std::string_view("\0\0", 2));
  std::fclose(output.file);
  output.file = nullptr;
  logPrint("\n  %s created.", output.name.c_str());
  if (app.forcedSection.empty() && !app.stampPath.empty()) renewStamp();
}

void finishRun(int code) { logging::appExit(code); }

}  // namespace nuvrel
