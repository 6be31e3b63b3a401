// Helpers for the foundation's tests: a scratch directory, whole files, the time zone, and death
// tests whose standard output is kept in a file.
#ifndef TESTS_COMMON_TEST_SUPPORT_H_
#define TESTS_COMMON_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

// A fresh directory under /tmp, removed with its contents at the end of the test.
struct ScratchDir {
  std::string path;
  ScratchDir() {
    char name[] = "/tmp/ftncommon-XXXXXX";
    path = ::mkdtemp(name);
  }
  ~ScratchDir() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline std::string readFile(const std::string& path) {
  std::ostringstream out;
  out << std::ifstream(path, std::ios::binary).rdbuf();
  return out.str();
}

inline void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline void setTimeZone(const char* tz) {
  ::setenv("TZ", tz, 1);
  ::tzset();
}

}  // namespace testsupport

// Expects `statement` to end the program with `code`; its standard output lands in `file`.
#define EXPECT_EXIT_STDOUT(statement, code, file)                                   \
  do {                                                                              \
    std::fflush(nullptr);                                                           \
    EXPECT_EXIT(                                                                    \
        {                                                                           \
          if (std::freopen((file).c_str(), "w", stdout) == nullptr) std::_Exit(99); \
          statement;                                                                \
        },                                                                          \
        testing::ExitedWithCode(code), "");                                         \
  } while (0)

#endif  // TESTS_COMMON_TEST_SUPPORT_H_
