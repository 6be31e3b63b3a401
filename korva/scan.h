// Inbound scanning and the disposal of judged messages.
#ifndef KORVA_SCAN_H_
#define KORVA_SCAN_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace korva {

// The highest message number a stored-message file name may carry.
constexpr uint32_t kMaxMessageNumber = 65535;

// The decimal number at the start of a file name, as an unsigned 16-bit value; 0 without digits.
uint16_t messageNumber(std::string_view fileName);

// One more than the largest message number of the directory's "*.msg" files, 1 when there are
// none.  It may exceed kMaxMessageNumber: callers refuse such a number rather than wrap it.
uint32_t nextMessageNumber(std::string_view directory);

}  // namespace korva

#endif  // KORVA_SCAN_H_
