// The one place where the programs meet the operating system.
//
// The election files were born on a DOS-style platform: paths use "\" as well as "/", names are
// matched without regard to case, text files end their lines with CR LF and file dates are packed
// DOS stamps.  Everything above this layer keeps those conventions; this layer maps them onto POSIX.
#ifndef COMMON_PLATFORM_H_
#define COMMON_PLATFORM_H_

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// ---- Paths -------------------------------------------------------------------------------------

// True for both "\" and "/": either separates path components.
inline bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Maps a path as the programs write it onto the real file system: "\" becomes "/", and each
// component is taken by its exact name when that exists, else by the first entry of its directory
// equal to it ignoring ASCII case.  Components that match nothing stay as written, so a file about
// to be created gets exactly the case of its name text.
std::string resolvePath(std::string_view path);

// The directory part of a path including its last separator ("" when there is none).
std::string directoryPart(std::string_view path);

// The path with the extension of its last component replaced by (or extended with) ext, as in
// "x\korva.cfg" + "vot" -> "x\korva.vot".  A dot in a directory name is not an extension.
std::string replaceExtension(std::string_view path, std::string_view ext);

// The program's own directory: the directory part of argv[0], or "" (the working directory).
std::string programDirectory(const char* argv0);

// ---- Files and directories ---------------------------------------------------------------------

bool isRegularFile(std::string_view path);
bool isDirectory(std::string_view path);
bool fileLength(std::string_view path, uint64_t& length);
bool fileModificationTime(std::string_view path, std::time_t& mtime);

// The file's last-write time as a packed DOS date (high 16 bits) and time (low 16 bits), local time.
bool fileDosDateTime(std::string_view path, uint32_t& stamp);

// Names (not paths) of the regular files of a directory whose name matches a "*.msg"-style
// wildcard without regard to ASCII case, in the order the directory lists them.
std::vector<std::string> listFiles(std::string_view directory, std::string_view wildcard);

// Every entry of a directory whose name matches the wildcard, in the order the directory lists
// them, with whether it is a regular file.  Symbolic links are not followed: a link is not regular.
struct DirectoryEntry {
  std::string name;
  bool regular = false;
};
std::vector<DirectoryEntry> listEntries(std::string_view directory, std::string_view wildcard);

// "*" matches any run, "?" any one character; letters compare without regard to ASCII case.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// The decimal number at the start of a name as an unsigned 16-bit value, wrapping as 16 bits do
// ("70000.msg" is 4464); 0 when the name does not start with a digit.
uint16_t leadingNumber(std::string_view name);

// The greatest leadingNumber among the regular files of the directory whose names match the
// wildcard (as listFiles finds them), leaving out the names leaveOut accepts; 0 when there is none.
// Indexed directories (below) answer by their files ordered by number, without a walk over all names.
uint16_t highestFileNumber(std::string_view directory, std::string_view wildcard,
                           const std::function<bool(const std::string& name)>& leaveOut = {});

// A directory looked into by name (resolvePath) or by number (highestFileNumber) is listed once and
// then kept current by the kernel's notice of every entry made, removed or renamed in it (inotify),
// up to 64 directories a process.  A directory on a network file system, where the changes other
// machines make are never noticed, and any directory when inotify is not to be had, is listed
// afresh at every lookup instead.  A relative path is indexed as written, so the working directory
// changes only through changeDirectory, which forgets the indexes.  watchDirectories(false) lists
// every directory afresh, for tests of that way; true (the default) lets them be indexed again.
void watchDirectories(bool on);

// True when the last component of the path holds "*" or "?".
bool namesWildcard(std::string_view path);

// Of the regular files whose names match the last component of `pattern` (as listFiles matches),
// in the directory the pattern names, the one written last: the latest last-write time, and of
// equal times the greatest name in byte order.  Gives its directory as the pattern wrote it and
// its name as listed; false when no file matches.
bool newestMatchingFile(std::string_view pattern, std::string& path);

std::string currentDirectory();
bool changeDirectory(std::string_view path);

// Creates one directory level.  The parent is resolved without regard to case; the new last
// component gets exactly the case written.  Fails when an entry of that name exists in any case.
bool makeDirectory(std::string_view path);

enum class RenameResult { kDone, kCrossDevice, kFailed };

// Renames a file; fails (kFailed) when the target exists, as DOS-style platforms do.
RenameResult renameFile(std::string_view from, std::string_view to);

// Replaces `to` by `from` in one atomic step (overwrites an existing target).
bool replaceFile(std::string_view from, std::string_view to);

// Copies a file, failing when the target exists if failIfExists, and always when the target is
// the source itself; the copy is on disk when this returns true.
bool copyFile(std::string_view from, std::string_view to, bool failIfExists);

bool deleteFile(std::string_view path);

// Rename with the cross-device fallback: a copy under a temporary name in the target's directory,
// forced to disk and renamed onto the target (failing if the target exists), then the source
// deleted, the delete retried once.  A target that exists is always whole.  Returns 0 on success,
// else the error number of the failure.
int moveFile(std::string_view from, std::string_view to);

// ---- Stream files ------------------------------------------------------------------------------

// fopen over a resolved path.  Text mode and binary mode are the same underneath: text-mode line
// ends are handled by readTextLine and writeText below.
std::FILE* openFile(std::string_view path, const char* mode);

// Opens a regular file for reading in binary mode; a symbolic link, a device, a pipe or a directory
// is refused (null), so that input taken from a shared directory is never something else's bytes.
std::FILE* openRegularFile(std::string_view path);

// Writes the text with every LF turned into CR LF, as a DOS-style text-mode stream does.
void writeText(std::FILE* f, std::string_view text);

// Reads one line of at most capacity-1 characters, as fgets does: the line keeps its LF when it
// was reached; a longer line is returned in pieces.  CR LF reads as LF, and a Ctrl-Z ends the file,
// so files written by either platform read alike.  False at the end of the file.
bool readTextLine(std::FILE* f, std::string& line, size_t capacity);

// fgets over a binary stream: at most capacity-1 bytes, up to and including an LF; CRs stay.
bool readBinaryLine(std::FILE* f, std::string& line, size_t capacity);

// Flushes the stream and forces its data to disk.
bool syncFile(std::FILE* f);

// The bytes a text-mode write of `text` puts on disk: every LF as CR LF.
std::string textModeBytes(std::string_view text);

// Replaces the file's contents durably: the bytes go to a temporary file beside it (named by
// temporaryPath), which is forced to disk and then renamed over the old file.  On failure the old
// file is left whole and the temporary removed.  A caller that renames another file into the same
// directory right after may leave the directory to that save: syncing the directory once makes both
// renames last.
bool writeFileAtomically(std::string_view path, std::string_view bytes, bool syncItsDirectory = true);

// ---- Durable files -----------------------------------------------------------------------------

// A name beside `path` for a temporary file of this run: "<path>.<pid>-<n>.$$$", unique to the
// process and the call (n counts up).
std::string temporaryPath(std::string_view path);

// Removes from the directory the temporaries (names as temporaryPath gives them) whose process is
// no longer running (kill(pid, 0) fails with ESRCH); others' live temporaries are left alone.
void removeDeadTemporaries(std::string_view directory);

// Creates a new file, failing when the name exists (O_EXCL; never through a link), holding the
// bytes, forced to disk (fsync) and closed with its result checked; on failure nothing is left
// under the name.
bool writeNewFile(std::string_view path, std::string_view bytes);

// The first half of writeFileAtomically: the bytes in a new temporary (temporaryPath) beside the
// file where it lies (through a link), with its permissions, forced to disk.  Gives the temporary
// and the file to rename it onto, both absolute; replaceFile finishes the save.  False when the
// file may not be written or the temporary cannot be made whole; nothing is then left behind.
bool writeReplacement(std::string_view path, std::string_view bytes, std::string& temporary, std::string& target);

// The file's bytes, all of them; false when it cannot be opened or read to its end.
bool readWholeFile(std::string_view path, std::string& bytes);

// Forces the directory's entries (renames, creations, removals) to disk.
bool syncDirectory(std::string_view directory);

// The path made absolute against the working directory, with resolvePath's mapping.
std::string absolutePath(std::string_view path);

// ---- Locks -------------------------------------------------------------------------------------

struct FileLock {
  int fd = -1;  // open while the lock is held; the lock ends when the process does
};
enum class LockResult { kTaken, kBusy, kFailed, kMissing };

// Takes an exclusive flock(2) on the file (created when missing, never removed), waiting up to
// waitSeconds for a holder to let go (polling about every 50 ms).  kBusy: still held when the
// wait ended; kFailed: the file cannot be created or opened.  The lock goes with the process, so a
// dead run never leaves it taken.  The descriptor is close-on-exec.
LockResult lockFile(std::string_view path, int waitSeconds, FileLock& lock);

// As lockFile, for a run that only reads: the file is opened read-only and never created.
// kMissing: there is no such file, so no run that takes the lock has ever been.
LockResult lockExistingFile(std::string_view path, int waitSeconds, FileLock& lock);

// ---- Fault injection, for tests ----------------------------------------------------------------
//
// Every function of this layer that changes the disk counts its operations: each create or
// open for writing, write(2), fsync (of a file or a directory), rename, unlink and mkdir, the
// copy in copyFile and the flush in syncFile included.  Reading is not counted, nor are the writes
// of writeText (the log's lines).  With KELVANOTH_FAULT_AT=N (N >= 1) in the environment the N-th
// counted operation, with KELVANOTH_FAULT=fail (the default), does not happen and fails as a full
// disk would (ENOSPC; EIO for a rename or an unlink), its function returning its usual failure;
// with KELVANOTH_FAULT=kill the process raises SIGKILL on itself just before it.  Either way one
// line "fault injected at operation N: <op> <path>" goes to standard error first.  The environment
// is read at the first counted operation; without the variable nothing changes.

// Forgets the plan and the count: the environment is read again at the next counted operation.
// For tests that set the variables in a process that has already counted.
void restartFaultInjection();

// ---- Time, console, process --------------------------------------------------------------------

std::tm localTime(std::time_t t);

// Milliseconds of the current second of the system clock.
int systemMilliseconds();

// The programs' texts are CP866.  What is shown on a terminal whose locale's character set is UTF-8
// is converted to UTF-8 on the way; files, pipes and the log always receive the CP866 bytes as they
// are.  Every console text goes through one of these two.

// Writes to standard output (messages, reports, usage).
void stdoutWrite(std::string_view text);

// Writes straight to the controlling terminal, bypassing a redirected standard output; nowhere when
// the process has none (cron, a service), so that a scheduled run stays silent.
void consoleWrite(std::string_view text);

// Converts a CP866 text (a file name) to UTF-8.
std::string cp866ToUtf8(std::string_view text);

// Fills the buffer from the operating system's random source; false when it cannot.
bool randomBytes(void* buffer, size_t size);

// Ends the process; a negative code ends it with its low 8 bits (-2 gives 254).
[[noreturn]] void exitProcess(int code);

// One reading of the system clock: calendar seconds and the milliseconds of that same second.
struct ClockReading {
  std::time_t seconds = 0;
  int milliseconds = 0;
};
ClockReading systemClock();

// The calendar seconds of a local date and time; daylight saving is left to the calendar.
std::time_t localSeconds(int year, int month, int day, int hour, int minute, int second);

// The calendar seconds of a date and time in UTC; fields beyond their ranges carry over as they do
// for mktime.  -1 when the result cannot be represented.
std::time_t utcSeconds(std::tm tm);

}  // namespace platform

#endif  // COMMON_PLATFORM_H_
