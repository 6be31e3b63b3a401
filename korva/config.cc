#include "korva/config.h"

#include <cstdio>

#include "common/config_values.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "korva/election_files.h"
#include "korva/exit_codes.h"
#include "korva/settings.h"

namespace korva {

Settings settings;

bool maskMatches(const AddressMask& mask, const FtnAddress& a) {
  const int16_t parts[4] = {a.zone, a.net, a.node, a.point};
  for (int i = 0; i < 4; ++i) {
    if (!mask.wildcard[i] && mask.part[i] != parts[i]) return false;
  }
  return true;
}

namespace {

using config::configError;

// kListFile: a file, or a name with "*" or "?" that stands for the newest file it matches, so that
// a new week's list needs no change here.
enum class Kind { kString, kBool, kFile, kListFile, kDirectoryMustExist, kDirectoryCreated, kSpecial };

struct KeyEntry {
  const char* name;
  Kind kind;
  std::string Settings::*text = nullptr;
  bool Settings::*flag = nullptr;
};

// File names do not end in blanks on the system's home platform, and a blank left at the end of a
// configuration line is invisible: values taken whole drop trailing blanks.
std::string trimTrailingBlanks(std::string_view value) {
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  return std::string(value);
}

// A decimal number as atoi reads it, non-digits giving 0; too long a number cannot overflow.
int16_t readDecimal16(std::string_view value) {
  long number = 0;
  size_t pos = 0;
  text::scanLong(value, pos, number);
  return int16_t(uint16_t(static_cast<unsigned long>(number) & 0xFFFF));
}

// "%d.%d.%d-%d.%d.%d": the numbers read before the first one that does not match.
int readDateRange(std::string_view value, long numbers[6]) {
  static constexpr char kBefore[6] = {0, '.', '.', '-', '.', '.'};
  size_t pos = 0;
  for (int i = 0; i < 6; ++i) {
    if (kBefore[i] != 0) {
      if (pos >= value.size() || value[pos] != kBefore[i]) return i;
      ++pos;
    }
    if (!text::scanLong(value, pos, numbers[i])) return i;
  }
  return 6;
}

void parseOwnAddress(std::string_view value) {
  scanFtnAddress(value, settings.ownAddress);
  if (settings.ownAddress.zone == 0 || settings.ownAddress.net == 0) configError("Bad <Address> value.");
}

// zone ":" net "/" node "." point, each part a number or a wildcard beginning with "*".
void parseValidAddress(std::string_view value) {
  size_t starts[4] = {0, 0, 0, 0};
  const char separators[3] = {':', '/', '.'};
  for (int i = 0; i < 3; ++i) {
    size_t at = value.find(separators[i], starts[i]);
    if (at == std::string_view::npos) configError("Bad <ValidAddress> value.");
    starts[i + 1] = at + 1;
  }
  AddressMask mask;
  for (int i = 0; i < 4; ++i) {
    std::string_view part = value.substr(starts[i]);
    mask.wildcard[i] = !part.empty() && part[0] == '*';
    mask.part[i] = mask.wildcard[i] ? int16_t{0} : readDecimal16(part);
  }
  settings.validAddress = mask;
}

void parseDates(std::string_view value) {
  long n[6] = {0, 0, 0, 0, 0, 0};
  int read = readDateRange(value, n);
  auto dayOk = [](long d, long m, long y) { return d >= 1 && d <= 31 && m >= 1 && m <= 12 && y > 1980 && y <= 3000; };
  if (read < 6 || !dayOk(n[0], n[1], n[2]) || !dayOk(n[3], n[4], n[5])) configError("Bad <Dates> value.");
  const int d1 = int(n[0]), m1 = int(n[1]), y1 = int(n[2]), d2 = int(n[3]), m2 = int(n[4]), y2 = int(n[5]);
  std::tm first{}, last{};
  first.tm_mday = d1;
  first.tm_mon = m1 - 1;
  first.tm_year = y1 - 1900;
  first.tm_isdst = -1;
  last.tm_mday = d2;
  last.tm_mon = m2 - 1;
  last.tm_year = y2 - 1900;
  last.tm_hour = 23;
  last.tm_min = 59;
  last.tm_sec = 59;
  last.tm_isdst = -1;
  std::time_t start = std::mktime(&first), end = std::mktime(&last);
  if (end < start) configError("Bad <Dates> value (FromDate > ToDate).");
  settings.periodStart = start;
  settings.periodEnd = end;
}

// A later line replaces the whole list.
void parseRejectAddresses(std::string_view value) {
  size_t slots = 1;
  for (char c : value) {
    if (c == ' ') ++slots;
  }
  settings.rejectAddresses.clear();
  size_t pos = 0;
  while (settings.rejectAddresses.size() < slots) {
    while (pos < value.size() && value[pos] == ' ') ++pos;
    if (pos >= value.size()) break;
    FtnAddress address;
    scanFtnAddress(value.substr(pos), address);
    settings.rejectAddresses.push_back(address);
    size_t blank = value.find(' ', pos);
    if (blank == std::string_view::npos) break;
    pos = blank + 1;
  }
}

void openLog(std::string_view value) {
  std::string path = trimTrailingBlanks(value);
  if (!logging::logOpen(path)) configError("Can't open log file \"%s\".", path.c_str());
}

// A second Candidates line replaces the list read by the first.
void readCandidates(std::string_view value) {
  settings.candidatesPath = trimTrailingBlanks(value);
  election.candidatesPath = settings.candidatesPath;
  election.candidates.clear();
  int lineNumber = 0;
  CandidatesLoad loaded = loadCandidates(settings.candidatesPath, lineNumber);
  if (loaded == kCandidatesCannotOpen)
    configError("Candidates file \"%s\" not found.", settings.candidatesPath.c_str());
  if (loaded == kCandidateLineTooLong) {
    configError("Candidates file \"%s\", line %d: more than %d characters.", settings.candidatesPath.c_str(),
                lineNumber, int(election_format::kCandidateLineLength));
  }
}

void handleSpecial(std::string_view key, std::string_view value) {
  if (text::equalIgnoringAsciiCase(key, "ADDRESS")) return parseOwnAddress(value);
  if (text::equalIgnoringAsciiCase(key, "ValidAddress")) return parseValidAddress(value);
  if (text::equalIgnoringAsciiCase(key, "Dates")) return parseDates(value);
  if (text::equalIgnoringAsciiCase(key, "MaxRevotes")) {
    settings.maxRevotes = readDecimal16(value);
    return;
  }
  if (text::equalIgnoringAsciiCase(key, "RejectAddress")) return parseRejectAddresses(value);
  if (text::equalIgnoringAsciiCase(key, "Log")) return openLog(value);
  if (text::equalIgnoringAsciiCase(key, "Candidates")) return readCandidates(value);
}

const KeyEntry kKeys[] = {
    {"ADDRESS", Kind::kSpecial},
    {"ORIGIN", Kind::kString, &Settings::origin},
    {"AuxiliaryPassword", Kind::kString, &Settings::auxiliaryPassword},
    {"VOTEID", Kind::kString, &Settings::voteId},
    {"ValidAddress", Kind::kSpecial},
    {"OneVoteFromNode", Kind::kBool, nullptr, &Settings::oneVoteFromNode},
    {"Dates", Kind::kSpecial},
    {"MaxRevotes", Kind::kSpecial},
    {"RejectAddress", Kind::kSpecial},
    {"Charset", Kind::kString, &Settings::charset},
    {"ForceToUUCP", Kind::kBool, nullptr, &Settings::forceToUucp},
    {"Log", Kind::kSpecial},
    {"Candidates", Kind::kSpecial},
    {"BadDateAccept", Kind::kBool, nullptr, &Settings::badDateAccept},
    {"CheckPvtNode", Kind::kBool, nullptr, &Settings::checkPvtNode},
    {"CheckHoldNode", Kind::kBool, nullptr, &Settings::checkHoldNode},
    {"CheckDownNode", Kind::kBool, nullptr, &Settings::checkDownNode},
    {"CheckSubj", Kind::kBool, nullptr, &Settings::checkSubj},
    {"CheckNodeName", Kind::kBool, nullptr, &Settings::checkNodeName},
    {"CheckPointName", Kind::kBool, nullptr, &Settings::checkPointName},
    {"CheckRouting", Kind::kBool, nullptr, &Settings::checkRouting},
    {"CheckMsgId", Kind::kBool, nullptr, &Settings::checkMsgId},
    {"CheckReplyTo", Kind::kBool, nullptr, &Settings::checkReplyTo},
    {"CheckListedNode", Kind::kBool, nullptr, &Settings::checkListedNode},
    {"CheckValidAddress", Kind::kBool, nullptr, &Settings::checkValidAddress},
    {"CheckDateSystem", Kind::kBool, nullptr, &Settings::checkDateSystem},
    {"CheckUserID", Kind::kBool, nullptr, &Settings::checkUserId},
    {"PointDirectAccept", Kind::kBool, nullptr, &Settings::pointDirectAccept},
    {"NodeFromPointAccept", Kind::kBool, nullptr, &Settings::nodeFromPointAccept},
    {"LogCandidatName", Kind::kBool, nullptr, &Settings::logCandidatName},
    {"BadPasswordAccept", Kind::kBool, nullptr, &Settings::badPasswordAccept},
    {"Nodelist", Kind::kListFile, &Settings::nodelist},
    {"Pointlist", Kind::kListFile, &Settings::pointlist},
    {"ValidAddressList", Kind::kFile, &Settings::validAddressList},
    {"NetmailIn", Kind::kDirectoryMustExist, &Settings::netmailIn},
    {"NetmailOut", Kind::kDirectoryMustExist, &Settings::netmailOut},
    {"CopyNetmailOut", Kind::kDirectoryCreated, &Settings::copyNetmailOut},
    {"NetmailUnCheck", Kind::kDirectoryMustExist, &Settings::netmailUnCheck},
    {"MoveValid", Kind::kDirectoryCreated, &Settings::moveValid},
    {"MoveInvalid", Kind::kDirectoryCreated, &Settings::moveInvalid},
    {"MoveBadDate", Kind::kDirectoryCreated, &Settings::moveBadDate},
    {"MoveBadRoute", Kind::kDirectoryCreated, &Settings::moveBadRoute},
    {"MoveBadMsgId", Kind::kDirectoryCreated, &Settings::moveBadMsgId},
    {"MoveBadUserId", Kind::kDirectoryCreated, &Settings::moveBadUserId},
    {"MoveAuxiliary", Kind::kDirectoryCreated, &Settings::moveAuxiliary},
    {"MoveCancel", Kind::kDirectoryCreated, &Settings::moveCancel},
    {"MoveDupe", Kind::kDirectoryCreated, &Settings::moveDupe},
    {"MoveBadSyntax", Kind::kDirectoryCreated, &Settings::moveBadSyntax},
    {"MoveBadSubj", Kind::kDirectoryCreated, &Settings::moveBadSubj},
    {"MoveBadNode", Kind::kDirectoryCreated, &Settings::moveBadNode},
    {"ValidTpl", Kind::kFile, &Settings::validTpl},
    {"UncheckValidTpl", Kind::kFile, &Settings::uncheckValidTpl},
    {"RevoteTpl", Kind::kFile, &Settings::revoteTpl},
    {"InvalidTpl", Kind::kFile, &Settings::invalidTpl},
    {"DuplicateTpl", Kind::kFile, &Settings::duplicateTpl},
    {"RevoteLimitExceedTpl", Kind::kFile, &Settings::revoteLimitExceedTpl},
    {"InvalidAddressTpl", Kind::kFile, &Settings::invalidAddressTpl},
    {"RejectAddressTpl", Kind::kFile, &Settings::rejectAddressTpl},
    {"InvalidEMailTpl", Kind::kFile, &Settings::invalidEMailTpl},
    {"BadListNameTpl", Kind::kFile, &Settings::badListNameTpl},
    {"MissingAddressTpl", Kind::kFile, &Settings::missingAddressTpl},
    {"PvtAddressTpl", Kind::kFile, &Settings::pvtAddressTpl},
    {"HoldAddressTpl", Kind::kFile, &Settings::holdAddressTpl},
    {"DownAddressTpl", Kind::kFile, &Settings::downAddressTpl},
    {"BadNodeNameTpl", Kind::kFile, &Settings::badNodeNameTpl},
    {"BadPointNameTpl", Kind::kFile, &Settings::badPointNameTpl},
    {"PointTpl", Kind::kFile, &Settings::pointTpl},
    {"DirPointTpl", Kind::kFile, &Settings::dirPointTpl},
    {"BadRouteTpl", Kind::kFile, &Settings::badRouteTpl},
    {"BadOrigTpl", Kind::kFile, &Settings::badOrigTpl},
    {"InvPointTpl", Kind::kFile, &Settings::invPointTpl},
    {"CancelPntTpl", Kind::kFile, &Settings::cancelPntTpl},
    {"SoonTpl", Kind::kFile, &Settings::soonTpl},
    {"LateTpl", Kind::kFile, &Settings::lateTpl},
    {"BadDateTpl", Kind::kFile, &Settings::badDateTpl},
    {"BadSubjTpl", Kind::kFile, &Settings::badSubjTpl},
    {"ManyVoicesTpl", Kind::kFile, &Settings::manyVoicesTpl},
    {"EmptyPasswordTpl", Kind::kFile, &Settings::emptyPasswordTpl},
    {"BadUserIdTpl", Kind::kFile, &Settings::badUserIdTpl},
    {"HelpTpl", Kind::kFile, &Settings::helpTpl},
    {"CheckOkTpl", Kind::kFile, &Settings::checkOkTpl},
    {"AuxiliaryTpl", Kind::kFile, &Settings::auxiliaryTpl},
    {"HeaderTpl", Kind::kFile, &Settings::headerTpl},
    {"AuditTpl", Kind::kFile, &Settings::auditTpl},
    {"AnnounceTpl", Kind::kFile, &Settings::announceTpl},
};

// Stored as written: the index chooses among the matching files each time it is opened.
std::string parseListFileValue(const std::string& value) {
  std::string name = config::parseFileValue(value, false);
  if (!platform::namesWildcard(name)) return config::parseFileValue(value, true);
  std::string newest;
  if (!platform::newestMatchingFile(name, newest)) configError("file \"%s\" not exist.", name.c_str());
  return name;
}

void applyKey(const std::string& key, const std::string& value) {
  for (const KeyEntry& entry : kKeys) {
    if (!text::equalIgnoringAsciiCase(key, entry.name)) continue;
    switch (entry.kind) {
      case Kind::kString:
        settings.*entry.text = config::parseStringValue(value);
        if (entry.text == &Settings::voteId) settings.voteIdGiven = true;
        return;
      case Kind::kBool:
        settings.*entry.flag = config::parseBoolValue(value);
        return;
      case Kind::kFile:
        settings.*entry.text = config::parseFileValue(value, true);
        return;
      case Kind::kListFile:
        settings.*entry.text = parseListFileValue(value);
        return;
      case Kind::kDirectoryMustExist:
        settings.*entry.text = config::parseDirectoryValue(value, false);
        return;
      case Kind::kDirectoryCreated:
        settings.*entry.text = config::parseDirectoryValue(value, true);
        return;
      case Kind::kSpecial:
        handleSpecial(key, value);
        return;
    }
  }
  configError("Unknown parameter \"%s\".", key.c_str());
}

}  // namespace

void readVoteManagerConfig(const std::string& path) {
  election.candidates.clear();
  config::source = config::ConfigSource{path};
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) {
    logging::printOut("\nConfiguration file \"%s\" not found.", path.c_str());
    logging::appExit(kExitConfigNotFound);
  }
  uint32_t stamp = 0;
  platform::fileDosDateTime(path, stamp);
  settings.configDate = uint16_t(stamp >> 16);
  settings.configTime = uint16_t(stamp & 0xFFFF);
  std::string key, value;
  while (config::readConfigLine(f, key, value) != config::LineKind::kEnd) applyKey(key, value);
  std::fclose(f);
  if (election.candidates.empty()) {
    logging::logPrint("\n! Candidates list is empty.");
    logging::appExit(config::kExitIncomplete);
  }
  config::requireParameter(settings.voteIdGiven, "VoteId");
  config::requireParameter(!settings.netmailIn.empty(), "NetmailIn");
  config::requireParameter(!settings.moveValid.empty(), "MoveValid");
  config::requireParameter(!settings.moveInvalid.empty(), "MoveInvalid");
}

}  // namespace korva
