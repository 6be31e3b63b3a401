#include "common/platform.h"

#include <fcntl.h>
#include <langinfo.h>
#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "common/platform_directories.h"
#include "common/text.h"

namespace platform {

namespace {

using text::foldAscii;

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Splits "a/b/c" into its parent "a/b/" and its last component "c"; a trailing separator is dropped.
void splitLast(std::string_view path, std::string& parent, std::string& last) {
  while (path.size() > 1 && isSeparator(path.back())) path.remove_suffix(1);
  size_t cut = path.size();
  while (cut > 0 && !isSeparator(path[cut - 1])) --cut;
  parent.assign(path.substr(0, cut));
  last.assign(path.substr(cut));
}

// The fault plan of the environment and the count of disk-changing operations so far.
struct FaultPlan {
  long at = -1;  // the operation that faults; -1 until the environment is read, 0 for none
  bool kill = false;
  long operations = 0;
};
FaultPlan faultPlan;

void readFaultPlan() {
  const char* at = std::getenv("KELVANOTH_FAULT_AT");
  const char* mode = std::getenv("KELVANOTH_FAULT");
  long n = 0;
  if (at != nullptr) {
    const char* end = at + std::strlen(at);
    if (std::from_chars(at, end, n).ptr != end) n = 0;
  }
  faultPlan.at = n > 0 ? n : 0;
  faultPlan.kill = mode != nullptr && std::strcmp(mode, "kill") == 0;
  faultPlan.operations = 0;
}

// The name a descriptor was opened under, for the fault line of a stream.
std::string descriptorName(int fd) {
  char name[PATH_MAX];
  std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t got = ::readlink(link.c_str(), name, sizeof name);
  return got > 0 ? std::string(name, size_t(got)) : link;
}

// Counts one disk-changing operation; true when it is the one to fault, with errno set as a full
// disk (or a failing device, for a rename or an unlink) would set it.  In kill mode it never
// returns.  A stream names its file by its descriptor (fd >= 0).
bool faultHere(const char* op, std::string_view path, int fd = -1) {
  if (faultPlan.at == 0) return false;  // the whole cost of a run without faults
  if (faultPlan.at < 0) readFaultPlan();
  if (faultPlan.at == 0 || ++faultPlan.operations != faultPlan.at) return false;
  std::string line = "fault injected at operation " + std::to_string(faultPlan.at) + ": " + op + " " +
                     (fd >= 0 ? descriptorName(fd) : std::string(path)) + "\n";
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
  if (faultPlan.kill) ::raise(SIGKILL);
  errno = std::strcmp(op, "rename") == 0 || std::strcmp(op, "unlink") == 0 ? EIO : ENOSPC;
  return true;
}

// Opens a file to be written; counted.
int openForWriting(const std::string& path, int flags) {
  if (faultHere("create", path)) return -1;
  return ::open(path.c_str(), flags | O_CLOEXEC, 0666);
}

// Writes every byte, each write(2) counted.
bool writeAll(int fd, std::string_view bytes, const std::string& path) {
  for (size_t done = 0; done < bytes.size();) {
    if (faultHere("write", path)) return false;
    ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += size_t(put);
  }
  return true;
}

bool syncDescriptor(int fd, const std::string& path) {
  if (faultHere("sync", path)) return false;
  return ::fsync(fd) == 0;
}

// unlink(2) of a path already resolved; counted.
bool unlinkResolved(const std::string& path) {
  if (faultHere("unlink", path)) return false;
  return ::unlink(path.c_str()) == 0;
}

// Removes a file this call made and could not finish, keeping the error of the failure.
void abandonFile(const std::string& path) {
  int error = errno;
  unlinkResolved(path);
  errno = error;
}

// Names given by temporaryPath in this process.
unsigned long temporaryCount = 0;

}  // namespace

void restartFaultInjection() { faultPlan = FaultPlan{}; }

std::string resolvePath(std::string_view path) {
  std::string result;
  size_t pos = 0;
  if (!path.empty() && isSeparator(path[0])) {
    result = "/";
    while (pos < path.size() && isSeparator(path[pos])) ++pos;
  }
  bool searching = true;  // once a component is missing, nothing below it can exist
  while (pos < path.size()) {
    size_t end = pos;
    while (end < path.size() && !isSeparator(path[end])) ++end;
    std::string_view component = path.substr(pos, end - pos);
    std::string candidate = result + std::string(component);
    if (searching && component != "." && component != "..") {
      std::string match;
      directories::Lookup found = directories::findEntry(result, component, match);
      if (found == directories::Lookup::kMissing) searching = false;
      if (found == directories::Lookup::kOtherCase) candidate = result + match;
    }
    result = candidate;
    if (end < path.size()) result += '/';
    pos = end;
    while (pos < path.size() && isSeparator(path[pos])) ++pos;
  }
  return result;
}

std::string directoryPart(std::string_view path) {
  size_t cut = path.size();
  while (cut > 0 && !isSeparator(path[cut - 1])) --cut;
  return std::string(path.substr(0, cut));
}

std::string replaceExtension(std::string_view path, std::string_view ext) {
  size_t nameStart = directoryPart(path).size();
  size_t dot = path.rfind('.');
  std::string base(path.substr(0, (dot == std::string_view::npos || dot < nameStart) ? path.size() : dot));
  return base + "." + std::string(ext);
}

std::string programDirectory(const char* argv0) { return argv0 == nullptr ? std::string() : directoryPart(argv0); }

bool isRegularFile(std::string_view path) {
  struct stat st;
  return ::stat(resolvePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(std::string_view path) {
  struct stat st;
  return ::stat(resolvePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool fileLength(std::string_view path, uint64_t& length) {
  struct stat st;
  if (::stat(resolvePath(path).c_str(), &st) != 0) return false;
  length = uint64_t(st.st_size);
  return true;
}

bool fileModificationTime(std::string_view path, std::time_t& mtime) {
  struct stat st;
  if (::stat(resolvePath(path).c_str(), &st) != 0) return false;
  mtime = st.st_mtime;
  return true;
}

bool fileDosDateTime(std::string_view path, uint32_t& stamp) {
  std::time_t mtime;
  if (!fileModificationTime(path, mtime)) return false;
  std::tm tm = localTime(mtime);
  int year = tm.tm_year + 1900 < 1980 ? 0 : tm.tm_year + 1900 - 1980;
  uint32_t date = uint32_t(year << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
  uint32_t time = uint32_t(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
  stamp = date << 16 | time;
  return true;
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0;
  size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || foldAscii(pattern[p]) == foldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

uint16_t leadingNumber(std::string_view name) {
  uint16_t number = 0;
  for (char c : name) {
    if (c < '0' || c > '9') break;
    number = uint16_t(number * 10 + (c - '0'));
  }
  return number;
}

namespace {

std::vector<DirectoryEntry> readEntries(std::string_view directory, std::string_view wildcard, bool followLinks) {
  std::string real = resolvePath(directory);
  if (!real.empty() && real.back() != '/') real += '/';
  return directories::listDirectory(real, wildcard, followLinks);
}

}  // namespace

std::vector<std::string> listFiles(std::string_view directory, std::string_view wildcard) {
  std::vector<std::string> names;
  for (DirectoryEntry& entry : readEntries(directory, wildcard, true)) {
    if (entry.regular) names.push_back(std::move(entry.name));
  }
  return names;
}

std::vector<DirectoryEntry> listEntries(std::string_view directory, std::string_view wildcard) {
  return readEntries(directory, wildcard, false);
}

bool namesWildcard(std::string_view path) {
  return path.find_first_of("*?", directoryPart(path).size()) != std::string_view::npos;
}

bool newestMatchingFile(std::string_view pattern, std::string& path) {
  std::string directory = directoryPart(pattern);
  std::string real = resolvePath(directory);
  if (!real.empty() && real.back() != '/') real += '/';
  std::string newest;
  timespec newestTime{};
  for (std::string& name : listFiles(directory, pattern.substr(directory.size()))) {
    struct stat st;
    if (::stat((real + name).c_str(), &st) != 0) continue;  // gone since the listing
    const timespec& t = st.st_mtim;
    bool later = newest.empty() || t.tv_sec > newestTime.tv_sec ||
                 (t.tv_sec == newestTime.tv_sec &&
                  (t.tv_nsec > newestTime.tv_nsec || (t.tv_nsec == newestTime.tv_nsec && name > newest)));
    if (!later) continue;
    newest = std::move(name);
    newestTime = t;
  }
  if (newest.empty()) return false;
  path = directory + newest;
  return true;
}

std::string currentDirectory() {
  char buffer[4096];
  return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool changeDirectory(std::string_view path) {
  if (path.empty()) return false;
  if (::chdir(resolvePath(path).c_str()) != 0) return false;
  directories::forgetAll();
  return true;
}

bool makeDirectory(std::string_view path) {
  std::string parent, last;
  splitLast(path, parent, last);
  if (last.empty()) return false;
  std::string real = resolvePath(parent);
  if (!real.empty() && real.back() != '/') real += '/';
  // An entry whose name differs only in case is the same name: never make a second one beside it.
  std::string match;
  if (directories::findEntry(real, last, match) != directories::Lookup::kMissing) {
    errno = EEXIST;
    return false;
  }
  if (faultHere("mkdir", real + last)) return false;
  return ::mkdir((real + last).c_str(), 0777) == 0;
}

RenameResult renameFile(std::string_view from, std::string_view to) {
  std::string source = resolvePath(from), target = resolvePath(to);
  if (faultHere("rename", target)) return RenameResult::kFailed;
  int rc = ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
    // The file system cannot refuse atomically; refuse an existing target by looking first.
    if (exists(target)) {
      errno = EEXIST;
      return RenameResult::kFailed;
    }
    rc = ::rename(source.c_str(), target.c_str());
  }
  if (rc == 0) return RenameResult::kDone;
  return errno == EXDEV ? RenameResult::kCrossDevice : RenameResult::kFailed;
}

bool replaceFile(std::string_view from, std::string_view to) {
  std::string target = resolvePath(to);
  if (faultHere("rename", target)) return false;
  return ::rename(resolvePath(from).c_str(), target.c_str()) == 0;
}

namespace {

// Copies what is left of `in` to `out`, each write counted.
bool copyBytes(int in, int out, const std::string& target) {
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got == 0;
    if (!writeAll(out, std::string_view(buffer, size_t(got)), target)) return false;
  }
}

// The cross-device half of a move.  The copy is made whole under a name of this run beside the
// target and only then renamed onto it, so a run that dies midway leaves no torn target; the
// target's entry is made lasting before the caller removes the source.
bool copyIntoPlace(std::string_view from, std::string_view to) {
  std::string target = resolvePath(to);
  std::string temporary = temporaryPath(target);
  if (!copyFile(from, temporary, true) || renameFile(temporary, to) != RenameResult::kDone) {
    abandonFile(temporary);
    return false;
  }
  syncDirectory(directoryPart(target));
  return true;
}

}  // namespace

bool copyFile(std::string_view from, std::string_view to, bool failIfExists) {
  int in = ::open(resolvePath(from).c_str(), O_RDONLY);
  if (in < 0) return false;
  struct stat st;
  if (::fstat(in, &st) != 0) {
    ::close(in);
    return false;
  }
  // Names that differ only in case can name the source itself; truncating it would lose it.
  std::string target = resolvePath(to);
  struct stat existing;
  if (!failIfExists && ::stat(target.c_str(), &existing) == 0 && existing.st_dev == st.st_dev &&
      existing.st_ino == st.st_ino) {
    ::close(in);
    errno = EINVAL;
    return false;
  }
  int out = openForWriting(target, O_WRONLY | O_CREAT | (failIfExists ? O_EXCL : O_TRUNC));
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = copyBytes(in, out, target);
  // A copy keeps the source's last-write time, as the election files' home platform does.
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out, times);
  if (ok && !syncDescriptor(out, target)) ok = false;
  if (::close(out) != 0) ok = false;
  ::close(in);
  return ok;
}

bool deleteFile(std::string_view path) { return unlinkResolved(resolvePath(path)); }

int moveFile(std::string_view from, std::string_view to) {
  RenameResult rc = renameFile(from, to);
  if (rc == RenameResult::kDone) return 0;
  if (rc == RenameResult::kFailed) return errno ? errno : EIO;
  if (!copyIntoPlace(from, to)) return errno ? errno : EIO;
  if (deleteFile(from) || deleteFile(from)) return 0;
  return errno ? errno : EIO;
}

std::FILE* openFile(std::string_view path, const char* mode) {
  if (path.empty()) return nullptr;
  std::string real = resolvePath(path);
  // A directory opens for reading here but not on the election files' home platform: refuse it alike.
  struct stat st;
  if (::stat(real.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return nullptr;
  }
  if (std::strpbrk(mode, "wa+") != nullptr && faultHere("create", real)) return nullptr;
  return std::fopen(real.c_str(), mode);
}

std::FILE* openRegularFile(std::string_view path) {
  if (path.empty()) return nullptr;
  // O_NONBLOCK: opening a pipe must not wait for a writer before it is refused.
  int fd = ::open(resolvePath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return nullptr;
  }
  std::FILE* f = ::fdopen(fd, "rb");
  if (f == nullptr) ::close(fd);
  return f;
}

void writeText(std::FILE* f, std::string_view text) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') continue;
    std::fwrite(text.data() + start, 1, i - start, f);
    std::fwrite("\r\n", 1, 2, f);
    start = i + 1;
  }
  std::fwrite(text.data() + start, 1, text.size() - start, f);
}

bool readTextLine(std::FILE* f, std::string& line, size_t capacity) {
  line.clear();
  if (capacity < 2) return false;
  while (line.size() + 1 < capacity) {
    int c = getc_unlocked(f);
    if (c == EOF) break;
    if (c == 0x1A) {  // Ctrl-Z: the end of a text file
      std::fseek(f, 0, SEEK_END);
      break;
    }
    if (c == '\r') {
      int next = getc_unlocked(f);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        ungetc(next, f);
      }
    }
    line += char(c);
    if (c == '\n') break;
  }
  return !line.empty();
}

bool readBinaryLine(std::FILE* f, std::string& line, size_t capacity) {
  line.clear();
  if (capacity < 2) return false;
  // Bytes gather in a small block and join the line a block at a time: a byte-wise append is
  // most of the cost of reading a large nodelist.
  char block[256];
  size_t held = 0, room = capacity - 1;
  while (room > 0) {
    int c = getc_unlocked(f);
    if (c == EOF) break;
    block[held++] = char(c);
    --room;
    if (held == sizeof block) {
      line.append(block, held);
      held = 0;
    }
    if (c == '\n') break;
  }
  line.append(block, held);
  return !line.empty();
}

bool syncFile(std::FILE* f) {
  int fd = ::fileno(f);
  if (faultHere("write", "", fd)) {
    __fpurge(f);  // the buffered bytes never reach the file, as on a full disk
    return false;
  }
  if (std::fflush(f) != 0 || std::ferror(f)) return false;
  if (faultHere("sync", "", fd)) return false;
  return ::fsync(fd) == 0;
}

std::string textModeBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

namespace {

// Writes the bytes to a new file, forced to disk and closed; false on any failure, the file then
// still there for the caller to remove.  The permissions become `mode` unless it is negative.
bool fillNewFile(int fd, std::string_view bytes, const std::string& path, int mode) {
  bool ok = (mode < 0 || ::fchmod(fd, mode_t(mode)) == 0) && writeAll(fd, bytes, path) && syncDescriptor(fd, path);
  if (::close(fd) != 0) ok = false;
  return ok;
}

}  // namespace

bool writeReplacement(std::string_view path, std::string_view bytes, std::string& temporary, std::string& target) {
  std::string real = resolvePath(path);
  if (real.empty()) return false;
  // A file reached through a symbolic link is replaced where it lies, so the link keeps showing
  // it; the new file keeps the old one's permissions.
  struct stat old;
  bool existed = ::stat(real.c_str(), &old) == 0;
  if (existed) {
    // A file that may not be written stays as it is, as an overwrite in place would leave it.
    if (::access(real.c_str(), W_OK) != 0) return false;
    char lies[PATH_MAX];
    if (::realpath(real.c_str(), lies) != nullptr) real = lies;
  }
  target = absolutePath(real);
  // A name of this run's own, made afresh: an overlapping run's temporary is never touched, and
  // whatever else sits under a name (a planted link included) is never written through.
  temporary = temporaryPath(target);
  int fd = openForWriting(temporary, O_WRONLY | O_CREAT | O_EXCL);
  if (fd < 0) return false;
  if (fillNewFile(fd, bytes, temporary, existed ? int(old.st_mode & 07777) : -1)) return true;
  abandonFile(temporary);
  return false;
}

bool writeFileAtomically(std::string_view path, std::string_view bytes, bool syncItsDirectory) {
  std::string temporary, target;
  if (!writeReplacement(path, bytes, temporary, target)) return false;
  if (!replaceFile(temporary, target)) {
    abandonFile(temporary);
    return false;
  }
  // The rename itself must survive a power loss too.
  if (syncItsDirectory) syncDirectory(directoryPart(target));
  return true;
}

bool readWholeFile(std::string_view path, std::string& bytes) {
  bytes.clear();
  int fd = ::open(resolvePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[65536];
  ssize_t got;
  while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    bytes.append(buffer, size_t(got));
  }
  ::close(fd);
  return got == 0;
}

std::string temporaryPath(std::string_view path) {
  return std::string(path) + "." + std::to_string(::getpid()) + "-" + std::to_string(++temporaryCount) + ".$$$";
}

namespace {

// The process that made a temporary named "<file>.<pid>-<n>.$$$", or 0 for any other name.
pid_t temporaryOwner(std::string_view name) {
  constexpr std::string_view kSuffix = ".$$$";
  if (name.size() <= kSuffix.size() || !name.ends_with(kSuffix)) return 0;
  name.remove_suffix(kSuffix.size());
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return 0;
  std::string_view tag = name.substr(dot + 1);
  pid_t pid = 0;
  unsigned long n = 0;
  auto [pidEnd, pidError] = std::from_chars(tag.data(), tag.data() + tag.size(), pid);
  if (pidError != std::errc() || pid <= 0 || pidEnd == tag.data() + tag.size() || *pidEnd != '-') return 0;
  auto [nEnd, nError] = std::from_chars(pidEnd + 1, tag.data() + tag.size(), n);
  if (nError != std::errc() || nEnd != tag.data() + tag.size() || nEnd == pidEnd + 1) return 0;
  return pid;
}

}  // namespace

void removeDeadTemporaries(std::string_view directory) {
  std::string real = resolvePath(directory);
  if (!real.empty() && real.back() != '/') real += '/';
  for (const DirectoryEntry& entry : listEntries(real, "*.$$$")) {
    pid_t owner = temporaryOwner(entry.name);
    if (!entry.regular || owner == 0) continue;
    // EPERM is a live process of another user: only ESRCH tells that the owner is gone.
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    unlinkResolved(real + entry.name);
  }
}

bool writeNewFile(std::string_view path, std::string_view bytes) {
  std::string real = resolvePath(path);
  if (real.empty()) return false;
  // O_EXCL refuses every existing name, a symbolic link (even a dangling one) included.
  int fd = openForWriting(real, O_WRONLY | O_CREAT | O_EXCL);
  if (fd < 0) return false;
  if (fillNewFile(fd, bytes, real, -1)) return true;
  abandonFile(real);
  return false;
}

bool syncDirectory(std::string_view directory) {
  std::string real = resolvePath(directory);
  int fd = ::open(real.empty() ? "." : real.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = syncDescriptor(fd, real.empty() ? "." : real);
  ::close(fd);
  return ok;
}

std::string absolutePath(std::string_view path) {
  std::string real = resolvePath(path);
  if (!real.empty() && real[0] == '/') return real;
  std::string absolute = currentDirectory();
  if (absolute.empty()) return real;  // a working directory gone: better relative than wrong
  if (real.empty()) return absolute;
  if (absolute.back() != '/') absolute += '/';
  return absolute + real;
}

namespace {

long monotonicMilliseconds() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return long(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Opens (creating when missing) the file a lock is taken on.
int openLockFile(const std::string& path) {
  if (faultHere("create", path)) return -1;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  // flock needs no write access: a lock file made beforehand in a read-only place still serves.
  if (fd < 0 && (errno == EACCES || errno == EROFS)) fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  return fd;
}

// Takes the lock on the open descriptor, waiting as lockFile says; the descriptor is closed unless
// the lock was taken.
LockResult lockDescriptor(int fd, int waitSeconds, FileLock& lock) {
  constexpr struct timespec kPoll = {0, 50L * 1000 * 1000};
  long deadline = monotonicMilliseconds() + long(waitSeconds) * 1000;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      lock.fd = fd;
      return LockResult::kTaken;
    }
    int error = errno;
    if (error == EINTR) continue;
    if (error != EWOULDBLOCK || monotonicMilliseconds() >= deadline) {
      ::close(fd);
      errno = error;
      return error == EWOULDBLOCK ? LockResult::kBusy : LockResult::kFailed;
    }
    ::nanosleep(&kPoll, nullptr);
  }
}

}  // namespace

LockResult lockFile(std::string_view path, int waitSeconds, FileLock& lock) {
  int fd = openLockFile(resolvePath(path));
  if (fd < 0) return LockResult::kFailed;
  return lockDescriptor(fd, waitSeconds, lock);
}

LockResult lockExistingFile(std::string_view path, int waitSeconds, FileLock& lock) {
  int fd = ::open(resolvePath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? LockResult::kMissing : LockResult::kFailed;
  return lockDescriptor(fd, waitSeconds, lock);
}

std::tm localTime(std::time_t t) {
  std::tm tm{};
  ::tzset();
  ::localtime_r(&t, &tm);
  return tm;
}

int systemMilliseconds() {
  struct timeval tv;
  ::gettimeofday(&tv, nullptr);
  return int(tv.tv_usec / 1000);
}

namespace {

// True when the descriptor is a terminal and the user's locale (LC_ALL, LC_CTYPE, LANG) names the
// UTF-8 character set.  The programs' own locale is put back at once: the character classes of the
// C locale are what every comparison of CP866 text relies on.
bool terminalShowsUtf8(int fd) {
  if (fd < 0 || ::isatty(fd) == 0) return false;
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  std::string previous = current != nullptr ? current : "C";
  if (std::setlocale(LC_CTYPE, "") == nullptr) return false;
  std::string codeset = ::nl_langinfo(CODESET);
  std::setlocale(LC_CTYPE, previous.c_str());
  return text::equalIgnoringAsciiCase(codeset, "UTF-8") || text::equalIgnoringAsciiCase(codeset, "UTF8");
}

void writeShown(std::FILE* stream, bool convert, std::string_view text) {
  if (convert) {
    std::string shown = cp866ToUtf8(text);
    std::fwrite(shown.data(), 1, shown.size(), stream);
  } else {
    std::fwrite(text.data(), 1, text.size(), stream);
  }
}

}  // namespace

void stdoutWrite(std::string_view text) {
  static const bool convert = terminalShowsUtf8(::fileno(stdout));
  writeShown(stdout, convert, text);
}

void consoleWrite(std::string_view text) {
  // Opening /dev/tty fails exactly when the process has no controlling terminal.
  static std::FILE* console = std::fopen("/dev/tty", "w");
  if (console == nullptr) return;
  static const bool convert = terminalShowsUtf8(::fileno(console));
  std::fflush(stdout);
  writeShown(console, convert, text);
  std::fflush(console);
}

namespace {

// Unicode code points of the CP866 bytes 0x80..0xFF.
constexpr uint16_t kCp866High[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
    0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429,
    0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436,
    0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407,
    0x0457, 0x040E, 0x045E, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | cp >> 6);
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xE0 | cp >> 12);
    out += char(0x80 | (cp >> 6 & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string cp866ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (unsigned char c : text) appendUtf8(out, c < 0x80 ? c : kCp866High[c - 0x80]);
  return out;
}

void exitProcess(int code) {
  std::fflush(stdout);
  std::exit(code & 0xFF);
}

ClockReading systemClock() {
  struct timeval tv;
  ::gettimeofday(&tv, nullptr);
  return {std::time_t(tv.tv_sec), int(tv.tv_usec / 1000)};
}

bool randomBytes(void* buffer, size_t size) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    ssize_t got = ::getrandom(out, size, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    size -= size_t(got);
  }
  return true;
}

std::time_t localSeconds(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  ::tzset();
  return std::mktime(&tm);
}

std::time_t utcSeconds(std::tm tm) { return ::timegm(&tm); }

}  // namespace platform
