#include "nuvrel/readers.h"

#include <cstdio>

#include "common/config_values.h"
#include "common/election_formats.h"
#include "common/platform.h"
#include "common/text.h"
#include "nuvrel/app.h"

namespace nuvrel {

namespace {

constexpr size_t kCandidateLineCapacity = 80;  // 79 characters a line

// The rest of an overlong line is dropped, as the vote manager drops it: a piece read as a
// candidate of its own would shift the numbers that votes refer to.
void skipRestOfLine(std::FILE* f) {
  std::string piece;
  while (platform::readTextLine(f, piece, kCandidateLineCapacity) && piece.back() != '\n') {
  }
}

}  // namespace

void loadPosterCandidates(const std::string& path) {
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) config::configError("Candidates file \"%s\" not found.", path.c_str());
  std::string line;
  while (platform::readTextLine(f, line, kCandidateLineCapacity)) {
    if (line.back() != '\n' && line.size() + 1 == kCandidateLineCapacity) skipRestOfLine(f);
    CandidateLine candidate = parseCandidateLine(line);
    if (candidate.name.empty()) continue;
    text::fixCyrillicEn(candidate.name);
    election.candidates.push_back(candidate);
  }
  std::fclose(f);
}

}  // namespace nuvrel
