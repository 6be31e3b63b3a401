// Readers of the vote manager's files.  The poster never changes them.
#ifndef NUVREL_READERS_H_
#define NUVREL_READERS_H_

#include <string>

namespace nuvrel {

// Fills the candidates list from the candidates base; a file that cannot be opened is a
// configuration error.
void loadPosterCandidates(const std::string& path);

}  // namespace nuvrel

#endif  // NUVREL_READERS_H_
