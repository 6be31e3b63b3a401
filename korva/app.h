// The vote manager's process-wide run state, set up at start and alive until exit.
#ifndef KORVA_APP_H_
#define KORVA_APP_H_

#include <cstdint>
#include <ctime>
#include <string>

#include "common/version.h"

namespace korva {

struct InboundMessage;

constexpr const char* kProgramVersion = version::kNumber;
constexpr const char* kReleaseDate = version::kDate;
constexpr const char* kProgramName = "Korva32";

struct AppState {
  std::time_t startTime = 0;     // compared with message dates by the checks
  bool sortOnAddresses = false;  // report sort options
  bool sortOnNames = false;
  bool sortOnVotes = false;
  bool listFilter = false;  // filter the general report by the valid addresses list
  std::string listFile;     // replaces ValidAddressList when given with the list option
  std::string configPath;
  std::string voteBasePath;
  std::string statisticPath;
  std::string lockPath;     // held by the commands that change the election
  std::string journalPath;  // the effects of the message in hand, while they are being made
  bool indexRebuildRequest = false;
  unsigned processedMessages = 0;  // in the current pass
  bool checkingPass = false;       // set while NetmailIn is scanned
  long messageLogOffset = 0;       // the log's length when the message in hand was taken up
  uint32_t msgIdSerial = 0;        // the last MSGID serial issued in this run
  std::string scannedDirectory;    // the inbound directory of the pass, as configured
  bool checkQuery = false;         // the message in hand is a check query: it is filed as auxiliary
};
extern AppState app;

// The message in hand: the ballot being judged and answered.  The reply templates read it; before
// the first message of a run it is empty.
extern InboundMessage inboundMessage;

}  // namespace korva

#endif  // KORVA_APP_H_
