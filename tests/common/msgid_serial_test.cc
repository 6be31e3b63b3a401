#include "common/msgid_serial.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/common/test_support.h"

namespace {

// A clock that the test steers: each reading moves it on by `step` milliseconds.
struct FakeClock {
  static inline std::time_t seconds = 0;
  static inline int milliseconds = 0;
  static inline int step = 0;
  static inline int readings = 0;
  static platform::ClockReading read() {
    ++readings;
    platform::ClockReading r{seconds, milliseconds};
    milliseconds += step;
    seconds += milliseconds / 1000;
    milliseconds %= 1000;
    return r;
  }
  static void set(std::time_t s, int ms, int stepMs) {
    seconds = s;
    milliseconds = ms;
    step = stepMs;
    readings = 0;
  }
};

TEST(MsgIdSerial, SecondsShiftedWithHundredthsBelow) {
  EXPECT_EQ(msgid::serialFromClock({1, 0}), 128u);
  EXPECT_EQ(msgid::serialFromClock({1, 999}), 128u + 99u);
  EXPECT_EQ(msgid::serialFromClock({0x02000001, 50}), 128u + 5u);  // kept in 32 bits
}

TEST(MsgIdSerial, WaitsForTheNextHundredth) {
  FakeClock::set(1000, 0, 1);
  uint32_t last = 0;
  uint32_t first = msgid::nextMsgIdSerial(last, FakeClock::read);
  EXPECT_EQ(first, 1000u << 7);
  uint32_t second = msgid::nextMsgIdSerial(last, FakeClock::read);
  EXPECT_EQ(second, (1000u << 7) + 1);  // ten readings later, one hundredth on
  EXPECT_EQ(last, second);
}

TEST(MsgIdSerial, ClockSetBackGivesLastPlusOne) {
  // The clock stands still far behind the last serial: after 5 seconds of waiting, last + 1.
  FakeClock::set(1000, 0, 100);
  uint32_t last = 5000u << 7;
  EXPECT_EQ(msgid::nextMsgIdSerial(last, FakeClock::read), (5000u << 7) + 1);
  EXPECT_EQ(FakeClock::seconds, 1005);
  // Set back while waiting: no need to wait out the difference.
  FakeClock::set(1000, 900, 200);
  FakeClock::step = 200;
  uint32_t afterJump = 2000u << 7;
  platform::ClockReading (*jumpingBack)() = [] {
    platform::ClockReading r = FakeClock::read();
    if (FakeClock::readings == 2) FakeClock::seconds = 10;
    return r;
  };
  EXPECT_EQ(msgid::nextMsgIdSerial(afterJump, jumpingBack), (2000u << 7) + 1);
  EXPECT_LE(FakeClock::readings, 3);
}

TEST(MsgIdSerial, RealClockSerialsStrictlyIncrease) {
  testsupport::setTimeZone("UTC");
  uint32_t last = 0;
  std::vector<uint32_t> serials;
  for (int i = 0; i < 5; ++i) serials.push_back(msgid::nextMsgIdSerial(last));
  for (size_t i = 1; i < serials.size(); ++i) EXPECT_GT(serials[i], serials[i - 1]);
}

}  // namespace
