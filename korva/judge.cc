#include "korva/judge.h"

#include <optional>

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
  int validLookup = -2, nodelistLookup = -2, pointlistLookup = -2;
  std::string nodelistName, pointlistName;  // as listed, "_" read as blanks
  std::string subjectKey, fromKey;
  std::string senderName, senderKey;  // the name the sender's records carry, and its key
  std::optional<size_t> senderRecord;
  std::optional<size_t> placeholder;  // the sender's record of no choice, deleted when the vote is stored
  bool rejected = false, hasEmail = false;
  int16_t revotes = 0;
};

// A refusal: count, move, answer; the message is done.  Always true, for the checks to return.
bool refuse(Judgement& j, Verdict verdict, const std::string& directory, const std::string& templatePath) {
  disposeMessage(j.path, directory, verdict);
  replyToSender(templatePath);
  return true;
}

bool inChecking() { return app.checkingPass; }

void prepare(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  j.validLookup = findValidAddress(msg);
  j.nodelistLookup = findNodelistEntry(msg.orig);
  j.nodelistName = indexState.foundName;
  j.pointlistLookup = findPointlistEntry(msg);
  j.pointlistName = indexState.foundName;
  j.subjectKey = subjectKey(msg.subject);
  j.fromKey = nameKey(msg.fromName);
  j.senderName = senderName(msg);
  j.senderKey = nameKey(j.senderName);
  if (settings.checkUserId) {
    // By the key the records carry: an elector behind a gateway is recorded under the e-mail address.
    for (size_t i = 0; i < election.votes.size(); ++i) {
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

// Checks 1 and 2: messages for somebody else stay where they are, uncounted.
bool addressedToSomebodyElse() {
  const InboundMessage& msg = inboundMessage;
  if (!inChecking()) return false;
  if (!sameAddress(msg.dest, settings.ownAddress)) {
    logPrint("\n? -- Foreign destination address: %hd:%hd/%hd.%hd, ignore.", msg.dest.zone, msg.dest.net, msg.dest.node,
             msg.dest.point);
    return true;
  }
  std::string toKey = nameKey(msg.toName);
  if (!sameKey(toKey, "Korvamgr") && !sameKey(toKey, "Korva") && !sameKey(toKey, "Kelvanoth")) {
    logPrint("\n? -- Foreign destination name \"%s\", ignore.", msg.toName.c_str());
    return true;
  }
  return false;
}

// Checks 4 to 23, each logging what it finds; true when one refused the ballot.
bool refusedByChecks(Judgement& j) {
  InboundMessage& msg = inboundMessage;
  const bool c = inChecking();
  if (!sameKey(j.subjectKey, nameKey(settings.voteId))) {
    logPrint("\n? -- Unknown Subj: \"%s\".", msg.subject.c_str());
    if (c && settings.checkSubj) return refuse(j, Verdict::kBadSubject, settings.moveBadSubj, settings.badSubjTpl);
  }

  j.hasEmail = !senderEmail(msg).empty();
  // A vote is stored under its sender's name, and a record without one counts as deleted: such a
  // ballot could never be counted, so it is not taken as one.
  if (text::skipBlanks(j.senderName).empty()) {
    logPrint("\n? -- Empty sender name.");
    return refuse(j, Verdict::kOther, settings.moveInvalid, settings.invalidTpl);
  }

  // A first-time sender is known from here on, whatever later checks decide.
  if (settings.checkUserId && !j.senderRecord) j.senderRecord = size_t(issueUserId(j.hasEmail));
  // From here on the message files as auxiliary whatever its verdict.
  app.checkQuery = (msg.queryFlags & kCheckQuery) != 0;
  if (c && app.checkQuery) logPrint("\n  -- Check query.");

  if (!app.checkQuery) {
    std::time_t tested = settings.checkDateSystem ? app.startTime : msg.date;
    if (tested < settings.periodStart) {
      logPrint("\n? -- Ballot is received too soon.");
      if (c) return refuse(j, Verdict::kTooSoon, settings.moveBadDate, settings.soonTpl);
    }
    if (msg.date >= app.startTime) {
      logPrint("\n? -- Bad date.");
      if (c && !settings.badDateAccept) return refuse(j, Verdict::kBadDate, settings.moveBadDate, settings.badDateTpl);
    }
    // A bad date already told of is not also late, unless the robot's own clock says the period
    // is over: a sender's clock that runs ahead must not let a ballot in after the close.
    bool lateByClock = settings.checkDateSystem && settings.badDateAccept;
    if (tested > settings.periodEnd && (msg.date < app.startTime || lateByClock)) {
      logPrint("\n? -- Ballot is received too late.");
      if (c) return refuse(j, Verdict::kTooLate, settings.moveBadDate, settings.lateTpl);
    }
  }

  const AddressMask& mask = settings.validAddress;
  if (maskAdmitsNodesOnly(mask) && msg.orig.point != 0) {
    logPrint("\n? -- Ballot from point not accepted.");
    if (c) return refuse(j, Verdict::kPointNotAccepted, settings.moveInvalid, settings.pointTpl);
  }
  if (j.rejected || !maskMatches(mask, msg.orig)) {
    logPrint("\n? -- Originating address not validated.");
    if (c) return refuse(j, Verdict::kAddressInvalid, settings.moveInvalid, settings.rejectAddressTpl);
  }

  const bool listCheck = c && settings.checkValidAddress;
  if (j.validLookup == -1) {
    logPrint("\n? -- Originating address not found in valid adresses list.");
    if (listCheck) return refuse(j, Verdict::kNotInList, settings.moveInvalid, settings.invalidAddressTpl);
  } else if (j.validLookup == 1) {
    logPrint("\n? -- Originating e-mail not found in valid adresses list.");
    if (listCheck) return refuse(j, Verdict::kEmailNotInList, settings.moveInvalid, settings.invalidEMailTpl);
  } else if (j.validLookup == 2) {
    logPrint("\n? -- FromName not found in valid adresses list.");
    if (listCheck) return refuse(j, Verdict::kNameNotInList, settings.moveInvalid, settings.badListNameTpl);
  }

  if (j.nodelistLookup == -1) {
    logPrint("\n? -- (Boss)Node not found in nodelist.");
    if (c && settings.checkListedNode)
      return refuse(j, Verdict::kNodeNotListed, settings.moveBadNode, settings.missingAddressTpl);
  } else if (j.nodelistLookup == 3) {
    logPrint("\n? -- Ballot from \"Pvt\" node.");
    if (c && settings.checkPvtNode) return refuse(j, Verdict::kPvtNode, settings.moveBadNode, settings.pvtAddressTpl);
  } else if (j.nodelistLookup == 5) {
    logPrint("\n? -- Ballot from \"Hold\" node.");
    if (c && settings.checkHoldNode)
      return refuse(j, Verdict::kHoldNode, settings.moveBadNode, settings.holdAddressTpl);
  } else if (j.nodelistLookup == 7) {
    logPrint("\n? -- Ballot from \"Down\" node.");
    if (c && settings.checkDownNode)
      return refuse(j, Verdict::kDownNode, settings.moveBadNode, settings.downAddressTpl);
  }
  if (msg.orig.point == 0 && !settings.nodelist.empty() && j.nodelistLookup > 0 &&
      !sameKey(j.fromKey, nameKey(j.nodelistName))) {
    logPrint("\n? -- Invalid name (expected \"%s\").", j.nodelistName.c_str());
    if (c && settings.checkNodeName)
      return refuse(j, Verdict::kBadNodeName, settings.moveBadNode, settings.badNodeNameTpl);
  }
  if (j.pointlistLookup == 1 && !sameKey(j.fromKey, nameKey(j.pointlistName))) {
    logPrint("\n? -- Invalid name (expected \"%s\").", j.pointlistName.c_str());
    if (c && settings.checkPointName)
      return refuse(j, Verdict::kBadPointName, settings.moveBadNode, settings.badPointNameTpl);
  }

  if (msg.directDelivery && !settings.pointDirectAccept && msg.orig.point != 0) {
    logPrint("\n? -- Direct ballot from point not accepted.");
    if (c) return refuse(j, Verdict::kDirectFromPoint, settings.moveBadRoute, settings.dirPointTpl);
  }
  if (!msg.routeOk && !msg.directDelivery) {
    logPrint("\n? -- Invalid routing.");
    if (c && settings.checkRouting) return refuse(j, Verdict::kBadRoute, settings.moveBadRoute, settings.badRouteTpl);
  }
  if (!msg.msgIdMatches) {
    logPrint("\n? -- MsgId Kludge not corresponded From address.");
    if (c && settings.checkMsgId) return refuse(j, Verdict::kBadMsgId, settings.moveBadMsgId, settings.badOrigTpl);
  }
  if (msg.replyToAddress.zone != 0 && !sameAddress(msg.replyToAddress, msg.orig)) {
    const FtnAddress& r = msg.replyToAddress;
    logPrint("\n  -- @REPLYTO: %hd:%hd/%hd.%hd", r.zone, r.net, r.node, r.point);
    logPrint("\n? -- \"From\" and \"@REPLYTO\" addresses is different.");
    if (c && settings.checkReplyTo) return refuse(j, Verdict::kBadReplyTo, settings.moveBadMsgId, settings.badOrigTpl);
  }
  return false;
}

// Check 24: the UserID of the subject must be the sender's.  Refuses in both passes.
bool refusedByUserId(Judgement& j) {
  if (!settings.checkUserId) return false;
  InboundMessage& msg = inboundMessage;
  const UserId& recorded = election.votes[*j.senderRecord].userId;
  if (msg.userId.first != 0 && !(msg.userId == recorded)) {
    logPrint("\n? -- Invalid UserID: %.8X%.8X", msg.userId.first, msg.userId.second);
    logPrint(" (expected %.8X%.8X)", recorded.first, recorded.second);
    return refuse(j, Verdict::kBadUserId, settings.moveBadUserId, settings.badUserIdTpl);
  }
  if (msg.userId.first == 0) {
    logPrint("\n? -- Empty UserID");
    msg.userId = recorded;
    if (!app.checkQuery) return refuse(j, Verdict::kBadUserId, settings.moveBadUserId, settings.badUserIdTpl);
  }
  return false;
}

// Step D: the password; true when refused.
bool refusedByPassword(Judgement& j) {
  InboundMessage& msg = inboundMessage;
  const bool strict = inChecking() && !settings.badPasswordAccept;
  if (msg.passwordState != kPasswordGiven) {
    logPrint("\n  -- Bad password syntax.");
    if (strict) {
      logPrint("\n? -- Bad password not accepted.");
      return refuse(j, Verdict::kBadPassword, settings.moveBadSyntax, settings.emptyPasswordTpl);
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
      return refuse(j, Verdict::kEmptyPassword, settings.moveBadSyntax, settings.emptyPasswordTpl);
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

// Step E: earlier votes of this sender and, with OneVoteFromNode, of its node.  True when refused.
bool refusedByEarlierVotes(Judgement& j) {
  const InboundMessage& msg = inboundMessage;
  const bool c = inChecking();
  for (size_t i = 0; i < election.votes.size(); ++i) {
    VoteRecord& v = election.votes[i];
    if (v.name.empty() || !sameNode(v.address, msg.orig)) continue;  // deleted, or another node
    if (v.address.point == msg.orig.point && sameKey(nameKey(v.name), j.senderKey)) {
      if (v.candidate < 0) continue;
      if (v.candidate == 0) {
        // The placeholder gives way to the vote once it is stored.  The visit goes on: with
        // OneVoteFromNode, the node's ballot still cancels the votes of its points after it.
        if (!j.placeholder) j.placeholder = i;
        continue;
      }
      if (v.candidate == msg.candidate) {
        logPrint("\n? -- Duplicate ballot.");
        if (c) return refuse(j, Verdict::kDuplicate, settings.moveDupe, settings.duplicateTpl);
        return false;
      }
      if (v.revotes < settings.maxRevotes) {
        logPrint("\n# -- Previous vote from %s (%hd:%hd/%hd.%hd) canceled.", v.name.c_str(), v.address.zone,
                 v.address.net, v.address.node, v.address.point);
        cancelRecord(i);
        VoteRecord& again = election.votes[i];
        again.revotes = int16_t(again.revotes + 1);
        j.revotes = again.revotes;
        return false;
      }
      logPrint("\n? -- Revotes limit exceed.");
      if (c) return refuse(j, Verdict::kDuplicate, settings.moveDupe, settings.revoteLimitExceedTpl);
      return false;
    }
    if (!settings.oneVoteFromNode || v.candidate == 0) continue;
    if (msg.orig.point != 0 || v.address.point == 0) {
      logPrint("\n? -- %hd:%hd/%hd.%hd already voted.", v.address.zone, v.address.net, v.address.node, v.address.point);
      if (c) return refuse(j, Verdict::kCancelled, settings.moveCancel, settings.invPointTpl);
      continue;
    }
    if (v.candidate < 0) continue;
    logPrint("\n# -- Vote from %s (%hd:%hd/%hd.%hd) canceled!", v.name.c_str(), v.address.zone, v.address.net,
             v.address.node, v.address.point);
    std::string toName, firstLine;
    electorRecipient(v.name, toName, firstLine);
    writeNetmail({.templatePath = settings.cancelPntTpl,
                  .destination = v.address,
                  .toName = toName,
                  .subject = msg.subject,
                  .firstLine = firstLine,
                  .copy = true});
    cancelRecord(i);
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
  if (readStoredMessage(j.path, msg, handleBodyLine, SenderReview::kLogAndJudge) != kRead) return;

  if (msg.auxiliaryMessage) {
    replyToSender(settings.auxiliaryTpl, false);
    disposeMessage(j.path, settings.moveAuxiliary, Verdict::kAuxiliary);
    return;
  }
  prepare(j);
  if (addressedToSomebodyElse()) return;
  if (inChecking() && ((msg.queryFlags & kHelpQuery) != 0 || sameKey(j.subjectKey, "%HELP"))) {
    logPrint("\n  -- Help query.");
    replyToSender(settings.helpTpl);
    disposeMessage(j.path, settings.moveAuxiliary, Verdict::kAuxiliary);
    return;
  }
  if (refusedByChecks(j)) return;
  if (refusedByUserId(j)) return;
  if (j.senderRecord && election.votes[*j.senderRecord].candidate < 0) {
    logPrint("\n? -- Already voted, was cancelled.");
    if (inChecking()) {
      refuse(j, Verdict::kCancelled, settings.moveCancel, settings.invPointTpl);
      return;
    }
  }
  if (app.checkQuery) {
    logPrint("\n  -- Check Ok.");
    if (settings.checkUserId) msg.userId = election.votes[*j.senderRecord].userId;
    disposeMessage(j.path, settings.moveAuxiliary, Verdict::kAuxiliary);
    replyToSender(settings.checkOkTpl);
    return;
  }
  if (msg.candidate < 0) {
    logPrint("\n? -- Ballot contents more 1 choises.");
    if (inChecking()) {
      refuse(j, Verdict::kManyChoices, settings.moveBadSyntax, settings.manyVoicesTpl);
      return;
    }
  }
  if (msg.candidate == 0) {
    logPrint("\n? -- Unknown candidate name.");
    if (inChecking()) refuse(j, Verdict::kUnknownCandidate, settings.moveBadSyntax, settings.invalidTpl);
    return;
  }
  if (refusedByPassword(j)) return;
  if (refusedByEarlierVotes(j)) return;
  accept(j);
}

}  // namespace korva
