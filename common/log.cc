#include "common/log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

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

long logLength() {
  if (state.file == nullptr || std::fseek(state.file, 0, SEEK_END) != 0) return 0;
  long length = std::ftell(state.file);
  return length < 0 ? 0 : length;
}

bool logLinesFrom(long offset, size_t capacity, std::vector<std::string>& lines) {
  if (state.file == nullptr) return false;
  if (std::fseek(state.file, offset, SEEK_SET) == 0) {
    std::string line;
    while (platform::readTextLine(state.file, line, capacity)) lines.push_back(line);
  }
  std::fseek(state.file, 0, SEEK_END);
  return true;
}

int logPrint(const char* format, ...) {
  if (state.bannerPending && !state.identity.banner.empty()) platform::consoleWrite(state.identity.banner);
  std::string_view rest(format);
  int written = 0;
  if (!rest.empty() && rest[0] == '\n') {
    std::tm now = platform::localTime(std::time(nullptr));
    std::string stamp = "\n" + timeOfDay(now) + " ";
    if (state.file != nullptr) {
      if (state.headerPending) {
        writeLog(text::format("\n--------- %d-%s-%d   %s v %s", now.tm_mday, text::monthAbbreviation(now.tm_mon),
                              now.tm_year + 1900, state.identity.name.c_str(),
                              state.identity.version.c_str()));
        state.headerPending = false;
      }
      writeLog(stamp);
    }
    platform::stdoutWrite(stamp);
    written += int(stamp.size());
    rest.remove_prefix(1);
  }
  std::string firstLine(rest.substr(0, rest.find('\n')));
  va_list args;
  va_start(args, format);
  std::string message = text::vformat(firstLine.c_str(), args);
  va_end(args);
  writeLog(message);
  if (state.file != nullptr) std::fflush(state.file);  // a killed run keeps what it logged
  platform::stdoutWrite(message);
  state.bannerPending = false;
  return written + int(message.size());
}

int printOut(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = text::vformat(format, args);
  va_end(args);
  platform::stdoutWrite(message);
  return int(message.size());
}

void logClose() {
  if (state.file == nullptr) return;
  if (!state.headerPending) platform::writeText(state.file, "\n");
  std::fclose(state.file);
  state.file = nullptr;
}

void appExit(int code) {
  if (void (*hook)() = state.exitHook) {
    state.exitHook = nullptr;  // an ending inside the hook must not call it again
    hook();
  }
  logClose();
  platform::stdoutWrite("\n");
  platform::exitProcess(code);
}

void setExitHook(void (*hook)()) { state.exitHook = hook; }

void outOfMemory() {
  logPrint("\n! Not enough memory.");
  appExit(11);
}

}  // namespace logging
