// Every code the poster ends with.  Scripts and crontabs test them: a number never changes its
// meaning.  Besides these, the shared modules end it with config::kExitBadValue (3),
// config::kExitIncomplete (-3, seen as 253) and logging::kExitOutOfMemory (11).
#ifndef NUVREL_EXIT_CODES_H_
#define NUVREL_EXIT_CODES_H_

#include "common/log.h"

namespace nuvrel {

constexpr logging::ExitCode kExitDone{0};  // also when nothing was due
constexpr logging::ExitCode kExitUnknownCommand{1};
constexpr logging::ExitCode kExitConfigNotFound{-2};   // seen as 254
constexpr logging::ExitCode kExitBadVoteChoice{7};     // a vote record names a candidate beyond the list
constexpr logging::ExitCode kExitNoCandidates{12};     // a list macro with no candidates file or an empty one
constexpr logging::ExitCode kExitCreateFailed{14};     // a packet, text file or the lock file cannot be written
constexpr logging::ExitCode kExitNoPacketAddress{15};  // PktFromAddress or PktToAddress not given
constexpr logging::ExitCode kExitTemplateMissing{21};
constexpr logging::ExitCode kExitTemplateOverflow{22};  // a header line outgrew its buffer
constexpr logging::ExitCode kExitRunBusy{23};           // another run held the configuration too long

}  // namespace nuvrel

#endif  // NUVREL_EXIT_CODES_H_
