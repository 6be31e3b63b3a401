// The election's state in memory (vote table, candidates list, verdict counters) and its three
// files: the vote base, the candidates base and the statistic file.
#ifndef KORVA_ELECTION_FILES_H_
#define KORVA_ELECTION_FILES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/election_formats.h"

namespace korva {

// A vote record's line as the vote base holds it (text-mode bytes), with the record it was made
// from: the line is used again only while the record still equals that copy.
struct SavedVoteLine {
  VoteRecord madeFrom;
  std::string bytes;
};

struct ElectionState {
  std::vector<VoteRecord> votes;          // file order, then new votes; never shrinks during a run
  std::vector<SavedVoteLine> savedLines;  // by record index, as far as saves have made them
  // The record indexes of each node (zone, net, node), ascending, for the first indexedVotes records.
  std::unordered_map<uint64_t, std::vector<size_t>> votesByNode;
  size_t indexedVotes = 0;
  std::vector<CandidateLine> candidates;  // a candidate's number is its 1-based position
  VerdictCounters counters;
  bool voteBaseDirty = false;
  bool candidatesDirty = false;
  VerdictCounters savedCounters;  // as last written, so that an unchanged file is not written again
  bool countersSaved = false;
  bool statisticSaveReported = false;  // a failed statistic save is told once per run
  std::string voteBasePath, statisticPath, candidatesPath;

  // Left by tallyVotes.
  std::vector<uint16_t> totals;  // per candidate, index 0 for candidate 1
  uint16_t countedVotes = 0;
  std::vector<int> electable;  // 0-based candidate positions of status 0, in report order
};
extern ElectionState election;

// Empties the vote table and what is kept beside it (saved lines, node index).
void clearVotes();

// Appends a vote record and returns its 0-based index.  Tabs, line ends and Ctrl-Z in the texts
// become blanks, so a record always stays one line of six fields.
int addVote(VoteRecord vote);

// The indexes of the records from the address's node (its zone, net and node; any point), in
// ascending order.  Records appended since the last call are indexed first, and a table that was
// emptied meanwhile is indexed anew.
const std::vector<size_t>& votesFromNode(const FtnAddress& address);

// Appends a candidate.  Line ends and tabs in the name become blanks, and the name is cut so that
// its line fits kCandidateLineLength: what is saved reads back as the same candidate.
void addCandidate(std::string_view name, int16_t status);

enum CandidatesLoad { kCandidatesLoaded = 0, kCandidatesCannotOpen = 1, kCandidateLineTooLong = 2 };

// Reads the candidates base.  A line longer than kCandidateLineLength stops the reading with its
// 1-based number in `lineNumber`: cut or split, it would name another candidate.
CandidatesLoad loadCandidates(const std::string& path, int& lineNumber);

// Loads the vote base in place of the vote table (a missing file is an empty election; a damaged
// line ends the program with code 2) and clears both change flags; loads the statistic file
// (missing: all counters 0).
void loadVoteBase();
void loadStatistics();

// Writes the statistic file, then the vote base and the candidates base when they changed.  Every
// file is written beside itself and renamed over the old one once it is on disk, so a failed or
// interrupted save leaves the previous file whole.
void saveElectionFiles(std::string_view version);

// One election file's new contents, as the bytes on disk.
struct FileImage {
  std::string path;
  std::string bytes;
};

// The files that changed since they were last written (the statistic file, the vote base, the
// candidates base, in that order), their change flags taken as written.
std::vector<FileImage> changedElectionFiles(std::string_view version);
bool isStatisticFile(const FileImage& file);

// "! Can't save ..." for a file that could not be written: the vote base and the candidates base
// end the run (13); the statistic file is told once per run and the run goes on, since the
// counters are secondary to the votes.
void reportFailedSave(const FileImage& file);

// Counts the votes per candidate; returns the longest electable candidate name.
size_t tallyVotes(bool sortOnVotes, bool sortOnNames);

}  // namespace korva

#endif  // KORVA_ELECTION_FILES_H_
