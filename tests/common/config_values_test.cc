#include "common/config_values.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "common/log.h"
#include "common/platform.h"
#include "nuvrel/config.h"
#include "tests/common/test_support.h"

namespace {

using testsupport::readFile;
using testsupport::ScratchDir;
namespace fs = std::filesystem;

const std::string kStamp = "\\d\\d:\\d\\d:\\d\\d";

void startReading(const char* path, uint16_t line, bool poster) {
  logging::logInit({"Korva", "2.10/32", ""});
  config::source = config::ConfigSource{path, line, poster ? nuvrel::writeConfigErrorHeader : nullptr};
}

// Runs a step that must end the program and returns what it printed.
std::string failure(const std::function<void()>& step, int code = 3, const std::string& log = "") {
  ScratchDir dir;
  EXPECT_EXIT_STDOUT(
      {
        if (!log.empty() && !logging::logOpen(log)) std::_Exit(98);
        step();
      },
      code, dir / "stdout");
  return readFile(dir / "stdout");
}

std::string managerError(const std::string& message) {
  return "\nError in configuration file \"k.cfg\", line 7:\n --- " + message + "\n";
}

TEST(ReadConfigLine, SplitsKeyAndValueAndPassesOverTheRest) {
  ScratchDir dir;
  std::string path = dir / "k.cfg";
  testsupport::writeFile(path,
                         "; note\r\n\r\n  \t\r\n\tOrigin\t\"Main\"  ; x\r\nMoveValid\r\n\x01 NetmailIn  "
                         "c:\\net  tail \n[Results of 2005]\n[Open\n[" +
                             std::string(90, 'X') + "]\nLast line");
  // Every line the reader hands out, as "kind key|value@line".
  auto readAll = [&](bool poster) {
    startReading(path.c_str(), 0, poster);
    auto sections = poster ? config::SectionLines::kHeaders : config::SectionLines::kSettings;
    std::FILE* f = platform::openFile(path, "rb");
    std::vector<std::string> got;
    std::string key, value;
    for (config::LineKind kind; (kind = config::readConfigLine(f, key, value, sections)) != config::LineKind::kEnd;) {
      got.push_back((kind == config::LineKind::kSection ? "[ " : "= ") + key + "|" + value + "@" +
                    std::to_string(config::source.lineCounter));
    }
    got.push_back("end@" + std::to_string(config::source.lineCounter));
    std::fclose(f);
    return got;
  };
  using Lines = std::vector<std::string>;
  EXPECT_EQ(readAll(false), (Lines{"= Origin|\"Main\"  ; x@4", "= NetmailIn|c:\\net  tail @6", "= [Results|of 2005]@7",
                                   "= Last|line@10", "end@10"}));
  EXPECT_EQ(readAll(true), (Lines{"= Origin|\"Main\"  ; x@4", "= NetmailIn|c:\\net  tail @6", "[ Results of 2005|@7",
                                  "[ Open|@8", "[ " + std::string(80, 'X') + "|@9", "= Last|line@10", "end@10"}));
}

TEST(ParseStringValue, TakesTheTextBetweenTheQuotes) {
  startReading("k.cfg", 7, false);
  EXPECT_EQ(config::parseStringValue("\"Main station\"  ; note"), "Main station");
  EXPECT_EQ(config::parseStringValue("\"\""), "");
  EXPECT_EQ(config::parseStringValue("\"a \x8D b\" \x8D"), "a H b");
  EXPECT_EQ(config::parseStringValue("\"1234567890\"", 10), "1234567890");
  for (const char* bad : {"Main station", "\"unclosed", "\"", " \"x\""}) {
    EXPECT_EQ(failure([&] { config::parseStringValue(bad); }), managerError("Bad string value.")) << bad;
  }
}

TEST(ConfigError, PosterHeaderGoesThroughTheLogUnlessNoLineWasRead) {
  ScratchDir dir;
  auto tooLong = [] { config::parseStringValue("\"12345678901\"", 10); };
  const std::string header = "! Error in configuration file \"k\\.cfp\", line 7: ";
  const std::string message = "String \"12345678901\" lenght (11) > 10 symbols.\n";
  startReading("k.cfp", 7, true);
  std::string console = failure(tooLong, 3, dir / "n.log");
  EXPECT_TRUE(std::regex_match(console, std::regex("\n" + kStamp + " " + header + "String.*\n"))) << console;
  EXPECT_EQ(console.substr(console.find("String")), message);
  EXPECT_TRUE(std::regex_match(readFile(dir / "n.log"), std::regex("\r\n---.*\r\n" + kStamp + " " + header + "\r\n")));
  startReading("k.cfp", 0, true);
  EXPECT_EQ(failure(tooLong), message);
}

TEST(ParseFileValue, CutsAtTheBlankAndChecksExistence) {
  ScratchDir dir;
  testsupport::writeFile(dir / "Korva.TPL", "x");
  fs::create_directory(dir / "sub");
  std::string name = dir / "Korva.tpl";
  startReading("k.cfg", 7, false);
  EXPECT_EQ(config::parseFileValue(dir / "KORVA.tpl  tail", true), dir / "KORVA.tpl");
  EXPECT_EQ(config::parseFileValue("Missing.Tpl ; x", false), "Missing.Tpl");
  EXPECT_EQ(config::parseFileValue(name, true, name.size()), name);
  // Directories are no files, and the length test comes after the existence test.
  for (auto [value, shown] : {std::pair{"my files\\x.tpl", "my"}, {"sub", "sub"}, {"none", "none"}}) {
    EXPECT_EQ(failure([&] { config::parseFileValue(dir / value, true, 5); }),
              managerError("file \"" + dir / shown + "\" not exist."));
  }
  EXPECT_EQ(failure([&] { config::parseFileValue(name, true, 5); }), managerError("Filename lenght > 5 symbols."));
}

TEST(DirectoryStoredForm, CutsTerminatesAndUpcases) {
  const std::pair<const char*, const char*> cases[] = {
      {"c:\\fido\\net  tail", "C:\\FIDO\\NET\\"},
      {"/tmp/x/in", "/TMP/X/IN/"},
      {"/tmp/x/in/", "/TMP/X/IN/"},
      {"c:\\fido/", "C:\\FIDO/"},
      {"a/b\\c", "A/B\\C\\"},
      {"d:\\\xa0\xe0", "D:\\\xa0\xe0\\"},
  };
  for (auto [value, stored] : cases) EXPECT_EQ(config::directoryStoredForm(value), stored) << value;
}

TEST(ParseDirectoryValue, FindsOrCreatesTheDirectory) {
  ScratchDir dir;
  fs::create_directory(dir / "in");
  std::string upper = config::directoryStoredForm(dir.path);  // "/TMP/FTNCOMMON-.../"
  std::string cwd = platform::currentDirectory();
  startReading("k.cfg", 7, false);
  EXPECT_EQ(config::parseDirectoryValue(dir / "in tail", false), upper + "IN/");
  testing::internal::CaptureStdout();
  EXPECT_EQ(config::parseDirectoryValue(dir / "New\\", true), upper + "NEW\\");
  std::string created = "- Directory \"" + upper + "NEW\" not found, create it.";
  EXPECT_EQ(testing::internal::GetCapturedStdout().substr(10), created);
  EXPECT_TRUE(fs::is_directory(dir / "New"));  // with the case written
  EXPECT_EQ(platform::currentDirectory(), cwd);

  EXPECT_EQ(failure([&] { config::parseDirectoryValue(dir / "nope", false); }),
            managerError("Directory \"" + upper + "NOPE/\" not exist."));
  std::string console = failure([&] { config::parseDirectoryValue(dir / "a/b", true); });
  EXPECT_EQ(console.substr(10), "- Directory \"" + upper + "A/B\" not found, create it." +
                                    managerError("Can't create directory \"" + upper + "A/B\"."));
  EXPECT_EQ(failure([&] { config::parseDirectoryValue(dir / "in", false, 5); }),
            managerError("Directory name lenght > 5 symbols."));

  // A key followed only by blanks has an empty value, which names no directory (not the root).
  EXPECT_EQ(failure([&] { config::parseDirectoryValue("", false); }), managerError("Directory \"\\\" not exist."));
  console = failure([&] { config::parseDirectoryValue("", true); });
  EXPECT_EQ(console.substr(10),
            "- Directory \"\" not found, create it." + managerError("Can't create directory \"\"."));
  EXPECT_EQ(config::parseDirectoryValue("/", false), "/");
}

TEST(ParseBoolValue, AcceptsYesAndNoInAnyCase) {
  startReading("k.cfg", 7, false);
  EXPECT_TRUE(config::parseBoolValue("yes"));
  EXPECT_TRUE(config::parseBoolValue("YES ; comment"));
  EXPECT_FALSE(config::parseBoolValue("nO"));
  for (const char* bad : {"1", "", "yess"}) {
    EXPECT_EQ(failure([&] { config::parseBoolValue(bad); }), "\nFile \"k.cfg\": Bad bool value in line 7.\n") << bad;
  }
}

TEST(ParseAddressValue, FillsWhatItReadsAndNeedsZoneAndNet) {
  startReading("k.cfg", 7, false);
  FtnAddress a{0, 0, 0, 3};
  config::parseAddressValue(a, "2:5020/1 tail");
  EXPECT_EQ(formatAddress4d(a), "2:5020/1.3");
  config::parseAddressValue(a, "3");
  EXPECT_EQ(formatAddress4d(a), "3:5020/1.3");
  for (const char* bad : {"0:5020/1", "2", "2:0/1"}) {
    FtnAddress b;
    EXPECT_EQ(failure([&] { config::parseAddressValue(b, bad); }), managerError("Bad FTN address.")) << bad;
  }
}

TEST(ParseDateValue, GivesLocalMidnight) {
  startReading("k.cfg", 7, false);
  testsupport::setTimeZone("UTC0");
  EXPECT_EQ(config::parseDateValue("1.9.05"), 1125532800);
  EXPECT_EQ(config::parseDateValue("31.12.99"), 4102358400);
  EXPECT_EQ(config::parseDateValue("1.1.1981 tail"), 347155200);
  EXPECT_EQ(config::parseDateValue("31.1.3000"), 32506272000);
  testsupport::setTimeZone("EST5EDT,M3.2.0,M11.1.0");
  EXPECT_EQ(config::parseDateValue("01.09.2005"), 1125532800 + 4 * 3600);  // summer time
  EXPECT_EQ(config::parseDateValue("1.1.2005"), 1104537600 + 5 * 3600);
  for (const char* bad : {"0.1.2005", "1.13.2005", "32.1.2005", "1.0.2005", "1.1.1980", "1.1.3001", "1.1.100", "x"}) {
    EXPECT_EQ(failure([&] { config::parseDateValue(bad); }), managerError("Bad date value.")) << bad;
  }
}

TEST(RequireParameter, EndsWithMinusThreeWhenMissing) {
  startReading("k.cfg", 12, false);
  config::requireParameter(true, "NetmailIn");
  EXPECT_TRUE(std::regex_match(failure([] { config::requireParameter(false, "MoveValid"); }, 253),
                               std::regex("\n" + kStamp + " ! File \"k\\.cfg\": MoveValid parameter not defind\\.\n")));
}

}  // namespace
