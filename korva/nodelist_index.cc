#include "korva/nodelist_index.h"

#include <cstdlib>
#include <cstring>

#include "common/config_values.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "korva/app.h"
#include "korva/election_files.h"
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

std::string fileNamePart(const std::string& path) {
  return path.substr(platform::directoryPart(path).size());
}

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

// One source file as the index sees it.
struct Source {
  std::string path, name;
  uint16_t date = 0, time = 0;
};

Source describe(const std::string& path) {
  Source s;
  if (path.empty()) return s;
  s.path = path;
  s.name = fileNamePart(path).substr(0, index_format::kMaxNameLength);
  uint32_t stamp = 0;
  platform::fileDosDateTime(path, stamp);
  s.date = uint16_t(stamp >> 16);
  s.time = uint16_t(stamp & 0xFFFF);
  return s;
}

std::FILE* openSource(const std::string& path, const char* failure) {
  if (path.empty()) return nullptr;
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) {
    logPrint(failure, path.c_str());
    appExit(11);
  }
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
    appExit(11);
  }
  return uint32_t(offset);
}

void indexValidList(std::vector<Record>& out) {
  std::FILE* f = indexState.validList;
  std::fseek(f, 0, SEEK_SET);
  std::string line;
  // Offsets are counted rather than asked of the stream: ftell costs a system call a line.
  for (long offset = std::ftell(f), next = offset; platform::readBinaryLine(f, line, config::kLineCapacity);
       offset = next) {
    next += long(line.size());
    FtnAddress a;
    if (!parseAddressText(line, a) || a.zone <= 0) continue;
    out.push_back({a.zone, a.net, a.node, a.point, recordOffset(offset, settings.validAddressList),
                   index_format::kValidEntry});
  }
}

uint8_t nodelistKind(std::string_view line) {
  if (text::startsWithIgnoringAsciiCase(line, "Pvt,")) return index_format::kPvtNode;
  if (text::startsWithIgnoringAsciiCase(line, "Hold,")) return index_format::kHoldNode;
  if (text::startsWithIgnoringAsciiCase(line, "Down,")) return index_format::kDownNode;
  return index_format::kNode;
}

// Continues from where the first-line read stopped.
void indexNodelist(std::vector<Record>& out) {
  std::FILE* f = indexState.nodelist;
  FtnAddress current;
  std::string line;
  // Offsets are counted rather than asked of the stream: ftell costs a system call a line.
  for (long offset = std::ftell(f), next = offset; platform::readBinaryLine(f, line, config::kLineCapacity);
       offset = next) {
    next += long(line.size());
    if (line[0] == ';' || line.find(',') == std::string::npos) continue;
    int16_t number = int16_t(numberAfterComma(line));
    if (text::startsWithIgnoringAsciiCase(line, "Zone,")) {
      current = {number, 0, 0, 0};
    } else if (text::startsWithIgnoringAsciiCase(line, "Region,") || text::startsWithIgnoringAsciiCase(line, "Host,")) {
      current.net = number;
      current.node = 0;
    } else {
      current.node = number;
    }
    if (!maskMatches(settings.validAddress, current)) continue;
    out.push_back({current.zone, current.net, current.node, current.point, recordOffset(offset, settings.nodelist),
                   nodelistKind(line)});
  }
}

void indexPointlist(std::vector<Record>& out) {
  std::FILE* f = indexState.pointlist;
  FtnAddress current;
  std::string line;
  // Offsets are counted rather than asked of the stream: ftell costs a system call a line.
  for (long offset = std::ftell(f), next = offset; platform::readBinaryLine(f, line, config::kLineCapacity);
       offset = next) {
    next += long(line.size());
    if (line.compare(0, 5, "Boss,") == 0) {
      std::sscanf(line.c_str() + 5, "%hd:%hd/%hd", &current.zone, &current.net, &current.node);
    } else if (line.compare(0, 6, "Point,") == 0) {
      current.point = int16_t(std::atoi(line.c_str() + 6));
      if (!maskMatches(settings.validAddress, current)) continue;
      out.push_back({current.zone, current.net, current.node, current.point, recordOffset(offset, settings.pointlist),
                     index_format::kPoint});
    }
  }
}

std::string candidateKey(const std::string& name) {
  std::string key = name.substr(0, kMaxCandidateKey);
  return text::normalizeName(key);
}

// Section starts and the first-match maps over indexState.records.
void buildLookups() {
  IndexState& ix = indexState;
  ix.validByAddress.clear();
  ix.nodeByNode.clear();
  ix.pointByAddress.clear();
  const std::vector<Record>& r = ix.records;
  ix.nodeByNode.reserve(r.size());
  ix.nodelistStart = (ix.header.firstNodelistRecord - index_format::kHeaderSize) / index_format::kRecordSize;
  ix.pointlistStart = (ix.header.firstPointlistRecord - index_format::kHeaderSize) / index_format::kRecordSize;
  for (size_t i = 0; i < r.size() && r[i].kind == index_format::kValidEntry; ++i) {
    ix.validByAddress[addressKey(r[i].zone, r[i].net, r[i].node, r[i].point)].push_back(uint32_t(i));
  }
  for (size_t i = ix.nodelistStart; i < r.size() && r[i].kind < index_format::kValidEntry; ++i) {
    if (r[i].kind != 0) ix.nodeByNode.try_emplace(addressKey(r[i].zone, r[i].net, r[i].node, 0), uint32_t(i));
  }
  for (size_t i = ix.pointlistStart; i < r.size() && r[i].kind == index_format::kPoint; ++i) {
    ix.pointByAddress.try_emplace(addressKey(r[i].zone, r[i].net, r[i].node, r[i].point), uint32_t(i));
  }
}

// The index file as read: header, records and candidates block; false when it is not usable.
bool loadIndexFile(std::string& candidatesBlock) {
  std::FILE* f = platform::openFile(indexState.path, "rb");
  if (f == nullptr) return false;
  std::string bytes;
  char buffer[65536];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, got);
  std::fclose(f);
  index_format::Header& h = indexState.header;
  h = index_format::decodeHeader(bytes);
  if (h.version != index_format::kCurrentVersion) return true;  // stale: the version test rebuilds it
  auto inRecords = [&](uint32_t offset) {
    return offset >= index_format::kHeaderSize && offset <= h.candidatesBlock &&
           (offset - index_format::kHeaderSize) % index_format::kRecordSize == 0;
  };
  if (h.candidatesBlock > bytes.size() || !inRecords(h.candidatesBlock) || !inRecords(h.firstNodelistRecord) ||
      !inRecords(h.firstPointlistRecord)) {
    h.version = 0;  // damaged: rebuild
    return true;
  }
  indexState.records.clear();
  for (size_t at = index_format::kHeaderSize; at < h.candidatesBlock; at += index_format::kRecordSize) {
    indexState.records.push_back(index_format::decodeRecord(reinterpret_cast<const uint8_t*>(bytes.data() + at)));
  }
  candidatesBlock = bytes.substr(h.candidatesBlock);
  return true;
}

bool isStale(const index_format::Header& current) {
  const index_format::Header& h = indexState.header;
  return h.version != index_format::kCurrentVersion || app.indexRebuildRequest ||
         h.pointlistDate != current.pointlistDate || h.pointlistTime != current.pointlistTime ||
         h.nodelistDate != current.nodelistDate || h.nodelistTime != current.nodelistTime ||
         h.validListDate != current.validListDate || h.validListTime != current.validListTime ||
         h.configDate != current.configDate || h.configTime != current.configTime ||
         !text::equalIgnoringAsciiCase(h.nodelistName, current.nodelistName) ||
         !text::equalIgnoringAsciiCase(h.validListName, current.validListName);
}

// After the voting period began, candidates may only be appended.  Returns true when the index
// must be rebuilt; ends the run (exit 19) when candidates were changed without the Index command.
bool checkCandidates(std::string_view block) {
  const index_format::Header& h = indexState.header;
  const std::vector<CandidateLine>& list = election.candidates;
  bool failed = list.size() < size_t(h.candidateCount < 0 ? 0 : h.candidateCount);
  size_t pos = 0;
  for (size_t i = 0; !failed && i < size_t(h.candidateCount); ++i) {
    std::string key = candidateKey(list[i].name);
    std::string stored(block.substr(std::min(pos, block.size()), key.size() + 1));
    pos += key.size() + 1;
    if (!text::equalIgnoringAsciiCase(stored, key + '\0')) {
      logPrint("\n! Unexpected candidate \"%s\" in candidates file.", list[i].name.c_str());
      failed = true;
    }
  }
  bool rebuild = false;
  if (int64_t(list.size()) != h.candidateCount) {
    logPrint("\n! Candidates file was changed!");
    rebuild = true;
  }
  if (failed) {
    logPrint("\n! CHECK RESULTS OF ELECTION! (see documentation)");
    if (!app.indexRebuildRequest) {
      logPrint("\n  To reindex run: \">%s.exe Index\"", kProgramName);
      appExit(19);
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
  for (const CandidateLine& c : election.candidates) bytes += candidateKey(c.name) + '\0';
  // Built whole in memory and renamed into place: a run that dies here leaves the old index.
  if (!platform::writeFileAtomically(ix.path, bytes)) {
    logPrint("\n! Can't create index \"%s\".", ix.path.c_str());
    appExit(11);
  }
}

std::string readFirstLine(std::FILE* f) {
  std::string line;
  platform::readBinaryLine(f, line, kFirstLineCapacity);
  return line;
}

// The sysop or point name: the fifth field, with "_" for blanks.
std::string listedName(std::string_view line) {
  std::string_view field;
  fieldAfterComma(line, 4, field);
  std::string name(field);
  for (char& c : name) {
    if (c == '_') c = ' ';
  }
  return name;
}

}  // namespace

void openIndex() {
  IndexState& ix = indexState;
  closeSources();
  ix.open = false;
  ix.path = platform::replaceExtension(app.configPath, "kix");

  index_format::Header current;
  current.version = index_format::kCurrentVersion;
  ix.nodelist = openSource(settings.nodelist, "\n! Can't open nodelist \"%s\".");
  ix.nodelistFirstLine.clear();
  ix.nodelistFileName.clear();
  if (ix.nodelist != nullptr) {
    ix.nodelistFirstLine = readFirstLine(ix.nodelist);
    Source s = describe(settings.nodelist);
    current.nodelistName = s.name;
    current.nodelistDate = s.date;
    current.nodelistTime = s.time;
    ix.nodelistFileName = fileNamePart(settings.nodelist);
  }
  ix.validList = openSource(settings.validAddressList, "\n! Can't open valid addresses list \"%s\".");
  if (ix.validList != nullptr) {
    Source s = describe(settings.validAddressList);
    current.validListName = s.name;
    current.validListDate = s.date;
    current.validListTime = s.time;
  }
  ix.pointlist = openSource(settings.pointlist, "\n! Can't open pointlist \"%s\".");
  ix.pointlistFirstLine.clear();
  ix.pointlistFileName.clear();
  if (ix.pointlist != nullptr) {
    ix.pointlistFirstLine = readFirstLine(ix.pointlist);
    Source s = describe(settings.pointlist);
    current.pointlistName = s.name;
    current.pointlistDate = s.date;
    current.pointlistTime = s.time;
    ix.pointlistFileName = fileNamePart(settings.pointlist);
  }
  current.configDate = settings.configDate;
  current.configTime = settings.configTime;

  ix.header = index_format::Header{};
  ix.records.clear();
  std::string candidatesBlock;
  bool needRebuild = !loadIndexFile(candidatesBlock) || isStale(current);
  if (ix.header.version >= index_format::kCurrentVersion && app.startTime >= settings.periodStart) {
    if (checkCandidates(candidatesBlock)) needRebuild = true;
  }
  if (needRebuild) rebuild(current);
  buildLookups();
  ix.open = true;
  app.indexRebuildRequest = false;
}

std::string readIndexedLine(std::FILE* source, uint32_t offset, const char* listName) {
  if (std::fseek(source, long(offset), SEEK_SET) != 0) {
    logPrint("\n! %s seek error (offset=%lXh).", listName, static_cast<unsigned long>(offset));
    appExit(12);
  }
  std::string line;
  if (!platform::readBinaryLine(source, line, config::kLineCapacity)) {
    logPrint("\n! %s read error (offset=%lXh).", listName, static_cast<unsigned long>(offset));
    appExit(12);
  }
  return line;
}

int findValidAddress(const FtnAddress& address) {
  if (!indexState.open || indexState.validList == nullptr) return -2;
  return indexState.validByAddress.count(addressKey(address)) ? 0 : -1;
}

int findValidAddress(const InboundMessage& msg) {
  IndexState& ix = indexState;
  if (!ix.open || ix.validList == nullptr) return -2;
  auto found = ix.validByAddress.find(addressKey(msg.orig));
  if (found == ix.validByAddress.end()) return -1;
  int result = -1;
  for (uint32_t i : found->second) {
    uint32_t offset = ix.records[i].offset;
    std::string line = readIndexedLine(ix.validList, offset, "ValidAddressList");
    if (result == -1) result = 1;
    std::string entry = line.substr(std::min<size_t>(1, line.size()));
    entry.resize(std::min(entry.find_first_of("\r\n"), entry.size()));
    text::tabsToBlanks(entry);
    std::string_view rest = entry;
    size_t start = rest.find_first_not_of(' ');
    rest = start == std::string_view::npos ? std::string_view() : rest.substr(start);
    size_t space = rest.find(' ');
    if (space == std::string_view::npos) return 0;  // an address alone admits every sender from it
    rest = rest.substr(space);
    rest = rest.substr(std::min(rest.find_first_not_of(' '), rest.size()));
    std::string_view namePart = rest;
    if (!rest.empty() && rest[0] == '<') {
      size_t close = rest.find('>');
      if (close == std::string_view::npos) {
        logPrint("\n! Invalid REPLYADDR value in ValidAddressList (offset=%lXh):", static_cast<unsigned long>(offset));
        logPrint("\n! \"%s\"", entry.c_str());
        appExit(12);
      }
      if (!text::equalIgnoringAsciiCase(rest.substr(0, close + 1), senderEmail(msg))) continue;
      result = 0;
      namePart = rest.substr(close + 1);
      namePart = namePart.substr(std::min(namePart.find_first_not_of(' '), namePart.size()));
    }
    if (namePart.empty()) return 0;
    std::string listed(namePart), sender = msg.fromName;
    text::upcaseCp866(text::normalizeName(listed));
    text::upcaseCp866(text::normalizeName(sender));
    if (listed == sender) return 0;
    result = 2;
  }
  return result;
}

int findNodelistEntry(const FtnAddress& address) {
  IndexState& ix = indexState;
  ix.foundName.clear();
  if (!ix.open || ix.nodelist == nullptr) return -2;
  auto found = ix.nodeByNode.find(addressKey(address.zone, address.net, address.node, 0));
  if (found == ix.nodeByNode.end()) return -1;
  const Record& r = ix.records[found->second];
  std::string line = readIndexedLine(ix.nodelist, r.offset, "Nodelist");
  int16_t expected = r.node;
  if (text::startsWithIgnoringAsciiCase(line, "Zone,")) {
    expected = r.zone;
  } else if (text::startsWithIgnoringAsciiCase(line, "Region,") || text::startsWithIgnoringAsciiCase(line, "Host,")) {
    expected = r.net;
  }
  if (commaCount(line) < 5 || int16_t(numberAfterComma(line)) != expected) {
    logPrint("\n! Invalid nodelist record (offset=%lXh).", static_cast<unsigned long>(r.offset));
    appExit(12);
  }
  ix.foundName = listedName(line);
  return r.kind;
}

int findPointlistEntry(const InboundMessage& msg) {
  IndexState& ix = indexState;
  ix.foundName.clear();
  if (!ix.open || ix.pointlist == nullptr) return -2;
  if (msg.orig.point == 0) return 0;
  auto found = ix.pointByAddress.find(addressKey(msg.orig));
  if (found == ix.pointByAddress.end()) return -1;
  const Record& r = ix.records[found->second];
  std::string line = readIndexedLine(ix.pointlist, r.offset, "Pointlist");
  if (commaCount(line) < 5 || int16_t(numberAfterComma(line)) != msg.orig.point) {
    logPrint("\n! Invalid pointlist record (offset=%lXh).", static_cast<unsigned long>(r.offset));
    appExit(12);
  }
  ix.foundName = listedName(line);
  return 1;
}

}  // namespace korva
