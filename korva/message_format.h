// The FTS-0001 stored-message header: 190 bytes, its numbers little-endian (common/byte_order.h).
// The reader and the writer of stored messages both lay it out through these constants.
#ifndef KORVA_MESSAGE_FORMAT_H_
#define KORVA_MESSAGE_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace msg_header {

constexpr size_t kSize = 190;
constexpr size_t kFromName = 0, kFromNameSize = 36;
constexpr size_t kToName = 36, kToNameSize = 36;
constexpr size_t kSubject = 72, kSubjectSize = 72;
constexpr size_t kDateTime = 144, kDateTimeSize = 20;
constexpr size_t kTimesRead = 164;
constexpr size_t kDestNode = 166, kOrigNode = 168, kCost = 170, kOrigNet = 172, kDestNet = 174;
constexpr size_t kOtherVariants = 176, kOtherVariantsSize = 8;
// The writer fills those 8 bytes with the zones and points, as most FTS-0001 writers do; the reader
// takes zones and points from the kludges only.
constexpr size_t kDestZone = 176, kOrigZone = 178, kDestPoint = 180, kOrigPoint = 182;
constexpr size_t kReplyTo = 184, kAttribute = 186, kNextReply = 188;

}  // namespace msg_header

#endif  // KORVA_MESSAGE_FORMAT_H_
