// Every code the vote manager ends with.  Scripts and crontabs test them: a number never changes
// its meaning.  Besides these, the shared modules end it with config::kExitBadValue (3),
// config::kExitIncomplete (-3, seen as 253) and logging::kExitOutOfMemory (11).
#ifndef KORVA_EXIT_CODES_H_
#define KORVA_EXIT_CODES_H_

#include "common/log.h"

namespace korva {

constexpr logging::ExitCode kExitDone{0};
constexpr logging::ExitCode kExitUnknownCommand{1};
constexpr logging::ExitCode kExitBadVoteBase{2};         // a vote base line that is no vote record
constexpr logging::ExitCode kExitConfigNotFound{-2};     // seen as 254
constexpr logging::ExitCode kExitBadVoteChoice{7};       // a vote record names a candidate beyond the list
constexpr logging::ExitCode kExitIndexFailed{11};        // a list cannot be opened or indexed, or the index written
constexpr logging::ExitCode kExitNoRandomSource{11};     // no UserID can be issued
constexpr logging::ExitCode kExitBadListRecord{12};      // a list line is not where or what the index says
constexpr logging::ExitCode kExitSaveFailed{13};         // an election file or the journal cannot be saved
constexpr logging::ExitCode kExitCreateFailed{14};       // a message cannot be written, or its directory is full
constexpr logging::ExitCode kExitMoveFailed{16};         // a judged message cannot be filed
constexpr logging::ExitCode kExitCandidatesChanged{19};  // changed in the voting period without the Index command
constexpr logging::ExitCode kExitTemplateMissing{21};
constexpr logging::ExitCode kExitTemplateOverflow{22};
constexpr logging::ExitCode kExitElectionBusy{23};   // another run held the election too long
constexpr logging::ExitCode kExitDiscrepancies{24};  // Verify found the vote base and the filed ballots apart

}  // namespace korva

#endif  // KORVA_EXIT_CODES_H_
