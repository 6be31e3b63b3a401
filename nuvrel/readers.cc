#include "nuvrel/readers.h"

#include <algorithm>
#include <cstdio>

#include "common/config_values.h"
#include "common/election_formats.h"
#include "common/index_format.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "common/vote_tally.h"
#include "nuvrel/app.h"
#include "nuvrel/output.h"

namespace nuvrel {

namespace {

using logging::logPrint;

constexpr size_t kVoteLineCapacity = 32766;     // 32765 characters a line
constexpr size_t kStatisticLineCapacity = 128;  // 127 characters a line
constexpr size_t kIndexHeaderBytesRead = 160;

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
  // An over-long line is taken cut, as far as the line allows; its rest is read past.
  while (readCandidatesBaseLine(f, line) != CandidatesBaseLine::kEnd) {
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
  if (election.candidates.empty()) {
    if (!settings.candidatesPath.empty()) {
      logPrint("\n! Candidates file is empty. Process aborted.\n");
    } else {
      logPrint("\n! Candidates file not defined. Process aborted.\n");
    }
    finishRun(12);
  }
  VoteTally tally;
  if (size_t bad = tallyVotes(election.votes, election.candidates, {keys.byVotes, keys.byName}, tally)) {
    logPrint("\n! Vote Base error! Invalid candidat id in pos %d.\n", int(bad));
    finishRun(7);
  }
  election.totals = std::move(tally.totals);
  election.countedVotes = tally.countedVotes;
  election.electable = std::move(tally.electable);
  return tally.longestName;
}

void orderVoteRecords(const SortKeys& keys) {
  std::vector<VoteRecord>& votes = election.votes;
  if (!keys.byPassword && !keys.byName && !keys.byAddress) return;
  // The compared texts are folded once, not at every comparison, and the records move once.
  std::vector<std::string> folded(votes.size());
  if (keys.byPassword || keys.byName) {
    for (size_t i = 0; i < votes.size(); ++i) {
      folded[i] = keys.byPassword ? votes[i].password : votes[i].name;
      for (char& c : folded[i]) c = text::foldAscii(c);
    }
  }
  std::vector<size_t> order(votes.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  // std::string compares its bytes as unsigned, as compareIgnoringAsciiCase does.
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (keys.byPassword) return folded[a] < folded[b];
    if (keys.byName) {
      int byName = folded[a].compare(folded[b]);
      if (byName != 0) return byName < 0;
    }
    if (keys.byAddress) return compareAddresses(votes[a].address, votes[b].address) < 0;
    return false;
  });
  std::vector<VoteRecord> sorted;
  sorted.reserve(votes.size());
  for (size_t i : order) sorted.push_back(std::move(votes[i]));
  votes = std::move(sorted);
}

std::string formatCount(unsigned value) {
  if (election.countWidth == 0) return text::format("%u", value);
  return text::format("%*u", election.countWidth, value);
}

}  // namespace nuvrel
