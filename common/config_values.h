// The configuration line syntax and the typed value parsers both programs share.  Every parser
// checks its value, reports a bad one naming the file and line, and ends the program; none returns
// an error to its caller.
#ifndef COMMON_CONFIG_VALUES_H_
#define COMMON_CONFIG_VALUES_H_

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>

#include "common/ftn_address.h"
#include "common/log.h"

namespace config {

constexpr size_t kLineCapacity = 32766;  // a line yields at most 32765 characters
constexpr size_t kUnbounded = std::numeric_limits<size_t>::max();

constexpr logging::ExitCode kExitBadValue{3};     // a value refused, the file and line named
constexpr logging::ExitCode kExitIncomplete{-3};  // a setting the run needs was not given (seen as 253)

struct ConfigSource;

// Writes what stands before the message of a bad value: where the program shows the file and line.
using ErrorHeader = void (*)(const ConfigSource& source, const std::string& message);

// The configuration file being read.
struct ConfigSource {
  std::string path;
  uint16_t lineCounter = 0;
  // A program's own form of the header; unset, the header goes to standard output and the log
  // gets the whole error as one entry.
  ErrorHeader errorHeader = nullptr;
};
extern ConfigSource source;

enum class LineKind { kEnd, kSetting, kSection };

// Whether a line beginning with "[" heads a section or is read as any other setting.
enum class SectionLines { kSettings, kHeaders };

// Reads lines until the next setting (key and value) or, with section headers, section header (its
// name in `key`).  Comments, blank lines and keys without a value are passed over.
LineKind readConfigLine(std::FILE* f, std::string& key, std::string& value,
                        SectionLines sections = SectionLines::kSettings);

// Reports a bad value with the file-and-line header and ends the program with kExitBadValue.
[[noreturn]] void configError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Poster limits apply when maxLength is given; the vote manager's values are unbounded.
std::string parseStringValue(std::string_view value, size_t maxLength = kUnbounded);
std::string parseFileValue(std::string_view value, bool mustExist, size_t maxLength = kUnbounded);
// The stored form: cut at the first blank, ending in a separator, ASCII letters upper-cased.
std::string parseDirectoryValue(std::string_view value, bool createIfMissing, size_t maxLength = kUnbounded);
bool parseBoolValue(std::string_view value);
// Fills the fields it reads; the others keep their contents.
void parseAddressValue(FtnAddress& address, std::string_view value);
// Local midnight of the day "day.month.year", as seconds since the epoch.
std::time_t parseDateValue(std::string_view value);

// Ends the program with kExitIncomplete when a required setting was not given.
void requireParameter(bool present, const char* keyName);

// The stored directory form of a value, without any check.
std::string directoryStoredForm(std::string_view value);

}  // namespace config

#endif  // COMMON_CONFIG_VALUES_H_
