#include "common/msgid_serial.h"

#include <chrono>
#include <thread>

namespace msgid {

namespace {

constexpr std::time_t kPatienceSeconds = 5;

}  // namespace

uint32_t serialFromClock(const platform::ClockReading& reading) {
  return uint32_t(uint64_t(reading.seconds) << 7) | uint32_t(reading.milliseconds / 10);
}

uint32_t nextMsgIdSerial(uint32_t& lastSerial) { return nextMsgIdSerial(lastSerial, platform::systemClock); }

uint32_t nextMsgIdSerial(uint32_t& lastSerial, platform::ClockReading (*clock)()) {
  platform::ClockReading reading = clock();
  const std::time_t start = reading.seconds;
  uint32_t candidate = serialFromClock(reading);
  // A clock set back during the wait ends it as well: it would otherwise wait out the difference.
  while (candidate <= lastSerial && reading.seconds >= start && reading.seconds - start < kPatienceSeconds) {
    // A new serial comes with the next hundredth of a second; no need to spin for it.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    reading = clock();
    candidate = serialFromClock(reading);
  }
  if (candidate <= lastSerial) candidate = lastSerial + 1;
  lastSerial = candidate;
  return candidate;
}

}  // namespace msgid
