// The index file (".kix") over the nodelist, the pointlist and the valid addresses list.  The
// vote manager writes it; the poster reads its header.  All numbers are little-endian.
#ifndef COMMON_INDEX_FORMAT_H_
#define COMMON_INDEX_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace index_format {

constexpr size_t kHeaderSize = 162;
constexpr size_t kSignature = 0, kSignatureSize = 22;
constexpr size_t kVersion = 22;
constexpr size_t kValidListName = 24, kNodelistName = 38, kPointlistName = 52, kNameSize = 14;
constexpr size_t kValidListDate = 66, kValidListTime = 68, kNodelistDate = 70, kNodelistTime = 72;
constexpr size_t kPointlistDate = 74, kPointlistTime = 76, kConfigDate = 78, kConfigTime = 80;
constexpr size_t kFirstNodelistRecord = 82, kFirstPointlistRecord = 86, kCandidatesBlock = 90;
constexpr size_t kCandidateCount = 94;
constexpr size_t kReserved = 98, kReservedSize = 64;

constexpr const char kSignatureText[] = "Kelvanoth index file ";
constexpr uint16_t kCurrentVersion = 4;
constexpr size_t kMaxNameLength = kNameSize - 1;

constexpr size_t kRecordSize = 12;
constexpr uint32_t kMaxOffset = (1u << 24) - 1;  // a record's line offset has 24 bits

enum RecordKind : uint8_t {
  kNode = 1,  // any nodelist entry without one of the statuses below
  kPvtNode = 3,
  kHoldNode = 5,
  kDownNode = 7,
  kValidEntry = 8,  // valid addresses list
  kPoint = 16,      // pointlist "Point," line
};

struct Header {
  uint16_t version = 0;
  std::string validListName, nodelistName, pointlistName;  // at most 13 characters each
  uint16_t validListDate = 0, validListTime = 0, nodelistDate = 0, nodelistTime = 0;
  uint16_t pointlistDate = 0, pointlistTime = 0, configDate = 0, configTime = 0;
  uint32_t firstNodelistRecord = kHeaderSize, firstPointlistRecord = kHeaderSize, candidatesBlock = kHeaderSize;
  int32_t candidateCount = 0;
};

struct Record {
  int16_t zone = 0, net = 0, node = 0, point = 0;
  uint32_t offset = 0;  // of the line in its source file, below 2^24
  uint8_t kind = 0;
};

// Missing bytes of a short buffer read as zero (so a short header has version 0).
Header decodeHeader(std::string_view bytes);
std::string encodeHeader(const Header& header);

// The section offsets lie on record boundaries, in file order, inside a file of fileSize bytes.
bool offsetsFitFile(const Header& header, uint64_t fileSize);

// The candidates block: each candidate's key and a NUL, in list order, to the end of the file.
std::string encodeCandidates(const std::vector<std::string>& keys);
// False unless the block is exactly `count` keys, each ended by its NUL.
bool decodeCandidates(std::string_view block, int32_t count, std::vector<std::string>& keys);

Record decodeRecord(const uint8_t* bytes);
void encodeRecord(const Record& record, uint8_t* bytes);

}  // namespace index_format

#endif  // COMMON_INDEX_FORMAT_H_
