// The poster's output: every posted template becomes an echomail message (split at MaxMsgSize)
// in one packet per run, or a text file named after its section.  Each file reaches the disk whole
// or not at all.
#ifndef NUVREL_OUTPUT_H_
#define NUVREL_OUTPUT_H_

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "common/ftn_address.h"
#include "nuvrel/packet_format.h"

namespace nuvrel {

struct PacketHeader {
  FtnAddress orig, dest;
  std::tm created{};
  std::string password;
};
std::string encodePacketHeader(const PacketHeader& header);

// The next MSGID serial of the run: from the clock, strictly greater than every earlier one.
uint32_t nextMsgIdSerial();

// One finished template line, ending in LF.
void writeOutputLine(std::string_view line);
// Ends the current message part (split: more parts follow) or the current text file.
void finishPost(bool split);
// Writes out the packet of the run's finished texts (renewing the stamp file after Post).  A text
// whose template did not finish is dropped, and in text mode its section's file keeps its old text.
// Runs at every ending (the exit hook); a packet that cannot be written ends the run with
// kExitCreateFailed.
void closeOutput();

}  // namespace nuvrel

#endif  // NUVREL_OUTPUT_H_
