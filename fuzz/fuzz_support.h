// What every fuzz target shares: a way back from the programs' one exit path, a private working
// directory emptied between inputs, and a silent console.
#ifndef FUZZ_FUZZ_SUPPORT_H_
#define FUZZ_FUZZ_SUPPORT_H_

#include <dirent.h>
#include <ftw.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/log.h"

// glibc's chain of open streams: a run that ends through appExit leaves the files it had open,
// and they must be closed before the next input (the real program would have ended there).
extern "C" FILE* _IO_list_all;

namespace fuzz {

// Thrown by the exit hook: the input made the program end (a refusal, not a fault).
struct ProgramEnded {};

inline std::string& workDirectory() {
  static std::string dir;
  return dir;
}

inline int removeEntry(const char* path, const struct stat*, int, struct FTW* ftw) {
  if (ftw->level > 0) std::remove(path);
  return 0;
}

inline void removeWorkDirectory() {
  if (!workDirectory().empty()) nftw(workDirectory().c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  rmdir(workDirectory().c_str());
}

// Once per process: a fresh directory under /dev/shm (or TMPDIR) as the working directory, and
// standard output to /dev/null (libFuzzer reports on standard error).
inline void setUp() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp")) +
                        "/kelvanoth-fuzz-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) std::abort();
  workDirectory() = buffer.data();
  if (chdir(workDirectory().c_str()) != 0) std::abort();
  std::atexit(removeWorkDirectory);
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  setenv("TZ", "UTC", 1);  // dates read the same in every run
}

inline void writeFile(const std::string& name, std::string_view bytes) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Everything but the named files goes, so that no input sees what an earlier one left.
inline void clearWorkDirectory(const std::set<std::string>& keep) {
  if (chdir(workDirectory().c_str()) != 0) std::abort();
  DIR* d = opendir(".");
  if (d == nullptr) std::abort();
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name != "." && name != ".." && keep.count(name) == 0) names.push_back(name);
  }
  closedir(d);
  for (const std::string& name : names) {
    if (std::remove(name.c_str()) != 0) nftw(name.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS), rmdir(name.c_str());
  }
}

// One input's run: arms the exit hook and, when the program ended, closes the streams it left open.
class Run {
 public:
  Run() {
    logging::setExitHook([] { throw ProgramEnded{}; });
    for (FILE* f = _IO_list_all; f != nullptr; f = f->_chain) before_.insert(f);
  }
  ~Run() {
    logging::setExitHook(nullptr);
    std::vector<FILE*> left;
    for (FILE* f = _IO_list_all; f != nullptr; f = f->_chain) {
      if (before_.count(f) == 0) left.push_back(f);
    }
    for (FILE* f : left) std::fclose(f);
  }

 private:
  std::set<FILE*> before_;
};

// The parts of an input separated by a line "====" (a part may be empty; missing parts are).
inline std::vector<std::string_view> splitParts(std::string_view data, size_t count) {
  std::vector<std::string_view> parts;
  constexpr std::string_view kSeparator = "\n====\n";
  while (parts.size() + 1 < count) {
    size_t at = data.find(kSeparator);
    if (at == std::string_view::npos) break;
    parts.push_back(data.substr(0, at + 1));
    data.remove_prefix(at + kSeparator.size());
  }
  parts.push_back(data);
  while (parts.size() < count) parts.push_back(std::string_view());
  return parts;
}

// Paths in a fuzzed configuration stay inside the working directory: no absolute path, no "..".
inline std::string confined(std::string_view data) {
  std::string s(data);
  for (size_t i = 0; i < s.size(); ++i) {
    bool wordStart = i == 0 || s[i - 1] == ' ' || s[i - 1] == '\t' || s[i - 1] == '\n' || s[i - 1] == '\r' ||
                     s[i - 1] == '=' || s[i - 1] == '"';
    if ((s[i] == '/' || s[i] == '\\') && wordStart) s[i] = '_';
    if (s[i] == '.' && i > 0 && s[i - 1] == '.') s[i] = '_';
    if (s[i] == '~') s[i] = '_';
  }
  return s;
}

}  // namespace fuzz

#endif  // FUZZ_FUZZ_SUPPORT_H_
