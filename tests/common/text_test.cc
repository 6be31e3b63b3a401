#include "common/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(NormalizeName, ReducesANameToItsKey) {
  const std::pair<const char*, const char*> cases[] = {
      {"First M. Last, 2:5020/1", "FirstMLast"},
      {"IP> First_Last", "FirstLast"},
      {"X> Name ! a>b", "Name!a>b"},  // only a ">" before the "!" counts
      {"a>b>c;d:e", "cde"},
      {"<john@example.org> Name, x", "<john@example.org> Name, x"},
      {" \t.", "\t"},
      {",Name", ""},
  };
  for (auto [input, key] : cases) {
    std::string s = input;
    EXPECT_EQ(text::normalizeName(s), key) << input;
  }
}

TEST(UpcaseCp866, FoldsLatinAndCyrillicLettersOnly) {
  const std::pair<unsigned char, unsigned char> cases[] = {
      {'a', 'A'},   {'z', 'Z'},   {'`', '`'},   {'{', '{'},   {0xA0, 0x80}, {0xAF, 0x8F}, {0xE0, 0x90},
      {0xEF, 0x9F}, {0xF1, 0xF0}, {0xF0, 0xF0}, {0x9F, 0x9F}, {0xB0, 0xB0}, {0xDF, 0xDF}, {0xF2, 0xF2},
  };
  for (auto [from, to] : cases) {
    std::string s(1, char(from));
    EXPECT_EQ(static_cast<unsigned char>(text::upcaseCp866(s)[0]), to) << int(from);
  }
  std::string s = "\x8D\x8E\x8D\tx\t";
  EXPECT_EQ(text::fixCyrillicEn(s), "H\x8EH\tx\t");
  EXPECT_EQ(text::tabsToBlanks(s), "H\x8EH x ");
}

TEST(CompareWords, ComparesUnsignedWordsOverTheCount) {
  uint16_t point[4] = {2, 5020, 1, 5}, node[4] = {2, 5020, 1, 0}, high[4] = {0xFFFF, 0, 0, 0};
  EXPECT_EQ(text::compareWords(point, node, 3), 0);
  EXPECT_EQ(text::compareWords(point, node, 4), 5);
  EXPECT_EQ(text::compareWords(node, point, 4), -5);
  EXPECT_GT(text::compareWords(high, point, 4), 0);
  EXPECT_EQ(text::compareWords(high, point, -1), 0);
}

TEST(SkipBlanks, SkipsCodesOneToThirtyTwo) {
  EXPECT_EQ(text::skipBlanks(" \t\x01\x1F Key"), "Key");
  EXPECT_EQ(text::skipBlanks(" \t \t"), "");
  EXPECT_EQ(text::skipBlanks("\xA0\xA1"), "\xA0\xA1");  // CP866 letters are no blanks
  EXPECT_EQ(text::skipBlanks(std::string_view(" \0x", 3)), std::string_view("\0x", 2));
}

TEST(AsciiCaseComparisons, FoldOnlyLatinLetters) {
  EXPECT_TRUE(text::equalIgnoringAsciiCase("NetmailIn", "NETMAILIN"));
  EXPECT_FALSE(text::equalIgnoringAsciiCase("\xA0", "\x80"));
  EXPECT_FALSE(text::equalIgnoringAsciiCase("[", "{"));
  EXPECT_FALSE(text::startsWithIgnoringAsciiCase("Co", "CON"));
  EXPECT_LT(text::compareIgnoringAsciiCase("ab", "ABC"), 0);
  EXPECT_GT(text::compareIgnoringAsciiCase("\xA0", "z"), 0);  // bytes compare unsigned
}

TEST(ScanLong, ReadsAsStrtolDoes) {
  struct {
    const char* input;
    bool ok;
    long value;
    size_t end;
  } cases[] = {
      {"  -12x", true, -12, 5},
      {"\n\t+3", true, 3, 4},
      {"+", false, 99, 0},
      {"- 1", false, 99, 0},
      {"", false, 99, 0},
      {"99999999999999999999,", true, LONG_MAX, 20},
      {"-99999999999999999999", true, LONG_MIN, 21},
  };
  for (const auto& c : cases) {
    size_t pos = 0;
    long value = 99;
    EXPECT_EQ(text::scanLong(c.input, pos, value), c.ok) << c.input;
    EXPECT_EQ(value, c.value) << c.input;
    EXPECT_EQ(pos, c.end) << c.input;
  }
}

}  // namespace
