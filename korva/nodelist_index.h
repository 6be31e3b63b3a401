// The index over the nodelist, the pointlist and the valid addresses list, and the lookups the
// ballot checks make in it.
#ifndef KORVA_NODELIST_INDEX_H_
#define KORVA_NODELIST_INDEX_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/ftn_address.h"
#include "common/index_format.h"

namespace korva {

struct InboundMessage;

struct IndexKey {
  uint64_t key;       // zone, net, node and point, 16 bits each
  uint32_t position;  // in IndexState::records
};

// The open index: its header, all its records in file order (kept in memory so that a lookup
// never re-reads them), and the source files, open for the rest of the run.
struct IndexState {
  bool open = false;
  std::string path;
  index_format::Header header;
  std::vector<index_format::Record> records;

  std::FILE* validList = nullptr;
  std::FILE* nodelist = nullptr;
  std::FILE* pointlist = nullptr;

  // The files open under the configured names: the newest match of a wildcard, else as written.
  std::string nodelistPath, pointlistPath;

  // For the template macros: file names without directory and the first lines as read.
  std::string nodelistFileName, pointlistFileName, nodelistFirstLine, pointlistFirstLine;

  // Per section, the records' addresses sorted (equal ones in record order), built by the first
  // lookup; nodelist keys carry point 0, since a point is found by its boss node.
  bool lookupsReady = false;
  std::vector<IndexKey> validKeys, nodeKeys, pointKeys;
};
extern IndexState indexState;

// Opens the source files, checks the index and rebuilds it when it is stale; runs the
// candidates check once the voting period has begun (exit 19 when candidates were changed).
void openIndex();

// What the valid addresses list says of an address.
enum class AddressListing { kNoList, kNotListed, kListed };
AddressListing findValidAddress(const FtnAddress& address);

// What the valid addresses list says of a sender: its address, then the e-mail and the name listed
// with it.
enum class SenderListing { kNoList, kAddressNotListed, kAccepted, kEmailDiffers, kNameDiffers };
SenderListing findValidAddress(const InboundMessage& msg);

// A node's nodelist entry by its status; a point is found by its boss node.
enum class NodeStatus {
  kNoNodelist,
  kNotListed,
  kListed,  // without one of the statuses below
  kPvt,
  kHold,
  kDown,
};
inline bool isListed(NodeStatus status) {
  return status != NodeStatus::kNoNodelist && status != NodeStatus::kNotListed;
}
// The status a nodelist record's kind gives.
NodeStatus nodeStatus(uint8_t recordKind);

struct NodelistEntry {
  NodeStatus status = NodeStatus::kNoNodelist;
  std::string sysopName;  // "" unless listed
};
NodelistEntry findNodelistEntry(const FtnAddress& address);

enum class PointStatus { kNoPointlist, kNotPoint, kNotListed, kListed };
struct PointlistEntry {
  PointStatus status = PointStatus::kNoPointlist;
  std::string sysopName;  // "" unless listed
};
PointlistEntry findPointlistEntry(const InboundMessage& msg);

// The fifth comma-separated field of a nodelist or pointlist line (the sysop's name), "_" read as
// blanks; false when the line lacks the commas around it.
bool sysopName(std::string_view line, std::string& name);

// A valid-list line as its fields are read: cut at its line end, tabs read as blanks.  The first
// character is left as it is and no line end is looked for at it.
std::string validListEntry(std::string_view line);

// Reads the source line a record points at (exit 12 when it cannot be reached).
std::string readIndexedLine(std::FILE* source, uint32_t offset, const char* listName);

}  // namespace korva

#endif  // KORVA_NODELIST_INDEX_H_
