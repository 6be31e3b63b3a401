// The vote base, the candidates base and the statistic file as found on disk, damaged or edited:
// loaded and tallied by the vote manager (first byte even) or by the poster (odd).  Input parts,
// separated by "====" lines: candidates base, vote base, statistic file, index file.
#include <cstdint>
#include <string>

#include "common/text.h"
#include "fuzz/fuzz_support.h"
#include "korva/election_files.h"
#include "nuvrel/app.h"
#include "nuvrel/readers.h"

namespace {

// What the vote manager loads, saved and read again, is the same election.
void checkVoteRoundTrip() {
  for (const VoteRecord& v : korva::election.votes) {
    VoteRecord back;
    std::string line = formatVoteLine(v);
    line.pop_back();
    if (parseVoteLine(line, back) != VoteLineResult::kRecord) __builtin_trap();
    if (back.candidate != v.candidate || back.revotes != v.revotes || !(back.userId == v.userId) ||
        !sameAddress(back.address, v.address) || back.name != v.name || back.password != v.password) {
      fprintf(stderr, "vote [%s] [%s] -> [%s] [%s]\n", v.name.c_str(), v.password.c_str(), back.name.c_str(),
              back.password.c_str());
      __builtin_trap();
    }
  }
  for (const CandidateLine& c : korva::election.candidates) {
    CandidateLine back = parseCandidateLine(formatCandidateLine(c));
    // Blanks at the start are skipped on reading (a zero byte in a loaded name became one).
    if (back.name != text::skipBlanks(c.name) || back.status != c.status) {
      fprintf(stderr, "candidate [%s] %d -> [%s] %d\n", c.name.c_str(), c.status, back.name.c_str(), back.status);
      __builtin_trap();
    }
  }
}

void loadForVoteManager(uint8_t flags) {
  using namespace korva;
  election = ElectionState{};
  election.voteBasePath = "korva.vot";
  election.statisticPath = "korva.sta";
  int lineNumber = 0;
  if (loadCandidates("cand.lst", lineNumber) != kCandidatesLoaded) return;
  loadVoteBase();
  loadStatistics();
  checkVoteRoundTrip();
  tallyVotes(flags & 2, flags & 4);
}

void loadForPoster(uint8_t flags) {
  using namespace nuvrel;
  app = AppState{};
  app.configPath = "korva.cfp";
  election = ElectionData{};
  loadPosterCandidates("cand.lst");
  loadPosterVotes();
  loadPosterStatistic();
  loadListedAddresses();
  formatCount(election.ballotTotal);
  SortKeys keys{(flags & 2) != 0, (flags & 4) != 0, (flags & 8) != 0, (flags & 16) != 0};
  orderVoteRecords(keys);
  tallyPosterVotes(keys);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  auto parts = fuzz::splitParts(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), 4);
  fuzz::writeFile("cand.lst", parts[0]);
  fuzz::writeFile("korva.vot", parts[1]);
  fuzz::writeFile("korva.sta", parts[2]);
  fuzz::writeFile("korva.kix", parts[3]);
  {
    fuzz::Run run;
    try {
      (data[0] & 1) ? loadForPoster(data[0]) : loadForVoteManager(data[0]);
    } catch (const fuzz::ProgramEnded&) {
    }
  }
  return 0;
}
