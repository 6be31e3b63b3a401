#include "korva/judge.h"

#include <iterator>
#include <optional>
#include <vector>

#include "common/election_formats.h"
#include "common/log.h"
#include "common/text.h"
#include "korva/app.h"
#include "korva/ballot_lines.h"
#include "korva/election_files.h"
#include "korva/message_reader.h"
#include "korva/netmail_writer.h"
#include "korva/nodelist_index.h"
#include "korva/scan.h"
#include "korva/settings.h"

namespace korva {

namespace {

using logging::logPrint;

std::string nameKey(std::string text) { return text::normalizeName(text); }

bool sameKey(const std::string& a, const std::string& b) { return text::equalIgnoringAsciiCase(a, b); }

// What the checks of one message work with.
struct Judgement {
  std::string path;
  SenderListing validList = SenderListing::kNoList;
  NodelistEntry node;
  PointlistEntry point;
  std::string subjectKey, fromKey;
  std::string senderName, senderKey;  // the name the sender's records carry, and its key
  std::optional<size_t> senderRecord;
  std::optional<size_t> placeholder;  // the sender's record of no choice, deleted when the vote is stored
  bool rejected = false, hasEmail = false;
  int16_t revotes = 0;
};

bool inChecking() { return app.checkingPass; }

// Where each refusal is filed and the template that answers it.
struct Refusal {
  Verdict verdict;
  std::string Settings::*directory;
  std::string Settings::*reply;
};
constexpr Refusal kRefusals[] = {
    {Verdict::kBadDate, &Settings::moveBadDate, &Settings::badDateTpl},
    {Verdict::kTooSoon, &Settings::moveBadDate, &Settings::soonTpl},
    {Verdict::kTooLate, &Settings::moveBadDate, &Settings::lateTpl},
    {Verdict::kBadSubject, &Settings::moveBadSubj, &Settings::badSubjTpl},
    {Verdict::kPointNotAccepted, &Settings::moveInvalid, &Settings::pointTpl},
    {Verdict::kAddressInvalid, &Settings::moveInvalid, &Settings::rejectAddressTpl},
    {Verdict::kNotInList, &Settings::moveInvalid, &Settings::invalidAddressTpl},
    {Verdict::kEmailNotInList, &Settings::moveInvalid, &Settings::invalidEMailTpl},
    {Verdict::kNameNotInList, &Settings::moveInvalid, &Settings::badListNameTpl},
    {Verdict::kNodeNotListed, &Settings::moveBadNode, &Settings::missingAddressTpl},
    {Verdict::kPvtNode, &Settings::moveBadNode, &Settings::pvtAddressTpl},
    {Verdict::kHoldNode, &Settings::moveBadNode, &Settings::holdAddressTpl},
    {Verdict::kDownNode, &Settings::moveBadNode, &Settings::downAddressTpl},
    {Verdict::kBadNodeName, &Settings::moveBadNode, &Settings::badNodeNameTpl},
    {Verdict::kBadPointName, &Settings::moveBadNode, &Settings::badPointNameTpl},
    {Verdict::kDirectFromPoint, &Settings::moveBadRoute, &Settings::dirPointTpl},
    {Verdict::kBadRoute, &Settings::moveBadRoute, &Settings::badRouteTpl},
    {Verdict::kBadMsgId, &Settings::moveBadMsgId, &Settings::badOrigTpl},
    {Verdict::kBadReplyTo, &Settings::moveBadMsgId, &Settings::badOrigTpl},
    {Verdict::kManyChoices, &Settings::moveBadSyntax, &Settings::manyVoicesTpl},
    {Verdict::kUnknownCandidate, &Settings::moveBadSyntax, &Settings::invalidTpl},
    {Verdict::kBadPassword, &Settings::moveBadSyntax, &Settings::emptyPasswordTpl},
    {Verdict::kEmptyPassword, &Settings::moveBadSyntax, &Settings::emptyPasswordTpl},
    {Verdict::kDuplicate, &Settings::moveDupe, &Settings::duplicateTpl},
    {Verdict::kCancelled, &Settings::moveCancel, &Settings::invPointTpl},
    {Verdict::kOther, &Settings::moveInvalid, &Settings::invalidTpl},
    {Verdict::kBadUserId, &Settings::moveBadUserId, &Settings::badUserIdTpl},
};

// A verdict a refusal may give has exactly one row; the others (accepted, auxiliary, set by hand,
// the cancelled previous ballot) have none.
constexpr bool everyRefusalHasOneRow() {
  for (int v = 1; v <= election_format::kVerdictCount; ++v) {
    Verdict verdict = Verdict(v);
    bool refusal = verdict != Verdict::kAuxiliary && verdict != Verdict::kManualValid && verdict != Verdict::kValid &&
                   verdict != Verdict::kCancelledPrevious && verdict != Verdict::kManualInvalid;
    int rows = 0;
    for (const Refusal& r : kRefusals) rows += r.verdict == verdict;
    if (rows != (refusal ? 1 : 0)) return false;
  }
  return true;
}
static_assert(everyRefusalHasOneRow());

// Asked only for the verdict of a refusal, which has its row; the loop stops at the last row in any case.
const Refusal& refusalOf(Verdict verdict) {
  const Refusal* row = std::begin(kRefusals);
  while (row->verdict != verdict && row + 1 != std::end(kRefusals)) ++row;
  return *row;
}

// A refusal: count, move, answer; the message is done.  Always true, for the checks to return.
// The reply is the verdict's template unless another is given.
bool refuse(Judgement& j, Verdict verdict, std::string Settings::*reply = nullptr) {
  const Refusal& r = refusalOf(verdict);
  disposeMessage(j.path, settings.*r.directory, verdict);
  replyToSender(settings.*(reply != nullptr ? reply : r.reply));
  return true;
}

void prepare(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  j.validList = findValidAddress(msg);
  j.node = findNodelistEntry(msg.orig);
  j.point = findPointlistEntry(msg);
  j.subjectKey = subjectKey(msg.subject);
  j.fromKey = nameKey(msg.fromName);
  j.senderName = senderName(msg);
  j.senderKey = nameKey(j.senderName);
  if (settings.checkUserId) {
    // By the key the records carry: an elector behind a gateway is recorded under the e-mail address.
    for (size_t i : votesFromNode(msg.orig)) {
      const VoteRecord& v = election.votes[i];
      if (!v.name.empty() && sameAddress(v.address, msg.orig) && sameKey(nameKey(v.name), j.senderKey)) {
        j.senderRecord = i;
        break;
      }
    }
  }
  for (const FtnAddress& reject : settings.rejectAddresses) j.rejected = j.rejected || sameAddress(reject, msg.orig);
  if (settings.logCandidatName) {
    const char* name = msg.candidate >= 1 && size_t(msg.candidate) <= election.candidates.size()
                           ? election.candidates[size_t(msg.candidate - 1)].name.c_str()
                           : "<Unknown>";
    logPrint("\n  Candidat: %s", name);
  }
}

// The destination address and name: messages for somebody else stay where they are, uncounted.
bool addressedToSomebodyElse() {
  const InboundMessage& msg = inboundMessage;
  if (!inChecking()) return false;
  if (!sameAddress(msg.dest, settings.ownAddress)) {
    logPrint("\n? -- Foreign destination address: %s, ignore.", formatAddress4d(msg.dest).c_str());
    return true;
  }
  std::string toKey = nameKey(msg.toName);
  if (!sameKey(toKey, "Korvamgr") && !sameKey(toKey, "Korva") && !sameKey(toKey, "Kelvanoth")) {
    logPrint("\n? -- Foreign destination name \"%s\", ignore.", msg.toName.c_str());
    return true;
  }
  return false;
}

// The subject must name the election.
bool refusedBySubject(Judgement& j) {
  if (sameKey(j.subjectKey, nameKey(settings.voteId))) return false;
  logPrint("\n? -- Unknown Subj: \"%s\".", inboundMessage.subject.c_str());
  return inChecking() && settings.checkSubj && refuse(j, Verdict::kBadSubject);
}

// A vote is stored under its sender's name, and a record without one counts as deleted: such a
// ballot could never be counted, so it is not taken as one.  Refuses in both passes.
bool refusedForNoSenderName(Judgement& j) {
  if (!text::skipBlanks(j.senderName).empty()) return false;
  logPrint("\n? -- Empty sender name.");
  return refuse(j, Verdict::kOther);
}

// The ballot's date against the voting period, by the sender's clock or, with CheckDateSystem, by
// the robot's.  A check query has no date to keep.
bool refusedByDate(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  const bool c = inChecking();
  if (app.checkQuery) return false;
  std::time_t tested = settings.checkDateSystem ? app.startTime : msg.date;
  if (tested < settings.periodStart) {
    logPrint("\n? -- Ballot is received too soon.");
    if (c) return refuse(j, Verdict::kTooSoon);
  }
  if (msg.date >= app.startTime) {
    logPrint("\n? -- Bad date.");
    if (c && !settings.badDateAccept) return refuse(j, Verdict::kBadDate);
  }
  // A bad date already told of is not also late, unless the robot's own clock says the period
  // is over: a sender's clock that runs ahead must not let a ballot in after the close.
  bool lateByClock = settings.checkDateSystem && settings.badDateAccept;
  if (tested > settings.periodEnd && (msg.date < app.startTime || lateByClock)) {
    logPrint("\n? -- Ballot is received too late.");
    if (c) return refuse(j, Verdict::kTooLate);
  }
  return false;
}

// The originating address against the electors' mask and the rejected addresses.
bool refusedByAddress(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  const bool c = inChecking();
  const AddressMask& mask = settings.validAddress;
  if (maskAdmitsNodesOnly(mask) && msg.orig.point != 0) {
    logPrint("\n? -- Ballot from point not accepted.");
    if (c) return refuse(j, Verdict::kPointNotAccepted);
  }
  if (j.rejected || !maskMatches(mask, msg.orig)) {
    logPrint("\n? -- Originating address not validated.");
    if (c) return refuse(j, Verdict::kAddressInvalid);
  }
  return false;
}

// The sender against the valid addresses list: its address, e-mail and name.
bool refusedByValidList(Judgement& j) {
  const bool listCheck = inChecking() && settings.checkValidAddress;
  if (j.validList == SenderListing::kAddressNotListed) {
    logPrint("\n? -- Originating address not found in valid adresses list.");
    if (listCheck) return refuse(j, Verdict::kNotInList);
  } else if (j.validList == SenderListing::kEmailDiffers) {
    logPrint("\n? -- Originating e-mail not found in valid adresses list.");
    if (listCheck) return refuse(j, Verdict::kEmailNotInList);
  } else if (j.validList == SenderListing::kNameDiffers) {
    logPrint("\n? -- FromName not found in valid adresses list.");
    if (listCheck) return refuse(j, Verdict::kNameNotInList);
  }
  return false;
}

// The sender's node (a point's boss) in the nodelist: listed, and not Pvt, Hold or Down.
bool refusedByNodeStatus(Judgement& j) {
  const bool c = inChecking();
  if (j.node.status == NodeStatus::kNotListed) {
    logPrint("\n? -- (Boss)Node not found in nodelist.");
    if (c && settings.checkListedNode) return refuse(j, Verdict::kNodeNotListed);
  } else if (j.node.status == NodeStatus::kPvt) {
    logPrint("\n? -- Ballot from \"Pvt\" node.");
    if (c && settings.checkPvtNode) return refuse(j, Verdict::kPvtNode);
  } else if (j.node.status == NodeStatus::kHold) {
    logPrint("\n? -- Ballot from \"Hold\" node.");
    if (c && settings.checkHoldNode) return refuse(j, Verdict::kHoldNode);
  } else if (j.node.status == NodeStatus::kDown) {
    logPrint("\n? -- Ballot from \"Down\" node.");
    if (c && settings.checkDownNode) return refuse(j, Verdict::kDownNode);
  }
  return false;
}

// The From name against the sysop name the nodelist gives a node, or the pointlist a point.
bool refusedByListedName(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  const bool c = inChecking();
  if (msg.orig.point == 0 && !settings.nodelist.empty() && isListed(j.node.status) &&
      !sameKey(j.fromKey, nameKey(j.node.sysopName))) {
    logPrint("\n? -- Invalid name (expected \"%s\").", j.node.sysopName.c_str());
    if (c && settings.checkNodeName) return refuse(j, Verdict::kBadNodeName);
  }
  if (j.point.status == PointStatus::kListed && !sameKey(j.fromKey, nameKey(j.point.sysopName))) {
    logPrint("\n? -- Invalid name (expected \"%s\").", j.point.sysopName.c_str());
    if (c && settings.checkPointName) return refuse(j, Verdict::kBadPointName);
  }
  return false;
}

// How the ballot came: direct from a point, or by a route that does not fit.
bool refusedByRoute(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  const bool c = inChecking();
  if (msg.directDelivery && !settings.pointDirectAccept && msg.orig.point != 0) {
    logPrint("\n? -- Direct ballot from point not accepted.");
    if (c) return refuse(j, Verdict::kDirectFromPoint);
  }
  if (!msg.routeOk && !msg.directDelivery) {
    logPrint("\n? -- Invalid routing.");
    if (c && settings.checkRouting) return refuse(j, Verdict::kBadRoute);
  }
  return false;
}

// The MSGID and REPLYTO kludges must name the originating address.
bool refusedByOriginKludges(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  const bool c = inChecking();
  if (!msg.msgIdMatches) {
    logPrint("\n? -- MsgId Kludge not corresponded From address.");
    if (c && settings.checkMsgId) return refuse(j, Verdict::kBadMsgId);
  }
  if (msg.replyToAddress.zone != 0 && !sameAddress(msg.replyToAddress, msg.orig)) {
    const FtnAddress& r = msg.replyToAddress;
    logPrint("\n  -- @REPLYTO: %s", formatAddress4d(r).c_str());
    logPrint("\n? -- \"From\" and \"@REPLYTO\" addresses is different.");
    if (c && settings.checkReplyTo) return refuse(j, Verdict::kBadReplyTo);
  }
  return false;
}

// The checks of the ballot's subject, sender, date, address, listings, route and kludges, in that
// order, each logging what it finds; true when one refused the ballot.
bool refusedByChecks(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  if (refusedBySubject(j) || refusedForNoSenderName(j)) return true;
  j.hasEmail = !senderEmail(msg).empty();
  // A first-time sender is known from here on, whatever later checks decide.
  if (settings.checkUserId && !j.senderRecord) j.senderRecord = size_t(issueUserId(j.hasEmail));
  // From here on the message files as auxiliary whatever its verdict.
  app.checkQuery = (msg.queryFlags & kCheckQuery) != 0;
  if (inChecking() && app.checkQuery) logPrint("\n  -- Check query.");
  return refusedByDate(j) || refusedByAddress(j) || refusedByValidList(j) || refusedByNodeStatus(j) ||
         refusedByListedName(j) || refusedByRoute(j) || refusedByOriginKludges(j);
}

// The UserID of the subject must be the sender's.  Refuses in both passes.
bool refusedByUserId(Judgement& j) {
  if (!settings.checkUserId) return false;
  InboundMessage& msg = inboundMessage;
  const UserId& recorded = election.votes[*j.senderRecord].userId;
  if (msg.userId.first != 0 && !(msg.userId == recorded)) {
    logPrint("\n? -- Invalid UserID: %.8X%.8X", msg.userId.first, msg.userId.second);
    logPrint(" (expected %.8X%.8X)", recorded.first, recorded.second);
    return refuse(j, Verdict::kBadUserId);
  }
  if (msg.userId.first == 0) {
    logPrint("\n? -- Empty UserID");
    msg.userId = recorded;
    if (!app.checkQuery) return refuse(j, Verdict::kBadUserId);
  }
  return false;
}

// The password; true when refused.
bool refusedByPassword(Judgement& j) {
  InboundMessage& msg = inboundMessage;
  const bool strict = inChecking() && !settings.badPasswordAccept;
  if (msg.passwordState != kPasswordGiven) {
    logPrint("\n  -- Bad password syntax.");
    if (strict) {
      logPrint("\n? -- Bad password not accepted.");
      return refuse(j, Verdict::kBadPassword);
    }
    if (msg.passwordState == kPasswordFromName) {
      logPrint("\n! -- Check password manualy.");
    } else {
      logPrint("\n! -- Set password manualy to this vote.");
      msg.password = election_format::kBadPasswordSyntax;
    }
  } else if (msg.password.empty()) {
    if (strict) {
      logPrint("\n? -- Empty password not accepted.");
      return refuse(j, Verdict::kEmptyPassword);
    }
    logPrint("\n     Empty password.");
    msg.password = election_format::kEmptyPassword;
  }
  return false;
}

// The To name and first line for a message to a recorded elector: an e-mail name ("<a@b>") is
// written to the address itself, or to "UUCP" with a "To: " line when it does not fit the field.
void electorRecipient(const std::string& name, std::string& toName, std::string& firstLine) {
  toName = name;
  firstLine.clear();
  if (name.size() >= 2 && name.front() == '<' && name.back() == '>' && name.find('@') != std::string::npos) {
    std::string email = name.substr(1, name.size() - 2);
    if (email.size() > kMaxToNameLength) {
      toName = "UUCP";
      firstLine = "To: " + text::withinLine(email);
    } else {
      toName = email;
    }
  }
}

void cancelRecord(size_t record) {
  cancelStoredBallot(int(record));
  VoteRecord& v = election.votes[record];
  v.candidate = int16_t(-v.candidate);
  election.voteBaseDirty = true;
}

// What one earlier vote decides of the ballot: go on to the next, or stop, refused or let through.
enum class EarlierVote { kGoOn, kRefused, kPasses };

// The sender's own earlier vote: the same choice again is a duplicate, another one a revote while
// MaxRevotes allows.  A record of no choice is the placeholder that gives way to the vote once it
// is stored; the visit goes on past it and past a cancelled vote: with OneVoteFromNode, the node's
// ballot still cancels the votes of its points after it.
EarlierVote ownEarlierVote(Judgement& j, size_t i) {
  const InboundMessage& msg = inboundMessage;
  const bool c = inChecking();
  VoteRecord& v = election.votes[i];
  if (v.candidate < 0) return EarlierVote::kGoOn;
  if (v.candidate == 0) {
    if (!j.placeholder) j.placeholder = i;
    return EarlierVote::kGoOn;
  }
  if (v.candidate == msg.candidate) {
    logPrint("\n? -- Duplicate ballot.");
    return c && refuse(j, Verdict::kDuplicate) ? EarlierVote::kRefused : EarlierVote::kPasses;
  }
  if (v.revotes < settings.maxRevotes) {
    logPrint("\n# -- Previous vote from %s (%s) canceled.", v.name.c_str(), formatAddress4d(v.address).c_str());
    cancelRecord(i);
    VoteRecord& again = election.votes[i];
    again.revotes = int16_t(again.revotes + 1);
    j.revotes = again.revotes;
    return EarlierVote::kPasses;
  }
  logPrint("\n? -- Revotes limit exceed.");
  if (c && refuse(j, Verdict::kDuplicate, &Settings::revoteLimitExceedTpl)) return EarlierVote::kRefused;
  return EarlierVote::kPasses;
}

// With OneVoteFromNode, another elector's vote from the sender's node.  A point's ballot is refused
// beside it, and so is any ballot beside the node's own vote; a node's ballot cancels the votes of
// its points, and each of them is told.
bool refusedByVoteFromNode(Judgement& j, size_t i) {
  const InboundMessage& msg = inboundMessage;
  VoteRecord& v = election.votes[i];
  if (msg.orig.point != 0 || v.address.point == 0) {
    logPrint("\n? -- %s already voted.", formatAddress4d(v.address).c_str());
    return inChecking() && refuse(j, Verdict::kCancelled);
  }
  if (v.candidate < 0) return false;
  logPrint("\n# -- Vote from %s (%s) canceled!", v.name.c_str(), formatAddress4d(v.address).c_str());
  std::string toName, firstLine;
  electorRecipient(v.name, toName, firstLine);
  writeNetmail({.templatePath = settings.cancelPntTpl,
                .destination = v.address,
                .toName = toName,
                .subject = msg.subject,
                .firstLine = firstLine,
                .copy = true});
  cancelRecord(i);
  return false;
}

// Earlier votes of this sender and, with OneVoteFromNode, of its node.  True when refused.
bool refusedByEarlierVotes(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  // By value, so that the walk stays valid whatever its visits look up or add.
  const std::vector<size_t> fromNode = votesFromNode(msg.orig);
  for (size_t i : fromNode) {
    const VoteRecord& v = election.votes[i];
    if (v.name.empty()) continue;  // deleted
    if (v.address.point == msg.orig.point && sameKey(nameKey(v.name), j.senderKey)) {
      EarlierVote decided = ownEarlierVote(j, i);
      if (decided != EarlierVote::kGoOn) return decided == EarlierVote::kRefused;
      continue;
    }
    if (!settings.oneVoteFromNode || v.candidate == 0) continue;
    if (refusedByVoteFromNode(j, i)) return true;
  }
  return false;
}

// A help query, in the checking pass, is answered with the help text and filed as auxiliary.
bool answeredHelpQuery(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  if (!inChecking() || ((msg.queryFlags & kHelpQuery) == 0 && !sameKey(j.subjectKey, "%HELP"))) return false;
  logPrint("\n  -- Help query.");
  replyToSender(settings.helpTpl);
  disposeMessage(j.path, settings.moveAuxiliary, Verdict::kAuxiliary);
  return true;
}

// A sender whose recorded vote was cancelled may not vote again.
bool refusedAsCancelled(Judgement& j) {
  if (!j.senderRecord || election.votes[*j.senderRecord].candidate >= 0) return false;
  logPrint("\n? -- Already voted, was cancelled.");
  return inChecking() && refuse(j, Verdict::kCancelled);
}

// A check query that passed the checks is answered and filed as auxiliary, its vote not counted.
bool answeredCheckQuery(Judgement& j) {
  if (!app.checkQuery) return false;
  logPrint("\n  -- Check Ok.");
  if (settings.checkUserId) inboundMessage.userId = election.votes[*j.senderRecord].userId;
  disposeMessage(j.path, settings.moveAuxiliary, Verdict::kAuxiliary);
  replyToSender(settings.checkOkTpl);
  return true;
}

// The choice: more than one is refused in the checking pass; none leaves the ballot uncounted in
// either pass (refused in the checking one, else left in place).
bool stoppedByChoice(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  if (msg.candidate < 0) {
    logPrint("\n? -- Ballot contents more 1 choises.");
    if (inChecking()) return refuse(j, Verdict::kManyChoices);
  }
  if (msg.candidate == 0) {
    logPrint("\n? -- Unknown candidate name.");
    if (inChecking()) refuse(j, Verdict::kUnknownCandidate);
    return true;
  }
  return false;
}

void accept(Judgement& j) {
  InboundMessage& msg = inboundMessage;
  if (j.placeholder) {
    election.votes[*j.placeholder].name.clear();
    election.voteBaseDirty = true;
  }
  addVote({.address = msg.orig,
           .userId = msg.userId,
           .candidate = msg.candidate,
           .revotes = j.revotes,
           .name = j.senderName,
           .password = msg.password});
  disposeMessage(j.path, settings.moveValid, Verdict::kValid);
  logPrint("\n+    Ballot successfully processed.");
  if (j.revotes != 0) {
    replyToSender(settings.revoteTpl);
  } else {
    replyToSender(inChecking() ? settings.validTpl : settings.uncheckValidTpl);
  }
}

}  // namespace

std::string subjectKey(const std::string& subject) {
  std::string_view s = subject;
  size_t start = s.find_first_not_of(' ');
  s = start == std::string_view::npos ? std::string_view() : s.substr(start);
  if (text::startsWithIgnoringAsciiCase(s, "Re") && s.find(':') != std::string_view::npos) {
    s = s.substr(s.rfind(':') + 1);
  }
  return nameKey(std::string(s));
}

void judgeBallot(const std::string& fileName) {
  ++app.processedMessages;
  app.checkQuery = false;
  Judgement j;
  j.path = app.scannedDirectory + fileName;
  logPrint("\n.");
  app.messageLogOffset = logging::logLength();
  logPrint("\n* Process \"%s\"", fileName.c_str());
  InboundMessage& msg = inboundMessage;
  msg = InboundMessage{};
  if (readStoredMessage(j.path, msg, handleBodyLine, SenderReview::kLogAndJudge) != ReadResult::kRead) return;

  if (msg.auxiliaryMessage) {
    replyToSender(settings.auxiliaryTpl, false);
    disposeMessage(j.path, settings.moveAuxiliary, Verdict::kAuxiliary);
    return;
  }
  prepare(j);
  if (addressedToSomebodyElse() || answeredHelpQuery(j)) return;
  if (refusedByChecks(j) || refusedByUserId(j) || refusedAsCancelled(j)) return;
  if (answeredCheckQuery(j) || stoppedByChoice(j)) return;
  if (refusedByPassword(j) || refusedByEarlierVotes(j)) return;
  accept(j);
}

}  // namespace korva
