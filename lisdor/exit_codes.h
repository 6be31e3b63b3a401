// Every code the converter ends with.  Scripts test them: a number never changes its meaning.
#ifndef LISDOR_EXIT_CODES_H_
#define LISDOR_EXIT_CODES_H_

namespace lisdor {

constexpr int kExitDone = 0;
constexpr int kExitSourceNotFound = 10;  // or not readable to its end
constexpr int kExitUnknownFormat = 11;
constexpr int kExitOutOfMemory = 14;
constexpr int kExitCannotWrite = 15;  // the target, the temporary list or the source's replacement

}  // namespace lisdor

#endif  // LISDOR_EXIT_CODES_H_
