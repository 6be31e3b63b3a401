// Every code the vote manager ends with.  Scripts and crontabs test them: a number never changes
// its meaning.  Besides these, the shared modules end it with config::kExitBadValue (3),
// config::kExitIncomplete (-3, seen as 253) and logging::kExitOutOfMemory (11).
#ifndef KORVA_EXIT_CODES_H_
#define KORVA_EXIT_CODES_H_

namespace korva {

constexpr int kExitDone = 0;
constexpr int kExitUnknownCommand = 1;
constexpr int kExitBadVoteBase = 2;         // a vote base line that is no vote record
constexpr int kExitConfigNotFound = -2;     // seen as 254
constexpr int kExitBadVoteChoice = 7;       // a vote record names a candidate beyond the list
constexpr int kExitIndexFailed = 11;        // a list cannot be opened or indexed, or the index written
constexpr int kExitNoRandomSource = 11;     // no UserID can be issued
constexpr int kExitBadListRecord = 12;      // a list line is not where or what the index says
constexpr int kExitSaveFailed = 13;         // an election file or the journal cannot be saved
constexpr int kExitCreateFailed = 14;       // a message cannot be written, or its directory is full
constexpr int kExitMoveFailed = 16;         // a judged message cannot be filed
constexpr int kExitCandidatesChanged = 19;  // changed in the voting period without the Index command
constexpr int kExitTemplateMissing = 21;
constexpr int kExitTemplateOverflow = 22;
constexpr int kExitElectionBusy = 23;  // another run held the election too long

}  // namespace korva

#endif  // KORVA_EXIT_CODES_H_
