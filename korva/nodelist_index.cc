#include "korva/nodelist_index.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/config_values.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/exit_codes.h"
#include "korva/message_reader.h"
#include "korva/settings.h"

namespace korva {

IndexState indexState;

namespace {

using index_format::Record;
using logging::appExit;
using logging::logPrint;

constexpr size_t kFirstLineCapacity = 80;  // the first line is read with room for 79 bytes
constexpr size_t kMaxCandidateKey = 255;

uint64_t addressKey(int16_t zone, int16_t net, int16_t node, int16_t point) {
  return uint64_t(uint16_t(zone)) << 48 | uint64_t(uint16_t(net)) << 32 | uint64_t(uint16_t(node)) << 16 |
         uint64_t(uint16_t(point));
}
uint64_t addressKey(const FtnAddress& a) { return addressKey(a.zone, a.net, a.node, a.point); }

std::string fileNamePart(const std::string& path) { return path.substr(platform::directoryPart(path).size()); }

// The text after the first comma as a decimal number (atoi).
int numberAfterComma(std::string_view line) {
  size_t comma = line.find(',');
  if (comma == std::string_view::npos) return 0;
  long value = 0;
  size_t pos = comma + 1;
  text::scanLong(line, pos, value);
  return int(value);
}

// The text between the given comma and the next one, or npos when the line has fewer commas.
bool fieldAfterComma(std::string_view line, int commaNumber, std::string_view& field) {
  size_t start = 0;
  for (int i = 0; i < commaNumber; ++i) {
    size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) return false;
    start = comma + 1;
  }
  size_t end = line.find(',', start);
  if (end == std::string_view::npos) return false;
  field = line.substr(start, end - start);
  return true;
}

int commaCount(std::string_view line) {
  int n = 0;
  for (char c : line) n += c == ',';
  return n;
}

// The file a configured nodelist or pointlist names now: the newest match of a wildcard ("" when
// nothing matches), else the path as written.
std::string chooseListFile(const std::string& configured) {
  if (!platform::namesWildcard(configured)) return configured;
  std::string chosen;
  return platform::newestMatchingFile(configured, chosen) ? chosen : std::string();
}

// Opens a configured source for the rest of the run and takes its name (cut to the header's
// field) and last-write stamp for the header; nothing when the path is not configured.  One that
// cannot be opened ends the run with `failure` and its name; a wildcard that matches nothing fails
// as a missing file does, naming the wildcard.
std::FILE* openSource(const std::string& configured, const std::string& path, const char* failure, std::string& name,
                      uint16_t& date, uint16_t& time) {
  if (configured.empty()) return nullptr;
  std::FILE* f = path.empty() ? nullptr : platform::openFile(path, "rb");
  if (f == nullptr) {
    logPrint("\n%s \"%s\".", failure, (path.empty() ? configured : path).c_str());
    appExit(kExitIndexFailed);
  }
  name = fileNamePart(path).substr(0, index_format::kMaxNameLength);
  uint32_t stamp = 0;
  platform::fileDosDateTime(path, stamp);
  date = uint16_t(stamp >> 16);
  time = uint16_t(stamp & 0xFFFF);
  return f;
}

void closeSources() {
  for (std::FILE** f : {&indexState.validList, &indexState.nodelist, &indexState.pointlist}) {
    if (*f != nullptr) std::fclose(*f);
    *f = nullptr;
  }
}

// Refuses a line whose start does not fit the record's 24-bit offset: its record would point at
// another line.
uint32_t recordOffset(long offset, const std::string& path) {
  if (offset < 0 || uint64_t(offset) > index_format::kMaxOffset) {
    logPrint("\n! File \"%s\" is too large to be indexed (a line starts at offset %lXh).", path.c_str(),
             static_cast<unsigned long>(offset));
    appExit(kExitIndexFailed);
  }
  return uint32_t(offset);
}

// Calls take(line, offset) for every line from the stream's position on.  Offsets are counted
// rather than asked of the stream: ftell costs a system call a line.
template <typename Take>
void forEachLine(std::FILE* f, Take take) {
  std::string line;
  for (long offset = std::ftell(f), next = offset; platform::readBinaryLine(f, line, config::kLineCapacity);
       offset = next) {
    next += long(line.size());
    take(line, offset);
  }
}

void indexValidList(std::vector<Record>& out) {
  std::fseek(indexState.validList, 0, SEEK_SET);
  forEachLine(indexState.validList, [&](const std::string& line, long offset) {
    FtnAddress a;
    if (!parseAddressText(line, a) || a.zone <= 0) return;
    out.push_back(
        {a.zone, a.net, a.node, a.point, recordOffset(offset, settings.validAddressList), index_format::kValidEntry});
  });
}

uint8_t nodelistKind(std::string_view line) {
  if (text::startsWithIgnoringAsciiCase(line, "Pvt,")) return index_format::kPvtNode;
  if (text::startsWithIgnoringAsciiCase(line, "Hold,")) return index_format::kHoldNode;
  if (text::startsWithIgnoringAsciiCase(line, "Down,")) return index_format::kDownNode;
  return index_format::kNode;
}

// Continues from where the first-line read stopped.
void indexNodelist(std::vector<Record>& out) {
  FtnAddress current;
  forEachLine(indexState.nodelist, [&](const std::string& line, long offset) {
    if (line[0] == ';' || line.find(',') == std::string::npos) return;
    int16_t number = int16_t(numberAfterComma(line));
    if (text::startsWithIgnoringAsciiCase(line, "Zone,")) {
      current = {number, 0, 0, 0};
    } else if (text::startsWithIgnoringAsciiCase(line, "Region,") || text::startsWithIgnoringAsciiCase(line, "Host,")) {
      current.net = number;
      current.node = 0;
    } else {
      current.node = number;
    }
    if (!maskMatches(settings.validAddress, current)) return;
    uint32_t at = recordOffset(offset, indexState.nodelistPath);
    out.push_back({current.zone, current.net, current.node, current.point, at, nodelistKind(line)});
  });
}

// "zone:net/node" after "Boss,": each number read replaces its part; reading stops at the first
// part that is not there, and the parts after it keep their values.
void readBossAddress(std::string_view text, FtnAddress& current) {
  int16_t* parts[3] = {&current.zone, &current.net, &current.node};
  const char separators[3] = {0, ':', '/'};
  size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    if (separators[i] != 0) {
      if (pos >= text.size() || text[pos] != separators[i]) return;
      ++pos;
    }
    long value = 0;
    if (!text::scanLong(text, pos, value)) return;
    *parts[i] = int16_t(value);
  }
}

void indexPointlist(std::vector<Record>& out) {
  FtnAddress current;
  forEachLine(indexState.pointlist, [&](const std::string& line, long offset) {
    if (line.compare(0, 5, "Boss,") == 0) {
      readBossAddress(std::string_view(line).substr(5), current);
    } else if (line.compare(0, 6, "Point,") == 0) {
      long point = 0;
      size_t pos = 6;
      text::scanLong(line, pos, point);
      current.point = int16_t(point);
      if (!maskMatches(settings.validAddress, current)) return;
      uint32_t at = recordOffset(offset, indexState.pointlistPath);
      out.push_back({current.zone, current.net, current.node, current.point, at, index_format::kPoint});
    }
  });
}

// One sorted key per record of a section; equal keys keep record order, so the first of them is
// the record a scan in file order would meet first.
void sortKeys(std::vector<IndexKey>& keys, size_t from, size_t to, bool nodeOnly) {
  const std::vector<Record>& r = indexState.records;
  keys.clear();
  keys.reserve(to - from);
  for (size_t i = from; i < to; ++i) {
    if (r[i].kind == 0) continue;  // never found by a lookup
    keys.push_back({addressKey(r[i].zone, r[i].net, r[i].node, nodeOnly ? int16_t{0} : r[i].point), uint32_t(i)});
  }
  std::stable_sort(keys.begin(), keys.end(), [](const IndexKey& a, const IndexKey& b) { return a.key < b.key; });
}

// The section bounds follow the kinds, as a scan of the records would: valid-list records from
// the start while their kind is 8, nodelist records from the header's offset while below 8,
// pointlist records from theirs while 16.
size_t sectionEnd(size_t from, bool (*inSection)(uint8_t)) {
  const std::vector<Record>& r = indexState.records;
  size_t i = std::min(from, r.size());
  while (i < r.size() && inSection(r[i].kind)) ++i;
  return i;
}

// Built on the first lookup, so a run that only rebuilds the index does not pay for them.
void prepareLookups() {
  IndexState& ix = indexState;
  if (ix.lookupsReady) return;
  size_t nodelistStart = (ix.header.firstNodelistRecord - index_format::kHeaderSize) / index_format::kRecordSize;
  size_t pointlistStart = (ix.header.firstPointlistRecord - index_format::kHeaderSize) / index_format::kRecordSize;
  sortKeys(ix.validKeys, 0, sectionEnd(0, [](uint8_t k) { return k == index_format::kValidEntry; }), false);
  sortKeys(ix.nodeKeys, nodelistStart,
           sectionEnd(nodelistStart, [](uint8_t k) { return k < index_format::kValidEntry; }), true);
  sortKeys(ix.pointKeys, pointlistStart,
           sectionEnd(pointlistStart, [](uint8_t k) { return k == index_format::kPoint; }), false);
  ix.lookupsReady = true;
}

// Record positions with the key, in record order.
std::pair<const IndexKey*, const IndexKey*> matching(const std::vector<IndexKey>& keys, uint64_t key) {
  auto range = std::equal_range(keys.begin(), keys.end(), IndexKey{key, 0},
                                [](const IndexKey& a, const IndexKey& b) { return a.key < b.key; });
  return {keys.data() + (range.first - keys.begin()), keys.data() + (range.second - keys.begin())};
}

// Reads the header and the candidates block of an existing index; true only for a whole header of
// this version whose offsets fit the file and whose block holds just the header's count of keys.
bool readIndexHead(std::FILE* f, std::vector<std::string>& storedCandidates) {
  char raw[index_format::kHeaderSize];
  if (std::fread(raw, 1, sizeof raw, f) != sizeof raw) return false;
  index_format::Header& h = indexState.header;
  h = index_format::decodeHeader(std::string_view(raw, sizeof raw));
  if (h.version != index_format::kCurrentVersion) return false;
  long size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
  if (size < 0 || !index_format::offsetsFitFile(h, uint64_t(size))) return false;
  std::string block(size_t(size) - h.candidatesBlock, '\0');
  if (std::fseek(f, long(h.candidatesBlock), SEEK_SET) != 0 ||
      std::fread(block.data(), 1, block.size(), f) != block.size()) {
    return false;
  }
  return index_format::decodeCandidates(block, h.candidateCount, storedCandidates);
}

size_t recordNumber(uint32_t offset) { return (offset - index_format::kHeaderSize) / index_format::kRecordSize; }

// The writer puts every record in the section of its source, so the header's section offsets fall
// where the kinds change; offsets anywhere else would hide records from the lookups.
bool recordsFitSections() {
  const IndexState& ix = indexState;
  size_t nodelistStart = recordNumber(ix.header.firstNodelistRecord);
  size_t pointlistStart = recordNumber(ix.header.firstPointlistRecord);
  for (size_t i = 0; i < ix.records.size(); ++i) {
    uint8_t kind = ix.records[i].kind;
    bool fits = i < nodelistStart    ? kind == index_format::kValidEntry
                : i < pointlistStart ? kind < index_format::kValidEntry
                                     : kind == index_format::kPoint;
    if (!fits) return false;
  }
  return true;
}

// Loads the records; false when they cannot all be read or do not fit the header's sections.
bool readIndexRecords(std::FILE* f) {
  const index_format::Header& h = indexState.header;
  std::vector<uint8_t> bytes(h.candidatesBlock - index_format::kHeaderSize);
  if (std::fseek(f, long(index_format::kHeaderSize), SEEK_SET) != 0 ||
      std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    return false;
  }
  std::vector<Record>& records = indexState.records;
  records.resize(bytes.size() / index_format::kRecordSize);
  for (size_t i = 0; i < records.size(); ++i) {
    records[i] = index_format::decodeRecord(bytes.data() + i * index_format::kRecordSize);
  }
  return recordsFitSections();
}

bool isStale(const index_format::Header& current) {
  const index_format::Header& h = indexState.header;
  return app.indexRebuildRequest || h.pointlistDate != current.pointlistDate ||
         h.pointlistTime != current.pointlistTime || h.nodelistDate != current.nodelistDate ||
         h.nodelistTime != current.nodelistTime || h.validListDate != current.validListDate ||
         h.validListTime != current.validListTime || h.configDate != current.configDate ||
         h.configTime != current.configTime || !text::equalIgnoringAsciiCase(h.nodelistName, current.nodelistName) ||
         !text::equalIgnoringAsciiCase(h.validListName, current.validListName) ||
         // A pointlist renamed in place is the same list; another file newest under a wildcard is
         // a new one, even with the same stamp.
         (platform::namesWildcard(settings.pointlist) &&
          !text::equalIgnoringAsciiCase(h.pointlistName, current.pointlistName));
}

// After the voting period began, candidates may only be appended to those the index was built
// with.  Returns true when the index must be rebuilt; ends the run (exit 19) when candidates were
// changed without the Index command.
bool checkCandidates(const std::vector<std::string>& stored) {
  const std::vector<CandidateLine>& list = election.candidates;
  bool failed = list.size() < stored.size();
  for (size_t i = 0; !failed && i < stored.size(); ++i) {
    if (!text::equalIgnoringAsciiCase(stored[i], text::nameKey(list[i].name, kMaxCandidateKey))) {
      logPrint("\n! Unexpected candidate \"%s\" in candidates file.", list[i].name.c_str());
      failed = true;
    }
  }
  bool rebuild = false;
  if (list.size() != stored.size()) {
    logPrint("\n! Candidates file was changed!");
    rebuild = true;
  }
  if (failed) {
    logPrint("\n! CHECK RESULTS OF ELECTION! (see documentation)");
    if (!app.indexRebuildRequest) {
      logPrint("\n  To reindex run: \">%s.exe Index\"", kProgramName);
      appExit(kExitCandidatesChanged);
    }
    rebuild = true;
  }
  return rebuild;
}

void rebuild(const index_format::Header& current) {
  logPrint("\n- Candidates/Nodelist/valid list reindex.");
  IndexState& ix = indexState;
  ix.header = current;
  ix.header.version = index_format::kCurrentVersion;
  ix.records.clear();
  if (ix.validList != nullptr) indexValidList(ix.records);
  ix.header.firstNodelistRecord = uint32_t(index_format::kHeaderSize + ix.records.size() * index_format::kRecordSize);
  if (ix.nodelist != nullptr) indexNodelist(ix.records);
  ix.header.firstPointlistRecord = uint32_t(index_format::kHeaderSize + ix.records.size() * index_format::kRecordSize);
  if (ix.pointlist != nullptr) indexPointlist(ix.records);
  ix.header.candidatesBlock = uint32_t(index_format::kHeaderSize + ix.records.size() * index_format::kRecordSize);
  ix.header.candidateCount = int32_t(election.candidates.size());

  std::string bytes = index_format::encodeHeader(ix.header);
  size_t at = bytes.size();
  bytes.resize(at + ix.records.size() * index_format::kRecordSize);
  for (const Record& r : ix.records) {
    index_format::encodeRecord(r, reinterpret_cast<uint8_t*>(bytes.data() + at));
    at += index_format::kRecordSize;
  }
  std::vector<std::string> keys;
  for (const CandidateLine& c : election.candidates) keys.push_back(text::nameKey(c.name, kMaxCandidateKey));
  bytes += index_format::encodeCandidates(keys);
  // Built whole in memory and renamed into place: a run that dies here leaves the old index.
  if (!platform::writeFileAtomically(ix.path, bytes)) {
    logPrint("\n! Can't create index \"%s\".", ix.path.c_str());
    appExit(kExitIndexFailed);
  }
}

std::string readFirstLine(std::FILE* f) {
  std::string line;
  platform::readBinaryLine(f, line, kFirstLineCapacity);
  return line;
}

}  // namespace

void openIndex() {
  IndexState& ix = indexState;
  closeSources();
  ix.open = false;
  ix.path = platform::replaceExtension(app.configPath, "kix");

  index_format::Header current;
  current.version = index_format::kCurrentVersion;
  ix.nodelistPath = chooseListFile(settings.nodelist);
  ix.nodelist = openSource(settings.nodelist, ix.nodelistPath, "! Can't open nodelist", current.nodelistName,
                           current.nodelistDate, current.nodelistTime);
  ix.nodelistFirstLine = ix.nodelist != nullptr ? readFirstLine(ix.nodelist) : "";
  ix.nodelistFileName = ix.nodelist != nullptr ? fileNamePart(ix.nodelistPath) : "";
  ix.validList = openSource(settings.validAddressList, settings.validAddressList, "! Can't open valid addresses list",
                            current.validListName, current.validListDate, current.validListTime);
  ix.pointlistPath = chooseListFile(settings.pointlist);
  ix.pointlist = openSource(settings.pointlist, ix.pointlistPath, "! Can't open pointlist", current.pointlistName,
                            current.pointlistDate, current.pointlistTime);
  ix.pointlistFirstLine = ix.pointlist != nullptr ? readFirstLine(ix.pointlist) : "";
  ix.pointlistFileName = ix.pointlist != nullptr ? fileNamePart(ix.pointlistPath) : "";
  current.configDate = settings.configDate;
  current.configTime = settings.configTime;

  ix.header = index_format::Header{};
  ix.records.clear();
  ix.lookupsReady = false;
  std::vector<std::string> storedCandidates;
  std::FILE* existing = platform::openFile(ix.path, "rb");
  // An index that is not whole, or of another version, is rebuilt and nothing of it trusted, its
  // candidates included.
  bool whole = existing != nullptr && readIndexHead(existing, storedCandidates) && readIndexRecords(existing);
  if (existing != nullptr) std::fclose(existing);
  bool needRebuild = !whole || isStale(current);
  // Compared even when the index is stale for another reason: a newer nodelist must not let a
  // changed candidate through.
  if (whole && app.startTime >= settings.periodStart && checkCandidates(storedCandidates)) needRebuild = true;
  if (needRebuild) rebuild(current);
  ix.open = true;
  app.indexRebuildRequest = false;
}

bool sysopName(std::string_view line, std::string& name) {
  std::string_view field;
  if (!fieldAfterComma(line, 4, field)) return false;
  name.assign(field);
  for (char& c : name) {
    if (c == '_') c = ' ';
  }
  return true;
}

std::string validListEntry(std::string_view line) {
  std::string entry(line.substr(0, line.find_first_of("\r\n", 1)));
  for (size_t i = 1; i < entry.size(); ++i) {
    if (entry[i] == '\t') entry[i] = ' ';
  }
  return entry;
}

std::string readIndexedLine(std::FILE* source, uint32_t offset, const char* listName) {
  if (std::fseek(source, long(offset), SEEK_SET) != 0) {
    logPrint("\n! %s seek error (offset=%lXh).", listName, static_cast<unsigned long>(offset));
    appExit(kExitBadListRecord);
  }
  std::string line;
  if (!platform::readBinaryLine(source, line, config::kLineCapacity)) {
    logPrint("\n! %s read error (offset=%lXh).", listName, static_cast<unsigned long>(offset));
    appExit(kExitBadListRecord);
  }
  return line;
}

AddressListing findValidAddress(const FtnAddress& address) {
  if (!indexState.open || indexState.validList == nullptr) return AddressListing::kNoList;
  prepareLookups();
  auto [first, last] = matching(indexState.validKeys, addressKey(address));
  return first != last ? AddressListing::kListed : AddressListing::kNotListed;
}

SenderListing findValidAddress(const InboundMessage& msg) {
  IndexState& ix = indexState;
  if (!ix.open || ix.validList == nullptr) return SenderListing::kNoList;
  prepareLookups();
  auto [first, last] = matching(ix.validKeys, addressKey(msg.orig));
  SenderListing result = SenderListing::kAddressNotListed;
  for (const IndexKey* k = first; k != last; ++k) {
    uint32_t offset = ix.records[k->position].offset;
    std::string line = readIndexedLine(ix.validList, offset, "ValidAddressList");
    if (result == SenderListing::kAddressNotListed) result = SenderListing::kEmailDiffers;
    // The fields are read from the line's second character on.
    std::string entry = validListEntry(line);
    entry.erase(0, 1);
    std::string_view rest = entry;
    size_t start = rest.find_first_not_of(' ');
    rest = start == std::string_view::npos ? std::string_view() : rest.substr(start);
    size_t space = rest.find(' ');
    // An address alone admits every sender from it.
    if (space == std::string_view::npos) return SenderListing::kAccepted;
    rest = rest.substr(space);
    rest = rest.substr(std::min(rest.find_first_not_of(' '), rest.size()));
    std::string_view namePart = rest;
    if (!rest.empty() && rest[0] == '<') {
      size_t close = rest.find('>');
      if (close == std::string_view::npos) {
        logPrint("\n! Invalid REPLYADDR value in ValidAddressList (offset=%lXh):", static_cast<unsigned long>(offset));
        logPrint("\n! \"%s\"", entry.c_str());
        appExit(kExitBadListRecord);
      }
      if (!text::equalIgnoringAsciiCase(rest.substr(0, close + 1), senderEmail(msg))) continue;
      result = SenderListing::kAccepted;
      namePart = rest.substr(close + 1);
      namePart = namePart.substr(std::min(namePart.find_first_not_of(' '), namePart.size()));
    }
    if (namePart.empty()) return SenderListing::kAccepted;
    std::string listed(namePart), sender = msg.fromName;
    text::upcaseCp866(text::normalizeName(listed));
    text::upcaseCp866(text::normalizeName(sender));
    if (listed == sender) return SenderListing::kAccepted;
    result = SenderListing::kNameDiffers;
  }
  return result;
}

NodeStatus nodeStatus(uint8_t recordKind) {
  switch (recordKind) {
    case index_format::kPvtNode:
      return NodeStatus::kPvt;
    case index_format::kHoldNode:
      return NodeStatus::kHold;
    case index_format::kDownNode:
      return NodeStatus::kDown;
    default:
      return NodeStatus::kListed;
  }
}

NodelistEntry findNodelistEntry(const FtnAddress& address) {
  IndexState& ix = indexState;
  if (!ix.open || ix.nodelist == nullptr) return {NodeStatus::kNoNodelist, ""};
  prepareLookups();
  auto [first, last] = matching(ix.nodeKeys, addressKey(address.zone, address.net, address.node, 0));
  if (first == last) return {NodeStatus::kNotListed, ""};
  const Record& r = ix.records[first->position];
  std::string line = readIndexedLine(ix.nodelist, r.offset, "Nodelist");
  int16_t expected = r.node;
  if (text::startsWithIgnoringAsciiCase(line, "Zone,")) {
    expected = r.zone;
  } else if (text::startsWithIgnoringAsciiCase(line, "Region,") || text::startsWithIgnoringAsciiCase(line, "Host,")) {
    expected = r.net;
  }
  if (commaCount(line) < 5 || int16_t(numberAfterComma(line)) != expected) {
    logPrint("\n! Invalid nodelist record (offset=%lXh).", static_cast<unsigned long>(r.offset));
    appExit(kExitBadListRecord);
  }
  NodelistEntry entry{nodeStatus(r.kind), ""};
  sysopName(line, entry.sysopName);
  return entry;
}

PointlistEntry findPointlistEntry(const InboundMessage& msg) {
  IndexState& ix = indexState;
  if (!ix.open || ix.pointlist == nullptr) return {PointStatus::kNoPointlist, ""};
  if (msg.orig.point == 0) return {PointStatus::kNotPoint, ""};
  prepareLookups();
  auto [first, last] = matching(ix.pointKeys, addressKey(msg.orig));
  if (first == last) return {PointStatus::kNotListed, ""};
  const Record& r = ix.records[first->position];
  std::string line = readIndexedLine(ix.pointlist, r.offset, "Pointlist");
  if (commaCount(line) < 5 || int16_t(numberAfterComma(line)) != msg.orig.point) {
    logPrint("\n! Invalid pointlist record (offset=%lXh).", static_cast<unsigned long>(r.offset));
    appExit(kExitBadListRecord);
  }
  PointlistEntry entry{PointStatus::kListed, ""};
  sysopName(line, entry.sysopName);
  return entry;
}

}  // namespace korva
