// Everything the vote manager's configuration file sets, read once at start.  Before reading every
// setting is empty: texts absent, numbers 0, switches off, lists empty.
#ifndef KORVA_SETTINGS_H_
#define KORVA_SETTINGS_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "common/ftn_address.h"

namespace korva {

// An elector address mask: each part either a number or a wildcard.
struct AddressMask {
  int16_t part[4] = {0, 0, 0, 0};  // zone, net, node, point
  bool wildcard[4] = {false, false, false, false};
};
bool maskMatches(const AddressMask& mask, const FtnAddress& address);
// A point part 0 without wildcard: the mask admits nodes only.
inline bool maskAdmitsNodesOnly(const AddressMask& mask) { return !mask.wildcard[3] && mask.part[3] == 0; }

struct Settings {
  FtnAddress ownAddress;
  std::string origin, auxiliaryPassword, voteId, charset;
  bool voteIdGiven = false;
  AddressMask validAddress;
  std::vector<FtnAddress> rejectAddresses;
  std::time_t periodStart = 0, periodEnd = 0;  // first and last second of the voting period
  int16_t maxRevotes = 0;

  bool oneVoteFromNode = false, forceToUucp = false;
  bool badDateAccept = false, checkPvtNode = false, checkHoldNode = false, checkDownNode = false;
  bool checkSubj = false, checkNodeName = false, checkPointName = false, checkRouting = false;
  bool checkMsgId = false, checkReplyTo = false, checkListedNode = false, checkValidAddress = false;
  bool checkDateSystem = false, checkUserId = false, pointDirectAccept = false, nodeFromPointAccept = false;
  bool logCandidatName = false, badPasswordAccept = false;

  // As written; a nodelist or pointlist name with "*" or "?" is resolved to the newest matching
  // file whenever the index is opened (IndexState::nodelistPath, pointlistPath).
  std::string nodelist, pointlist, validAddressList, candidatesPath;

  // Directories in their stored form: upper case, ending in a separator.
  std::string netmailIn, netmailOut, copyNetmailOut, netmailUnCheck;
  std::string moveValid, moveInvalid, moveBadDate, moveBadRoute, moveBadMsgId, moveBadUserId;
  std::string moveAuxiliary, moveCancel, moveDupe, moveBadSyntax, moveBadSubj, moveBadNode;

  // Template files, as written.
  std::string validTpl, uncheckValidTpl, revoteTpl, invalidTpl, duplicateTpl, revoteLimitExceedTpl;
  std::string invalidAddressTpl, rejectAddressTpl, invalidEMailTpl, badListNameTpl, missingAddressTpl;
  std::string pvtAddressTpl, holdAddressTpl, downAddressTpl, badNodeNameTpl, badPointNameTpl, pointTpl;
  std::string dirPointTpl, badRouteTpl, badOrigTpl, invPointTpl, cancelPntTpl, soonTpl, lateTpl, badDateTpl;
  std::string badSubjTpl, manyVoicesTpl, emptyPasswordTpl, badUserIdTpl, helpTpl, checkOkTpl, auxiliaryTpl;
  std::string headerTpl, auditTpl, announceTpl;

  // The configuration file's last-write time as packed DOS date and time; the index records it.
  uint16_t configDate = 0, configTime = 0;
};
extern Settings settings;

}  // namespace korva

#endif  // KORVA_SETTINGS_H_
