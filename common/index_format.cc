#include "common/index_format.h"

#include <cstring>

#include "common/byte_order.h"

namespace index_format {

namespace {

using byte_order::get16;
using byte_order::get32;
using byte_order::put16;
using byte_order::put32;

std::string getName(const uint8_t* p) {
  size_t length = 0;
  while (length < kMaxNameLength && p[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(p), length);
}

// The name's bytes, then zeros to the end of the field.
void putName(uint8_t* p, std::string_view name) {
  std::memset(p, 0, kNameSize);
  std::memcpy(p, name.data(), name.size() < kMaxNameLength ? name.size() : kMaxNameLength);
}

}  // namespace

Header decodeHeader(std::string_view bytes) {
  uint8_t raw[kHeaderSize] = {};
  std::memcpy(raw, bytes.data(), bytes.size() < kHeaderSize ? bytes.size() : kHeaderSize);
  Header h;
  h.version = get16(raw + kVersion);
  h.validListName = getName(raw + kValidListName);
  h.nodelistName = getName(raw + kNodelistName);
  h.pointlistName = getName(raw + kPointlistName);
  h.validListDate = get16(raw + kValidListDate);
  h.validListTime = get16(raw + kValidListTime);
  h.nodelistDate = get16(raw + kNodelistDate);
  h.nodelistTime = get16(raw + kNodelistTime);
  h.pointlistDate = get16(raw + kPointlistDate);
  h.pointlistTime = get16(raw + kPointlistTime);
  h.configDate = get16(raw + kConfigDate);
  h.configTime = get16(raw + kConfigTime);
  h.firstNodelistRecord = get32(raw + kFirstNodelistRecord);
  h.firstPointlistRecord = get32(raw + kFirstPointlistRecord);
  h.candidatesBlock = get32(raw + kCandidatesBlock);
  h.candidateCount = int32_t(get32(raw + kCandidateCount));
  return h;
}

std::string encodeHeader(const Header& h) {
  uint8_t raw[kHeaderSize] = {};
  std::memcpy(raw + kSignature, kSignatureText, sizeof kSignatureText);
  put16(raw + kVersion, h.version);
  putName(raw + kValidListName, h.validListName);
  putName(raw + kNodelistName, h.nodelistName);
  putName(raw + kPointlistName, h.pointlistName);
  put16(raw + kValidListDate, h.validListDate);
  put16(raw + kValidListTime, h.validListTime);
  put16(raw + kNodelistDate, h.nodelistDate);
  put16(raw + kNodelistTime, h.nodelistTime);
  put16(raw + kPointlistDate, h.pointlistDate);
  put16(raw + kPointlistTime, h.pointlistTime);
  put16(raw + kConfigDate, h.configDate);
  put16(raw + kConfigTime, h.configTime);
  put32(raw + kFirstNodelistRecord, h.firstNodelistRecord);
  put32(raw + kFirstPointlistRecord, h.firstPointlistRecord);
  put32(raw + kCandidatesBlock, h.candidatesBlock);
  put32(raw + kCandidateCount, uint32_t(h.candidateCount));
  return std::string(reinterpret_cast<const char*>(raw), kHeaderSize);
}

bool offsetsFitFile(const Header& h, uint64_t fileSize) {
  auto onBoundary = [](uint32_t offset) { return offset >= kHeaderSize && (offset - kHeaderSize) % kRecordSize == 0; };
  return onBoundary(h.firstNodelistRecord) && onBoundary(h.firstPointlistRecord) && onBoundary(h.candidatesBlock) &&
         h.firstNodelistRecord <= h.firstPointlistRecord && h.firstPointlistRecord <= h.candidatesBlock &&
         h.candidatesBlock <= fileSize;
}

std::string encodeCandidates(const std::vector<std::string>& keys) {
  std::string block;
  for (const std::string& key : keys) {
    // A NUL inside a key would end it early for the reader and make one key two.
    block.append(key, 0, key.find('\0'));
    block += '\0';
  }
  return block;
}

bool decodeCandidates(std::string_view block, int32_t count, std::vector<std::string>& keys) {
  keys.clear();
  if (count < 0 || uint64_t(count) > block.size()) return false;  // each key takes its NUL at least
  for (size_t pos = 0; pos < block.size();) {
    size_t end = block.find('\0', pos);
    if (end == std::string_view::npos || keys.size() == size_t(count)) return false;
    keys.emplace_back(block.substr(pos, end - pos));
    pos = end + 1;
  }
  return keys.size() == size_t(count);
}

Record decodeRecord(const uint8_t* p) {
  Record r;
  r.zone = int16_t(get16(p));
  r.net = int16_t(get16(p + 2));
  r.node = int16_t(get16(p + 4));
  r.point = int16_t(get16(p + 6));
  uint32_t packed = get32(p + 8);
  r.offset = packed & kMaxOffset;
  r.kind = uint8_t(packed >> 24);
  return r;
}

void encodeRecord(const Record& r, uint8_t* p) {
  put16(p, uint16_t(r.zone));
  put16(p + 2, uint16_t(r.net));
  put16(p + 4, uint16_t(r.node));
  put16(p + 6, uint16_t(r.point));
  put32(p + 8, (r.offset & kMaxOffset) | uint32_t(r.kind) << 24);
}

}  // namespace index_format
