#include "common/platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <filesystem>

#include "tests/common/test_support.h"

namespace {

using platform::LockResult;
using platform::RenameResult;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;
namespace fs = std::filesystem;

constexpr std::time_t kApril5th2005 = 1112717025;  // 16:03:45 UTC

void setModificationTime(const std::string& path, std::time_t t) {
  struct timespec times[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::vector<std::string> namesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `statement` in a death-test child under the fault plan, read afresh there.
#define EXPECT_FAULT(at, mode, statement, outcome, stderrPattern) \
  EXPECT_EXIT(                                                    \
      {                                                           \
        ::setenv("KELVANOTH_FAULT_AT", at, 1);                    \
        ::setenv("KELVANOTH_FAULT", mode, 1);                     \
        platform::restartFaultInjection();                        \
        statement;                                                \
      },                                                          \
      outcome, stderrPattern)

TEST(ResolvePath, FindsEachComponentByExactNameThenIgnoringCase) {
  ScratchDir dir;
  fs::create_directories(dir / "Var/Spool/In");
  writeFile(dir / "Var/Spool/In/x.msg", "");
  fs::create_directory(dir / "abc");
  fs::create_directory(dir / "ABC");
  EXPECT_EQ(platform::resolvePath(dir.path + "\\VAR\\spool\\IN\\X.MSG"), dir / "Var/Spool/In/x.msg");
  EXPECT_EQ(platform::resolvePath(dir / "var\\\\SPOOL/"), dir / "Var/Spool/");
  EXPECT_EQ(platform::resolvePath(dir / "ABC"), dir / "ABC");
  EXPECT_EQ(platform::resolvePath(dir / "abc"), dir / "abc");
  EXPECT_EQ(platform::resolvePath(dir / "VAR/New/Sub.TXT"), dir / "Var/New/Sub.TXT");
  EXPECT_EQ(platform::resolvePath("\\TMP\\"), "/tmp/");
  EXPECT_TRUE(platform::isRegularFile(dir / "VAR/SPOOL/IN/X.Msg"));
  EXPECT_FALSE(platform::isRegularFile(dir / "VAR/SPOOL/IN"));
  EXPECT_TRUE(platform::isDirectory(dir / "VAR/SPOOL/IN"));
  EXPECT_FALSE(platform::isDirectory(dir / "VAR/SPOOL/IN/X.MSG"));
}

// A directory once looked into is indexed and kept current by the kernel's notices; without
// watching it is listed afresh each time.  Either way the answers follow other writers' changes.
TEST(DirectoryIndex, FollowsOtherWritersWithOrWithoutWatching) {
  auto without12 = [](const std::string& name) { return name == "12.MSG"; };
  for (bool watching : {true, false}) {
    SCOPED_TRACE(watching);
    platform::watchDirectories(watching);
    ScratchDir dir;
    fs::create_directories(dir / "In/9.msg");  // a directory is no message
    writeFile(dir / "In/3.msg", "");
    writeFile(dir / "In/20.pkt", "");
    std::string in = dir.path + "\\IN\\";
    EXPECT_EQ(platform::highestFileNumber(in, "*.msg"), 3);
    EXPECT_EQ(platform::resolvePath(in + "NEW.MSG"), dir / "In/NEW.MSG");
    writeFile(dir / "In/new.msg", "");
    writeFile(dir / "In/12.MSG", "");
    EXPECT_EQ(platform::resolvePath(in + "NEW.MSG"), dir / "In/new.msg");
    EXPECT_EQ(platform::highestFileNumber(in, "*.msg"), 12);
    EXPECT_EQ(platform::highestFileNumber(in, "*.msg", without12), 3);
    fs::rename(dir / "In/3.msg", dir / "In/30.msg");
    EXPECT_EQ(platform::highestFileNumber(in, "*.msg"), 30);
    fs::remove(dir / "In/new.msg");
    fs::remove(dir / "In/30.msg");
    EXPECT_EQ(platform::resolvePath(in + "NEW.MSG"), dir / "In/NEW.MSG");
    EXPECT_EQ(platform::highestFileNumber(in, "*.msg"), 12);
    // Of two names equal ignoring case, the first the directory lists.
    writeFile(dir / "In/a.MSG", "");
    writeFile(dir / "In/A.msg", "");
    std::string first;
    for (const auto& entry : fs::directory_iterator(dir / "In")) {
      std::string name = entry.path().filename();
      if (first.empty() && (name == "a.MSG" || name == "A.msg")) first = name;
    }
    EXPECT_EQ(platform::resolvePath(in + "a.msg"), dir / "In/" + first);
    fs::rename(dir / "In", dir / "Old");
    fs::create_directory(dir / "In");
    writeFile(dir / "In/5.msg", "");
    EXPECT_EQ(platform::highestFileNumber(in, "*.msg"), 5);  // another directory under the name
  }
  platform::watchDirectories(true);
}

// More changes at once than the kernel queues: the index is given up and listed again.
TEST(DirectoryIndex, ListedAgainAfterTheQueueOverflows) {
  ScratchDir dir;
  writeFile(dir / "1.msg", "");
  EXPECT_EQ(platform::highestFileNumber(dir.path, "*.msg"), 1);
  long queued = std::stol(readFile("/proc/sys/fs/inotify/max_queued_events"));
  if (queued > 100000) GTEST_SKIP() << "the queue holds more than a test should make";
  for (long n = 0; n <= queued / 2; ++n) {  // two events each
    fs::rename(dir / "1.msg", dir / "2.msg");
    fs::rename(dir / "2.msg", dir / "1.msg");
  }
  fs::rename(dir / "1.msg", dir / "7.msg");
  EXPECT_EQ(platform::highestFileNumber(dir.path, "*.msg"), 7);
}

// A forked child shares the parent's inotify instance: what it reads the parent would never see.
TEST(DirectoryIndex, AForkedChildLeavesItsParentsNoticesAlone) {
  ScratchDir dir;
  EXPECT_EQ(platform::highestFileNumber(dir.path, "*.msg"), 0);
  writeFile(dir / "4.msg", "");
  pid_t child = ::fork();
  if (child == 0) ::_exit(platform::highestFileNumber(dir.path, "*.msg") == 4 ? 0 : 1);
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(platform::highestFileNumber(dir.path, "*.msg"), 4);
}

TEST(PathText, SplitsDirectoryAndReplacesExtension) {
  EXPECT_EQ(platform::directoryPart("c:\\fido\\korva.cfg"), "c:\\fido\\");
  EXPECT_EQ(platform::directoryPart("korva.cfg"), "");
  EXPECT_EQ(platform::replaceExtension("x\\korva.cfg", "vot"), "x\\korva.vot");
  EXPECT_EQ(platform::replaceExtension("/etc/ftn.d/korva", "sta"), "/etc/ftn.d/korva.sta");
  EXPECT_EQ(platform::replaceExtension("a.b.lst", "bak"), "a.b.bak");
}

TEST(FileDosDateTime, PacksTheLocalLastWriteTime) {
  ScratchDir dir;
  writeFile(dir / "a.msg", "12345");
  setModificationTime(dir / "a.msg", kApril5th2005);
  uint32_t stamp = 0;
  uint64_t length = 0;
  testsupport::setTimeZone("UTC0");
  ASSERT_TRUE(platform::fileDosDateTime(dir / "A.MSG", stamp));
  EXPECT_EQ(stamp, uint32_t((25 << 9 | 4 << 5 | 5) << 16 | (16 << 11 | 3 << 5 | 22)));
  testsupport::setTimeZone("XYZ-3");
  ASSERT_TRUE(platform::fileDosDateTime(dir / "a.msg", stamp));
  EXPECT_EQ(stamp & 0xFFFF, uint32_t(19 << 11 | 3 << 5 | 22));
  EXPECT_EQ(platform::localTime(0).tm_hour, 3);
  EXPECT_TRUE(platform::fileLength(dir / "a.msg", length));
  EXPECT_EQ(length, 5u);
  EXPECT_FALSE(platform::fileDosDateTime(dir / "none", stamp));
}

TEST(ListFiles, MatchesTheWildcardWithoutRegardToCase) {
  ScratchDir dir;
  fs::create_directories(dir / "In/x.msg");
  for (const char* name : {"1.msg", "2.MSG", "3.Msg.bak", "readme"}) writeFile(dir / "In/" + name, "");
  std::vector<std::string> names = platform::listFiles(dir.path + "\\IN", "*.MSG");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"1.msg", "2.MSG"}));
  EXPECT_TRUE(platform::listFiles(dir / "none", "*").empty());
  struct {
    const char *pattern, *name;
    bool match;
  } cases[] = {{"*.msg", "a.b.msg", true}, {"*", "", true},
               {"?.pkt", "1.PKT", true},   {"?.pkt", "12.pkt", false},
               {"a*b*c", "aXbYbZc", true}, {"a*b*c", "aXbYbZ", false}};
  for (const auto& c : cases) EXPECT_EQ(platform::wildcardMatch(c.pattern, c.name), c.match) << c.pattern << c.name;
}

TEST(Directories, CreateOneLevelAndChangeIgnoringCase) {
  ScratchDir dir;
  fs::create_directory(dir / "Fido");
  EXPECT_TRUE(platform::makeDirectory(dir.path + "\\FIDO\\NetMail\\"));
  EXPECT_TRUE(fs::is_directory(dir / "Fido/NetMail"));
  EXPECT_FALSE(platform::makeDirectory(dir / "fido/netmail"));  // exists, in another case
  EXPECT_FALSE(platform::makeDirectory(dir / "none/sub"));      // parents are not made
  std::string start = platform::currentDirectory();
  ASSERT_TRUE(platform::changeDirectory(dir / "FIDO/NETMAIL"));
  EXPECT_EQ(platform::currentDirectory(), dir / "Fido/NetMail");
  EXPECT_TRUE(platform::isDirectory("..\\NETMAIL"));
  EXPECT_FALSE(platform::changeDirectory(dir / "none"));
  ASSERT_TRUE(platform::changeDirectory(start));
}

TEST(RenameAndCopy, NeverOverwriteUnlessAsked) {
  ScratchDir dir;
  writeFile(dir / "a", "first");
  writeFile(dir / "b", "second");
  EXPECT_EQ(platform::renameFile(dir / "A", dir / "B"), RenameResult::kFailed);
  EXPECT_EQ(platform::renameFile(dir / "none", dir / "c"), RenameResult::kFailed);
  EXPECT_NE(platform::moveFile(dir / "a", dir / "b"), 0);
  EXPECT_EQ(readFile(dir / "a") + readFile(dir / "b"), "firstsecond");

  setModificationTime(dir / "a", kApril5th2005);
  EXPECT_FALSE(platform::copyFile(dir / "a", dir / "b", true));
  EXPECT_EQ(readFile(dir / "b"), "second");
  EXPECT_TRUE(platform::copyFile(dir / "A", dir / "b", false));
  EXPECT_EQ(readFile(dir / "b"), "first");
  EXPECT_EQ(fs::last_write_time(dir / "b"), fs::last_write_time(dir / "a"));
  EXPECT_FALSE(platform::copyFile(dir / "a", dir / "A", false));  // the same file
  EXPECT_EQ(readFile(dir / "a"), "first");
  EXPECT_FALSE(platform::copyFile(dir / "none", dir / "d", false));
  EXPECT_FALSE(fs::exists(dir / "d"));

  EXPECT_EQ(platform::renameFile(dir / "B", dir / "Moved"), RenameResult::kDone);
  EXPECT_EQ(platform::moveFile(dir / "moved", dir / "Moved2"), 0);
  writeFile(dir / "a", "old");
  EXPECT_TRUE(platform::replaceFile(dir / "Moved2", dir / "A"));
  EXPECT_EQ(readFile(dir / "a"), "first");
  EXPECT_TRUE(platform::deleteFile(dir / "A"));
  EXPECT_FALSE(platform::deleteFile(dir / "a"));
  EXPECT_TRUE(fs::is_empty(dir.path));
}

TEST(RenameAndCopy, MoveAcrossDevicesCopiesAndDeletes) {
  ScratchDir dir;
  char other[] = "/dev/shm/ftncommon-XXXXXX";
  struct stat a, b;
  if (::mkdtemp(other) == nullptr) GTEST_SKIP() << "no second file system";
  std::string target = std::string(other) + "/t.msg";
  bool twoDevices = ::stat(dir.path.c_str(), &a) == 0 && ::stat(other, &b) == 0 && a.st_dev != b.st_dev;
  writeFile(dir / "s.msg", "body");
  if (twoDevices) {
    EXPECT_EQ(platform::renameFile(dir / "s.msg", target), RenameResult::kCrossDevice);
    EXPECT_EQ(platform::moveFile(dir / "S.MSG", target), 0);
    EXPECT_FALSE(fs::exists(dir / "s.msg"));
    writeFile(dir / "s.msg", "again");
    EXPECT_NE(platform::moveFile(dir / "s.msg", target), 0);
    EXPECT_EQ(readFile(dir / "s.msg") + readFile(target), "againbody");
    EXPECT_EQ(namesIn(other), std::vector<std::string>{"t.msg"});  // the refused copy is not left behind
  }
  fs::remove_all(other);
  if (!twoDevices) GTEST_SKIP() << "no second file system";
}

TEST(TextFiles, WriteCrLfAndReadEitherLineEnd) {
  ScratchDir dir;
  std::string path = dir / "t.txt";
  std::FILE* f = platform::openFile(dir / "T.TXT", "wb");  // a new name keeps its case
  ASSERT_NE(f, nullptr);
  platform::writeText(f, "a\nb\n\nc");
  ASSERT_TRUE(platform::syncFile(f));
  std::fclose(f);
  EXPECT_EQ(readFile(dir / "T.TXT"), "a\r\nb\r\n\r\nc");

  writeFile(path,
            "one\r\ntwo\nthr\ree\r\nlongline\n\x1A"
            "after\n");
  f = platform::openFile(path, "rb");
  ASSERT_NE(f, nullptr);
  std::string line;
  for (const char* expected : {"one\n", "two\n", "thr\r", "ee\n", "long", "line", "\n"}) {
    ASSERT_TRUE(platform::readTextLine(f, line, 5));
    EXPECT_EQ(line, expected);
  }
  EXPECT_FALSE(platform::readTextLine(f, line, 5));  // Ctrl-Z ends the file
  EXPECT_FALSE(platform::readTextLine(f, line, 5));
  std::fclose(f);
}

TEST(WriteFileAtomically, ReplacesTheFileWhereItLies) {
  ScratchDir dir;
  fs::create_directory(dir / "data");
  writeFile(dir / "data/korva.vot", "old");
  ::chmod((dir / "data/korva.vot").c_str(), 0640);
  fs::create_symlink(dir / "data/korva.vot", dir / "link.vot");
  writeFile(dir / "victim", "untouched");
  fs::create_symlink(dir / "victim", dir / "data/korva.vot.$$$");  // as if planted under a temporary's name

  ASSERT_TRUE(platform::writeFileAtomically(dir / "link.vot", "new"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.vot"));  // the link still shows the file
  EXPECT_EQ(readFile(dir / "data/korva.vot"), "new");
  EXPECT_EQ(readFile(dir / "victim"), "untouched");
  // Another's name is neither written through nor removed, and the save leaves no name of its own.
  EXPECT_EQ(namesIn(dir / "data"), (std::vector<std::string>{"korva.vot", "korva.vot.$$$"}));
  struct stat st;
  ASSERT_EQ(::stat((dir / "data/korva.vot").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  ASSERT_TRUE(platform::writeFileAtomically(dir / "fresh.sta", "first"));  // no file before
  EXPECT_EQ(readFile(dir / "fresh.sta"), "first");
  if (::geteuid() != 0) {  // the superuser may write any file
    ::chmod((dir / "fresh.sta").c_str(), 0444);
    EXPECT_FALSE(platform::writeFileAtomically(dir / "fresh.sta", "second"));
    EXPECT_EQ(readFile(dir / "fresh.sta"), "first");
  }
}

TEST(WriteNewFile, RefusesAnExistingNameEvenALink) {
  ScratchDir dir;
  ASSERT_TRUE(platform::writeNewFile(dir / "a.msg", "body"));
  EXPECT_FALSE(platform::writeNewFile(dir / "A.MSG", "other"));  // the same name in another case
  EXPECT_EQ(readFile(dir / "a.msg"), "body");
  fs::create_symlink(dir / "target", dir / "link.msg");
  EXPECT_FALSE(platform::writeNewFile(dir / "link.msg", "other"));
  EXPECT_FALSE(fs::exists(dir / "target"));
}

TEST(Temporaries, EveryNameIsNewAndOnlyThoseOfDeadRunsAreRemoved) {
  ScratchDir dir;
  std::string ours = platform::temporaryPath(dir / "korva.vot");
  EXPECT_NE(platform::temporaryPath(dir / "korva.vot"), ours);
  EXPECT_EQ(ours.rfind(dir / "korva.vot." + std::to_string(::getpid()) + "-", 0), 0u);
  pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  writeFile(ours, "ours");
  writeFile(dir / "korva.sta." + std::to_string(gone) + "-7.$$$", "torn");
  writeFile(dir / "korva.kix.1-1.$$$", "init's, alive though not ours to signal");
  writeFile(dir / "notes.$$$", "not a temporary");
  platform::removeDeadTemporaries(dir.path);
  EXPECT_EQ(namesIn(dir.path), (std::vector<std::string>{"korva.kix.1-1.$$$", fs::path(ours).filename(), "notes.$$$"}));
}

TEST(LockFile, HeldUntilTheHoldersProcessEnds) {
  ScratchDir dir;
  std::string path = dir / "korva.plk";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t holder = ::fork();
  if (holder == 0) {
    platform::FileLock held;
    char taken = platform::lockFile(path, 0, held) == LockResult::kTaken;
    if (::write(ready[1], &taken, 1) != 1) ::_exit(1);
    ::usleep(300 * 1000);
    ::kill(::getpid(), SIGKILL);  // dies holding it
  }
  char taken = 0;
  ASSERT_EQ(::read(ready[0], &taken, 1), 1);
  ASSERT_TRUE(taken);
  platform::FileLock lock;
  EXPECT_EQ(platform::lockFile(path, 0, lock), LockResult::kBusy);
  EXPECT_EQ(platform::lockExistingFile(path, 0, lock), LockResult::kBusy);
  EXPECT_EQ(platform::lockFile(path, 10, lock), LockResult::kTaken);  // the holder dies during the wait
  ::waitpid(holder, nullptr, 0);
  ::close(lock.fd);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_EQ(platform::lockFile(dir / "none/korva.plk", 0, lock), LockResult::kFailed);
  // A reader's lock is never made where there was none.
  EXPECT_EQ(platform::lockExistingFile(dir / "other.plk", 0, lock), LockResult::kMissing);
  EXPECT_FALSE(fs::exists(dir / "other.plk"));
}

TEST(FaultInjection, EachFailingStepOfASaveLeavesTheOldFileWhole) {
  ScratchDir dir;
  std::string path = dir / "korva.vot";
  writeFile(path, "old");
  // Operations 1 to 4: create, write, sync and rename of the temporary.
  for (const char* at : {"1", "2", "3", "4"}) {
    EXPECT_FAULT(at, "fail", std::_Exit(platform::writeFileAtomically(path, "new") ? 1 : 0), testing::ExitedWithCode(0),
                 "fault injected at operation [1-4]: [a-z]+ /");
    EXPECT_EQ(readFile(path), "old") << at;
    EXPECT_EQ(namesIn(dir.path), std::vector<std::string>{"korva.vot"}) << at;
  }
  EXPECT_FAULT("2", "fail", std::_Exit(platform::writeNewFile(dir / "new.msg", "body") ? 1 : 0),
               testing::ExitedWithCode(0), "operation 2: write .*/new\\.msg");
  EXPECT_FALSE(fs::exists(dir / "new.msg"));
  // A run killed before its rename leaves its temporary; the next run's sweep removes it.
  EXPECT_FAULT("4", "kill", platform::writeFileAtomically(path, "new"), testing::KilledBySignal(SIGKILL),
               "fault injected at operation 4: rename .*/korva\\.vot\n");
  EXPECT_EQ(readFile(path), "old");
  EXPECT_EQ(namesIn(dir.path).size(), 2u);
  platform::removeDeadTemporaries(dir.path);
  EXPECT_EQ(namesIn(dir.path), std::vector<std::string>{"korva.vot"});
}

TEST(Cp866ToUtf8, ConvertsLettersAndBoxDrawing) {
  EXPECT_EQ(platform::cp866ToUtf8("A\x8D\xAF\xE0\xF1\xB0\xFF"), "A\u041D\u043F\u0440\u0451\u2591\u00A0");
}

}  // namespace
