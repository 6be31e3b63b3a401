// Nuvrel32, the result poster: start, options and the command table.
#include <cstdio>
#include <new>
#include <string>

#include "common/config_values.h"
#include "common/log.h"
#include "common/options.h"
#include "common/platform.h"
#include "common/text.h"
#include "nuvrel/app.h"

namespace nuvrel {
namespace {

using logging::appExit;

[[noreturn]] void printUsage() {
  std::printf(
      "\n  Usage:\n%s <command> [<options>]\n\n<command>:\n      Post            - Post mode\n      Test [<ndays>]  - "
      "Testing mode (test <ndays> days)\n<options>:\n          /cfg:<file>     - configuration file [korva.cfp]\n     "
      "     /txt            - output to text files (only post mode)\n          /hdr            - include header in text "
      "files (only text post mode)\n          /sect:<sect>    - section <sect> posted (only post mode)\n          "
      "/force[:<sect>] - force posted (only post mode)\n          /test:<ndays>   - test <ndays> days (only test "
      "mode)\n          /dates:<startdate>[-<enddate>]\n                          - test from <startdate> to "
      "<enddate>\n                            or <ndays> days (only test mode)\n                 "
      "<startdate>,<enddate> format:\n                            <day>.<month>.<year>\n",
      kProgramName);
  appExit(0);
}

void readOptions(char* argv0) {
  app.textMode = options::optPresent("t");
  app.headerFlag = options::optPresent("h");
  if (const char* forced = options::optString("f")) {
    app.forcedSection = forced;
  } else {
    app.forceAll = options::optPresent("f");
  }
  if (const char* section = options::optString("s")) app.selectedSection = section;
  const char* cfg = options::optString("c");
  std::string programDir = platform::programDirectory(argv0);
  app.configPath = cfg ? cfg : programDir + "korva.cfp";
  app.stampPath = programDir + "nuvstamp.bin";
}

[[noreturn]] void run(int argc, char** argv) {
  logging::logInit({"Nuvrel", kProgramVersion, ""});
  options::optInit(argc, argv);
  config::source.posterStyle = true;
  platform::consoleWrite(text::format("Kelvanoth Poster  Version %s, %s.\r\n", kProgramVersion, kBuildDate));
  const char* command = options::optPositional(1);
  if (command == nullptr || options::optPresent("?") || options::optPresent("help")) printUsage();
  app.startDirectory = platform::currentDirectory();
  readOptions(argv[0]);
  if (text::equalIgnoringAsciiCase(command, "Post")) appExit(0);
  if (text::equalIgnoringAsciiCase(command, "Test")) {
    std::printf("\nTest mode.\n");
    appExit(0);
  }
  std::printf("\nUnknown command.");
  appExit(1);
}

}  // namespace
}  // namespace nuvrel

int main(int argc, char** argv) {
  std::set_new_handler([] { logging::outOfMemory(); });
  nuvrel::run(argc, argv);
}
