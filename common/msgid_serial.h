// The serial number of a MSGID kludge, taken from the clock so that serials stay unique across runs
// and strictly increase within one.
#ifndef COMMON_MSGID_SERIAL_H_
#define COMMON_MSGID_SERIAL_H_

#include <cstdint>
#include <ctime>

#include "common/platform.h"

namespace msgid {

// The serial a clock reading gives: the seconds shifted left by 7 bits (kept in 32 bits) with the
// hundredths of the second (0 to 99) in the low 7 bits.
uint32_t serialFromClock(const platform::ClockReading& reading);

// A serial strictly greater than `lastSerial`, which it becomes.  Waits for the clock to give one;
// when it has given none for 5 seconds (a clock set back), takes lastSerial + 1.
uint32_t nextMsgIdSerial(uint32_t& lastSerial);

// The same over any clock (tests pass one that they steer).
uint32_t nextMsgIdSerial(uint32_t& lastSerial, platform::ClockReading (*clock)());

}  // namespace msgid

#endif  // COMMON_MSGID_SERIAL_H_
