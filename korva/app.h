// The vote manager's process-wide run state, set up at start and alive until exit.
#ifndef KORVA_APP_H_
#define KORVA_APP_H_

#include <cstdint>
#include <ctime>
#include <string>

namespace korva {

constexpr const char* kProgramVersion = "2.10/32";
constexpr const char* kReleaseDate = "Apr 2005";
constexpr const char* kProgramName = "Korva32";

struct AppState {
  std::time_t startTime = 0;     // compared with message dates by the checks
  std::string startDirectory;    // the working directory at start
  bool sortOnAddresses = false;  // report sort options
  bool sortOnNames = false;
  bool sortOnVotes = false;
  bool listFilter = false;       // filter the general report by the valid addresses list
  std::string listFile;          // replaces ValidAddressList when given with the list option
  std::string configPath;
  std::string voteBasePath;
  std::string statisticPath;
  bool indexRebuildRequest = false;
  unsigned processedMessages = 0;  // in the current pass
  bool checkingPass = false;       // set while NetmailIn is scanned
};
extern AppState app;

}  // namespace korva

#endif  // KORVA_APP_H_
