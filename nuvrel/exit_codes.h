// Every code the poster ends with.  Scripts and crontabs test them: a number never changes its
// meaning.  Besides these, the shared modules end it with config::kExitBadValue (3),
// config::kExitIncomplete (-3, seen as 253) and logging::kExitOutOfMemory (11).
#ifndef NUVREL_EXIT_CODES_H_
#define NUVREL_EXIT_CODES_H_

namespace nuvrel {

constexpr int kExitDone = 0;  // also when nothing was due
constexpr int kExitUnknownCommand = 1;
constexpr int kExitConfigNotFound = -2;   // seen as 254
constexpr int kExitBadVoteChoice = 7;     // a vote record names a candidate beyond the list
constexpr int kExitNoCandidates = 12;     // a list macro with no candidates file or an empty one
constexpr int kExitCreateFailed = 14;     // a packet, text file or the lock file cannot be written
constexpr int kExitNoPacketAddress = 15;  // PktFromAddress or PktToAddress not given
constexpr int kExitTemplateMissing = 21;
constexpr int kExitTemplateOverflow = 22;  // a header line outgrew its buffer
constexpr int kExitRunBusy = 23;           // another run held the configuration too long

}  // namespace nuvrel

#endif  // NUVREL_EXIT_CODES_H_
