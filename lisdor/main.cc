// Lisdor32, the userlist converter: reads the source, sorts, writes the valid addresses list.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "common/log.h"
#include "common/options.h"
#include "common/platform.h"
#include "common/text.h"
#include "common/version.h"
#include "lisdor/converter.h"
#include "lisdor/exit_codes.h"

namespace lisdor {
namespace {

using logging::appExit;

constexpr const char* kProgramVersion = version::kNumber;
constexpr const char* kReleaseDate = version::kDate;
constexpr const char* kProgramName = "Lisdor32";

[[noreturn]] void printUsage() {
  logging::printOut(
      "\n  Usage:\n%s <source> [<target>][options]\n    <options>:\n        -addr  - sort on address\n       -fname  - "
      "sort on first name\n       -lname  - sort on last name\n",
      kProgramName);
  appExit(kExitDone);
}

[[noreturn]] void formatError(const std::string& source) {
  logging::printOut("Unknown format of Source file \"%s\".\n", source.c_str());
  appExit(kExitUnknownFormat);
}

std::vector<UserRecord> readSource(const std::string& source) {
  std::FILE* in = platform::openFile(source, "rb");
  if (in == nullptr) {
    logging::printOut("Source file \"%s\" not found.\n", source.c_str());
    appExit(kExitSourceNotFound);
  }
  std::vector<UserRecord> users;
  users.reserve(128);
  if (!readUserLines(in, users)) formatError(source);
  // A source that cannot be read to its end (a directory, a read error) must not pass for a short
  // list: in place, it would be replaced by what was read.
  if (std::ferror(in)) {
    logging::printOut("Source file \"%s\" not found.\n", source.c_str());
    appExit(kExitSourceNotFound);
  }
  std::fclose(in);
  return users;
}

std::string listBytes(const std::vector<UserRecord>& users, const std::vector<uint32_t>& order) {
  std::string text;
  for (uint32_t index : order) text += formatListLine(users[index]);
  return platform::textModeBytes(text);
}

[[noreturn]] void cannotCreate(const std::string& target) {
  logging::printOut("Can't create target file \"%s\".\n", target.c_str());
  appExit(kExitCannotWrite);
}

// A named target is replaced whole or not at all: written beside itself, forced to disk, renamed.
void writeTarget(const std::string& target, const std::string& bytes) {
  if (!platform::writeFileAtomically(target, bytes)) cannotCreate(target);
}

// In place, the source never goes missing: the new list is on disk under a temporary name, the
// backup is a copy of the source, and one rename puts the new list over the source.  A failure
// leaves the source as it was and no temporary behind.
std::string writeTemporaryList(const std::string& source, const std::string& bytes) {
  std::string temporary = platform::temporaryPath(platform::directoryPart(source) + "$gd$lst$.tmp");
  if (!platform::writeNewFile(temporary, bytes)) cannotCreate(temporary);
  return temporary;
}

void replaceSource(const std::string& source, const std::string& temporary) {
  std::string backup = platform::replaceExtension(source, "bak");
  std::string backupCopy = platform::temporaryPath(backup);
  bool replaced = platform::copyFile(source, backupCopy, true) && platform::replaceFile(backupCopy, backup) &&
                  platform::replaceFile(temporary, source);
  if (!replaced) {
    platform::deleteFile(backupCopy);
    platform::deleteFile(temporary);
    logging::printOut("Can't replace source file \"%s\".\n", source.c_str());
    appExit(kExitCannotWrite);
  }
  platform::syncDirectory(platform::directoryPart(platform::absolutePath(source)));
}

[[noreturn]] void run(int argc, char** argv) {
  // The converter keeps no log, and its output ends as its last line does.
  logging::logInit({"Lisdor", kProgramVersion, "", false});
  if (options::versionAsked(argc, argv)) {
    logging::printOut("%s %s\n", kProgramName, kProgramVersion);
    appExit(kExitDone);
  }
  options::optInit(argc, argv);
  platform::consoleWrite(text::format("Lisdor Userlist Converter  Version %s, %s.\r\n", kProgramVersion, kReleaseDate));
  const char* sourceArg = options::optPositional(1);
  if (sourceArg == nullptr || options::optPresent("?") || options::optPresent("h")) printUsage();
  std::string source = sourceArg;
  const char* targetArg = options::optPositional(2);
  SortOptions sorts;
  sorts.byAddress = options::optPresent("a");
  sorts.byFirstName = options::optPresent("f") || options::optPresent("n");
  sorts.byLastName = options::optPresent("l");

  std::vector<UserRecord> users = readSource(source);
  std::vector<uint32_t> order = sortedOrder(users, sorts);
  std::string bytes = listBytes(users, order);
  if (targetArg != nullptr) {
    writeTarget(targetArg, bytes);
    logging::printOut("%d records processed.\n", int(users.size()));
  } else {
    // What a killed in-place run left half-written goes first.
    platform::removeDeadTemporaries(platform::directoryPart(source));
    std::string temporary = writeTemporaryList(source, bytes);
    logging::printOut("%d records processed.\n", int(users.size()));
    replaceSource(source, temporary);
  }
  appExit(kExitDone);
}

}  // namespace
}  // namespace lisdor

int main(int argc, char** argv) {
  std::set_new_handler([] {
    logging::printOut("\nERROR: Not enough memory.");
    logging::appExit(lisdor::kExitOutOfMemory);
  });
  lisdor::run(argc, argv);
}
