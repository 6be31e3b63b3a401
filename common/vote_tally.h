// The count of the vote table per candidate, shared by the vote manager's reports and the poster's
// results and password lists.
#ifndef COMMON_VOTE_TALLY_H_
#define COMMON_VOTE_TALLY_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/election_formats.h"

struct VoteTally {
  std::vector<uint16_t> totals;  // per candidate, index 0 for candidate 1
  uint16_t countedVotes = 0;     // records with a candidate above 0
  std::vector<int> electable;    // 0-based positions of the status-0 candidates, in report order
  size_t longestName = 0;        // of the electable candidates
};

// Orders of the electable candidates: greater total first, then names ignoring ASCII case; what
// the keys leave equal keeps list order.
struct TallyOrder {
  bool byVotes = false;
  bool byName = false;
};

// Counts the votes; cancelled (negative) and UserID-only (0) records count for nobody.  Returns 0,
// or the 1-based position of the first record whose candidate is beyond the list: the tally is
// then left unfinished, since a vote for nobody known makes every figure wrong.
size_t tallyVotes(const std::vector<VoteRecord>& votes, const std::vector<CandidateLine>& candidates,
                  const TallyOrder& order, VoteTally& tally);

#endif  // COMMON_VOTE_TALLY_H_
