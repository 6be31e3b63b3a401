// Nuvrel32, the result poster: start, options and the command table.
#include <cstdio>
#include <ctime>
#include <new>
#include <string>

#include "common/config_values.h"
#include "common/log.h"
#include "common/options.h"
#include "common/platform.h"
#include "common/text.h"
#include "nuvrel/app.h"
#include "nuvrel/config.h"
#include "nuvrel/exit_codes.h"
#include "nuvrel/output.h"
#include "nuvrel/schedule.h"

namespace nuvrel {
namespace {

using logging::appExit;

constexpr int kLockWaitSeconds = 300;

[[noreturn]] void printUsage() {
  logging::printOut(
      "\n  Usage:\n%s <command> [<options>]\n\n<command>:\n      Post            - Post mode\n      Test [<ndays>]  - "
      "Testing mode (test <ndays> days)\n<options>:\n          /cfg:<file>     - configuration file [korva.cfp]\n     "
      "     /txt            - output to text files (only post mode)\n          /hdr            - include header in "
      "text "
      "files (only text post mode)\n          /sect:<sect>    - section <sect> posted (only post mode)\n          "
      "/force[:<sect>] - force posted (only post mode)\n          /test:<ndays>   - test <ndays> days (only test "
      "mode)\n          /dates:<startdate>[-<enddate>]\n                          - test from <startdate> to "
      "<enddate>\n                            or <ndays> days (only test mode)\n                 "
      "<startdate>,<enddate> format:\n                            <day>.<month>.<year>\n",
      kProgramName);
  appExit(kExitDone);
}

void readOptions(char* argv0) {
  app.textMode = options::optPresent("t");
  app.headerFlag = options::optPresent("h");
  // "/force:" with an empty section name forces all, as "/force" does.
  if (const char* forced = options::optString("f"); forced != nullptr && *forced != '\0') {
    app.forcedSection = forced;
  } else {
    app.forceAll = options::optPresent("f");
  }
  if (const char* section = options::optString("s")) app.selectedSection = section;
  // The stamp belongs to the election, as the configuration does: an installed program's own
  // directory is seldom writable, and two elections posted by one program keep their own days.
  const char* cfg = options::optString("c");
  std::string programDir = platform::programDirectory(argv0);
  app.configPath = cfg ? cfg : programDir + "korva.cfp";
  app.stampPath = platform::directoryPart(app.configPath) + "nuvstamp.bin";
}

// One writing run at a time per configuration: two would share its packets, text files and stamp,
// and both could post what once a day allows once.  The lock stands beside the configuration; a
// missing configuration is left to the posting pass to report.
void takeRunLock() {
  if (!platform::isRegularFile(app.configPath)) return;
  std::string path = platform::replaceExtension(app.configPath, "plk");
  platform::LockResult result = platform::lockFile(path, kLockWaitSeconds, app.runLock);
  if (result == platform::LockResult::kBusy) {
    logging::logPrint("\n! Another run holds \"%s\"; nothing posted.", path.c_str());
    appExit(kExitRunBusy);
  }
  if (result == platform::LockResult::kFailed) {
    logging::logPrint("\n! Lock file \"%s\" create error.", path.c_str());
    appExit(kExitCreateFailed);
  }
  // What runs that died left half-written goes; a live run's files are its own.  PktDir is swept
  // when the packet is made: it is known only from the configuration.
  platform::removeDeadTemporaries("");
  if (!app.stampPath.empty()) platform::removeDeadTemporaries(platform::directoryPart(app.stampPath));
}

[[noreturn]] void post(std::time_t today) {
  takeRunLock();  // before the stamp is read: the once-a-day decision must be this run's alone
  schedule.postedToday = stampDatedToday(app.stampPath, today);
  runPostingPass(today);
  if (!app.somethingPosted) {
    bool sectionNamed = !app.selectedSection.empty() || !app.forcedSection.empty();
    if (sectionNamed && !app.sectionFound) {
      logging::logPrint("\n! Section not found in configuration file.\n");
    } else {
      // Nothing due is the usual end of most scheduled runs: no one needs to hear of it.
      logging::logRoutine("\n! Nothing to do.\n");
    }
  }
  appExit(kExitDone);
}

// The day count of Test: the word after the command, else the usage's "/test:<ndays>" (which,
// beginning with "t", also turns text mode on).
const char* testDayCount() {
  const char* count = options::optPositional(2);
  return count != nullptr ? count : options::optString("test");
}

[[noreturn]] void test(std::time_t today) {
  logging::printOut("\nTest mode.\n");
  app.testMode = true;
  app.stampPath.clear();                              // a Test run never renews the stamp
  if (app.textMode && app.headerFlag) takeRunLock();  // only then does Test write text files
  runPostingPass(0);                                  // reads the settings and the candidates base; day 0 posts nothing
  TestSpan span = testSpan(today, testDayCount(), options::optString("d"));
  for (std::time_t day : simulatedDays(span)) runPostingPass(day);
  appExit(kExitDone);
}

[[noreturn]] void run(int argc, char** argv) {
  logging::logInit({"Nuvrel", kProgramVersion, ""});
  logging::setExitHook(closeOutput);
  if (options::versionAsked(argc, argv)) {
    logging::printOut("%s %s", kProgramName, kProgramVersion);
    appExit(kExitDone);
  }
  options::optInit(argc, argv);
  logging::setQuiet(options::optPresent("q"));
  config::source.errorHeader = writeConfigErrorHeader;
  logging::consoleWrite(text::format("Kelvanoth Poster  Version %s, %s.\r\n", kProgramVersion, kBuildDate));
  const char* command = options::optPositional(1);
  if (command == nullptr || options::optPresent("?") || options::optPresent("help")) printUsage();
  readOptions(argv[0]);
  std::time_t today = postingDayOf(std::time(nullptr));
  if (text::equalIgnoringAsciiCase(command, "Post")) post(today);
  if (text::equalIgnoringAsciiCase(command, "Test")) test(today);
  logging::printOut("\nUnknown command.");
  appExit(kExitUnknownCommand);
}

}  // namespace
}  // namespace nuvrel

int main(int argc, char** argv) {
  std::set_new_handler([] { logging::outOfMemory(); });
  nuvrel::run(argc, argv);
}
