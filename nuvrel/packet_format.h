// The poster's packet: an FTS-0001 type-2 packet header with the FSC-0039 capability word, then
// the packed messages, then two zero bytes.  All numbers little-endian (common/byte_order.h).  The
// writer and the tests' packet reader both lay it out through these constants.
#ifndef NUVREL_PACKET_FORMAT_H_
#define NUVREL_PACKET_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace nuvrel {

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
constexpr uint16_t kType2 = 2;                           // the first word of every packed message
constexpr size_t kDateTimeSize = 20;                     // with its terminating zero
constexpr size_t kMaxToFromName = 35, kMaxSubject = 71;  // characters before the terminating zero
}  // namespace packed_message

}  // namespace nuvrel

#endif  // NUVREL_PACKET_FORMAT_H_
