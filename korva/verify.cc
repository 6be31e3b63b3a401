#include "korva/verify.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/election_formats.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "korva/ballot_lines.h"
#include "korva/election_files.h"
#include "korva/filed_ballots.h"
#include "korva/message_reader.h"
#include "korva/scan.h"
#include "korva/settings.h"

namespace korva {

namespace {

using logging::logAlert;

// What a filed ballot chose, as the vote it cast stores it.
struct Reading {
  int16_t candidate = 0;  // 0 none, < 0 more than one choice, as the ballot run reads
  std::string password;
};

// One filed message.  It is read twice over: with the candidates' statuses as they stand, as the
// ballot run reads it now, and with every candidate electable, since a candidate may have been
// withdrawn after the ballot was accepted.
struct FiledBallot {
  std::string path, key;  // the key: its elector's address and stored name (electorKey)
  FtnAddress address;
  std::string name;
  Reading readings[2];
  bool accepted = false;   // in MoveValid: backs a vote of its choice
  bool cancelled = false;  // in MoveCancel: backs a cancelled vote, which holds minus its choice
  bool used = false;       // backs a vote already
};

struct Ballots {
  std::vector<FiledBallot> all;
  std::unordered_map<std::string, std::vector<size_t>> byKey;  // each key's ballots in reading order
};

// The password the ballot run stores for a ballot: a missing or empty one becomes its marker.
std::string storedPassword(const InboundMessage& msg) {
  if (msg.passwordState == kPasswordMissing) return election_format::kBadPasswordSyntax;
  if (msg.passwordState == kPasswordGiven && msg.password.empty()) return election_format::kEmptyPassword;
  return voteFieldText(msg.password);
}

// Reads a filed message by the ballot run's reader and line rules, acting on none of its commands.
bool readFiledBallot(const std::string& path, FiledBallot& ballot) {
  InboundMessage anyStatus;
  auto onLine = [&anyStatus](std::string_view line, InboundMessage& msg) {
    readBodyLine(line, msg, Electable::kStatusZero);
    readBodyLine(line, anyStatus, Electable::kAnyStatus);
  };
  InboundMessage msg;
  if (readStoredMessage(path, msg, onLine) != ReadResult::kRead) return false;
  ballot.path = path;
  ballot.key = electorKey(msg);
  ballot.address = msg.orig;
  ballot.name = voteFieldText(senderName(msg));
  ballot.readings[0] = {msg.candidate, storedPassword(msg)};
  ballot.readings[1] = {anyStatus.candidate, storedPassword(anyStatus)};
  return true;
}

// Every stored message of the directory, read once.  Scan files only messages it has read, so one
// that does not read was damaged after filing: a discrepancy.
void readDirectory(const std::string& directory, bool accepted, bool cancelled, Ballots& ballots,
                   VerifyCounts& counts) {
  for (const std::string& name : platform::listFiles(directory, "*.msg")) {
    FiledBallot ballot;
    std::string path = directory + name;
    if (!readFiledBallot(path, ballot)) {
      logAlert("\n? Filed message \"%s\" cannot be read.", path.c_str());
      ++counts.discrepancies;
      continue;
    }
    ballot.accepted = accepted;
    ballot.cancelled = cancelled;
    ballots.byKey[ballot.key].push_back(ballots.all.size());
    ballots.all.push_back(std::move(ballot));
    ++counts.ballots;
  }
}

// Whether Scan files refused messages into MoveValid too: then a ballot there need back no vote.
bool moveValidTakesRefusals() {
  for (std::string Settings::*move :
       {&Settings::moveInvalid, &Settings::moveBadDate, &Settings::moveBadRoute, &Settings::moveBadMsgId,
        &Settings::moveBadUserId, &Settings::moveAuxiliary, &Settings::moveCancel, &Settings::moveDupe,
        &Settings::moveBadSyntax, &Settings::moveBadSubj, &Settings::moveBadNode}) {
    if (filingDirectory(settings.*move) == settings.moveValid) return true;
  }
  return false;
}

Ballots readFiledBallots(VerifyCounts& counts) {
  Ballots ballots;
  const std::string& valid = settings.moveValid;
  const std::string& cancel = filingDirectory(settings.moveCancel);
  readDirectory(valid, true, cancel == valid, ballots, counts);
  if (cancel != valid) readDirectory(cancel, false, true, ballots, counts);
  return ballots;
}

// The reading of the ballot that backs the vote's choice; nullptr when neither does.
const Reading* backingReading(const FiledBallot& ballot, const VoteRecord& vote) {
  for (const Reading& r : ballot.readings) {
    if (r.candidate == 0) continue;
    if (ballot.accepted && vote.candidate == r.candidate) return &r;
    if (ballot.cancelled && r.candidate > 0 && vote.candidate == -r.candidate) return &r;
  }
  return nullptr;
}

enum class Wanted { kSameChoiceAndPassword, kSameChoice, kAnyOfTheElector };

// The first unused ballot of the vote's elector that fits as wanted; nullptr when none does.
FiledBallot* findBallot(Ballots& ballots, const VoteRecord& vote, Wanted wanted) {
  auto found = ballots.byKey.find(electorKey(vote.address, vote.name));
  if (found == ballots.byKey.end()) return nullptr;
  for (size_t i : found->second) {
    FiledBallot& ballot = ballots.all[i];
    if (ballot.used) continue;
    if (wanted == Wanted::kAnyOfTheElector) return &ballot;
    const Reading* r = backingReading(ballot, vote);
    if (r != nullptr && (wanted == Wanted::kSameChoice || r->password == vote.password)) return &ballot;
  }
  return nullptr;
}

// A vote and the ballot it was matched with, which backs its choice or is only its elector's; true
// when they differ.
bool reportedDifference(const VoteRecord& vote, const FiledBallot& ballot) {
  const Reading* backing = backingReading(ballot, vote);
  const Reading& r = backing != nullptr ? *backing : ballot.readings[0];
  std::string what;
  if (backing == nullptr) {
    // In the vote base's terms: a ballot filed only as cancelled stands for minus its choice.
    int shown = ballot.accepted ? r.candidate : -r.candidate;
    what = text::format("candidate %d, ballot %d", vote.candidate, shown);
  }
  // A ballot that names no candidate has no password either.
  if (r.candidate != 0 && r.password != vote.password) {
    if (!what.empty()) what += "; ";
    what += text::format("password \"%s\", ballot \"%s\"", vote.password.c_str(), r.password.c_str());
  }
  if (what.empty()) return false;
  logAlert("\n? Vote of %s (%s) differs from \"%s\": %s.", vote.name.c_str(), formatAddress4d(vote.address).c_str(),
           ballot.path.c_str(), what.c_str());
  return true;
}

// Each counted or cancelled vote gets the ballot that backs it: one of the same choice and password
// first, then one of the same choice, then any of its elector; each ballot backs one vote at most.
std::vector<FiledBallot*> matchVotes(Ballots& ballots, VerifyCounts& counts) {
  const std::vector<VoteRecord>& votes = election.votes;
  std::vector<FiledBallot*> matched(votes.size(), nullptr);
  for (const VoteRecord& vote : votes) counts.votes += vote.candidate != 0;
  for (Wanted wanted : {Wanted::kSameChoiceAndPassword, Wanted::kSameChoice, Wanted::kAnyOfTheElector}) {
    for (size_t i = 0; i < votes.size(); ++i) {
      if (votes[i].candidate == 0 || matched[i] != nullptr) continue;
      matched[i] = findBallot(ballots, votes[i], wanted);
      if (matched[i] != nullptr) matched[i]->used = true;
    }
  }
  return matched;
}

}  // namespace

VerifyCounts verifyElection() {
  VerifyCounts counts;
  Ballots ballots = readFiledBallots(counts);
  std::vector<FiledBallot*> matched = matchVotes(ballots, counts);
  for (size_t i = 0; i < election.votes.size(); ++i) {
    const VoteRecord& vote = election.votes[i];
    // A UserID's placeholder casts nothing.  A vote without a name is counted all the same, and no
    // ballot is from nobody.
    if (vote.candidate == 0) continue;
    if (matched[i] == nullptr) {
      logAlert("\n? Vote of %s (%s) for candidate %d: no filed ballot.", vote.name.c_str(),
               formatAddress4d(vote.address).c_str(), vote.candidate);
      ++counts.discrepancies;
    } else if (reportedDifference(vote, *matched[i])) {
      ++counts.discrepancies;
    }
  }
  if (!moveValidTakesRefusals()) {
    for (const FiledBallot& ballot : ballots.all) {
      if (!ballot.accepted || ballot.used) continue;
      logAlert("\n? Filed ballot \"%s\" from %s (%s) backs no vote.", ballot.path.c_str(), ballot.name.c_str(),
               formatAddress4d(ballot.address).c_str());
      ++counts.discrepancies;
    }
  }
  logging::logPrint("\n= Verified %u vote(s) against %u ballot(s): %u discrepancy(ies).", counts.votes, counts.ballots,
                    counts.discrepancies);
  return counts;
}

}  // namespace korva
