// Every message of the vote manager and the poster goes through logPrint: to standard output and,
// once a log file is open, to the log.  appExit is the programs' one way out.
#ifndef COMMON_LOG_H_
#define COMMON_LOG_H_

#include <string>
#include <string_view>
#include <vector>

namespace logging {

// Who is logging: the name and version in the log's dated header, and the banner shown on the
// console before the first message (empty: none).
struct LogIdentity {
  std::string name;     // "Korva", "Nuvrel"
  std::string version;  // "2.10/32"
  std::string banner;
  bool closingLineBreak = true;  // appExit ends standard output with a line break
};

// Sets the identity and the two pending flags; called once at program start.
void logInit(const LogIdentity& identity);

// Opens the log file for appending; false when it cannot be opened.
bool logOpen(std::string_view path);
bool logIsOpen();

// Finishes and closes the log file; later messages go to the console only.
void logClose();

// The log file's length so far; 0 without a log.  Taken when a message is taken up, so that the
// lines logged about it can be read back.
long logLength();

// The log's lines from `offset` to its end as a text-mode reading gives them (CR LF read as LF), each
// of at most capacity-1 characters; false without a log.  Later entries are still appended at the end.
bool logLinesFrom(long offset, size_t capacity, std::vector<std::string>& lines);

// Holding: from logHold on, messages are kept back in order instead of written, and
// logLinesFrom reads them as if they were written.  The vote manager holds what it logs about a
// message until the message's effects are made, so that the log tells of a move or a sent
// message only once it is done.  logTakeHeld ends the holding and hands the kept entries over,
// each to be written with logWriteEntry.  An ending through appExit writes the plain entries and
// drops those that tell of an effect: that effect never happened.
struct HeldEntry {
  std::string text;     // as written: the line break and time of a new entry included
  bool effect = false;  // tells of an effect; written by its maker once it is done
};
void logHold();
bool logHolding();
// Formats an entry as logPrint would write it (time stamp included), without writing it.
std::string logEntry(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Keeps back an entry that tells of an effect; returns its position among the held entries.
size_t logHoldEffect(std::string entry);
std::vector<HeldEntry> logTakeHeld();
void logWriteEntry(std::string_view entry);

// True until the first dated header was written to the log (always true without a log file).
bool logHeaderPending();

// Writes one message.  A format starting with a line break begins a new entry with the time of
// day; only the first line of the format is used.  Returns the characters written to stdout.
int logPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Quiet mode, for runs from a scheduler: standard output shows only the entries that need an
// operator (the "!" kind, with the text that continues them) and what printOut writes, so that
// the scheduler mails exactly when something is wrong.  The log still gets every entry; console
// writes are dropped.
void setQuiet(bool quiet);
// As logPrint, but shown even in quiet mode: the entry needs an operator though not of the "!" kind.
int logAlert(const char* format, ...) __attribute__((format(printf, 1, 2)));
// As logPrint, but not shown in quiet mode though of the "!" kind: the usual end of a scheduled run.
int logRoutine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Appends an entry to the log file only (nothing without one): a failure already shown on the
// console in its own form, so that a reader of the log sees why the run stopped.
void logToFileOnly(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes to the terminal, bypassing standard output (banners); nothing in quiet mode.
void consoleWrite(std::string_view text);

// Writes to standard output only, never to the log: usage texts, reports and other console output.
// Returns the characters written.
int printOut(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The code a program ends with.  Each program names its codes in its exit_codes.h, and the
// shared modules theirs beside their functions; a bare number is no exit code.
enum class ExitCode : int {};

// Finishes the log and ends the program with the code.
[[noreturn]] void appExit(ExitCode code);

constexpr ExitCode kExitOutOfMemory{11};

// "! Not enough memory." and kExitOutOfMemory.
[[noreturn]] void outOfMemory();

// Called once by appExit before the log is finished, however the program ends: the poster
// closes its open output there, so that every ending leaves whole files behind.
void setExitHook(void (*hook)());

}  // namespace logging

#endif  // COMMON_LOG_H_
