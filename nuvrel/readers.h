// Readers of the vote manager's files and the figures the poster derives from them.  The poster
// never changes those files; each is read at most once per run.
#ifndef NUVREL_READERS_H_
#define NUVREL_READERS_H_

#include <string>

namespace nuvrel {

// Fills the candidates list from the candidates base; a file that cannot be opened is a
// configuration error.
void loadPosterCandidates(const std::string& path);

// The vote base, the statistic file and the index header beside the configuration file.  A
// missing file is reported and leaves its figures empty.
void loadPosterVotes();
void loadPosterStatistic();
void loadListedAddresses();

// Set by the macro being expanded.
struct SortKeys {
  bool byVotes = false;
  bool byName = false;
  bool byAddress = false;
  bool byPassword = false;
};

// Counts the votes per candidate and orders the electable candidates by the keys; returns the
// greatest electable name length.  No candidates, or a vote for one that does not exist, ends
// the run.
size_t tallyPosterVotes(const SortKeys& keys);

// Orders the vote table: by password alone, or by name and then address.
void orderVoteRecords(const SortKeys& keys);

// The number format of counts: right-aligned to the count width once the statistic is read.
std::string formatCount(unsigned value);

}  // namespace nuvrel

#endif  // NUVREL_READERS_H_
