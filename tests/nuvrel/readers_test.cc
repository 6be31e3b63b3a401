#include "nuvrel/readers.h"

#include <gtest/gtest.h>

#include <string>

#include "common/config_values.h"
#include "common/log.h"
#include "nuvrel/app.h"
#include "tests/common/test_support.h"

namespace {

using nuvrel::election;
using testsupport::ScratchDir;

TEST(PosterCandidates, ReadsNamesAndStatusesAndDropsTheRestOfLongLines) {
  ScratchDir dir;
  election = nuvrel::ElectionData{};
  testsupport::writeFile(dir / "cand.lst", "First\r\n\r\n  Second {1}\r\n" + std::string(100, 'L') +
                                               "\r\n\x8D" "ame {2}\nLast");
  nuvrel::loadPosterCandidates(dir / "cand.lst");
  ASSERT_EQ(election.candidates.size(), 5u);
  EXPECT_EQ(election.candidates[0].name, "First");
  EXPECT_EQ(election.candidates[1].name, "Second");
  EXPECT_EQ(election.candidates[1].status, 1);
  EXPECT_EQ(election.candidates[2].name, std::string(79, 'L'));  // one candidate, not two
  EXPECT_EQ(election.candidates[3].name, "Hame");
  EXPECT_EQ(election.candidates[3].status, 2);
  EXPECT_EQ(election.candidates[4].name, "Last");
}

TEST(PosterCandidates, MissingFileIsAConfigurationError) {
  ScratchDir dir;
  logging::logInit({"Nuvrel", "2.10/32", ""});
  config::source = config::ConfigSource{"korva.cfp", 0, true};
  EXPECT_EXIT_STDOUT(nuvrel::loadPosterCandidates(dir / "none.lst"), 3, dir / "out");
  EXPECT_EQ(testsupport::readFile(dir / "out"), "Candidates file \"" + (dir / "none.lst") + "\" not found.\n");
}

}  // namespace
