#include "common/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "common/text.h"

namespace platform {

namespace {

using text::equalIgnoringAsciiCase;
using text::foldAscii;

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of `directory` equal to `name` ignoring ASCII case, or "" when there is none.
std::string findEntryIgnoringCase(const std::string& directory, std::string_view name) {
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return {};
  std::string found;
  while (dirent* entry = ::readdir(dir)) {
    if (equalIgnoringAsciiCase(entry->d_name, name)) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

// Splits "a/b/c" into its parent "a/b/" and its last component "c"; a trailing separator is dropped.
void splitLast(std::string_view path, std::string& parent, std::string& last) {
  while (path.size() > 1 && isSeparator(path.back())) path.remove_suffix(1);
  size_t cut = path.size();
  while (cut > 0 && !isSeparator(path[cut - 1])) --cut;
  parent.assign(path.substr(0, cut));
  last.assign(path.substr(cut));
}

}  // namespace

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
    if (searching && component != "." && component != ".." && !exists(candidate)) {
      std::string match = findEntryIgnoringCase(result, component);
      if (match.empty()) {
        searching = false;
      } else {
        candidate = result + match;
      }
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

std::string programDirectory(const char* argv0) {
  return argv0 == nullptr ? std::string() : directoryPart(argv0);
}

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

std::vector<std::string> listFiles(std::string_view directory, std::string_view wildcard) {
  std::vector<std::string> names;
  std::string real = resolvePath(directory);
  if (!real.empty() && real.back() != '/') real += '/';
  DIR* dir = ::opendir(real.empty() ? "." : real.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = ::readdir(dir)) {
    if (!wildcardMatch(wildcard, entry->d_name)) continue;
    // The entry's own type spares a stat per file, which made every message number a directory
    // scan of stats; links and file systems that do not tell the type are still asked.
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat st;
      regular = ::stat((real + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    if (regular) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return names;
}

std::vector<DirectoryEntry> listEntries(std::string_view directory, std::string_view wildcard) {
  std::vector<DirectoryEntry> entries;
  std::string real = resolvePath(directory);
  if (!real.empty() && real.back() != '/') real += '/';
  DIR* dir = ::opendir(real.empty() ? "." : real.c_str());
  if (dir == nullptr) return entries;
  while (dirent* entry = ::readdir(dir)) {
    if (!wildcardMatch(wildcard, entry->d_name)) continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st;
      regular = ::lstat((real + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    entries.push_back({entry->d_name, regular});
  }
  ::closedir(dir);
  return entries;
}

std::string currentDirectory() {
  char buffer[4096];
  return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool changeDirectory(std::string_view path) {
  if (path.empty()) return false;
  return ::chdir(resolvePath(path).c_str()) == 0;
}

bool makeDirectory(std::string_view path) {
  std::string parent, last;
  splitLast(path, parent, last);
  if (last.empty()) return false;
  std::string real = resolvePath(parent);
  if (!real.empty() && real.back() != '/') real += '/';
  // An entry whose name differs only in case is the same name: never make a second one beside it.
  if (!findEntryIgnoringCase(real, last).empty()) {
    errno = EEXIST;
    return false;
  }
  return ::mkdir((real + last).c_str(), 0777) == 0;
}

RenameResult renameFile(std::string_view from, std::string_view to) {
  std::string source = resolvePath(from), target = resolvePath(to);
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
  return ::rename(resolvePath(from).c_str(), resolvePath(to).c_str()) == 0;
}

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
  int flags = O_WRONLY | O_CREAT | (failIfExists ? O_EXCL : O_TRUNC);
  int out = ::open(target.c_str(), flags, 0666);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(out, buffer + done, size_t(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        ok = false;
        break;
      }
      done += put;
    }
    if (!ok) break;
  }
  // A copy keeps the source's last-write time, as the election files' home platform does.
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out, times);
  if (::fsync(out) != 0) ok = false;
  if (::close(out) != 0) ok = false;
  ::close(in);
  return ok;
}

bool deleteFile(std::string_view path) { return ::unlink(resolvePath(path).c_str()) == 0; }

int moveFile(std::string_view from, std::string_view to) {
  RenameResult rc = renameFile(from, to);
  if (rc == RenameResult::kDone) return 0;
  if (rc == RenameResult::kFailed) return errno ? errno : EIO;
  if (!copyFile(from, to, true)) return errno ? errno : EIO;
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
  if (std::fflush(f) != 0 || std::ferror(f)) return false;
  return ::fsync(::fileno(f)) == 0;
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

bool writeFileAtomically(std::string_view path, std::string_view bytes, bool syncDirectory) {
  std::string real = resolvePath(path);
  if (real.empty()) return false;
  // A file reached through a symbolic link is replaced where it lies, so the link keeps showing
  // it; the new file keeps the old one's permissions.
  struct stat old;
  bool existed = ::stat(real.c_str(), &old) == 0;
  if (existed) {
    // A file that may not be written stays as it is, as an overwrite in place would leave it.
    if (::access(real.c_str(), W_OK) != 0) return false;
    char target[PATH_MAX];
    if (::realpath(real.c_str(), target) != nullptr) real = target;
  }
  std::string temporary = real + ".$$$";
  // A leftover of an interrupted save is removed, and the new one is made afresh: whatever sits
  // under that name (a link planted there included) is never written through.
  ::unlink(temporary.c_str());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return false;
  bool ok = !existed || ::fchmod(fd, old.st_mode & 07777) == 0;
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) ok = false;
    else done += size_t(put);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temporary.c_str(), real.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  // The rename itself must survive a power loss too.
  if (!syncDirectory) return true;
  std::string directory = directoryPart(real);
  int dirFd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
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
  static std::FILE* console = [] {
    std::FILE* tty = std::fopen("/dev/tty", "w");
    return tty ? tty : stderr;
  }();
  static const bool convert = terminalShowsUtf8(::fileno(console));
  std::fflush(stdout);
  writeShown(console, convert, text);
  std::fflush(console);
}

namespace {

// Unicode code points of the CP866 bytes 0x80..0xFF.
constexpr uint16_t kCp866High[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433,
    0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
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

}  // namespace platform
