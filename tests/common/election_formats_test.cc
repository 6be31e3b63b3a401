#include "common/election_formats.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(VoteLine, FormatsAndReadsBack) {
  struct Case {
    VoteRecord record;
    const char* line;
  } cases[] = {
      {{{2, 5020, 1, 0}, {0x1234, 0x56AB}, 1, 0, "Ivan Petrov", "secret word"},
       "1\t0\t00001234000056AB\t2:5020/1.0\tIvan Petrov\tsecret word\n"},
      {{{2, 5020, 7, 12}, {0xDEADBEEF, 0}, -3, 2, "A", election_format::kBadPasswordSyntax},
       "-3\t2\tDEADBEEF00000000\t2:5020/7.12\tA\t<-Bad password syntax->\n"},
      {{{1, 1, 1, 0}, {0xFFFFFFFF, 0xABCDEF01}, 0, 0, "Only Id", ""}, "0\t0\tFFFFFFFFABCDEF01\t1:1/1.0\tOnly Id\t\n"},
  };
  for (const Case& c : cases) {
    std::string line = formatVoteLine(c.record);
    EXPECT_EQ(line, c.line);
    line.pop_back();
    VoteRecord back;
    ASSERT_EQ(parseVoteLine(line, back), VoteLineResult::kRecord) << line;
    EXPECT_EQ(formatVoteLine(back), c.line);  // every field came back
  }
}

TEST(VoteLine, PasswordIsTheRestOfTheLine) {
  VoteRecord r;
  ASSERT_EQ(parseVoteLine("2\t1\t0000000A0000000B\t2:5020/1.3\tName\tpass\twith tab", r), VoteLineResult::kRecord);
  EXPECT_EQ(r.name, "Name");
  EXPECT_EQ(r.password, "pass\twith tab");
  ASSERT_EQ(parseVoteLine("2\t1\t0000000A0000000B\t2:5020/1.3\t\t", r), VoteLineResult::kRecord);
  EXPECT_EQ(r.name, "");
  EXPECT_EQ(r.password, "");
}

TEST(VoteLine, Refusals) {
  struct Case {
    const char* line;
    VoteLineResult result;
  } cases[] = {
      {"", VoteLineResult::kNoNumbers},
      {"   ", VoteLineResult::kNoNumbers},
      {"; written by hand", VoteLineResult::kNoNumbers},
      {"1\t0\tAB", VoteLineResult::kFormatError},
      {"1\t0\t2:5020/1.0\tName\tPwd", VoteLineResult::kFormatError},  // the form without UserID
      {"1\t0\t0000000100000002\t2:5020/1\tName\tPwd", VoteLineResult::kFormatError},
      {"1\t0\t0000000100000002\t2:5020/1.0\tName", VoteLineResult::kFormatError},
      {"1 0 0000000100000002 2:5020/1.0 Name Pwd", VoteLineResult::kFormatError},
  };
  for (const Case& c : cases) {
    VoteRecord r;
    EXPECT_EQ(parseVoteLine(c.line, r), c.result) << c.line;
  }
}

TEST(VoteLine, FieldTextCannotSplitARecord) {
  EXPECT_EQ(voteFieldText("a\tb\rc\nd\x1A"
                          "e"),
            "a b c d e");
  EXPECT_EQ(voteFieldText(std::string_view("\0a\0", 3)), " a ");
  EXPECT_EQ(voteFieldText("\xE0\xA1 \x8D"), "\xE0\xA1 \x8D");
}

TEST(CandidateLine, Parse) {
  struct Case {
    const char* line;
    const char* name;
    int16_t status;
  } cases[] = {
      {"Ivan Petrov\n", "Ivan Petrov", 0},
      {"Ivan Petrov {4}\n", "Ivan Petrov", 4},
      {"  \tIvan Petrov {1}\n", "Ivan Petrov", 1},
      {"Ivan Petrov{7}", "Ivan Petrov", 7},
      {"Ivan Petrov  {2}", "Ivan Petrov ", 2},  // only one blank goes
      {"Ivan Petrov {12}\n", "Ivan Petrov", 0},
      {"Ivan Petrov {x}", "Ivan Petrov", 0},
      {"Ivan Petrov {", "Ivan Petrov", 0},
      {"{3}", "", 3},
      {"\n", "", 0},
      {" \t \n", "", 0},
  };
  for (const Case& c : cases) {
    CandidateLine got = parseCandidateLine(c.line);
    EXPECT_EQ(got.name, c.name) << c.line;
    EXPECT_EQ(got.status, c.status) << c.line;
  }
}

TEST(Statistic, FileListsEveryCodeInOrder) {
  VerdictCounters counters;
  counters.count[1] = 5;
  counters.count[3] = 65535;
  counters.count[32] = 2;
  std::string expected = ";\n; Kelvanoth Statistic      ver. 2.10/32\n;\nAUX_=5\nMANV=0\nVALD=65535\n";
  for (int i = 4; i <= election_format::kVerdictCount; ++i)
    expected += std::string(verdictCode(i)) + "=" + (i == 32 ? "2\n" : "0\n");
  EXPECT_EQ(formatStatisticFile(counters, "2.10/32"), expected);
  EXPECT_EQ(verdictCode(27), "DUPE");
  EXPECT_EQ(verdictCode(0), "");
  EXPECT_EQ(verdictCode(33), "");
}

TEST(Statistic, LinesThatSetACounter) {
  struct Case {
    const char* line;
    int index;
    unsigned value;  // of that counter afterwards; all others stay 0
  } cases[] = {
      {"VALD=7\n", 3, 7}, {"DUPE=17", 27, 17}, {"BUID=3", 32, 3},  {"AUX_=70000", 1, 70000 % 65536},
      {"vald=7", 3, 0},   {" VALD=7", 3, 0},   {"VALD 7", 3, 0},   {"XXXX=3", 3, 0},
      {"VAL=7", 3, 0},    {"", 3, 0},          {"; VALD=7", 3, 0},
  };
  for (const Case& c : cases) {
    VerdictCounters counters;
    applyStatisticLine(c.line, counters);
    for (int i = 1; i <= election_format::kVerdictCount; ++i) {
      EXPECT_EQ(counters.count[i], i == c.index ? c.value : 0u) << c.line << " code " << i;
    }
  }
}

}  // namespace
