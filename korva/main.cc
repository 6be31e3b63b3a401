// Korva32, the vote manager: start-up, the command table and the closing line.
#include <cstdio>
#include <ctime>
#include <new>
#include <string>

#include "common/config_values.h"
#include "common/log.h"
#include "common/options.h"
#include "common/platform.h"
#include "common/text.h"
#include "korva/announce.h"
#include "korva/app.h"
#include "korva/config.h"
#include "korva/election_files.h"
#include "korva/exit_codes.h"
#include "korva/message_effects.h"
#include "korva/nodelist_index.h"
#include "korva/reports.h"
#include "korva/scan.h"
#include "korva/settings.h"
#include "korva/verify.h"

namespace korva {
namespace {

using logging::appExit;
using logging::logPrint;

constexpr int kLockWaitSeconds = 300;

[[noreturn]] void printUsage() {
  logging::consoleWrite(text::format("Kelvanoth Vote Manager  Version %s, %s.\r\n", kProgramVersion, kReleaseDate));
  logging::printOut(
      "\n  Usage:\n%s <command> [<options>]\n\n<command>:\n        Scan  - scan inbound netmail\n      Result  - "
      "general results report\n      Quorum  - quorum report\n   Passwords  - passwords list report\n    Announce  - "
      "generate announce messages\n       Index  - create new index file\n      Verify  - verify vote base against "
      "filed ballots\n\n<options>:\n            -cfg:<file>  - "
      "configuration file [korva.cfg]\n        -address         - sort report on addresses (quorum report only)\n "
      "          -name         - sort report on names\n          -votes         - sort report on votes\n           "
      "-list:<file>  - filter address list (general report only)",
      kProgramName);
  appExit(kExitDone);
}

[[noreturn]] void printClosingLine(logging::ExitCode code = kExitDone) {
  std::string line = text::format("... Korva  Ver %s", kProgramVersion);
  if (line.size() < 37) line.resize(37, ' ');
  line += text::format("Kelvanoth Vote Manager, %s.", kReleaseDate);
  logging::printOut("\n%s\n", line.c_str());
  appExit(code);
}

// "Copy <directory>": copies every *.msg of the working directory into the directory under its
// next free message numbers.
[[noreturn]] void copyMessages() {
  const char* target = options::optPositional(2);
  if (target == nullptr) printUsage();
  std::string directory = config::parseDirectoryValue(target, false);
  std::vector<std::string> files = platform::listFiles("", "*.msg");
  if (files.empty()) {
    logging::printOut("\n%s not found", "*.msg");
    appExit(kExitDone);
  }
  for (const std::string& file : files) {
    // Shown, not logged: no configuration, so no log, is read for Copy.
    std::string copy = freeMessagePath(directory);
    if (copy.empty()) {
      logging::printOut("\n! No free message number in \"%s\".", directory.c_str());
      appExit(kExitCreateFailed);
    }
    logging::printOut("\n%s  -->  %s", file.c_str(), copy.c_str());
    platform::copyFile(file, copy, false);
  }
  appExit(kExitDone);
}

void readCommandOptions(char* argv0) {
  app.sortOnAddresses = options::optPresent("a");
  app.sortOnNames = options::optPresent("n");
  app.sortOnVotes = options::optPresent("v");
  app.listFilter = options::optPresent("l");
  if (const char* list = options::optString("l")) app.listFile = list;
  app.indexRebuildRequest = false;
  if (options::optPresent("c")) {
    const char* path = options::optString("c");
    app.configPath = path ? path : "";
  } else {
    app.configPath = platform::programDirectory(argv0) + "korva.cfg";
  }
  app.voteBasePath = platform::replaceExtension(app.configPath, "vot");
  app.statisticPath = platform::replaceExtension(app.configPath, "sta");
  app.lockPath = platform::replaceExtension(app.configPath, "lck");
  app.journalPath = platform::replaceExtension(app.configPath, "jnl");
}

// Scan, Announce and Index change the election; the reports only read files that are replaced
// whole, and need no lock.
bool changesElection(const std::string& command) {
  return text::equalIgnoringAsciiCase(command, "Scan") || text::startsWithIgnoringAsciiCase(command, "Ind") ||
         text::startsWithIgnoringAsciiCase(command, "Ann");
}

// Ends the run unless the election's lock was taken: still held when the wait ended, or its file
// could not be made ("create") or opened ("open").
void endUnlessTaken(platform::LockResult taken, const char* cannot) {
  if (taken == platform::LockResult::kBusy) {
    logPrint("\n! Another run holds \"%s\"; election busy, nothing done.", app.lockPath.c_str());
    appExit(kExitElectionBusy);
  }
  if (taken == platform::LockResult::kFailed) {
    logPrint("\n! Can't %s lock file \"%s\".", cannot, app.lockPath.c_str());
    appExit(kExitElectionBusy);
  }
}

// The candidates base read again: another run may have changed it since the configuration read it.
void reloadCandidates() {
  election.candidates.clear();
  int lineNumber = 0;
  loadCandidates(election.candidatesPath, lineNumber);
}

// One run at a time per election.  A run that finds the lock taken waits for it, long enough for a
// long Scan of a run started by cron a little earlier.  The lock goes with its process, so a killed
// run never leaves it behind; what such a run left half done is finished here.
void takeElection() {
  platform::FileLock lock;
  endUnlessTaken(platform::lockFile(app.lockPath, kLockWaitSeconds, lock), "create");
  // The candidates base may have been replaced by what the stopped run left.
  if (finishInterruptedRun()) reloadCandidates();
}

bool verifies(const std::string& command) { return text::startsWithIgnoringAsciiCase(command, "Ver"); }

// Verify reads under Scan's lock, so that it never meets a message half committed (the vote base
// saved, the ballot not yet filed).  It makes no lock file, since none means no Scan ever ran, and
// it finishes nothing a stopped run left: it only reads.
void readUnderElectionLock() {
  platform::FileLock lock;
  platform::LockResult taken = platform::lockExistingFile(app.lockPath, kLockWaitSeconds, lock);
  endUnlessTaken(taken, "open");
  if (platform::isRegularFile(app.journalPath)) {
    logPrint("\n! A stopped run left its work unfinished (\"%s\"); the next Scan finishes it.",
             app.journalPath.c_str());
  }
  // A Scan that ran while this one waited may have added candidates.
  if (taken == platform::LockResult::kTaken) reloadCandidates();
}

// "Verify": the closing line (not in quiet mode, where a sound election shows nothing), then 0 or,
// when the vote base and the filed ballots disagree, kExitDiscrepancies.
[[noreturn]] void verifyVoteBase() {
  logging::ExitCode code = verifyElection().discrepancies == 0 ? kExitDone : kExitDiscrepancies;
  if (options::optPresent("q")) appExit(code);
  printClosingLine(code);
}

ReportOptions reportOptions() {
  ReportOptions options;
  options.sortOnAddresses = app.sortOnAddresses;
  options.sortOnNames = app.sortOnNames;
  options.sortOnVotes = app.sortOnVotes;
  options.validListMode = app.listFilter;
  return options;
}

// "Result -list": votes of electors the valid addresses list does not hold are left out of this
// report by negating their choice in memory; nothing is saved.
void leaveOutUnlistedElectors() {
  openIndex();
  for (VoteRecord& vote : election.votes) {
    if (vote.candidate > 0 && findValidAddress(vote.address) != AddressListing::kListed)
      vote.candidate = int16_t(-vote.candidate);
  }
}

// "Scan": the checking pass over NetmailIn, the unchecked pass over NetmailUnCheck, the final
// save, and the index rebuilt when an auxiliary message added a candidate.
[[noreturn]] void scanInbound() {
  openIndex();
  app.processedMessages = 0;
  app.checkingPass = true;
  scanDirectory(settings.netmailIn);
  if (app.processedMessages != 0) {
    logPrint("\n= Total processed %u message(s).", app.processedMessages);
  } else {
    if (logging::logHeaderPending()) {
      logging::consoleWrite(text::format("Korva    Version %s, %s.", kProgramVersion, kReleaseDate));
    }
    logging::consoleWrite(text::format("\n\r%s*.MSG files not found.", settings.netmailIn.c_str()));
  }
  app.checkingPass = false;
  app.processedMessages = 0;
  if (!settings.netmailUnCheck.empty()) {
    scanDirectory(settings.netmailUnCheck);
    if (app.processedMessages != 0) logPrint("\n= Total processed %u messages.", app.processedMessages);
  }
  saveElectionFiles(kProgramVersion);
  if (app.indexRebuildRequest) openIndex();
  appExit(kExitDone);
}

[[noreturn]] void dispatch(const std::string& command) {
  if (text::equalIgnoringAsciiCase(command, "Scan")) scanInbound();
  if (text::startsWithIgnoringAsciiCase(command, "Res")) {
    if (app.listFilter) leaveOutUnlistedElectors();
    reportResults(reportOptions());
    printClosingLine();
  }
  if (text::startsWithIgnoringAsciiCase(command, "Pas")) {
    reportPasswords(reportOptions());
    printClosingLine();
  }
  if (text::startsWithIgnoringAsciiCase(command, "Qu")) {
    reportQuorum(reportOptions());
    printClosingLine();
  }
  if (text::startsWithIgnoringAsciiCase(command, "Ind")) {
    app.indexRebuildRequest = true;
    openIndex();
    appExit(kExitDone);
  }
  if (text::startsWithIgnoringAsciiCase(command, "Ann")) {
    openIndex();
    announceElectors();
    printClosingLine();
  }
  if (verifies(command)) verifyVoteBase();
  // A mistyped command word in a scheduler's line must not pass for a quiet success.
  logging::logAlert("\nUnknown command: %s", command.c_str());
  appExit(kExitUnknownCommand);
}

[[noreturn]] void run(int argc, char** argv) {
  logging::logInit(
      {"Korva", kProgramVersion,
       text::format("Korva      Version %s  Kelvanoth Vote Manager, %s.\n\r", kProgramVersion, kReleaseDate)});
  if (options::versionAsked(argc, argv)) {
    logging::printOut("%s %s", kProgramName, kProgramVersion);
    appExit(kExitDone);
  }
  options::optInit(argc, argv);
  logging::setQuiet(options::optPresent("q"));
  const char* command = options::optPositional(1);
  if (command == nullptr || options::optPresent("?") || options::optPresent("h")) printUsage();
  app.startTime = std::time(nullptr);
  if (text::equalIgnoringAsciiCase(command, "Copy")) copyMessages();
  readCommandOptions(argv[0]);
  readVoteManagerConfig(app.configPath);
  if (app.listFilter && !app.listFile.empty()) settings.validAddressList = app.listFile;
  election.voteBasePath = app.voteBasePath;
  election.statisticPath = app.statisticPath;
  if (changesElection(command)) takeElection();
  if (verifies(command)) readUnderElectionLock();
  loadVoteBase();
  loadStatistics();
  dispatch(command);
}

}  // namespace
}  // namespace korva

int main(int argc, char** argv) {
  std::set_new_handler([] { logging::outOfMemory(); });
  korva::run(argc, argv);
}
