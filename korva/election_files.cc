#include "korva/election_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "common/config_values.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "common/vote_tally.h"
#include "korva/exit_codes.h"

namespace korva {

ElectionState election;

namespace {

// Every candidate in list order, with its status.  A candidate's number is its position in this
// file, and the vote base stores numbers: moving any line (as holding a none-of-the-above choice
// back to the end would) hands its votes to another candidate at the next start.
std::string candidatesBaseText() {
  std::string out;
  for (const CandidateLine& candidate : election.candidates) out += formatCandidateLine(candidate);
  return out;
}

bool sameRecord(const VoteRecord& a, const VoteRecord& b) {
  return sameAddress(a.address, b.address) && a.userId == b.userId && a.candidate == b.candidate &&
         a.revotes == b.revotes && a.name == b.name && a.password == b.password;
}

// The record's vote base line, made again only when the record is no longer the one its saved line
// was made from: whoever changed it, the line cannot be stale.
const std::string& voteBaseLine(size_t record) {
  SavedVoteLine& saved = election.savedLines[record];
  const VoteRecord& vote = election.votes[record];
  if (saved.bytes.empty() || !sameRecord(saved.madeFrom, vote)) {
    saved.madeFrom = vote;
    saved.bytes = platform::textModeBytes(formatVoteLine(vote));
  }
  return saved.bytes;
}

// Every record that is not deleted, in table order.
std::string voteBaseBytes() {
  election.savedLines.resize(election.votes.size());
  size_t size = 0;
  for (size_t i = 0; i < election.votes.size(); ++i) {
    if (!election.votes[i].name.empty()) size += voteBaseLine(i).size();
  }
  std::string bytes;
  bytes.reserve(size);
  for (size_t i = 0; i < election.votes.size(); ++i) {
    if (!election.votes[i].name.empty()) bytes += election.savedLines[i].bytes;
  }
  return bytes;
}

// Zone, net and node as the unsigned 16-bit words sameNode compares.
uint64_t nodeKey(const FtnAddress& a) {
  return uint64_t(uint16_t(a.zone)) << 32 | uint64_t(uint16_t(a.net)) << 16 | uint16_t(a.node);
}

}  // namespace

const std::vector<size_t>& votesFromNode(const FtnAddress& address) {
  if (election.indexedVotes > election.votes.size()) {
    election.votesByNode.clear();
    election.indexedVotes = 0;
  }
  for (; election.indexedVotes < election.votes.size(); ++election.indexedVotes) {
    const size_t i = election.indexedVotes;
    election.votesByNode[nodeKey(election.votes[i].address)].push_back(i);
  }
  static const std::vector<size_t> kNone;
  auto found = election.votesByNode.find(nodeKey(address));
  return found == election.votesByNode.end() ? kNone : found->second;
}

int addVote(VoteRecord vote) {
  vote.name = voteFieldText(vote.name);
  vote.password = voteFieldText(vote.password);
  election.votes.push_back(std::move(vote));
  election.voteBaseDirty = true;
  return int(election.votes.size() - 1);
}

void addCandidate(std::string_view name, int16_t status) {
  std::string stored = voteFieldText(name);
  size_t statusLength = formatCandidateLine({"", status}).size() - 1;  // " {d}" and no line end
  if (stored.size() + statusLength > election_format::kCandidateLineLength)
    stored.resize(election_format::kCandidateLineLength - statusLength);
  election.candidates.push_back({text::fixCyrillicEn(stored), status});
  election.candidatesDirty = true;
}

CandidatesLoad loadCandidates(const std::string& path, int& lineNumber) {
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) return kCandidatesCannotOpen;
  std::string line;
  CandidatesLoad result = kCandidatesLoaded;
  for (lineNumber = 1;; ++lineNumber) {
    CandidatesBaseLine read = readCandidatesBaseLine(f, line);
    if (read == CandidatesBaseLine::kEnd) break;
    if (read == CandidatesBaseLine::kTooLong) {
      result = kCandidateLineTooLong;
      break;
    }
    CandidateLine candidate = parseCandidateLine(line);
    if (!candidate.name.empty()) addCandidate(candidate.name, candidate.status);
  }
  std::fclose(f);
  return result;
}

void clearVotes() {
  election.votes.clear();
  election.savedLines.clear();
  election.votesByNode.clear();
  election.indexedVotes = 0;
}

void loadVoteBase() {
  clearVotes();
  std::FILE* f = platform::openFile(election.voteBasePath, "rb");
  if (f == nullptr) {
    logging::logPrint("\n? Can't open vote base file \"%s\".", election.voteBasePath.c_str());
  } else {
    std::string line;
    while (platform::readTextLine(f, line, config::kLineCapacity)) {
      if (line.back() == '\n') line.pop_back();
      VoteRecord record;
      VoteLineResult result = parseVoteLine(line, record);
      // Blank and text lines hold no vote; they are passed over so that the votes after them
      // are not lost by the next save.
      if (result == VoteLineResult::kNoNumbers) continue;
      if (result == VoteLineResult::kFormatError) {
        logging::logPrint("\n! Invalid file format \"%s\", aborted.", election.voteBasePath.c_str());
        logging::appExit(kExitBadVoteBase);
      }
      // As the file holds it: blanking control characters is for text that comes from a ballot, and
      // an earlier election's password may hold tabs that the next save must write back.  Only a
      // zero byte (a damaged file) is blanked, since it would cut the field when it is written.
      std::replace(record.name.begin(), record.name.end(), '\0', ' ');
      std::replace(record.password.begin(), record.password.end(), '\0', ' ');
      election.votes.push_back(std::move(record));
    }
    std::fclose(f);
  }
  election.voteBaseDirty = false;
  election.candidatesDirty = false;
}

void loadStatistics() {
  std::FILE* f = platform::openFile(election.statisticPath, "rb");
  if (f == nullptr) return;
  std::string line;
  while (platform::readTextLine(f, line, config::kLineCapacity)) applyStatisticLine(line, election.counters);
  std::fclose(f);
}

std::vector<FileImage> changedElectionFiles(std::string_view version) {
  std::vector<FileImage> files;
  if (!election.countersSaved ||
      std::memcmp(election.savedCounters.count, election.counters.count, sizeof election.counters.count) != 0) {
    files.push_back({election.statisticPath, platform::textModeBytes(formatStatisticFile(election.counters, version))});
    election.savedCounters = election.counters;
    election.countersSaved = true;
  }
  if (election.voteBaseDirty) {
    election.voteBaseDirty = false;
    files.push_back({election.voteBasePath, voteBaseBytes()});
  }
  if (election.candidatesDirty) {
    election.candidatesDirty = false;
    files.push_back({election.candidatesPath, platform::textModeBytes(candidatesBaseText())});
  }
  return files;
}

bool isStatisticFile(const FileImage& file) { return file.path == election.statisticPath; }

void reportFailedSave(const FileImage& file) {
  if (isStatisticFile(file)) {
    if (!election.statisticSaveReported) {
      logging::logPrint("\n! Can't save statistic file \"%s\".", file.path.c_str());
    }
    election.statisticSaveReported = true;
    election.countersSaved = false;  // to be tried again with the next save
    return;
  }
  if (file.path == election.voteBasePath) {
    logging::logPrint("\n! Can't save vote base file \"%s\".\n! RESULTS OF ELECTION INCORRECT!", file.path.c_str());
  } else {
    logging::logPrint("\n! Can't save candidates base file \"%s\".\n! CHANGES CANDIDATES LIST IGNORED!",
                      file.path.c_str());
  }
  logging::appExit(kExitSaveFailed);
}

void saveElectionFiles(std::string_view version) {
  // The statistic file is written even when no counter changed.
  election.countersSaved = false;
  for (const FileImage& file : changedElectionFiles(version)) {
    if (!platform::writeFileAtomically(file.path, file.bytes)) reportFailedSave(file);
  }
}

size_t tallyVotes(bool sortOnVotes, bool sortOnNames) {
  VoteTally tally;
  if (size_t bad = ::tallyVotes(election.votes, election.candidates, {sortOnVotes, sortOnNames}, tally)) {
    logging::printOut("\nVote Base error! Invalid candidat id in pos %d.\n", int(bad));
    logging::appExit(kExitBadVoteChoice);
  }
  election.totals = std::move(tally.totals);
  election.countedVotes = tally.countedVotes;
  election.electable = std::move(tally.electable);
  return tally.longestName;
}

}  // namespace korva
