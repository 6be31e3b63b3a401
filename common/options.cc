#include "common/options.h"

#include <cstdlib>
#include <cstring>

#include "common/text.h"

namespace options {

namespace {

// The scanner's view of the command line, alive until exit.
struct ScannerState {
  int count = 0;
  char** arguments = nullptr;
  bool consumed[kMaxArguments] = {};
  const char* listCursor = nullptr;
};
ScannerState scanner;

bool matches(const char* argument, std::string_view name) {
  return isOption(argument) && text::startsWithIgnoringAsciiCase(argument + 1, name);
}

int firstMatch(std::string_view name, int from = 1) {
  for (int slot = from; slot < scanner.count; ++slot) {
    if (matches(scanner.arguments[slot], name)) return slot;
  }
  return 0;
}

// strtol's leading blanks and sign, digits up to the first non-digit; no digits give 0.
int readDecimal(const char* p) { return int(std::strtol(p, nullptr, 10)); }

}  // namespace

bool isOption(const char* argument) {
  if (argument[0] == '-') return true;
  if (argument[0] != '/') return false;
  size_t end = std::strcspn(argument + 1, ":");
  return std::memchr(argument + 1, '/', end) == nullptr;
}

void optInit(int argc, char** argv) {
  scanner = ScannerState{};
  scanner.count = argc < kMaxArguments ? argc : kMaxArguments;
  scanner.arguments = argv;
}

const char* optPositional(int n) {
  for (int slot = 1, seen = 0; slot < scanner.count; ++slot) {
    if (isOption(scanner.arguments[slot])) continue;
    if (++seen == n) {
      scanner.consumed[slot] = true;
      return scanner.arguments[slot];
    }
  }
  return nullptr;
}

bool optPresent(std::string_view name) {
  int slot = firstMatch(name);
  if (slot == 0) return false;
  scanner.consumed[slot] = true;
  return true;
}

const char* optString(std::string_view name) {
  for (int slot = firstMatch(name); slot != 0; slot = firstMatch(name, slot + 1)) {
    const char* colon = std::strchr(scanner.arguments[slot] + 1 + name.size(), ':');
    if (colon != nullptr) {
      scanner.consumed[slot] = true;
      return colon + 1;
    }
  }
  return nullptr;
}

bool optInt(std::string_view name, int& value) {
  int slot = firstMatch(name);
  if (slot == 0) return false;
  const char* colon = std::strrchr(scanner.arguments[slot] + 1 + name.size(), ':');
  if (colon == nullptr) {
    scanner.listCursor = nullptr;
    return true;
  }
  scanner.listCursor = colon + 1;
  value = readDecimal(scanner.listCursor);
  scanner.consumed[slot] = true;
  return true;
}

bool optNextInt(int& value) {
  if (scanner.listCursor == nullptr) return false;
  const char* comma = std::strchr(scanner.listCursor, ',');
  if (comma == nullptr) {
    scanner.listCursor = nullptr;
    return false;
  }
  scanner.listCursor = comma + 1;
  value = readDecimal(scanner.listCursor);
  return true;
}

const char* optUnconsumed() {
  for (int slot = 1; slot < scanner.count; ++slot) {
    if (!scanner.consumed[slot]) return scanner.arguments[slot];
  }
  return nullptr;
}

bool versionAsked(int argc, char** argv) { return argc == 2 && std::string_view(argv[1]) == "--version"; }

}  // namespace options
