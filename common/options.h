// The option scanner: every program reads its command line through these queries.
//
// An argument is an option when it begins with "-", or with "/" when the text between that "/" and
// its first ":" (or its end) holds no further "/"; everything else is a positional word.  So
// "/cfg:/etc/ftn/korva.cfp" and "/h" are options, "/var/spool/ftn/golded.lst" is a path.
#ifndef COMMON_OPTIONS_H_
#define COMMON_OPTIONS_H_

#include <string_view>

namespace options {

constexpr int kMaxArguments = 20;  // the program path and the first 19 arguments

bool isOption(const char* argument);

void optInit(int argc, char** argv);
// The n-th positional word (1 for the first), or nullptr.
const char* optPositional(int n);
// True when some option's text after its "-" or "/" begins with `name` (ASCII case ignored).
bool optPresent(std::string_view name);
// The text after the first ":" of the first matching option that has one, or nullptr.
const char* optString(std::string_view name);
// The decimal number after the last ":" of the first matching option; true when an option matched.
bool optInt(std::string_view name, int& value);
// The next number of the comma-separated list after an optInt value.
bool optNextInt(int& value);
// The first argument that no query has taken, or nullptr.
const char* optUnconsumed();

// True when "--version" is the only argument: the program then names itself and its version and
// reads nothing else.
bool versionAsked(int argc, char** argv);

}  // namespace options

#endif  // COMMON_OPTIONS_H_
