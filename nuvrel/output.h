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

namespace nuvrel {

// The FTS-0001 type-2 packet header with the FSC-0039 capability word.  All numbers little-endian.
namespace pkt_header {
constexpr size_t kSize = 58;
constexpr size_t kOrigNode = 0, kDestNode = 2, kYear = 4, kMonth = 6, kDay = 8, kHour = 10, kMinute = 12;
constexpr size_t kSecond = 14, kBaud = 16, kPacketType = 18, kOrigNet = 20, kDestNet = 22;
constexpr size_t kProductCodeLow = 24, kRevisionMajor = 25, kPassword = 26, kPasswordSize = 8;
constexpr size_t kQmOrigZone = 34, kQmDestZone = 36, kAuxNet = 38, kCapabilityCopy = 40;
constexpr size_t kProductCodeHigh = 42, kRevisionMinor = 43, kCapabilityWord = 44;
constexpr size_t kOrigZone = 46, kDestZone = 48, kOrigPoint = 50, kDestPoint = 52, kProductData = 54;
constexpr uint16_t kType2 = 2;
constexpr uint16_t kCapability = 0x0001;           // type 2+ packets
constexpr uint16_t kCapabilityCopyValue = 0x0100;  // the same word byte-swapped
}  // namespace pkt_header

// The head of a packed message, before its four zero-terminated texts.
namespace packed_message {
constexpr size_t kFixedSize = 14;
constexpr size_t kType = 0, kOrigNode = 2, kDestNode = 4, kOrigNet = 6, kDestNet = 8, kAttribute = 10, kCost = 12;
constexpr size_t kDateTimeSize = 20;                     // with its terminating zero
constexpr size_t kMaxToFromName = 35, kMaxSubject = 71;  // characters before the terminating zero
}  // namespace packed_message

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
