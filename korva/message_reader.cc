#include "korva/message_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/byte_order.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "korva/settings.h"

namespace korva {

namespace {

using logging::logPrint;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Digits at `pos`, wrapped to 16 bits as "%hd" conversion wraps them; `pos` moves past them.
bool readDigits(std::string_view s, size_t& pos, int16_t& value) {
  size_t start = pos;
  uint16_t v = 0;
  while (pos < s.size() && isDigit(s[pos])) v = uint16_t(v * 10 + (s[pos++] - '0'));
  value = int16_t(v);
  return pos > start;
}

// A header text field: up to its zero byte, at most size-1 characters.
std::string headerText(const uint8_t* header, size_t offset, size_t size) {
  const char* field = reinterpret_cast<const char*>(header + offset);
  size_t length = 0;
  while (length + 1 < size && field[length] != '\0') ++length;
  return std::string(field, length);
}

// The decimal number at the start of a text, as atoi reads it (blanks, sign, digits).
int16_t leadingNumber(std::string_view s) {
  long value = 0;
  size_t pos = 0;
  text::scanLong(s, pos, value);
  return int16_t(uint16_t(static_cast<unsigned long>(value) & 0xFFFF));
}

// The message text split into lines at CR; an LF right after a CR belongs to the line end.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t cr = text.find('\r', start);
    if (cr == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, cr - start));
    start = cr + 1;
    if (start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// "%hd:%hd/%hd %hd:%hd/%hd" from the blank after INTL: fields are stored as they are read, and
// numbers out of range wrap instead of being undefined as they are for sscanf.
void readIntl(std::string_view line, InboundMessage& msg) {
  int16_t* fields[6] = {&msg.dest.zone, &msg.dest.net, &msg.dest.node, &msg.orig.zone, &msg.orig.net, &msg.orig.node};
  static constexpr char kBefore[6] = {0, ':', '/', 0, ':', '/'};  // 0: blanks only, skipped by the number
  size_t pos = 5;
  for (int f = 0; f < 6; ++f) {
    if (kBefore[f] != 0) {
      if (pos >= line.size() || line[pos] != kBefore[f]) return;
      ++pos;
    }
    if (!scanShort(line, pos, *fields[f])) return;
  }
}

void readReplyTo(std::string_view value, InboundMessage& msg) {
  parseAddressText(value, msg.replyToAddress);
  std::string_view rest = text::skipBlanks(value);
  size_t blank = rest.find(' ');
  if (blank != std::string_view::npos)
    msg.replyToName = text::cut(text::skipBlanks(rest.substr(blank + 1)), kMaxReplyToNameLength);
}

// The number at `offset` of the text, as far as it reads as one; 0 beyond the text.
int numberAt(std::string_view s, size_t offset) {
  if (offset >= s.size()) return 0;
  long value = 0;
  text::scanLong(s, offset, value);
  return int(value);
}

// The fields of "DD Mon YY  HH:MM:SS"; out of range values are left for the calendar to carry.
std::tm messageDateFields(std::string_view text) {
  std::string_view s = text.substr(std::min(text.size(), text.find_first_not_of(' ')));
  std::tm tm{};
  tm.tm_mday = numberAt(s, 0);
  // A two-digit year below 80 is in this century; no header year, however large, may overflow.
  int year = numberAt(s, 7);
  tm.tm_year = year < 80 ? year + 100 : year;
  std::string_view month = s.size() > 3 ? s.substr(3, 3) : std::string_view();
  for (int m = 0; m < 12; ++m) {
    if (text::equalIgnoringAsciiCase(month, text::monthAbbreviation(m))) tm.tm_mon = m;
  }
  size_t time = std::min<size_t>(9, s.size());
  while (time < s.size() && s[time] == ' ') ++time;
  std::string_view clock = s.substr(time);
  tm.tm_hour = numberAt(clock, 0);
  tm.tm_min = numberAt(clock, 3);
  tm.tm_sec = numberAt(clock, 6);
  return tm;
}

// The header date written in a zone that many minutes east of UTC.
std::time_t messageDateAtOffset(std::string_view text, int utcOffset) {
  std::time_t utc = platform::utcSeconds(messageDateFields(text));
  // A date beyond the calendar stays the -1 that local dates give for it.
  return utc == -1 ? utc : utc - std::time_t(utcOffset) * 60;
}

// The value of a TZUTC kludge, "[-]hhmm" (a "+" taken too) within 14 hours of UTC, in minutes east
// of UTC; nothing for any other text.
std::optional<int> parseUtcOffset(std::string_view value) {
  value = text::skipBlanks(value);
  int sign = 1;
  if (!value.empty() && (value[0] == '-' || value[0] == '+')) {
    sign = value[0] == '-' ? -1 : 1;
    value.remove_prefix(1);
  }
  if (value.size() < 4 || !text::skipBlanks(value.substr(4)).empty()) return std::nullopt;
  for (size_t i = 0; i < 4; ++i) {
    if (!isDigit(value[i])) return std::nullopt;
  }
  int hours = (value[0] - '0') * 10 + (value[1] - '0'), minutes = (value[2] - '0') * 10 + (value[3] - '0');
  if (minutes > 59 || hours * 60 + minutes > 14 * 60) return std::nullopt;
  return sign * (hours * 60 + minutes);
}

// First pass: kludges exactly as written, and every other line to the body-line handler.
void readKludgesAndBody(const std::vector<std::string_view>& lines, InboundMessage& msg,
                        const BodyLineHandler& onBodyLine, bool& hasMsgId) {
  bool tzutcSeen = false;
  for (std::string_view line : lines) {
    if (startsWith(line, "\x01INTL ")) {
      readIntl(line, msg);
    } else if (startsWith(line, "\x01TOPT ")) {
      msg.dest.point = leadingNumber(line.substr(6));
    } else if (startsWith(line,
                          "\x01"
                          "FMPT ")) {  // split: "\x01F" would be one hex escape
      msg.orig.point = leadingNumber(line.substr(6));
    } else if (startsWith(line, "\x01MSGID: ")) {
      std::string_view value = line.substr(8);
      hasMsgId = parseAddressText(value, msg.msgIdAddress);
      msg.msgId = text::cut(text::skipBlanks(value), kMaxMsgIdLength);
    } else if (startsWith(line, "\x01REPLYADDR: ") || startsWith(line, "\x01REPLYADDR ")) {
      msg.replyAddr = text::cut(text::skipBlanks(line.substr(11)), kMaxReplyAddrLength);
    } else if (startsWith(line, "\x01REPLYTO: ") || startsWith(line, "\x01REPLYTO ")) {
      readReplyTo(line.substr(9), msg);
    } else if (startsWith(line, "\x01TZUTC: ")) {
      // The sender's editor writes it once; a later one (or a malformed first) changes nothing.
      if (!tzutcSeen) msg.utcOffset = parseUtcOffset(line.substr(8));
      tzutcSeen = true;
    } else if (!startsWith(line, "\x01") && onBodyLine) {
      onBodyLine(line, msg);
    }
  }
}

void completeAddresses(InboundMessage& msg) {
  if (msg.orig.zone == 0) {
    if (msg.orig.net != 0 || msg.orig.node != 0) {
      msg.orig.zone = msg.msgIdAddress.zone;
    } else {
      msg.orig = msg.msgIdAddress;
    }
    if (msg.orig.zone == 0) msg.orig.zone = settings.ownAddress.zone;
  }
  if (msg.dest.zone == 0) msg.dest.zone = msg.msgIdAddress.zone != 0 ? msg.msgIdAddress.zone : msg.orig.zone;
}

// The hops of the VIA lines (prefixes in any case) in the order listed, a hop repeated at once
// counted once.
struct RouteHops {
  FtnAddress first, second, last, beforeLast;
  bool viaSeen = false, bossSeen = false;  // some VIA line; the sender's boss node among the hops
};

// Second pass over the kludges: the hops, whether the message came straight from its sender, and
// the REPLY kludges that answer somebody else, logged in their place.
RouteHops readRouteHops(const std::vector<std::string_view>& lines, InboundMessage& msg) {
  const FtnAddress& own = settings.ownAddress;
  FtnAddress boss = msg.orig;
  boss.point = 0;
  FtnAddress previous;
  RouteHops h;
  msg.directDelivery = true;
  for (std::string_view line : lines) {
    if (text::startsWithIgnoringAsciiCase(line, "\x01REPLY: ")) {
      FtnAddress reply;
      if (parseAddressText(line.substr(8), reply) && !sameAddress(reply, own)) {
        std::string shown(line.substr(1));
        logPrint("\n  -- @%s", shown.c_str());
      }
      continue;
    }
    if (!text::startsWithIgnoringAsciiCase(line, "\x01VIA ") && !text::startsWithIgnoringAsciiCase(line, "\x01VIA: ")) {
      continue;
    }
    h.viaSeen = true;
    FtnAddress hop;
    parseAddressText(line.substr(5), hop);
    if (sameAddress(hop, previous)) continue;
    previous = hop;
    if (h.first.zone == 0) {
      h.first = hop;
    } else if (h.second.zone == 0) {
      h.second = hop;
    }
    h.beforeLast = h.last;
    h.last = hop;
    if (msg.directDelivery) msg.directDelivery = sameAddress(hop, msg.orig) || sameNode(hop, own);
    if (!h.bossSeen) h.bossSeen = sameAddress(hop, boss);
  }
  return h;
}

// Whether the message came the way its From address says.
void judgeRoute(const std::vector<std::string_view>& lines, InboundMessage& msg, bool nodeFromPointAccept) {
  RouteHops h = readRouteHops(lines, msg);
  FtnAddress boss = msg.orig;
  boss.point = 0;
  FtnAddress &first = h.first, &second = h.second;
  if (!h.viaSeen) {
    logPrint("\n? -- @Via kludge(s) not exists.");
    return;
  }
  // Hops listed newest first: the sender's own node is the last one.
  if (sameNode(h.last, msg.orig) && !sameNode(first, msg.orig)) {
    first = h.last;
    second = h.beforeLast;
  }
  bool fromNode = msg.orig.point == 0;
  bool firstIsOwnNode = sameNode(first, msg.orig);
  if (fromNode && firstIsOwnNode) {
    msg.routeOk = first.point == 0 || (nodeFromPointAccept && sameAddress(second, msg.orig));
  } else if (fromNode) {
    msg.routeOk = (first.point == 0 || sameAddress(second, boss)) && !h.bossSeen;
    if (msg.routeOk) logPrint("\n? -- @Via: %s", formatAddress4d(first).c_str());
  } else if (firstIsOwnNode) {
    msg.routeOk = first.point == 0 || (first.point == msg.orig.point && sameAddress(second, boss));
  } else {
    msg.routeOk = first.point != 0 && sameAddress(second, boss);
    if (msg.routeOk) logPrint("\n? -- @Via: %s", formatAddress4d(first).c_str());
  }
  if (msg.routeOk) return;
  if (second.zone + second.net != 0) {
    logPrint("\n? Route %s --> %s", formatAddress4d(first).c_str(), formatAddress4d(second).c_str());
  } else {
    logPrint("\n? Route %s --> Direct (?)", formatAddress4d(first).c_str());
  }
}

// The sender as the log shows it, and whether its MSGID and route agree with its address.
void reviewSender(const std::vector<std::string_view>& lines, bool hasMsgId, InboundMessage& msg) {
  logPrint("\n  From: %s (%s),  Date: %s", msg.fromName.c_str(), formatAddress4d(msg.orig).c_str(),
           msg.dateText.c_str());
  if (!msg.replyAddr.empty()) logPrint("\n  Reply address: %s", msg.replyAddr.c_str());
  msg.msgIdMatches = hasMsgId && sameAddress(msg.msgIdAddress, msg.orig);
  if (!msg.msgIdMatches) logPrint("\n  -- @MSGID: %s", msg.msgId.c_str());
  judgeRoute(lines, msg, settings.nodeFromPointAccept);
}

void readUserIdFromSubject(InboundMessage& msg) {
  size_t bracket = msg.subject.find(" [");
  if (bracket == std::string::npos) return;
  unsigned first = 0, second = 0;
  std::sscanf(msg.subject.c_str() + bracket + 2, "%8X%8X", &first, &second);
  msg.userId = {first, second};
  msg.givenUserId = msg.userId;
  msg.subject.resize(bracket);
}

}  // namespace

ReadResult readStoredMessage(const std::string& path, InboundMessage& msg, const BodyLineHandler& onBodyLine,
                             SenderReview review) {
  msg = InboundMessage{};
  std::FILE* f = platform::openRegularFile(path);
  if (f == nullptr) {
    logPrint("\n! Can't open file.");
    return ReadResult::kCannotOpen;
  }
  std::fseek(f, 0, SEEK_END);
  long length = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  if (review == SenderReview::kLogAndJudge)
    logPrint(", size: %lu bytes", static_cast<unsigned long>(length < 0 ? 0 : length));
  if (length < 0 || size_t(length) > kMaxMessageFileSize) {
    std::fclose(f);
    logPrint("\n! Not enough memory to read this file (available %lu bytes).",
             static_cast<unsigned long>(kMaxMessageFileSize));
    return ReadResult::kTooLarge;
  }
  std::string bytes(size_t(length), '\0');
  size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  bytes.resize(got);
  return parseStoredMessage(bytes, msg, onBodyLine, review);
}

ReadResult parseStoredMessage(std::string_view bytes, InboundMessage& msg, const BodyLineHandler& onBodyLine,
                              SenderReview review) {
  msg = InboundMessage{};
  if (bytes.size() > kMaxMessageFileSize) {
    logPrint("\n! Not enough memory to read this file (available %lu bytes).",
             static_cast<unsigned long>(kMaxMessageFileSize));
    return ReadResult::kTooLarge;
  }
  if (bytes.size() < msg_header::kSize) {
    logPrint("\n! Read error.");
    return ReadResult::kHeaderIncomplete;
  }
  std::memcpy(msg.header, bytes.data(), msg_header::kSize);
  using namespace msg_header;
  msg.fromName = headerText(msg.header, kFromName, kFromNameSize);
  msg.toName = headerText(msg.header, kToName, kToNameSize);
  msg.subject = headerText(msg.header, kSubject, kSubjectSize);
  msg.dateText = headerText(msg.header, kDateTime, kDateTimeSize);
  using byte_order::get16;
  msg.orig = {0, int16_t(get16(msg.header + kOrigNet)), int16_t(get16(msg.header + kOrigNode)), 0};
  msg.dest = {0, int16_t(get16(msg.header + kDestNet)), int16_t(get16(msg.header + kDestNode)), 0};
  msg.date = parseMessageDate(msg.dateText);
  readUserIdFromSubject(msg);

  std::string_view body = bytes.substr(kSize);
  if (body.size() <= 7) {
    logPrint("\n! Message is empty.");
    return ReadResult::kTextEmpty;
  }
  msg.text.assign(body.substr(0, body.find('\0')));
  std::vector<std::string_view> lines = splitLines(msg.text);
  bool hasMsgId = false;
  readKludgesAndBody(lines, msg, onBodyLine, hasMsgId);
  completeAddresses(msg);
  // The header date is the sender's clock: with the sender's zone known, a ballot from east of
  // the robot is not taken for one from the future.
  if (msg.utcOffset) msg.date = messageDateAtOffset(msg.dateText, *msg.utcOffset);
  if (review == SenderReview::kLogAndJudge) reviewSender(lines, hasMsgId, msg);
  return ReadResult::kRead;
}

bool parseAddressText(std::string_view t, FtnAddress& out) {
  size_t p = 0;
  for (;;) {
    if (p >= t.size()) return false;
    if (!isDigit(t[p])) {
      // On to the next word, which is tried at its first character whatever that is.
      size_t blank = t.find(' ', p);
      if (blank == std::string_view::npos) return false;
      p = blank;
      while (p < t.size() && t[p] == ' ') ++p;
    }
    FtnAddress a;
    size_t q = p;
    int16_t number = 0;
    if (!readDigits(t, q, number)) {
      ++p;
      continue;
    }
    if (q >= t.size() || (t[q] != ':' && t[q] != '/')) {
      // Every later start within these digits ends at the same character: go past them at once.
      p = q;
      continue;
    }
    size_t failedField = 0;
    size_t r = q;
    if (t[q] == ':') {
      a.zone = number;
      size_t netStart = ++r;
      if (!readDigits(t, r, a.net) || r >= t.size() || t[r] != '/') failedField = netStart;
    } else {
      a.zone = settings.ownAddress.zone;
      a.net = number;
    }
    if (failedField == 0) {
      size_t nodeStart = ++r;
      if (!readDigits(t, r, a.node)) {
        failedField = nodeStart;
      } else if (r < t.size() && t[r] == '.') {
        size_t pointStart = ++r;
        if (!readDigits(t, r, a.point)) failedField = pointStart;
      }
    }
    if (failedField == 0) {
      out = a;
      return true;
    }
    p = failedField + 1;
  }
}

std::time_t parseMessageDate(std::string_view text) {
  std::tm tm = messageDateFields(text);
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

std::string extractEmail(std::string_view text) {
  size_t at = text.find('@');
  if (at == std::string_view::npos) return {};
  auto isDelimiter = [](char c) { return c == ' ' || c == '<' || c == '>' || c == '"' || c == ';'; };
  size_t begin = at, end = at;
  while (begin > 0 && !isDelimiter(text[begin - 1])) --begin;
  while (end < text.size() && !isDelimiter(text[end])) ++end;
  return "<" + std::string(text.substr(begin, end - begin)) + ">";
}

std::string senderEmail(const InboundMessage& msg) {
  std::string email = extractEmail(msg.replyAddr);
  return email.empty() ? extractEmail(msg.fromName) : email;
}

std::string senderName(const InboundMessage& msg) {
  std::string email = senderEmail(msg);
  return email.empty() ? msg.fromName : email;
}

}  // namespace korva
