#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

TEST(KorvaEntry, NoCommandPrintsUsage) {
  e2e::ScenarioDir dir;
  e2e::RunResult r = e2e::runProgram(KORVA32_PATH, {}, dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("Korva32 <command> [<options>]"), std::string::npos);
  EXPECT_EQ(r.err, "Kelvanoth Vote Manager  Version 2.10/32, Apr 2005.\r\n");
}
