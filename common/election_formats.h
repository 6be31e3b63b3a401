// The text formats of the election files that the vote manager writes and the poster reads:
// vote-base lines, candidates-base lines and the statistic file with its verdict codes.
#ifndef COMMON_ELECTION_FORMATS_H_
#define COMMON_ELECTION_FORMATS_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/ftn_address.h"

// A 64-bit elector identifier, written "%.8X%.8X" (first half first).
struct UserId {
  uint32_t first = 0, second = 0;
};
inline bool operator==(const UserId& a, const UserId& b) { return a.first == b.first && a.second == b.second; }

// One recorded vote.  candidate > 0: the candidate's 1-based number; 0: only keeps the UserID issued
// to the elector; < 0: a cancelled vote holding the negated number.  An empty name marks a deleted
// record.
struct VoteRecord {
  FtnAddress address;
  UserId userId;
  int16_t candidate = 0;
  int16_t revotes = 0;
  std::string name;
  std::string password;
};

namespace election_format {
// The fixed password texts stored for ballots without a usable password.
constexpr const char* kBadPasswordSyntax = "<-Bad password syntax->";
constexpr const char* kEmptyPassword = "<-Empty password->";
// A candidates-base line holds at most this many characters before its line end.
constexpr size_t kCandidateLineLength = 79;
}  // namespace election_format

// "%hd\t%hd\t%.8X%.8X\t%hd:%hd/%hd.%hd\t%s\t%s\n"
std::string formatVoteLine(const VoteRecord& record);

enum class VoteLineResult {
  kRecord,       // all eight numbers and five tabs: `record` is filled
  kNoNumbers,    // a blank line or one that starts with text
  kFormatError,  // some but not all of the eight numbers, or too few tabs
};
// Parses one line (its line end already removed).
VoteLineResult parseVoteLine(std::string_view line, VoteRecord& record);

// Makes a text safe to store as a vote-base field: tabs, CRs and LFs would split the record, and
// a Ctrl-Z would end the file when it is read back; a zero byte would cut the field when written.
std::string voteFieldText(std::string_view text);

// A candidate; status 0 may be voted for, any other value keeps it listed but not electable.
struct CandidateLine {
  std::string name;
  int16_t status = 0;
};
enum class CandidatesBaseLine { kLine, kTooLong, kEnd };
// Reads the next candidates-base line (its LF kept when it was reached).  kTooLong: the line held
// more than kCandidateLineLength characters; `line` keeps the first of them and the rest is read
// past, so that it is never taken for a candidate of its own and shifts the numbers votes refer to.
CandidatesBaseLine readCandidatesBaseLine(std::FILE* f, std::string& line);

// "name {d}" or "name"; leading blanks skipped, one blank before "{" dropped.
CandidateLine parseCandidateLine(std::string_view line);
std::string formatCandidateLine(const CandidateLine& candidate);

namespace election_format {
// Verdict codes, index 1 to 32: four characters each, the first code having index 1.
constexpr int kVerdictCount = 32;
constexpr const char kVerdictCodes[] =
    "AUX_MANVVALDDATIDATSDATLSUBIPNTCADDIADDLADDEADDNNDLANDLPNDLHNDLDNAMNNAMPPNTDROUTMSGIREPLMANYUNKCPASIPASEDUPECANC"
    "CANPOTHRMANIBUID";
}  // namespace election_format

// The verdict a filed message is counted under; its value is the code's index in kVerdictCodes.
enum class Verdict : uint8_t {
  kAuxiliary = 1,           // AUX_
  kManualValid = 2,         // MANV, never assigned by the vote manager
  kValid = 3,               // VALD
  kBadDate = 4,             // DATI
  kTooSoon = 5,             // DATS
  kTooLate = 6,             // DATL
  kBadSubject = 7,          // SUBI
  kPointNotAccepted = 8,    // PNTC
  kAddressInvalid = 9,      // ADDI
  kNotInList = 10,          // ADDL
  kEmailNotInList = 11,     // ADDE
  kNameNotInList = 12,      // ADDN
  kNodeNotListed = 13,      // NDLA
  kPvtNode = 14,            // NDLP
  kHoldNode = 15,           // NDLH
  kDownNode = 16,           // NDLD
  kBadNodeName = 17,        // NAMN
  kBadPointName = 18,       // NAMP
  kDirectFromPoint = 19,    // PNTD
  kBadRoute = 20,           // ROUT
  kBadMsgId = 21,           // MSGI
  kBadReplyTo = 22,         // REPL
  kManyChoices = 23,        // MANY
  kUnknownCandidate = 24,   // UNKC
  kBadPassword = 25,        // PASI
  kEmptyPassword = 26,      // PASE
  kDuplicate = 27,          // DUPE
  kCancelled = 28,          // CANC
  kCancelledPrevious = 29,  // CANP
  kOther = 30,              // OTHR
  kManualInvalid = 31,      // MANI, never assigned by the vote manager
  kBadUserId = 32,          // BUID
};
static_assert(int(Verdict::kBadUserId) == election_format::kVerdictCount);

// The four-character code of a counter index (1..kVerdictCount); empty outside that range.
std::string_view verdictCode(int index);
inline std::string_view verdictCode(Verdict verdict) { return verdictCode(int(verdict)); }

// Counters indexed 1..kVerdictCount; slot 0 is unused.
struct VerdictCounters {
  uint16_t count[election_format::kVerdictCount + 1] = {};
  uint16_t& operator[](Verdict verdict) { return count[int(verdict)]; }
  uint16_t operator[](Verdict verdict) const { return count[int(verdict)]; }
};
std::string formatStatisticFile(const VerdictCounters& counters, std::string_view version);
// Applies one statistic-file line to the counters; other lines change nothing.
void applyStatisticLine(std::string_view line, VerdictCounters& counters);

#endif  // COMMON_ELECTION_FORMATS_H_
