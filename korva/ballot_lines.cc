#include "korva/ballot_lines.h"

#include <algorithm>
#include <string>

#include "common/log.h"
#include "common/text.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/message_reader.h"
#include "korva/settings.h"

namespace korva {

namespace {

using logging::logPrint;

constexpr size_t kLineKeyLength = 127;
constexpr size_t kCandidateNameLength = 79;

constexpr std::string_view kPasswordKeyword = "%PASSWORD: ";
constexpr std::string_view kAddKeyword = "%ADD: ";
constexpr std::string_view kChangeKeyword = "%CHANGE: ";

// The line reduced for comparison with candidate keys.
std::string lineKey(std::string_view line) {
  std::string key = text::nameKey(line, kLineKeyLength);
  return text::fixCyrillicEn(key);
}

std::string candidateKey(std::string_view name) { return text::nameKey(name, kCandidateNameLength); }

// The first candidate, electable or not, whose key is `key`; nullptr when there is none.
CandidateLine* findCandidate(const std::string& key) {
  for (CandidateLine& candidate : election.candidates) {
    if (text::equalIgnoringAsciiCase(candidateKey(candidate.name), key)) return &candidate;
  }
  return nullptr;
}

void readPasswordLine(std::string_view line, InboundMessage& msg) {
  msg.auxiliaryMessage = true;
  msg.auxiliaryAuthorised = false;
  if (settings.auxiliaryPassword.empty()) {
    logPrint("\n! Auxiliary messages not accepted.");
    return;
  }
  std::string_view password = text::skipBlanks(line.substr(line.find(' ') + 1));
  msg.auxiliaryAuthorised = password == settings.auxiliaryPassword;
  if (msg.auxiliaryAuthorised) {
    logPrint("\n%% Auxiliary Messages.");
  } else {
    logPrint("\n!!Bad auxiliary password!");
  }
}

void addCandidateCommand(std::string_view value) {
  CandidateLine added = parseCandidateLine(text::skipBlanks(value));
  if (added.name.empty()) {
    logPrint("\n! %%NEW: Syntax error.");
    return;
  }
  if (const CandidateLine* existing = findCandidate(candidateKey(added.name))) {
    logPrint("\n! Can't add new candidate: candidate \"%s\" already exist with status %d.", existing->name.c_str(),
             existing->status);
    return;
  }
  addCandidate(added.name, added.status);
  logPrint("\n%% Add new candidate: \"%s\", Status: %d.", added.name.c_str(), added.status);
  // The index keeps the candidates it was built with; Scan rebuilds it at its end.
  app.indexRebuildRequest = true;
}

void changeCandidateCommand(std::string_view value) {
  CandidateLine changed = parseCandidateLine(text::skipBlanks(value));
  if (changed.name.empty()) {
    logPrint("\n! %%CHANGE: Candidate name missing.");
    return;
  }
  CandidateLine* candidate = findCandidate(candidateKey(changed.name));
  if (candidate == nullptr) {
    logPrint("\n! %%CHANGE: Candidate \"%s\" not found.", changed.name.c_str());
    return;
  }
  int16_t oldStatus = candidate->status;
  candidate->status = changed.status;
  election.candidatesDirty = true;
  logPrint("\n%% Change candidate status: \"%s\", Old status: %d, New status: %d", changed.name.c_str(), oldStatus,
           changed.status);
}

// A line whose key begins with "%": a query, the password line or a candidate command.  Only the
// ballot run acts on a command and tells of the line.
void readKeywordLine(std::string_view line, const std::string& key, InboundMessage& msg, bool acting) {
  if (text::equalIgnoringAsciiCase(key, "%HELP")) {
    msg.queryFlags |= kHelpQuery;
  } else if (text::equalIgnoringAsciiCase(key, "%CHECK")) {
    msg.queryFlags |= kCheckQuery;
  } else if (text::startsWithIgnoringAsciiCase(line, kPasswordKeyword) && !msg.auxiliaryMessage) {
    if (acting) {
      readPasswordLine(line, msg);
    } else {
      msg.auxiliaryMessage = true;
    }
  } else if (!acting) {
    return;
  } else if (text::startsWithIgnoringAsciiCase(line, kAddKeyword) && msg.auxiliaryAuthorised) {
    addCandidateCommand(line.substr(kAddKeyword.size()));
  } else if (text::startsWithIgnoringAsciiCase(line, kChangeKeyword) && msg.auxiliaryAuthorised) {
    changeCandidateCommand(line.substr(kChangeKeyword.size()));
  } else {
    std::string shown(line);
    logPrint("\n! Unknown keyword: \"%s\".", shown.c_str());
  }
}

// The password of the first ballot line: after "!", else what follows the candidate's name.
void readBallotPassword(std::string_view line, const CandidateLine& candidate, InboundMessage& msg) {
  size_t bang = line.find('!');
  if (bang != std::string_view::npos) {
    msg.password = text::cut(text::skipBlanks(line.substr(bang + 1)), kMaxPasswordLength);
    msg.passwordState = kPasswordGiven;
    return;
  }
  size_t quote = line.rfind('>');
  std::string_view rest = text::skipBlanks(quote == std::string_view::npos ? line : line.substr(quote + 1));
  std::string_view name = std::string_view(candidate.name).substr(0, kCandidateNameLength);
  name = name.substr(0, name.find(','));
  if (text::startsWithIgnoringAsciiCase(rest, name)) {
    msg.passwordState = kPasswordFromName;  // to be verified by hand
    msg.password = text::cut(text::skipBlanks(rest.substr(name.size())), kMaxPasswordLength);
  } else {
    msg.passwordState = kPasswordMissing;
  }
}

void readBallotLine(std::string_view line, std::string key, InboundMessage& msg, Electable electable) {
  key.resize(std::min(key.size(), key.find('!')));
  for (size_t i = 0; i < election.candidates.size(); ++i) {
    const CandidateLine& candidate = election.candidates[i];
    if (candidate.status != 0 && electable == Electable::kStatusZero) continue;
    std::string wanted = candidateKey(candidate.name);
    // A name that reduces to nothing would match every line, blank ones included.
    if (wanted.empty() || !text::startsWithIgnoringAsciiCase(key, wanted)) continue;
    if (msg.candidate == 0) {
      msg.candidate = int16_t(i + 1);
      readBallotPassword(line, candidate, msg);
    } else if (msg.candidate > 0) {
      msg.candidate = int16_t(-msg.candidate);  // more than one choice; the first is kept
    }
    return;  // only the first matching candidate counts for the line
  }
}

// The one reading of a body line, for the ballot run (acting) and for a ballot already judged.
void readLine(std::string_view line, InboundMessage& msg, bool acting, Electable electable) {
  std::string key = lineKey(line);
  if (!key.empty() && key[0] == '%') {
    readKeywordLine(line, key, msg, acting);
  } else if (!election.candidates.empty() && !msg.auxiliaryMessage) {
    readBallotLine(line, key, msg, electable);
  }
}

}  // namespace

void handleBodyLine(std::string_view line, InboundMessage& msg) { readLine(line, msg, true, Electable::kStatusZero); }

void readBodyLine(std::string_view line, InboundMessage& msg, Electable electable) {
  readLine(line, msg, false, electable);
}

}  // namespace korva
