#include "common/vote_tally.h"

#include <algorithm>

#include "common/text.h"

size_t tallyVotes(const std::vector<VoteRecord>& votes, const std::vector<CandidateLine>& candidates,
                  const TallyOrder& order, VoteTally& tally) {
  const size_t candidateCount = candidates.size();
  tally = VoteTally{};
  tally.totals.assign(candidateCount, 0);
  for (size_t p = 0; p < votes.size(); ++p) {
    int16_t candidate = votes[p].candidate;
    if (candidate > 0 && size_t(candidate) > candidateCount) return p + 1;
    if (candidate > 0) {
      ++tally.totals[size_t(candidate - 1)];
      ++tally.countedVotes;
    }
  }
  for (size_t i = 0; i < candidateCount; ++i) {
    if (candidates[i].status != 0) continue;
    tally.electable.push_back(int(i));
    tally.longestName = std::max(tally.longestName, candidates[i].name.size());
  }
  std::stable_sort(tally.electable.begin(), tally.electable.end(), [&](int a, int b) {
    uint16_t totalA = tally.totals[size_t(a)], totalB = tally.totals[size_t(b)];
    if (order.byVotes && totalA != totalB) return totalA > totalB;
    return order.byName && text::compareIgnoringAsciiCase(candidates[size_t(a)].name, candidates[size_t(b)].name) < 0;
  });
  return 0;
}
