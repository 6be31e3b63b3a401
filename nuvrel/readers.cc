#include "nuvrel/readers.h"

#include <algorithm>
#include <cstdio>

#include "common/config_values.h"
#include "common/election_formats.h"
#include "common/index_format.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "nuvrel/app.h"
#include "nuvrel/output.h"

namespace nuvrel {

namespace {

using logging::logPrint;

constexpr size_t kCandidateLineCapacity = 80;   // 79 characters a line
constexpr size_t kVoteLineCapacity = 32766;     // 32765 characters a line
constexpr size_t kStatisticLineCapacity = 128;  // 127 characters a line
constexpr size_t kIndexHeaderBytesRead = 160;

// The rest of an overlong line is dropped, as the vote manager drops it: a piece read as a
// candidate of its own would shift the numbers that votes refer to.
void skipRestOfLine(std::FILE* f, size_t capacity) {
  std::string piece;
  while (platform::readTextLine(f, piece, capacity) && piece.back() != '\n') {
  }
}

std::string besideConfiguration(const char* extension) {
  return platform::replaceExtension(app.configPath, extension);
}

int decimalDigits(unsigned value) {
  int digits = 1;
  for (; value >= 10; value /= 10) ++digits;
  return digits;
}

}  // namespace

void loadPosterCandidates(const std::string& path) {
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) config::configError("Candidates file \"%s\" not found.", path.c_str());
  std::string line;
  while (platform::readTextLine(f, line, kCandidateLineCapacity)) {
    if (line.back() != '\n' && line.size() + 1 == kCandidateLineCapacity) skipRestOfLine(f, kCandidateLineCapacity);
    CandidateLine candidate = parseCandidateLine(line);
    if (candidate.name.empty()) continue;
    text::fixCyrillicEn(candidate.name);
    election.candidates.push_back(candidate);
  }
  std::fclose(f);
}

void loadPosterVotes() {
  if (election.votesLoaded) return;
  election.votesLoaded = true;
  std::string path = besideConfiguration("vot");
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) {
    logPrint("\n? Can't open vote base file \"%s\".", path.c_str());
    return;
  }
  std::string line;
  while (platform::readTextLine(f, line, kVoteLineCapacity)) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    VoteRecord record;
    VoteLineResult result = parseVoteLine(line, record);
    if (result == VoteLineResult::kNoNumbers) break;
    if (result == VoteLineResult::kFormatError) {
      logPrint("\n! Invalid file format \"%s\", aborted.", path.c_str());
      election.votes.clear();
      break;
    }
    record.userId = UserId{};
    election.votes.push_back(std::move(record));
  }
  std::fclose(f);
}

void loadPosterStatistic() {
  if (election.statisticLoaded) return;
  election.statisticLoaded = true;
  std::string path = besideConfiguration("sta");
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) {
    logPrint("\n? Can't open statistic file \"%s\".", path.c_str());
    return;
  }
  std::string line;
  while (platform::readTextLine(f, line, kStatisticLineCapacity)) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    applyStatisticLine(line, election.counters);
  }
  std::fclose(f);
  election.refusedSum = 0;
  for (int i = 4; i <= kVerdictCount; ++i) election.refusedSum += election.counters.count[i];
  election.ballotTotal = election.counters.count[3] + election.counters.count[2] + election.refusedSum;
  election.countWidth = decimalDigits(election.ballotTotal);
}

void loadListedAddresses() {
  if (election.listedAddressesLoaded) return;
  election.listedAddressesLoaded = true;
  std::string path = besideConfiguration("kix");
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) {
    logPrint("\n? Can't open index file \"%s\".", path.c_str());
    return;
  }
  std::string bytes(kIndexHeaderBytesRead, '\0');
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  index_format::Header header = index_format::decodeHeader(bytes);
  if (header.version != index_format::kCurrentVersion) {
    logPrint("\n? Unknown version of index file \"%s\".", path.c_str());
    return;
  }
  // The valid-address records stand between the header and the first nodelist record.
  if (header.firstNodelistRecord > kIndexHeaderBytesRead) {
    election.listedAddresses = unsigned((header.firstNodelistRecord - kIndexHeaderBytesRead) / index_format::kRecordSize);
  }
}

size_t tallyPosterVotes(const SortKeys& keys) {
  const size_t candidateCount = election.candidates.size();
  if (candidateCount == 0) {
    if (!settings.candidatesPath.empty()) {
      logPrint("\n! Candidates file is empty. Process aborted.\n");
    } else {
      logPrint("\n! Candidates file not defined. Process aborted.\n");
    }
    finishRun(12);
  }
  election.totals.assign(candidateCount, 0);
  election.countedVotes = 0;
  for (size_t p = 0; p < election.votes.size(); ++p) {
    int16_t candidate = election.votes[p].candidate;
    if (candidate > 0 && size_t(candidate) > candidateCount) {
      logPrint("\n! Vote Base error! Invalid candidat id in pos %d.\n", int(p + 1));
      finishRun(7);
    }
    if (candidate > 0) {
      ++election.totals[size_t(candidate - 1)];
      ++election.countedVotes;
    }
  }
  election.electable.clear();
  size_t longest = 0;
  for (size_t i = 0; i < candidateCount; ++i) {
    if (election.candidates[i].status != 0) continue;
    election.electable.push_back(i);
    longest = std::max(longest, election.candidates[i].name.size());
  }
  std::stable_sort(election.electable.begin(), election.electable.end(), [&keys](size_t a, size_t b) {
    if (keys.byVotes && election.totals[a] != election.totals[b]) return election.totals[a] > election.totals[b];
    if (keys.byName) {
      return text::compareIgnoringAsciiCase(election.candidates[a].name, election.candidates[b].name) < 0;
    }
    return false;
  });
  return longest;
}

void orderVoteRecords(const SortKeys& keys) {
  auto before = [&keys](const VoteRecord& a, const VoteRecord& b) {
    if (keys.byPassword) return text::compareIgnoringAsciiCase(a.password, b.password) < 0;
    if (keys.byName) {
      int byName = text::compareIgnoringAsciiCase(a.name, b.name);
      if (byName != 0) return byName < 0;
    }
    if (keys.byAddress) return compareAddresses(a.address, b.address) < 0;
    return false;
  };
  std::stable_sort(election.votes.begin(), election.votes.end(), before);
}

std::string formatCount(unsigned value) {
  if (election.countWidth == 0) return text::format("%u", value);
  return text::format("%*u", election.countWidth, value);
}

}  // namespace nuvrel
