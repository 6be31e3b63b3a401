#include "korva/templates.h"

#include <cstdio>
#include <vector>

#include "common/log.h"
#include "common/platform.h"
#include "common/template_scan.h"
#include "common/text.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/message_reader.h"
#include "korva/nodelist_index.h"
#include "korva/settings.h"

namespace korva {

namespace {

using logging::logPrint;
using template_scan::LineResult;
using template_scan::macroCode;
using template_scan::MacroExpansion;

constexpr uint32_t kFromAddress = macroCode("FADR"), kToAddress = macroCode("TADR");
constexpr uint32_t kFromName = macroCode("FNAM"), kToName = macroCode("TNAM");
constexpr uint32_t kDate = macroCode("FDAT"), kSubject = macroCode("SUBJ"), kUserId = macroCode("USID");
constexpr uint32_t kEmail = macroCode("EMAL"), kMsgId = macroCode("MSID");
constexpr uint32_t kStartDate = macroCode("SDAT"), kEndDate = macroCode("EDAT");
constexpr uint32_t kNodelistFile = macroCode("NDLF"), kNodelistFirstLine = macroCode("NDLI");
constexpr uint32_t kPointlistFile = macroCode("PNTF"), kPointlistFirstLine = macroCode("PNTI");
constexpr uint32_t kCandidates = macroCode("CAND"), kCandidatesFull = macroCode("CANF");
constexpr uint32_t kCandidatesBallot = macroCode("CASH"), kLogExcerpt = macroCode("CLOG");

// A UserID is appended to the subject only while the two still fit the 71 characters of the field.
constexpr size_t kSubjectRoomForUserId = 52;

std::string userIdText(const UserId& id) { return text::format("%.8X%.8X", id.first, id.second); }

std::string dayText(std::time_t t) {
  std::tm tm = platform::localTime(t);
  return text::format("%d %s %d", tm.tm_mday, text::monthAbbreviation(tm.tm_mon), tm.tm_year + 1900);
}

std::string subjectText(const InboundMessage& msg) {
  std::string subject = msg.subject;
  if (msg.givenUserId.first != 0 && subject.size() < kSubjectRoomForUserId) {
    subject += "  [" + userIdText(msg.givenUserId) + "]";
  }
  return subject;
}

// "%3d. %s" for the electable candidates, numbered by their place in the whole list.
void writeCandidates(std::string& out) {
  for (size_t i = 0; i < election.candidates.size(); ++i) {
    const CandidateLine& candidate = election.candidates[i];
    if (candidate.status == 0) out += text::format("%3d. %s\r", int(i + 1), candidate.name.c_str());
  }
}

void writeCandidatesWithStatus(std::string& out) {
  for (const CandidateLine& candidate : election.candidates) {
    out += candidate.status == 0 ? text::format("%s\r", candidate.name.c_str())
                                 : text::format("%s {%d}\r", candidate.name.c_str(), candidate.status);
  }
}

// A ballot form: one line per electable candidate, to be kept and given a password.
void writeBallotForm(std::string& out) {
  for (const CandidateLine& candidate : election.candidates) {
    if (candidate.status != 0) continue;
    out += candidate.name.substr(0, candidate.name.find(',')) + " !<password>\r";
  }
}

// The lines logged since the message in hand was taken up; false without a log.
bool writeLogExcerpt(std::string& out) {
  std::vector<std::string> lines;
  if (!logging::logLinesFrom(app.messageLogOffset, template_scan::kLineBufferSize, lines)) return false;
  for (std::string& line : lines) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty()) out += text::withinLine(line) + "\r";
  }
  return true;
}

// What the index keeps of a list, or nothing when the list is not configured.
std::string ifConfigured(const std::string& setting, const std::string& value) {
  return setting.empty() ? std::string() : value;
}

// The text of a macro that names something of the message in hand; false for any other code.
bool messageMacroText(uint32_t code, std::string& value) {
  const InboundMessage& msg = inboundMessage;
  switch (code) {
    case kFromAddress:
      value = formatAddress(msg.orig);
      return true;
    case kToAddress:
      value = formatAddress(msg.dest);
      return true;
    case kFromName:
      value = text::withinLine(msg.fromName);
      return true;
    case kToName:
      value = text::withinLine(msg.toName);
      return true;
    case kDate:
      value = text::withinLine(msg.dateText);
      return true;
    case kSubject:
      value = text::withinLine(subjectText(msg));
      return true;
    case kUserId:
      value = msg.givenUserId.first != 0 ? userIdText(msg.userId) : "";
      return true;
    case kEmail:
      value = text::withinLine(senderEmail(msg));
      return true;
    case kMsgId:
      value = text::withinLine(msg.msgId);
      return true;
    default:
      return false;
  }
}

// The text of a macro that names something of the election or its lists; false for any other code.
bool electionMacroText(uint32_t code, std::string& value) {
  switch (code) {
    case kStartDate:
      value = dayText(settings.periodStart);
      return true;
    case kEndDate:
      value = dayText(settings.periodEnd);
      return true;
    case kNodelistFile:
      value = ifConfigured(settings.nodelist, indexState.nodelistFileName);
      return true;
    case kNodelistFirstLine:
      value = ifConfigured(settings.nodelist, indexState.nodelistFirstLine);
      return true;
    case kPointlistFile:
      value = ifConfigured(settings.pointlist, indexState.pointlistFileName);
      return true;
    case kPointlistFirstLine:
      value = ifConfigured(settings.pointlist, indexState.pointlistFirstLine);
      return true;
    default:
      return false;
  }
}

// What a macro stands for; the list macros and CLOG write to `out` themselves.  Texts that come
// from the sender, the log excerpt included, are kept within their line: a CR or a kludge mark in a
// From name must not become a line, let alone a kludge, of the robot's own message.
MacroExpansion expandMacro(uint32_t code, std::string& out) {
  MacroExpansion e;
  if (messageMacroText(code, e.text) || electionMacroText(code, e.text)) return e;
  switch (code) {
    case kCandidates:
      writeCandidates(out);
      e.dropLine = true;
      break;
    case kCandidatesFull:
      writeCandidatesWithStatus(out);
      e.dropLine = true;
      break;
    case kCandidatesBallot:
      writeBallotForm(out);
      e.dropLine = true;
      break;
    case kLogExcerpt:
      if (!writeLogExcerpt(out)) e.text = "<Log error>";
      break;
    default:
      break;  // an unknown code vanishes with its four characters
  }
  return e;
}

}  // namespace

TemplateResult expandTemplate(const std::string& path, std::string& out) {
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) {
    logPrint("\n! Header file \"%s\" open error. Process aborted.\n", path.c_str());
    return kTemplateCannotOpen;
  }
  auto expand = [&out](uint32_t code, const std::string&, size_t) { return expandMacro(code, out); };
  std::string line;
  while (platform::readTextLine(f, line, template_scan::kTemplateLineCapacity)) {
    text::fixCyrillicEn(line);  // 0x8D would read as a soft line break to FidoNet software
    if (template_scan::expandMacros(line, expand) == LineResult::kOverflow) {
      std::fclose(f);
      logPrint("\n! Header bufer overflow (header: \"%s\"). Process aborted.\n", path.c_str());
      return kTemplateOverflow;
    }
    if (line.empty()) continue;
    if (line.back() == '\n') line.back() = '\r';
    out += line;
  }
  std::fclose(f);
  return kTemplateExpanded;
}

}  // namespace korva
