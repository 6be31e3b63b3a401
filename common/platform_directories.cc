#include "common/platform_directories.h"

#include <dirent.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>

#include "common/text.h"

namespace platform {

namespace {

// What one directory holds, kept current between listings by the events of its inotify watch.
//
// Not by the directory's modification time: Linux stamps directory changes with a coarse clock
// (one tick, 1 to 10 ms), so a file another program makes in the same tick as one of our own
// renames leaves the time we noted unchanged, and a listing judged current by it would miss it.
struct DirectoryIndex {
  std::string path;                               // as indexed: "" or ending in "/"
  std::unordered_map<std::string, bool> entries;  // every name, true for a regular file (links followed)
  std::unordered_map<std::string, std::vector<std::string>> byFoldedName;  // its case variants, mostly one
  std::map<uint16_t, std::set<std::string>> filesByNumber;                 // regular files by leadingNumber, 0 left out
};

// The process's one inotify instance and the directories it watches, each index under its watch.
// A directory may be reached by several spellings ("in/", "./in/"); the kernel gives them one watch.
struct DirectoryWatches {
  bool enabled = true;  // watchDirectories
  bool inotifyTried = false;
  bool forkRegistered = false;
  bool inherited = false;  // this is a forked child: the indexes below are its parent's
  int inotify = -1;
  std::map<int, DirectoryIndex> byWatch;
  std::unordered_map<std::string, int> watchOfPath;
  std::set<std::string> unwatched;  // listed afresh at every use: a network file system, no watch left
};
DirectoryWatches watches;

constexpr size_t kMaxWatchedDirectories = 64;
constexpr uint32_t kWatchedEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// File systems whose changes made by other machines never reach this one's inotify: NFS, SMB, CIFS,
// SMB2, FUSE, Coda, AFS (two kinds), 9P, Ceph, NCP, GFS2, OCFS2, Lustre, GPFS.
constexpr uint32_t kNetworkFileSystems[] = {0x6969,     0x517B,     0xFF534D42, 0xFE534D42, 0x65735546,
                                            0x73757245, 0x5346414F, 0x6B414653, 0x01021997, 0x00C36400,
                                            0x564C,     0x01161970, 0x7461636F, 0x0BD00BD0, 0x47504653};

std::string folded(std::string_view name) {
  std::string key(name);
  for (char& c : key) c = text::foldAscii(c);
  return key;
}

bool isRegularPath(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void setAbsent(DirectoryIndex& index, const std::string& name) {
  auto entry = index.entries.find(name);
  if (entry == index.entries.end()) return;
  if (uint16_t number = leadingNumber(name); entry->second && number != 0) {
    auto files = index.filesByNumber.find(number);
    files->second.erase(name);
    if (files->second.empty()) index.filesByNumber.erase(files);
  }
  auto variants = index.byFoldedName.find(folded(name));
  std::erase(variants->second, name);
  if (variants->second.empty()) index.byFoldedName.erase(variants);
  index.entries.erase(entry);
}

void setPresent(DirectoryIndex& index, const std::string& name, bool regular) {
  setAbsent(index, name);
  index.entries.emplace(name, regular);
  index.byFoldedName[folded(name)].push_back(name);
  if (uint16_t number = leadingNumber(name); regular && number != 0) index.filesByNumber[number].insert(name);
}

void forget(std::map<int, DirectoryIndex>::iterator index) {
  ::inotify_rm_watch(watches.inotify, index->first);  // fails harmlessly when the kernel ended it
  std::erase_if(watches.watchOfPath, [&index](const auto& spelling) { return spelling.second == index->first; });
  watches.byWatch.erase(index);
}

// A forked child shares its parent's inotify instance: its reads would take the parent's events and
// its removals end the parent's watches.  It closes its copy and makes an instance of its own.
void leaveParentsWatches() {
  if (watches.inotify >= 0) ::close(watches.inotify);
  watches.inotify = -1;
  watches.inotifyTried = false;
  watches.inherited = true;
}

bool openInotify() {
  if (!watches.inotifyTried) {
    watches.inotifyTried = true;
    watches.inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (!watches.forkRegistered) watches.forkRegistered = ::pthread_atfork(nullptr, nullptr, leaveParentsWatches) == 0;
  }
  return watches.inotify >= 0;
}

// Each event sets one name's state outright, so events applied in order over a listing taken after
// the watch began give what the directory holds now.
void applyEvent(const inotify_event& event) {
  if ((event.mask & IN_Q_OVERFLOW) != 0) {
    directories::forgetAll();
    return;
  }
  auto index = watches.byWatch.find(event.wd);
  if (index == watches.byWatch.end()) return;  // a watch already given up
  if ((event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
    forget(index);
    return;
  }
  if (event.len == 0) return;
  std::string name(event.name);  // padded with NULs
  DirectoryIndex& in = index->second;
  if ((event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0) {
    setAbsent(in, name);
  } else if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
    setPresent(in, name, (event.mask & IN_ISDIR) == 0 && isRegularPath(in.path + name));
  }
}

// Applies every event the kernel holds; read until none is left.
void drainEvents() {
  if (watches.inotify < 0) return;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    ssize_t got = ::read(watches.inotify, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got <= 0) {  // events lost: nothing known can be trusted
      directories::forgetAll();
      return;
    }
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      applyEvent(*event);
      at += ssize_t(sizeof(inotify_event) + event->len);
    }
  }
}

bool onNetworkFileSystem(const struct statfs& fs) {
  return std::find(std::begin(kNetworkFileSystems), std::end(kNetworkFileSystems), uint32_t(fs.f_type)) !=
         std::end(kNetworkFileSystems);
}

// Watches the directory and lists it; null when it is to be listed afresh at every use instead.
DirectoryIndex* makeIndex(const std::string& path) {
  if (!watches.enabled || watches.byWatch.size() >= kMaxWatchedDirectories || watches.unwatched.contains(path) ||
      !openInotify()) {
    return nullptr;
  }
  const char* directory = path.empty() ? "." : path.c_str();
  struct statfs fs;
  if (::statfs(directory, &fs) != 0) return nullptr;  // missing: nothing to list either
  if (onNetworkFileSystem(fs)) {
    watches.unwatched.insert(path);
    return nullptr;
  }
  // The watch first, then the listing: a change made meanwhile is then among the events applied.
  int watch = ::inotify_add_watch(watches.inotify, directory, kWatchedEvents);
  if (watch < 0) {
    if (errno == ENOSPC || errno == ENOMEM) watches.unwatched.insert(path);  // the user's watch limit
    return nullptr;
  }
  watches.watchOfPath[path] = watch;
  auto [index, made] = watches.byWatch.try_emplace(watch);
  if (!made) return &index->second;  // the same directory under another spelling
  index->second.path = path;
  for (const DirectoryEntry& entry : directories::listDirectory(path, "*", true)) {
    setPresent(index->second, entry.name, entry.regular);
  }
  return &index->second;
}

// The directory's index brought up to date; null when it has none, made now when `make` is set.
DirectoryIndex* currentIndex(const std::string& path, bool make) {
  if (!watches.enabled) return nullptr;
  if (watches.inherited) {
    watches.byWatch.clear();
    watches.watchOfPath.clear();
    watches.inherited = false;
  }
  drainEvents();
  if (auto known = watches.watchOfPath.find(path); known != watches.watchOfPath.end()) {
    return &watches.byWatch.at(known->second);
  }
  return make ? makeIndex(path) : nullptr;
}

// The first entry of the directory in its own order equal to `name` ignoring ASCII case.
directories::Lookup listingLookup(const std::string& directory, std::string_view name, std::string& match) {
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return directories::Lookup::kMissing;
  match.clear();
  while (dirent* entry = ::readdir(dir)) {
    if (text::equalIgnoringAsciiCase(entry->d_name, name)) {
      match = entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return match.empty() ? directories::Lookup::kMissing : directories::Lookup::kOtherCase;
}

directories::Lookup indexedLookup(const DirectoryIndex& index, std::string_view name, std::string& match) {
  if (index.entries.contains(std::string(name))) return directories::Lookup::kExact;
  auto variants = index.byFoldedName.find(folded(name));
  if (variants == index.byFoldedName.end()) return directories::Lookup::kMissing;
  // Which of several variants comes first only the directory's own order tells.
  if (variants->second.size() > 1) return listingLookup(index.path, name, match);
  match = variants->second.front();
  return directories::Lookup::kOtherCase;
}

uint16_t highestIndexedNumber(const DirectoryIndex& index, std::string_view wildcard,
                              const std::function<bool(const std::string& name)>& leaveOut) {
  for (auto files = index.filesByNumber.rbegin(); files != index.filesByNumber.rend(); ++files) {
    for (const std::string& name : files->second) {
      if (wildcardMatch(wildcard, name) && !(leaveOut && leaveOut(name))) return files->first;
    }
  }
  return 0;
}

}  // namespace

namespace directories {

std::vector<DirectoryEntry> listDirectory(const std::string& directory, std::string_view wildcard, bool followLinks) {
  std::vector<DirectoryEntry> entries;
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return entries;
  while (dirent* entry = ::readdir(dir)) {
    if (!wildcardMatch(wildcard, entry->d_name)) continue;
    // The entry's own type spares a stat per file; links and file systems that do not tell the
    // type are still asked.
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN || (followLinks && entry->d_type == DT_LNK)) {
      struct stat st;
      std::string path = directory + entry->d_name;
      regular = (followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) == 0 && S_ISREG(st.st_mode);
    }
    entries.push_back({entry->d_name, regular});
  }
  ::closedir(dir);
  return entries;
}

Lookup findEntry(const std::string& directory, std::string_view name, std::string& match) {
  DirectoryIndex* index = currentIndex(directory, false);
  if (index == nullptr) {
    struct stat st;
    if (::lstat((directory + std::string(name)).c_str(), &st) == 0) return Lookup::kExact;
    index = makeIndex(directory);
    if (index == nullptr) return listingLookup(directory, name, match);
  }
  return indexedLookup(*index, name, match);
}

void forgetAll() {
  while (!watches.byWatch.empty()) forget(watches.byWatch.begin());
  watches.unwatched.clear();
}

}  // namespace directories

void watchDirectories(bool on) {
  watches.enabled = on;
  if (!on) directories::forgetAll();
}

uint16_t highestFileNumber(std::string_view directory, std::string_view wildcard,
                           const std::function<bool(const std::string& name)>& leaveOut) {
  std::string path = resolvePath(directory);
  if (!path.empty() && path.back() != '/') path += '/';
  if (const DirectoryIndex* index = currentIndex(path, true)) return highestIndexedNumber(*index, wildcard, leaveOut);
  uint16_t highest = 0;
  for (const DirectoryEntry& entry : directories::listDirectory(path, wildcard, true)) {
    if (entry.regular && !(leaveOut && leaveOut(entry.name))) highest = std::max(highest, leadingNumber(entry.name));
  }
  return highest;
}

}  // namespace platform
