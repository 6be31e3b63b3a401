// Inbound scanning and the disposal of judged messages: the order in which stored messages are
// taken up, the move of each into the directory of its verdict, the reply to the sender, the
// UserIDs issued to first-time senders and the filing away of a cancelled ballot.
#ifndef KORVA_SCAN_H_
#define KORVA_SCAN_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/election_formats.h"

namespace korva {

// The highest message number a stored-message file name may carry.
constexpr uint32_t kMaxMessageNumber = 65535;

// The decimal number at the start of a file name, as an unsigned 16-bit value; 0 without digits.
uint16_t messageNumber(std::string_view fileName);

// The number of a name made of decimal digits and ".msg" alone, when it is 1 to kMaxMessageNumber;
// 0 for any other name ("0007.msg" is 7, "2x.msg" and "70000.msg" are 0).
uint32_t plainMessageNumber(std::string_view fileName);

// One more than the largest message number of the directory's "*.msg" files, 1 when there are
// none.  It may exceed kMaxMessageNumber: callers refuse such a number rather than wrap it.
uint32_t nextMessageNumber(std::string_view directory);

// The path of a new message in the directory, under its next free number; empty when the
// directory has no 16-bit number left.
std::string freeMessagePath(const std::string& directory);

// As freeMessagePath; false, logged, when the directory has no number left.
bool nextMessagePath(const std::string& directory, std::string& path);

// Judges every stored message of the directory once: the plainly numbered ones in ascending order
// (each followed by the audit copy), then every other name in directory order, then what arrived
// meanwhile.  Links and special files are logged and left in place.
void scanDirectory(const std::string& directory);

// The directory a message is filed into for a Move setting: MoveInvalid when it is not configured.
const std::string& filingDirectory(const std::string& configured);

// Counts the verdict and plans the move of the file into the directory (MoveAuxiliary for a check
// query, MoveInvalid when none is given) under its next free number; the move is made with the
// message's other effects.  A move that fails ends the run (16).
void disposeMessage(const std::string& path, const std::string& directory, Verdict verdict);

// Answers the message in hand from the template (nothing when it is not configured).
void replyToSender(const std::string& templatePath, bool copy = true);

// Gives the message in hand a new UserID and records the sender with no choice yet; returns the
// record's index.
int issueUserId(bool useEmail);

// Moves the earlier ballot of a cancelled vote from MoveValid to MoveCancel: the first one filed
// there from the record's address and name.
void cancelStoredBallot(int record);

}  // namespace korva

#endif  // KORVA_SCAN_H_
