// Inbound scanning and the disposal of judged messages: the order in which stored messages are
// taken up, the move of each into the directory of its verdict, the reply to the sender, the
// UserIDs issued to first-time senders and the filing away of a cancelled ballot.
#ifndef KORVA_SCAN_H_
#define KORVA_SCAN_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace korva {

// The highest message number a stored-message file name may carry.
constexpr uint32_t kMaxMessageNumber = 65535;

// Verdict numbers (1-based positions in the verdict code table) that the scan itself uses.
enum Verdict : int {
  kAuxiliary = 1, kValid = 3, kBadDateInvalid = 4, kTooSoon = 5, kTooLate = 6, kBadSubject = 7,
  kPointNotAccepted = 8, kAddressInvalid = 9, kNotInList = 10, kEmailNotInList = 11, kNameNotInList = 12,
  kNodeNotListed = 13, kPvtNode = 14, kHoldNode = 15, kDownNode = 16, kBadNodeName = 17, kBadPointName = 18,
  kDirectFromPoint = 19, kBadRoute = 20, kBadMsgId = 21, kBadReplyTo = 22, kManyChoices = 23,
  kUnknownCandidate = 24, kBadPassword = 25, kEmptyPassword = 26, kDuplicate = 27, kCancelled = 28,
  kCancelledPrevious = 29, kBadUserId = 32,
};

// The decimal number at the start of a file name, as an unsigned 16-bit value; 0 without digits.
uint16_t messageNumber(std::string_view fileName);

// One more than the largest message number of the directory's "*.msg" files, 1 when there are
// none.  It may exceed kMaxMessageNumber: callers refuse such a number rather than wrap it.
uint32_t nextMessageNumber(std::string_view directory);

// The path of a new message in the directory, under its next free number (also left in `number`
// when given); false, logged, when the directory has no 16-bit number left.
bool nextMessagePath(const std::string& directory, std::string& path, uint16_t* number = nullptr);

// Judges every stored message of the directory: the numbered ones in ascending order (each
// followed by the audit copy), then the rest in directory order.
void scanDirectory(const std::string& directory);

// Counts the verdict and moves the file into the directory (MoveAuxiliary for a check query,
// MoveInvalid when none is given) under its next free number.  The election files are on disk
// before the file leaves its directory.  A move that fails ends the run (16).
void disposeMessage(const std::string& path, const std::string& directory, int verdict);

// Answers the message in hand from the template (nothing when it is not configured).
void replyToSender(const std::string& templatePath, bool copy = true);

// Gives the message in hand a new UserID and records the sender with no choice yet; returns the
// record's index.
int issueUserId(bool useEmail);

// Moves the earlier ballot of a cancelled vote from MoveValid to MoveCancel.
void cancelStoredBallot(int record);

// Writes the election files when anything changed since they were last written.
void saveElectionIfChanged();

}  // namespace korva

#endif  // KORVA_SCAN_H_
