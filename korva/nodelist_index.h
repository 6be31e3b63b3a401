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

  // The name found by the last nodelist or pointlist lookup ("" when none).
  std::string foundName;

  // Per section, the records' addresses sorted (equal ones in record order), built by the first
  // lookup; nodelist keys carry point 0, since a point is found by its boss node.
  bool lookupsReady = false;
  std::vector<IndexKey> validKeys, nodeKeys, pointKeys;
};
extern IndexState indexState;

// Opens the source files, checks the index and rebuilds it when it is stale; runs the
// candidates check once the voting period has begun (exit 19 when candidates were changed).
void openIndex();

// With an address: 0 when a valid-list entry has exactly it, -1 when none, -2 without a list.
int findValidAddress(const FtnAddress& address);
// For a sender: -1 address not listed, 0 accepted, 1 e-mail differs, 2 name differs, -2 no list.
int findValidAddress(const InboundMessage& msg);

// -2 no nodelist; -1 the node (a point's boss) is not listed; else the record kind.  The sysop
// name is left in indexState.foundName.
int findNodelistEntry(const FtnAddress& address);

// -2 no pointlist; 0 the sender is not a point; -1 not listed; 1 listed, name in foundName.
int findPointlistEntry(const InboundMessage& msg);

// The fifth comma-separated field of a nodelist or pointlist line (the sysop's name), "_" read as
// blanks; false when the line lacks the commas around it.
bool sysopName(std::string_view line, std::string& name);

// Reads the source line a record points at (exit 12 when it cannot be reached).
std::string readIndexedLine(std::FILE* source, uint32_t offset, const char* listName);

}  // namespace korva

#endif  // KORVA_NODELIST_INDEX_H_
