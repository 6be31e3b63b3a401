#include "common/log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>

#include "common/platform.h"
#include "common/text.h"

namespace logging {

namespace {

// The logger's state, alive until exit.
struct LogState {
  LogIdentity identity;
  std::FILE* file = nullptr;
  bool bannerPending = true;
  bool headerPending = true;
  bool holding = false;
  bool quiet = false;
  bool entryShown = true;       // whether the current entry reached standard output (quiet mode)
  bool stdoutUsed = false;      // something reached standard output in this run
  std::vector<HeldEntry> held;  // entries kept back while holding, in order
  void (*exitHook)() = nullptr;
};
LogState state;

std::string timeOfDay(const std::tm& now) {
  return text::format("%02d:%02d:%02d", now.tm_hour, now.tm_min, now.tm_sec);
}

void writeLog(std::string_view s) {
  if (state.file != nullptr) platform::writeText(state.file, s);
}

}  // namespace

void logInit(const LogIdentity& identity) {
  state.identity = identity;
  state.bannerPending = true;
  state.headerPending = true;
  // A run starts with nothing shown: a quiet run's closing line break depends on it.
  state.entryShown = true;
  state.stdoutUsed = false;
}

bool logOpen(std::string_view path) {
  // Opened for reading too: a reply may quote what was logged about the message it answers.
  std::FILE* f = platform::openFile(path, "a+b");
  if (f == nullptr) return false;
  if (state.file != nullptr) std::fclose(state.file);
  state.file = f;
  return true;
}

bool logIsOpen() { return state.file != nullptr; }

bool logHeaderPending() { return state.headerPending; }

namespace {

// The held entries as they will stand on disk once written.
std::string heldBytes() {
  std::string text;
  for (const HeldEntry& entry : state.held) text += entry.text;
  return platform::textModeBytes(text);
}

long fileLength() {
  if (state.file == nullptr || std::fseek(state.file, 0, SEEK_END) != 0) return 0;
  long length = std::ftell(state.file);
  return length < 0 ? 0 : length;
}

}  // namespace

long logLength() { return state.file == nullptr ? 0 : fileLength() + long(heldBytes().size()); }

bool logLinesFrom(long offset, size_t capacity, std::vector<std::string>& lines) {
  if (state.file == nullptr) return false;
  // The log from `offset` as it will stand on disk: the file, then what is held.
  long length = fileLength();
  std::string bytes;
  if (offset < length && std::fseek(state.file, offset, SEEK_SET) == 0) {
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, state.file)) > 0) bytes.append(buffer, got);
  }
  std::fseek(state.file, 0, SEEK_END);
  std::string held = heldBytes();
  size_t skip = offset > length ? size_t(offset - length) : 0;
  if (skip < held.size()) bytes += held.substr(skip);
  // Read back as a text-mode reading gives it: CR LF as LF, a Ctrl-Z ending the file, lines of at
  // most capacity-1 characters.
  std::string line;
  for (size_t i = 0; i < bytes.size() && bytes[i] != '\x1A'; ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    line += bytes[i];
    if (bytes[i] == '\n' || line.size() + 1 >= capacity) lines.push_back(std::exchange(line, {}));
  }
  if (!line.empty()) lines.push_back(line);
  return true;
}

void logHold() { state.holding = true; }

bool logHolding() { return state.holding; }

size_t logHoldEffect(std::string entry) {
  state.held.push_back({std::move(entry), true});
  return state.held.size() - 1;
}

std::vector<HeldEntry> logTakeHeld() {
  state.holding = false;
  return std::exchange(state.held, {});
}

namespace {

enum class Shown { kByKind, kAlways, kNever };

// Whether an entry goes to standard output.  Text without a line break of its own continues the
// current entry and goes where it went.
bool showEntry(std::string_view entry, Shown shown) {
  if (entry.empty() || entry[0] != '\n') return state.entryShown;
  const size_t kindAt = sizeof "\nHH:MM:SS " - 1;
  bool operatorKind = entry.size() > kindAt && entry[kindAt] == '!';
  state.entryShown = !state.quiet || shown == Shown::kAlways || (shown == Shown::kByKind && operatorKind);
  return state.entryShown;
}

void showOnStdout(std::string_view text) {
  if (text.empty()) return;
  state.stdoutUsed = true;
  platform::stdoutWrite(text);
}

// The dated header goes before the run's first entry.
void writeToLogFile(std::string_view entry) {
  if (state.file == nullptr) return;
  if (state.headerPending && !entry.empty() && entry[0] == '\n') {
    std::tm now = platform::localTime(std::time(nullptr));
    writeLog(text::format("\n--------- %d-%s-%d   %s v %s", now.tm_mday, text::monthAbbreviation(now.tm_mon),
                          now.tm_year + 1900, state.identity.name.c_str(), state.identity.version.c_str()));
    state.headerPending = false;
  }
  writeLog(entry);
  std::fflush(state.file);  // a killed run keeps what it logged
}

void writeEntry(std::string_view entry, Shown shown) {
  if (state.bannerPending && !state.identity.banner.empty()) consoleWrite(state.identity.banner);
  state.bannerPending = false;
  writeToLogFile(entry);
  if (showEntry(entry, shown)) showOnStdout(entry);
}

}  // namespace

void logWriteEntry(std::string_view entry) { writeEntry(entry, Shown::kByKind); }

namespace {

// An entry is one line: the format is cut after its first.  The conversions left are the first ones of
// the caller's format, which the compiler checked against the arguments, so the cut one may go unchecked.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string formatEntry(const char* format, va_list args) {
  std::string_view rest(format);
  std::string entry;
  if (!rest.empty() && rest[0] == '\n') {
    entry = "\n" + timeOfDay(platform::localTime(std::time(nullptr))) + " ";
    rest.remove_prefix(1);
  }
  std::string firstLine(rest.substr(0, rest.find('\n')));
  return entry + text::vformat(firstLine.c_str(), args);
}
#pragma GCC diagnostic pop

}  // namespace

std::string logEntry(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string entry = formatEntry(format, args);
  va_end(args);
  return entry;
}

namespace {

// Alerts and routine ends are never logged while a message's entries are held back.
int printEntry(Shown shown, const char* format, va_list args) {
  std::string entry = formatEntry(format, args);
  int written = int(entry.size());
  if (state.holding) {
    state.held.push_back({std::move(entry), false});
  } else {
    writeEntry(entry, shown);
  }
  return written;
}

}  // namespace

int logPrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = printEntry(Shown::kByKind, format, args);
  va_end(args);
  return written;
}

void setQuiet(bool quiet) { state.quiet = quiet; }

int logAlert(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = printEntry(Shown::kAlways, format, args);
  va_end(args);
  return written;
}

int logRoutine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = printEntry(Shown::kNever, format, args);
  va_end(args);
  return written;
}

void logToFileOnly(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string entry = formatEntry(format, args);
  va_end(args);
  writeToLogFile(entry);
}

void consoleWrite(std::string_view text) {
  if (!state.quiet) platform::consoleWrite(text);
}

int printOut(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = text::vformat(format, args);
  va_end(args);
  showOnStdout(message);
  return int(message.size());
}

void logClose() {
  if (state.file == nullptr) return;
  if (!state.headerPending) platform::writeText(state.file, "\n");
  std::fclose(state.file);
  state.file = nullptr;
}

void appExit(ExitCode code) {
  // What was held back tells how far the run came; the effects it would have told of never happened.
  for (const HeldEntry& entry : logTakeHeld()) {
    if (!entry.effect) logWriteEntry(entry.text);
  }
  if (void (*hook)() = state.exitHook) {
    state.exitHook = nullptr;  // an ending inside the hook must not call it again
    hook();
  }
  logClose();
  // The closing line break of a quiet run that showed nothing would make a scheduler mail it.
  if (state.identity.closingLineBreak && (!state.quiet || state.stdoutUsed)) platform::stdoutWrite("\n");
  platform::exitProcess(static_cast<int>(code));
}

void setExitHook(void (*hook)()) { state.exitHook = hook; }

void outOfMemory() {
  logPrint("\n! Not enough memory.");
  appExit(kExitOutOfMemory);
}

}  // namespace logging
