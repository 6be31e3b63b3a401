#include "nuvrel/readers.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "common/config_values.h"
#include "common/election_formats.h"
#include "common/index_format.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "common/vote_tally.h"
#include "nuvrel/app.h"
#include "nuvrel/exit_codes.h"

namespace nuvrel {

namespace {

using logging::logPrint;

constexpr size_t kVoteLineCapacity = 32766;     // 32765 characters a line
constexpr size_t kStatisticLineCapacity = 128;  // 127 characters a line
constexpr size_t kIndexHeaderBytesRead = 160;

std::string besideConfiguration(const char* extension) { return platform::replaceExtension(app.configPath, extension); }

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
    // A blank or text line holds no vote; the votes after it count, as the vote manager counts them.
    if (result == VoteLineResult::kNoNumbers) continue;
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
  for (int i = int(Verdict::kBadDate); i <= election_format::kVerdictCount; ++i) {
    election.refusedSum += election.counters.count[i];
  }
  election.ballotTotal =
      election.counters[Verdict::kValid] + election.counters[Verdict::kManualValid] + election.refusedSum;
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
  // The index is the vote manager's cache: a header that does not fit its file gives no figure.
  uint64_t size = 0;
  if (!platform::fileLength(path, size) || !index_format::offsetsFitFile(header, size)) {
    logPrint("\n? Damaged index file \"%s\".", path.c_str());
    return;
  }
  // The valid-address records stand between the header and the first nodelist record.
  if (header.firstNodelistRecord > kIndexHeaderBytesRead) {
    election.listedAddresses =
        unsigned((header.firstNodelistRecord - kIndexHeaderBytesRead) / index_format::kRecordSize);
  }
}

size_t tallyPosterVotes(const SortKeys& keys) {
  if (election.candidates.empty()) {
    if (!settings.candidatesPath.empty()) {
      logPrint("\n! Candidates file is empty. Process aborted.\n");
    } else {
      logPrint("\n! Candidates file not defined. Process aborted.\n");
    }
    logging::appExit(kExitNoCandidates);
  }
  VoteTally tally;
  if (size_t bad = tallyVotes(election.votes, election.candidates, {keys.byVotes, keys.byName}, tally)) {
    logPrint("\n! Vote Base error! Invalid candidat id in pos %d.\n", int(bad));
    logging::appExit(kExitBadVoteChoice);
  }
  election.totals = std::move(tally.totals);
  election.countedVotes = tally.countedVotes;
  election.electable = std::move(tally.electable);
  return tally.longestName;
}

namespace {

// The compared texts, folded once into one buffer (`foldedText`, which the views point into) rather
// than at every comparison; empty views when neither text is a key.
std::vector<std::string_view> foldSortTexts(const std::vector<VoteRecord>& votes, const SortKeys& keys,
                                            std::string& foldedText) {
  std::vector<std::string_view> folded(votes.size());
  if (!keys.byPassword && !keys.byName) return folded;
  std::vector<size_t> start(votes.size() + 1, 0);
  for (size_t i = 0; i < votes.size(); ++i) {
    foldedText += keys.byPassword ? votes[i].password : votes[i].name;
    start[i + 1] = foldedText.size();
  }
  for (char& c : foldedText) c = text::foldAscii(c);
  for (size_t i = 0; i < votes.size(); ++i)
    folded[i] = std::string_view(foldedText).substr(start[i], start[i + 1] - start[i]);
  return folded;
}

// Most comparisons are settled by eight bytes taken after the prefix that every text shares
// (names such as "Elector Name 1..." share a long one); a shorter text pads with zeros, which
// sorts it before its continuations as the full comparison does.
std::vector<uint64_t> sortHeads(const std::vector<std::string_view>& folded) {
  size_t shared = 0;
  if (!folded.empty()) {
    shared = folded[0].size();
    for (std::string_view f : folded) {
      size_t n = 0;
      while (n < shared && n < f.size() && f[n] == folded[0][n]) ++n;
      shared = n;
    }
  }
  std::vector<uint64_t> head(folded.size(), 0);
  for (size_t i = 0; i < folded.size(); ++i) {
    for (size_t k = 0; k < 8; ++k) {
      uint8_t byte = shared + k < folded[i].size() ? uint8_t(folded[i][shared + k]) : 0;
      head[i] = head[i] << 8 | byte;
    }
  }
  return head;
}

// The records follow the order cycle by cycle in place: a second table of 20,000 records costs
// more in fresh memory than the sort itself.
void moveIntoOrder(std::vector<VoteRecord>& votes, std::vector<size_t>& order) {
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i] == i) continue;
    VoteRecord held = std::move(votes[i]);
    size_t j = i;
    while (order[j] != i) {
      size_t next = order[j];
      votes[j] = std::move(votes[next]);
      order[j] = j;
      j = next;
    }
    votes[j] = std::move(held);
    order[j] = j;
  }
}

}  // namespace

void orderVoteRecords(const SortKeys& keys) {
  std::vector<VoteRecord>& votes = election.votes;
  if (!keys.byPassword && !keys.byName && !keys.byAddress) return;
  std::string foldedText;
  std::vector<std::string_view> folded = foldSortTexts(votes, keys, foldedText);
  std::vector<uint64_t> head = sortHeads(folded);
  // Equal keys keep their positions, as a stable sort would keep them.
  auto before = [&](size_t a, size_t b) {
    if (keys.byPassword || keys.byName) {
      if (head[a] != head[b]) return head[a] < head[b];
      int byText = folded[a].compare(folded[b]);  // unsigned bytes, as compareIgnoringAsciiCase
      if (byText != 0) return byText < 0;
    }
    if (keys.byAddress && !keys.byPassword) {
      int byAddress = compareAddresses(votes[a].address, votes[b].address);
      if (byAddress != 0) return byAddress < 0;
    }
    return a < b;
  };
  std::vector<size_t> order(votes.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  // A table already in order (the usual case from the second list of a run on) is left as it is.
  if (std::is_sorted(order.begin(), order.end(), before)) return;
  std::sort(order.begin(), order.end(), before);
  moveIntoOrder(votes, order);
}

std::string formatCount(unsigned value) {
  if (election.countWidth == 0) return text::format("%u", value);
  return text::format("%*u", election.countWidth, value);
}

}  // namespace nuvrel
