// The poster's process-wide state: the run, the settings of the configuration file and the
// posting schedule.  All of it lives until exit; the configuration pass changes it line by line.
#ifndef NUVREL_APP_H_
#define NUVREL_APP_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "common/election_formats.h"
#include "common/ftn_address.h"
#include "common/platform.h"
#include "common/version.h"

namespace nuvrel {

constexpr const char* kProgramVersion = version::kNumber;
constexpr const char* kBuildDate = version::kDate;
constexpr const char* kProgramName = "Nuvrel32";

constexpr int kStageCount = 10;  // stages 0 to 9, one DaysStage key each
constexpr int kNoStage = -1;
constexpr std::time_t kSecondsPerDay = 86400;

struct AppState {
  std::string configPath;
  std::string stampPath;
  bool textMode = false;    // text files instead of packets
  bool headerFlag = false;  // header in text files
  std::string selectedSection;
  std::string forcedSection;
  bool forceAll = false;
  bool testMode = false;  // the Test command: decisions are printed, not carried out
  // The day the current pass posts for (01:00 local); 0 is no day at all.
  std::time_t postingDay = 0;
  std::string currentSection;    // the last section header read
  bool somethingPosted = false;  // some File line reached posting
  bool sectionFound = false;     // some File line stood in the selected or forced section
  bool firstPass = true;         // the candidates base is read on the first pass only
  platform::FileLock runLock;    // held until exit by a run that writes
};
extern AppState app;

// Everything the configuration sets.  A later line overrides an earlier one; nothing is reset at a
// section header or between the passes of a Test run.
struct Settings {
  FtnAddress pktFromAddress, pktToAddress, fromAddress;
  std::string pktPassword;
  std::string pktDir;
  std::string area, origin, charset, subj, from;
  bool oncePostPerDay = false;
  bool includeTearline = true;
  bool shortTearline = false;
  bool useMacro = true;
  unsigned long maxMsgSize = 12288;  // near what FTN editors and tossers split at
  std::string candidatesPath;
};
extern Settings settings;

// The stage table, the posting window and period, and the once-a-day state.
struct Schedule {
  std::time_t beginDate = 0;  // 00:00 of the first day of stage 0
  uint16_t stageDays[kStageCount] = {};
  std::time_t stageBegin[kStageCount] = {};
  std::time_t stageEnd[kStageCount] = {};  // last second of the stage
  std::time_t allStagesEnd = 0;
  int currentStage = kNoStage;  // the stage holding the posting day
  std::time_t windowBegin = 0;  // included
  std::time_t windowEnd = 0;    // excluded
  uint16_t period = 0;
  uint16_t offset = 0;
  bool star = false;         // also post on the window's first day
  bool postedToday = false;  // the stamp file bears the posting day's date (Post only)
  bool alreadyPostedLogged = false;
};
extern Schedule schedule;

// What the poster reads from the vote manager's files, each at most once per run, and the
// figures derived from them.
struct ElectionData {
  std::vector<CandidateLine> candidates;  // in file order: a vote names its candidate by position
  std::vector<VoteRecord> votes;          // the UserIDs are not kept
  VerdictCounters counters;
  unsigned refusedSum = 0;       // counters 4 to 32
  unsigned ballotTotal = 0;      // VALD + MANV + the refused sum
  int countWidth = 0;            // field width of counts; 0 until the statistic file is read
  unsigned listedAddresses = 0;  // valid-address records of the index
  bool votesLoaded = false, statisticLoaded = false, listedAddressesLoaded = false;
  // The tally: totals per candidate, the counted votes and the electable candidates in report order.
  std::vector<uint16_t> totals;
  uint16_t countedVotes = 0;
  std::vector<int> electable;  // 0-based candidate positions
};
extern ElectionData election;

// The run's output.  Nothing reaches the disk until it is whole: the packet is written out when the
// run ends, a text file when its template is finished, each under a temporary name and then renamed
// into place, so that a run that dies leaves the old files or the new ones but never a torn one.
struct OutputState {
  // Packet mode: the packet's header and every finished posted text; empty until the run's first line.
  std::string packet;
  bool packetHoldsText = false;  // some posted text was finished into the packet
  uint32_t packetNumber = 0;     // of the first packet name tried, from the clock at the first line
  // The posted text in progress: its message parts, or its text file's bytes.  It joins the packet,
  // or replaces the text file, only once its template is finished.
  std::string text;
  bool textStarted = false;
  std::string textName;      // the text file's name, CP866
  uint16_t partCounter = 0;  // message parts started for the current posted text
  size_t partStart = 0;      // size of `text` when the current part began
  unsigned long partSize = 0;
  uint32_t msgIdSerial = 0;  // the last MSGID serial of the run
};
extern OutputState output;

}  // namespace nuvrel

#endif  // NUVREL_APP_H_
