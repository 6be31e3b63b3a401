// Every code the converter ends with.  Scripts test them: a number never changes its meaning.
#ifndef LISDOR_EXIT_CODES_H_
#define LISDOR_EXIT_CODES_H_

#include "common/log.h"

namespace lisdor {

constexpr logging::ExitCode kExitDone{0};
constexpr logging::ExitCode kExitSourceNotFound{10};  // or not readable to its end
constexpr logging::ExitCode kExitUnknownFormat{11};
constexpr logging::ExitCode kExitOutOfMemory{14};
constexpr logging::ExitCode kExitCannotWrite{15};  // the target, the temporary list or the source's replacement

}  // namespace lisdor

#endif  // LISDOR_EXIT_CODES_H_
