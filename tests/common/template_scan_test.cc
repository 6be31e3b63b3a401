#include "common/template_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using template_scan::LineResult;
using template_scan::macroCode;
using template_scan::MacroExpansion;

// A handler with one known macro, NAME, standing for `name`; other codes vanish.
struct NameOnly {
  std::string name;
  std::vector<uint32_t> seen;
  MacroExpansion operator()(uint32_t code, const std::string&, size_t) {
    seen.push_back(code);
    MacroExpansion e;
    if (code == macroCode("NAME")) e.text = name;
    return e;
  }
};

std::string expanded(std::string line, const std::string& name = "Ivan") {
  NameOnly handler{name, {}};
  EXPECT_EQ(template_scan::expandMacros(line, std::ref(handler)), LineResult::kReady) << line;
  return line;
}

TEST(MacroCode, CaseOfLettersDoesNotMatter) {
  EXPECT_EQ(macroCode("name"), macroCode("NAME"));
  EXPECT_EQ(macroCode("nAmE"), macroCode("NAME"));
  EXPECT_EQ(macroCode("NAME"), 0x454D414Eu);  // little-endian: the first character in the low byte
  EXPECT_NE(macroCode("NAMF"), macroCode("NAME"));
}

TEST(ExpandMacros, EscapesUnknownCodesAndShortTails) {
  struct Case {
    const char* line;
    const char* result;
  } cases[] = {
      {"Dear %NAME!\n", "Dear Ivan!\n"},
      {"Dear %name and %NaMe\n", "Dear Ivan and Ivan\n"},
      {"100%% sure\n", "100% sure\n"},
      {"%%NAME\n", "%NAME\n"},  // an escaped percent sign starts no macro
      {"%%%NAME\n", "%Ivan\n"},
      {"a% an word\n", "aword\n"},  // an unknown code takes its four characters with it
      {"%XXXX\n", "\n"},
      {"done 100%\n", "done 100%\n"},  // fewer than four characters left: kept as written
      {"ab %NAM\n", "ab %NAM\n"},
      {"ab %NAM", "ab %NAM"},
      {"%NAME", "Ivan"},  // the last line of a file may lack its LF
      {"%", "%"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(expanded(c.line), c.result) << c.line;
}

TEST(ExpandMacros, ExpansionIsNotScannedAgain) {
  EXPECT_EQ(expanded("<%NAME>\n", "%NAME %%x"), "<%NAME %%x>\n");
  NameOnly handler{"%NAME", {}};
  std::string line = "%NAME%NAME";
  template_scan::expandMacros(line, std::ref(handler));
  EXPECT_EQ(line, "%NAME%NAME");
  EXPECT_EQ(handler.seen.size(), 2u);
}

TEST(ExpandMacros, DroppedLineStopsTheScan) {
  int calls = 0;
  std::string line = "Heading %LIST and %NAME\n";
  auto handler = [&calls](uint32_t code, const std::string& l, size_t percent) {
    ++calls;
    EXPECT_EQ(code, macroCode("LIST"));
    EXPECT_EQ(l.substr(0, percent), "Heading ");  // the handler sees the text before it
    MacroExpansion e;
    e.dropLine = true;
    return e;
  };
  EXPECT_EQ(template_scan::expandMacros(line, handler), LineResult::kDropped);
  EXPECT_EQ(line, "");
  EXPECT_EQ(calls, 1);
}

TEST(ExpandMacros, HandlerChoosesHowMuchItReplaces) {
  // The poster keeps an unknown code's text (only the percent sign is passed over) and takes a "$"
  // after a number macro with it.
  auto handler = [](uint32_t code, const std::string& l, size_t percent) {
    MacroExpansion e;
    if (code == macroCode("DUPE") && l.size() > percent + 5 && l[percent + 5] == '$') {
      e.replaced = 6;
    } else if (code != macroCode("DUPE")) {
      e.text = "%";
      e.replaced = 1;
    } else {
      e.text = "3";
    }
    return e;
  };
  std::string line = "%DUPE$ dupes: %DUPE, %what\n";
  EXPECT_EQ(template_scan::expandMacros(line, handler), LineResult::kReady);
  EXPECT_EQ(line, " dupes: 3, %what\n");
}

TEST(ExpandMacros, GrowthUpToTheBufferLimit) {
  using template_scan::kLineBufferSize;
  // A line that grows to 32765 characters still fits; one more character overflows.
  const size_t grow = 100;
  std::string fits = std::string(kLineBufferSize - 1 - (grow - 5) - 6, 'x') + "%NAME\n";
  std::string name(grow, 'n');
  NameOnly handler{name, {}};
  EXPECT_EQ(template_scan::expandMacros(fits, std::ref(handler)), LineResult::kReady);
  EXPECT_EQ(fits.size(), kLineBufferSize - 1);

  std::string overflows = "x" + std::string(kLineBufferSize - 1 - (grow - 5) - 6, 'x') + "%NAME\n";
  std::string before = overflows;
  EXPECT_EQ(template_scan::expandMacros(overflows, std::ref(handler)), LineResult::kOverflow);
  EXPECT_EQ(overflows, before);

  // Shrinking never overflows, however long the line.
  std::string shrinks = std::string(kLineBufferSize - 1, 'x');
  shrinks.replace(10, 5, "%NAME");
  NameOnly shortName{"ab", {}};
  EXPECT_EQ(template_scan::expandMacros(shrinks, std::ref(shortName)), LineResult::kReady);
  EXPECT_EQ(shrinks.size(), kLineBufferSize - 4);
}

}  // namespace
