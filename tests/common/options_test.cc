#include "common/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace options;

// Keeps an argument vector alive for the scanner, which uses the strings in place.
struct CommandLine {
  std::vector<std::string> words;
  std::vector<char*> pointers;
  explicit CommandLine(std::vector<std::string> args) : words(std::move(args)) {
    words.insert(words.begin(), "Korva32");
    for (std::string& w : words) pointers.push_back(w.data());
    optInit(int(words.size()), pointers.data());
  }
};

TEST(IsOption, SlashStartsAnOptionOnlyWithoutFurtherSlashBeforeTheColon) {
  for (const char* yes : {"-a", "-", "-x/y", "/h", "/txt", "/", "/cfg:/etc/ftn/korva.cfp"}) {
    EXPECT_TRUE(isOption(yes)) << yes;
  }
  for (const char* no : {"/var/spool/ftn/golded.lst", "/a/b:c", "Scan", "", "a-b"}) {
    EXPECT_FALSE(isOption(no)) << no;
  }
}

TEST(OptPresent, NameIsAnAsciiCaseInsensitivePrefix) {
  CommandLine line({"Scan", "-A", "/Config", "--v", "/var/spool/n.lst", "-\xa0x"});
  EXPECT_TRUE(optPresent("a"));
  EXPECT_TRUE(optPresent("CONF"));
  EXPECT_FALSE(optPresent("configs"));
  EXPECT_FALSE(optPresent("v"));  // "--v" goes on with "-"; a path is no option
  EXPECT_TRUE(optPresent("\xa0"));
  EXPECT_FALSE(optPresent("\x80"));  // Cyrillic letters are not folded
  EXPECT_FALSE(optPresent("Scan"));
}

TEST(OptPresent, OnlyTheFirstNineteenArgumentsAreSeen) {
  std::vector<std::string> words(25, "word");
  words[18] = "-s";  // slot 19
  words[19] = "-t";  // slot 20
  CommandLine line(words);
  EXPECT_TRUE(optPresent("s"));
  EXPECT_FALSE(optPresent("t"));
  EXPECT_STREQ(optPositional(18), "word");
  EXPECT_EQ(optPositional(19), nullptr);
}

TEST(OptString, TakesTheFirstColonOfTheFirstMatchThatHasOne) {
  CommandLine line({"-list", "-list:x.lst", "-c:", "-cfg:C:\\x.cfg", "/s:Main", "-k:v"});
  EXPECT_STREQ(optString("l"), "x.lst");
  EXPECT_STREQ(optString("c"), "");
  EXPECT_STREQ(optString("cfg"), "C:\\x.cfg");
  EXPECT_STREQ(optString("S"), "Main");
  EXPECT_EQ(optString("k:v"), nullptr);  // the colon is looked for after the name
  EXPECT_EQ(optString("x"), nullptr);
  EXPECT_STREQ(optUnconsumed(), "-list");
  EXPECT_TRUE(optPresent("l"));
}

TEST(OptPositional, CountsWordsThatAreNoOptions) {
  CommandLine line({"-cfg:a.cfg", "Scan", "", "/tmp/in/", "/h"});
  EXPECT_STREQ(optPositional(1), "Scan");
  EXPECT_STREQ(optPositional(1), "Scan");
  EXPECT_STREQ(optPositional(2), "");
  EXPECT_STREQ(optPositional(3), "/tmp/in/");
  EXPECT_EQ(optPositional(4), nullptr);
  EXPECT_STREQ(optUnconsumed(), "-cfg:a.cfg");
  EXPECT_TRUE(optPresent("cfg"));
  EXPECT_TRUE(optPresent("h"));
  EXPECT_EQ(optUnconsumed(), nullptr);
}

TEST(OptInt, ReadsTheNumberAfterTheLastColonAndTheListAfterIt) {
  CommandLine line({"-x:5,7,-9", "-y:12:34", "-z", "-n: +8", "-e:"});
  int v = -1;
  EXPECT_TRUE(optInt("x", v));
  EXPECT_EQ(v, 5);
  EXPECT_TRUE(optNextInt(v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(optNextInt(v));
  EXPECT_EQ(v, -9);
  EXPECT_FALSE(optNextInt(v));
  EXPECT_FALSE(optNextInt(v));
  EXPECT_EQ(v, -9);
  for (auto [name, value] : {std::pair{"y", 34}, {"n", 8}, {"e", 0}}) {
    EXPECT_TRUE(optInt(name, v));
    EXPECT_EQ(v, value) << name;
  }
  EXPECT_TRUE(optInt("x", v));
  v = 42;
  EXPECT_TRUE(optInt("z", v));  // found, but without a value
  EXPECT_EQ(v, 42);
  EXPECT_FALSE(optNextInt(v));  // and the list of "-x" is gone
  EXPECT_FALSE(optInt("w", v));
  EXPECT_STREQ(optUnconsumed(), "-z");
}

}  // namespace
