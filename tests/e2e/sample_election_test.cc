// The bundled sample election, run along its whole road by tools/sample-road.sh with the programs
// under test: every ballot must meet the fate its comment in the generator promises.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string programDirectory() {
  std::string korva = KORVA32_PATH;
  return korva.substr(0, korva.rfind('/'));
}

std::string readSource(const std::string& relative) {
  std::ifstream in(std::string(KELVANOTH_SOURCE_DIR) + "/" + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SampleElection, WholeRoadGivesEveryBallotItsVerdict) {
  e2e::ScenarioDir dir;
  e2e::RunResult r = e2e::runProgram(
      "/bin/bash", {std::string(KELVANOTH_SOURCE_DIR) + "/tools/sample-road.sh", programDirectory(), dir.file("work")},
      dir.path(), {{"TZ", "Europe/Moscow"}});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

  // The list Lisdor32 makes from the userlist is the one the sample ships.
  EXPECT_EQ(dir.read("work/valid.lst"), readSource("examples/election/valid.lst"));

  std::string statistic = dir.read("work/korva.sta");
  for (const char* counter : {"AUX_=2\r\n", "VALD=4\r\n", "DATL=1\r\n", "ADDI=1\r\n", "ADDL=1\r\n", "NDLP=1\r\n",
                              "MANY=1\r\n", "PASE=1\r\n", "DUPE=1\r\n", "CANP=1\r\n", "ROUT=0\r\n", "PNTD=0\r\n"}) {
    EXPECT_TRUE(contains(statistic, counter)) << counter << "\n" << statistic;
  }
  EXPECT_EQ(dir.list("work/netmail/in"), std::vector<std::string>{});
  EXPECT_EQ(dir.list("work/filed/valid"), (std::vector<std::string>{"2.msg", "3.msg", "4.msg"}));
  EXPECT_EQ(dir.list("work/filed/cancel"), std::vector<std::string>{"1.msg"});

  // Ivan's revote stands: Boris Gromov leads; the Cyrillic candidate is counted under its CP866 name.
  std::string result = dir.read("work/reports/Result.txt");
  EXPECT_TRUE(contains(result, "Boris Gromov     2  (66.7%)")) << result;
  EXPECT_TRUE(contains(result, "\x82\xa5\xe0\xa0 \x8e\xe0\xab\xae\xa2\xa0      1  (33.3%)")) << result;

  // The vote base stands proven by the filed ballots: three counted votes and the revote's cancelled one.
  EXPECT_TRUE(contains(r.out, "= Verified 4 vote(s) against 4 ballot(s): 0 discrepancy(ies).")) << r.out;

  // Seven announcements and thirteen replies and audit copies after the empty seed, two packets.
  EXPECT_EQ(dir.read("work/netmail/out/1.msg"), "");
  EXPECT_EQ(dir.list("work/netmail/out").size(), 1u + 7u + 13u + 13u);
  EXPECT_EQ(dir.list("work/echo-out").size(), 2u);
  EXPECT_TRUE(contains(r.out, "20 Feb: 0[Sample Election 2024: voting begins]")) << r.out;
  EXPECT_TRUE(contains(r.out, " 7 Apr: 2[Sample Election 2024: results]")) << r.out;
}

}  // namespace
