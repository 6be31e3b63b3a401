#include "korva/scan.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/exit_codes.h"
#include "korva/filed_ballots.h"
#include "korva/judge.h"
#include "korva/message_effects.h"
#include "korva/message_reader.h"
#include "korva/netmail_writer.h"
#include "korva/settings.h"

namespace korva {

namespace {

using logging::appExit;
using logging::logPrint;

// One message taken up: judged, answered, audited, and its effects made together.
void processMessage(const std::string& name, bool audited) {
  beginMessage();
  judgeBallot(name);
  if (audited) writeAuditMessage();
  commitMessage();
}

// A UserID half from the operating system's random source: identity tokens sent to electors must
// not be guessable from the time of the run.
uint32_t randomHalf() {
  uint32_t value = 0;
  if (!platform::randomBytes(&value, sizeof value)) {
    logPrint("\n! No random source for UserIDs.");
    appExit(kExitNoRandomSource);
  }
  return value & 0x7FFFFFFF;
}

}  // namespace

uint32_t plainMessageNumber(std::string_view fileName) {
  constexpr std::string_view kExtension = ".msg";
  if (fileName.size() <= kExtension.size() ||
      !text::equalIgnoringAsciiCase(fileName.substr(fileName.size() - kExtension.size()), kExtension)) {
    return 0;
  }
  std::string_view digits = fileName.substr(0, fileName.size() - kExtension.size());
  uint32_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + uint32_t(c - '0');
    if (number > kMaxMessageNumber) return 0;
  }
  return number;
}

uint16_t messageNumber(std::string_view fileName) { return platform::leadingNumber(fileName); }

std::string freeMessagePath(const std::string& directory) {
  uint32_t next = nextMessageNumber(directory);
  // A number beyond 16 bits would wrap onto an older file.
  if (next > kMaxMessageNumber) return {};
  return text::format("%s%u.msg", directory.c_str(), unsigned(next));
}

bool nextMessagePath(const std::string& directory, std::string& path) {
  path = freeMessagePath(directory);
  if (path.empty()) logPrint("\n! No free message number in \"%s\".", directory.c_str());
  return !path.empty();
}

uint32_t nextMessageNumber(std::string_view directory) {
  return uint32_t(platform::highestFileNumber(directory, "*.msg")) + 1;
}

void scanDirectory(const std::string& directory) {
  app.scannedDirectory = directory;
  std::set<std::string> visited;
  // Links and special files are never judged: a link could hand the robot any file of the system
  // to quote into a reply.  They are named once and left where they are.
  std::vector<std::string> others;
  std::vector<std::pair<uint32_t, std::string>> numbered;  // and the name each is judged under
  for (const platform::DirectoryEntry& entry : platform::listEntries(directory, "*.msg")) {
    if (!entry.regular) {
      logPrint("\n! \"%s%s\" is not a regular file, left in place.", directory.c_str(), entry.name.c_str());
      visited.insert(entry.name);
    } else if (uint32_t number = plainMessageNumber(entry.name); number != 0) {
      // A plain number is judged under the name "<n>.MSG", as the log has always shown it.
      std::string canonical = text::format("%u.MSG", unsigned(number));
      bool plain = text::equalIgnoringAsciiCase(entry.name, canonical);
      numbered.push_back({number, plain ? canonical : entry.name});
      visited.insert(entry.name);
    } else {
      others.push_back(entry.name);
    }
  }
  std::sort(numbered.begin(), numbered.end());
  for (const auto& [number, name] : numbered) {
    if (!platform::isRegularFile(directory + name)) continue;  // moved away meanwhile
    processMessage(name, true);
  }
  // Then every other name, and what arrived meanwhile, each once.
  for (const std::string& name : others) {
    visited.insert(name);
    if (!platform::isRegularFile(directory + name)) continue;
    processMessage(name, false);
  }
  for (const std::string& name : platform::listFiles(directory, "*.msg")) {
    if (!visited.insert(name).second) continue;
    processMessage(name, false);
  }
}

const std::string& filingDirectory(const std::string& configured) {
  return configured.empty() ? settings.moveInvalid : configured;
}

namespace {

// Counts the verdict and plans the move; the target path.
std::string planDisposal(const std::string& path, const std::string& directory, Verdict verdict) {
  ++election.counters[verdict];
  const std::string& into = filingDirectory(app.checkQuery ? settings.moveAuxiliary : directory);
  // Made with the message's other effects, the election files first.
  std::string target = planMove(path, into);
  if (target.empty()) appExit(kExitMoveFailed);
  return target;
}

}  // namespace

void disposeMessage(const std::string& path, const std::string& directory, Verdict verdict) {
  noteFiledBallot(planDisposal(path, directory, verdict), electorKey(inboundMessage));
}

void replyToSender(const std::string& templatePath, bool copy) {
  const InboundMessage& msg = inboundMessage;
  // The sender's texts stay within their lines of the reply (text::withinLine).
  std::string firstLine = msg.replyAddr.empty() ? std::string() : "To: " + text::withinLine(msg.replyAddr);
  std::string toName;
  // A gateway sender is answered through UUCP when the configuration says so or when its address
  // does not fit the name field (35 characters and a zero); a REPLYTO name comes first otherwise.
  const bool forcedToUucp = !msg.replyAddr.empty() && settings.forceToUucp;
  if (!forcedToUucp && !msg.replyToName.empty()) {
    toName = msg.replyToName;
  } else if (forcedToUucp || msg.replyAddr.size() > kMaxToNameLength) {
    toName = "UUCP";
  } else if (!msg.replyAddr.empty()) {
    toName = msg.replyAddr;
  } else {
    toName = msg.fromName;
  }
  std::string subject = msg.subject.substr(0, msg.subject.find("  ["));
  if (msg.userId.first != 0) subject += text::format("  [%.8X%.8X]", msg.userId.first, msg.userId.second);
  FtnAddress destination = msg.replyToAddress.zone != 0 ? msg.replyToAddress : msg.orig;
  writeNetmail({.templatePath = templatePath,
                .destination = destination,
                .toName = toName,
                .subject = subject,
                .replyId = msg.msgId,
                .firstLine = firstLine,
                .copy = copy});
}

int issueUserId(bool useEmail) {
  InboundMessage& msg = inboundMessage;
  do {
    msg.userId.first = randomHalf();
  } while (msg.userId.first == 0);
  msg.userId.second = randomHalf();
  logPrint("\n: Set new UserID: %.8X%.8X", msg.userId.first, msg.userId.second);
  return addVote({.address = msg.orig,
                  .userId = msg.userId,
                  .candidate = 0,
                  .revotes = 0,
                  .name = useEmail ? senderEmail(msg) : msg.fromName,
                  .password = msg.password});
}

void cancelStoredBallot(int record) {
  const VoteRecord& vote = election.votes[size_t(record)];
  std::string path = findFiledBallot(vote);
  if (path.empty()) return;
  logPrint("\n  #> File \"%s\"", path.c_str());
  const std::string key = electorKey(vote.address, vote.name);
  forgetFiledBallot(path, key);
  noteFiledBallot(planDisposal(path, settings.moveCancel, Verdict::kCancelledPrevious), key);
}

}  // namespace korva
