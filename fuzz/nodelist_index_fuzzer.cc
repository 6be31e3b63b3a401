// The nodelist, the pointlist and the valid addresses list as edited by hand or damaged: indexed,
// the index damaged and opened again, and every listed address looked up.  Input: one byte of
// flags, then parts separated by "====" lines: valid list, nodelist, pointlist, changes to the index
// header, and the records part of the index file (replacing what the first indexing wrote).
//
// Flags: bit 0, the voting period has begun (the candidates are checked); bits 1-2, how the
// candidates list changes before the second opening (none, one appended, the last renamed, the
// last dropped); bit 3, the electors' mask is 2:5020/*.* instead of every address.
//
// Header changes come in five bytes each: which (the low seven bits pick a numeric field, the file's
// length or a raw header byte) and a little-endian 32-bit value that replaces the field or, with
// the high bit of the first byte set, is added to it (in records for the record offsets).
//
// The second opening may end the run only with the election warning, for a whole index built with
// candidates the list no longer starts with.  Otherwise the open index is the file on disk, whole;
// once voting began, built with the list's candidates; and holding the same records as the first
// opening, it answers every lookup alike.  Lookups may still end the run on a damaged record.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/index_format.h"
#include "common/text.h"
#include "fuzz/fuzz_support.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/message_reader.h"
#include "korva/nodelist_index.h"
#include "korva/settings.h"

namespace {

using index_format::Header;
using index_format::Record;

const char kIndexPath[] = "korva.kix";

// Every answer of the lookups, with the names they found.
std::vector<std::string> lookUpListed() {
  using namespace korva;
  std::vector<FtnAddress> addresses = {{2, 5020, 1, 0}, {2, 5020, 1, 1}, {0, 0, 0, 0}, {-1, -1, -1, -1}};
  for (size_t i = 0; i < indexState.records.size() && i < 64; ++i) {
    const Record& r = indexState.records[i];
    addresses.push_back({r.zone, r.net, r.node, r.point});
  }
  std::vector<std::string> answers;
  for (const FtnAddress& a : addresses) {
    InboundMessage msg;
    msg.orig = a;
    msg.fromName = "Ivan Petrov";
    msg.replyAddr = "ivan@example.org";
    answers.push_back(std::to_string(int(findValidAddress(a))));
    answers.push_back(std::to_string(int(findValidAddress(msg))));
    NodelistEntry node = findNodelistEntry(a);
    answers.push_back(std::to_string(int(node.status)) + node.sysopName);
    PointlistEntry point = findPointlistEntry(msg);
    answers.push_back(std::to_string(int(point.status)) + point.sysopName);
  }
  return answers;
}

std::string fileBytes(const char* path) {
  std::string bytes;
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return bytes;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, got);
  std::fclose(f);
  return bytes;
}

// ---- Damage ------------------------------------------------------------------------------------

// The numeric header fields: where each stands, its width, and the unit of a relative change.
struct NumericField {
  size_t offset, width;
  uint32_t unit;
};
constexpr NumericField kNumericFields[] = {
    {index_format::kVersion, 2, 1},
    {index_format::kValidListDate, 2, 1},
    {index_format::kValidListTime, 2, 1},
    {index_format::kNodelistDate, 2, 1},
    {index_format::kNodelistTime, 2, 1},
    {index_format::kPointlistDate, 2, 1},
    {index_format::kPointlistTime, 2, 1},
    {index_format::kConfigDate, 2, 1},
    {index_format::kConfigTime, 2, 1},
    {index_format::kFirstNodelistRecord, 4, index_format::kRecordSize},
    {index_format::kFirstPointlistRecord, 4, index_format::kRecordSize},
    {index_format::kCandidatesBlock, 4, index_format::kRecordSize},
    {index_format::kCandidateCount, 4, 1},
};
constexpr size_t kNumericCount = sizeof kNumericFields / sizeof kNumericFields[0];
constexpr size_t kFileLength = kNumericCount, kHeaderByte = kNumericCount + 1, kTargets = kNumericCount + 2;

void changeHeader(std::string& bytes, uint8_t which, uint32_t value) {
  bool relative = which & 0x80;
  size_t target = (which & 0x7F) % kTargets;
  if (target == kFileLength) {
    int64_t length = relative ? int64_t(bytes.size()) + int16_t(value) : int64_t(value % (bytes.size() + 256));
    if (length >= 0) bytes.resize(size_t(length));
    return;
  }
  if (bytes.size() < index_format::kHeaderSize) return;
  if (target == kHeaderByte) {
    bytes[value % index_format::kHeaderSize] = char(value >> 8);
    return;
  }
  const NumericField& f = kNumericFields[target];
  uint32_t old = 0;
  for (size_t i = 0; i < f.width; ++i) old |= uint32_t(uint8_t(bytes[f.offset + i])) << (8 * i);
  uint32_t now = relative ? old + value * f.unit : value;
  for (size_t i = 0; i < f.width; ++i) bytes[f.offset + i] = char(now >> (8 * i));
}

uint32_t get32(const char* p) {
  const auto* u = reinterpret_cast<const uint8_t*>(p);
  return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

// Rewrites the index with its records part replaced and its header changed; returns what it wrote.
std::string damageIndex(std::string_view records, std::string_view headerChanges) {
  std::string bytes = fileBytes(kIndexPath);
  if (bytes.size() > index_format::kHeaderSize) {
    std::string_view fits = records.substr(0, bytes.size() - index_format::kHeaderSize);
    bytes.replace(index_format::kHeaderSize, fits.size(), fits);
    bytes.append(records.substr(fits.size()));
  }
  for (size_t at = 0; at + 5 <= headerChanges.size(); at += 5) {
    changeHeader(bytes, uint8_t(headerChanges[at]), get32(headerChanges.data() + at + 1));
  }
  fuzz::writeFile(kIndexPath, bytes);
  return bytes;
}

void changeCandidates(int how) {
  std::vector<CandidateLine>& list = korva::election.candidates;
  if (how == 1) korva::addCandidate("Third Candidate", 0);
  if (how == 2) list.back().name = "Someone Else";
  if (how == 3) list.pop_back();
}

// ---- An index read independently of the program ------------------------------------------------

struct IndexFile {
  Header header;
  std::vector<Record> records;
  std::vector<std::string> candidates;
};

size_t recordNumber(uint32_t offset) { return (offset - index_format::kHeaderSize) / index_format::kRecordSize; }

// Whole: a header of this version; section offsets on record boundaries, in order, inside the file;
// every record's kind that of its section; and a block of exactly the header's count of keys.
bool readIndexFile(const std::string& bytes, IndexFile& out) {
  if (bytes.size() < index_format::kHeaderSize) return false;
  Header& h = out.header;
  h = index_format::decodeHeader(bytes);
  for (uint32_t offset : {h.firstNodelistRecord, h.firstPointlistRecord, h.candidatesBlock}) {
    if (offset < index_format::kHeaderSize || (offset - index_format::kHeaderSize) % index_format::kRecordSize != 0) {
      return false;
    }
  }
  if (h.version != index_format::kCurrentVersion || h.firstNodelistRecord > h.firstPointlistRecord ||
      h.firstPointlistRecord > h.candidatesBlock || h.candidatesBlock > bytes.size() || h.candidateCount < 0) {
    return false;
  }
  for (size_t i = 0; i < recordNumber(h.candidatesBlock); ++i) {
    Record r = index_format::decodeRecord(reinterpret_cast<const uint8_t*>(bytes.data()) + index_format::kHeaderSize +
                                          i * index_format::kRecordSize);
    bool inSection = i < recordNumber(h.firstNodelistRecord)    ? r.kind == index_format::kValidEntry
                     : i < recordNumber(h.firstPointlistRecord) ? r.kind < index_format::kValidEntry
                                                                : r.kind == index_format::kPoint;
    if (!inSection) return false;
    out.records.push_back(r);
  }
  std::string_view block = std::string_view(bytes).substr(h.candidatesBlock);
  for (size_t pos = 0; pos < block.size();) {
    size_t end = block.find('\0', pos);
    if (end == std::string_view::npos) return false;
    out.candidates.emplace_back(block.substr(pos, end - pos));
    pos = end + 1;
  }
  return out.candidates.size() == size_t(h.candidateCount);
}

bool sameRecord(const Record& a, const Record& b) {
  return a.zone == b.zone && a.net == b.net && a.node == b.node && a.point == b.point && a.offset == b.offset &&
         a.kind == b.kind;
}

// The same records in the same sections: every lookup must answer alike.
bool sameRecords(const IndexFile& a, const IndexFile& b) {
  if (a.records.size() != b.records.size() || a.header.firstNodelistRecord != b.header.firstNodelistRecord ||
      a.header.firstPointlistRecord != b.header.firstPointlistRecord) {
    return false;
  }
  for (size_t i = 0; i < a.records.size(); ++i) {
    if (!sameRecord(a.records[i], b.records[i])) return false;
  }
  return true;
}

std::string candidateKey(const std::string& name) {
  std::string key = name.substr(0, 255);
  return text::normalizeName(key);
}

// -1 when the list does not start with the stored candidates (the election warning); else 0 when
// it holds just them, 1 when it holds more.
int compareWithList(const std::vector<std::string>& stored) {
  const std::vector<CandidateLine>& list = korva::election.candidates;
  if (stored.size() > list.size()) return -1;
  for (size_t i = 0; i < stored.size(); ++i) {
    if (!text::equalIgnoringAsciiCase(stored[i], candidateKey(list[i].name))) return -1;
  }
  return stored.size() == list.size() ? 0 : 1;
}

// What an open index must be, kept or rebuilt: the file on disk, whole, and once voting began built
// with the list's candidates.
IndexFile checkOpenIndex(bool votingBegan) {
  const korva::IndexState& ix = korva::indexState;
  IndexFile file;
  if (!ix.open || !readIndexFile(fileBytes(kIndexPath), file)) __builtin_trap();
  const Header& h = file.header;
  if (h.firstNodelistRecord != ix.header.firstNodelistRecord ||
      h.firstPointlistRecord != ix.header.firstPointlistRecord || h.candidatesBlock != ix.header.candidatesBlock ||
      h.candidateCount != ix.header.candidateCount || file.records.size() != ix.records.size()) {
    __builtin_trap();
  }
  for (size_t i = 0; i < file.records.size(); ++i) {
    if (!sameRecord(file.records[i], ix.records[i])) __builtin_trap();
  }
  if (votingBegan && compareWithList(file.candidates) != 0) __builtin_trap();
  return file;
}

// ---- The run -------------------------------------------------------------------------------------

void indexAndLookUp(uint8_t flags, std::string_view headerChanges, std::string_view damagedRecords) {
  using namespace korva;
  bool votingBegan = flags & 1;
  int candidatesChange = (flags >> 1) & 3;
  settings = Settings{};
  settings.ownAddress = FtnAddress{2, 5020, 1, 0};
  settings.validAddressList = "valid.lst";
  settings.nodelist = "nodelist.123";
  settings.pointlist = "pointlist.123";
  settings.periodStart = votingBegan ? 0 : 2000000000;
  for (bool& w : settings.validAddress.wildcard) w = true;
  if (flags & 8) {
    settings.validAddress.part[0] = 2;
    settings.validAddress.part[1] = 5020;
    settings.validAddress.wildcard[0] = settings.validAddress.wildcard[1] = false;
  }
  app = AppState{};
  app.configPath = "korva.cfg";
  app.startTime = 1000000000;
  election = ElectionState{};
  addCandidate("Ivan Petrov", 0);
  addCandidate("Anna Sidorova", 0);
  openIndex();
  IndexFile first = checkOpenIndex(votingBegan);
  std::vector<std::string> firstAnswers = lookUpListed();
  if (damagedRecords.empty() && headerChanges.size() < 5 && candidatesChange == 0) return;

  std::string damaged = damageIndex(damagedRecords, headerChanges);
  changeCandidates(candidatesChange);
  try {
    openIndex();
  } catch (const fuzz::ProgramEnded&) {
    IndexFile file;
    if (!votingBegan || !readIndexFile(damaged, file) || compareWithList(file.candidates) >= 0) __builtin_trap();
    throw;
  }
  IndexFile second = checkOpenIndex(votingBegan);
  std::vector<std::string> secondAnswers = lookUpListed();
  if (sameRecords(first, second) && secondAnswers != firstAnswers) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  auto parts = fuzz::splitParts(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), 5);
  fuzz::clearWorkDirectory({});
  fuzz::writeFile("valid.lst", parts[0]);
  fuzz::writeFile("nodelist.123", parts[1]);
  fuzz::writeFile("pointlist.123", parts[2]);
  {
    fuzz::Run run;
    try {
      indexAndLookUp(data[0], parts[3], parts[4]);
    } catch (const fuzz::ProgramEnded&) {
    }
  }
  korva::indexState.validList = korva::indexState.nodelist = korva::indexState.pointlist = nullptr;
  korva::indexState.open = false;
  return 0;
}
