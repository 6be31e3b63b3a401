#include "korva/message_effects.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>
#include <vector>

#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/exit_codes.h"
#include "korva/scan.h"
#include "korva/settings.h"

namespace korva {

namespace {

using logging::appExit;
using logging::logPrint;

constexpr const char* kJournalHeader = "; Korva journal 1";

struct PlannedMove {
  std::string from, to;
};

struct PlannedMessage {
  std::string bytes, directory;
  bool copy = false;
  std::string temporary;  // once written
};

// One effect in the order planned, with the held log entry that tells of it.
struct PlannedEffect {
  bool isMove = false;
  size_t index = 0;  // into moves or messages
  size_t entry = 0;  // among the held log entries
};

struct Replacement {
  FileImage file;                 // the election's name for it (its bytes are not kept)
  std::string temporary, target;  // the target is the file itself, a link followed
};

// The message in hand's plan.  Numbers are kept per directory, so that two moves of one message
// into one directory get two numbers.
struct MessagePlan {
  bool active = false;
  std::string inbound;
  std::vector<PlannedMove> moves;
  std::vector<PlannedMessage> messages;
  std::vector<PlannedEffect> effects;
  std::vector<std::pair<std::string, uint32_t>> keptNumbers;
};
MessagePlan plan;

uint32_t& keptNumber(const std::string& directory) {
  for (auto& [dir, number] : plan.keptNumbers) {
    if (dir == directory) return number;
  }
  return plan.keptNumbers.emplace_back(directory, 0).second;
}

std::string temporaryMessagePath(const std::string& directory) { return platform::temporaryPath(directory + "korva"); }

// Gives a written message its number: the next free one, by a rename that never overwrites, tried
// again when somebody else took that number meanwhile.
bool numberMessage(const std::string& temporary, const std::string& directory, std::string& path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (!nextMessagePath(directory, path)) return false;
    if (platform::renameFile(temporary, path) == platform::RenameResult::kDone) return true;
    if (!platform::isRegularFile(path)) return false;  // failed for another reason than a taken name
  }
  return false;
}

void forgetTemporaries(const std::vector<Replacement>& replacements) {
  for (const Replacement& r : replacements) platform::deleteFile(r.temporary);
  for (const PlannedMessage& m : plan.messages) {
    if (!m.temporary.empty()) platform::deleteFile(m.temporary);
  }
}

std::string journalText(const std::vector<Replacement>& replacements) {
  std::string text = std::string(kJournalHeader) + "\n";
  text += "inbound\t" + platform::absolutePath(plan.inbound) + "\n";
  for (const Replacement& r : replacements) text += "file\t" + r.temporary + "\t" + r.target + "\n";
  for (const PlannedMove& m : plan.moves) {
    text += "move\t" + platform::absolutePath(m.from) + "\t" + platform::absolutePath(m.to) + "\n";
  }
  for (const PlannedMessage& m : plan.messages) {
    if (m.temporary.empty()) continue;
    text += "message\t" + m.temporary + "\t" + platform::absolutePath(m.directory) + "\n";
  }
  return text + "end\n";
}

// A move that may have been made already: a whole target means it was.  A source still beside it
// is the leftover of a copy across devices, removed when it holds the same bytes.
int finishMove(const std::string& from, const std::string& to, bool& moved) {
  moved = false;
  if (platform::isRegularFile(to)) {
    std::string a, b;
    if (platform::isRegularFile(from) && platform::readWholeFile(from, a) && platform::readWholeFile(to, b) && a == b) {
      platform::deleteFile(from);
    }
    return 0;
  }
  if (!platform::isRegularFile(from)) return 0;
  moved = true;
  return platform::moveFile(from, to);
}

void syncDirectories(const std::set<std::string>& directories) {
  for (const std::string& directory : directories) platform::syncDirectory(directory);
}

// The election files replaced together: every temporary is on disk before the first rename.
void replaceElectionFiles(const std::vector<Replacement>& replacements, std::set<std::string>& touched) {
  for (const Replacement& r : replacements) {
    if (platform::replaceFile(r.temporary, r.target)) {
      touched.insert(platform::directoryPart(r.target));
    } else {
      reportFailedSave(r.file);  // ends the run unless it is the statistic file
    }
  }
}

void makeEffect(const PlannedEffect& effect, std::string entry, std::set<std::string>& touched) {
  if (effect.isMove) {
    const PlannedMove& m = plan.moves[effect.index];
    bool moved = false;
    if (int error = finishMove(m.from, m.to, moved); error != 0) {
      logPrint("\n! Can't move file (error=%d).", error);
      appExit(kExitMoveFailed);
    }
    touched.insert(platform::directoryPart(m.from));
    touched.insert(platform::directoryPart(m.to));
    logging::logWriteEntry(entry);
    return;
  }
  const PlannedMessage& m = plan.messages[effect.index];
  if (m.temporary.empty()) return;  // a copy that could not be written
  std::string path;
  if (!numberMessage(m.temporary, m.directory, path)) {
    logPrint("\n! File \"%s\" create error", m.temporary.c_str());
    appExit(kExitCreateFailed);
  }
  touched.insert(m.directory);
  if (m.copy) entry = logging::logEntry("\n< Save copy to \"%s\".", path.c_str());
  logging::logWriteEntry(entry);
}

void resetPlan() { plan = MessagePlan{}; }

struct JournalEntry {
  std::string kind, first, second;
};

std::vector<JournalEntry> parseJournal(const std::string& text, bool& whole) {
  std::vector<JournalEntry> entries;
  whole = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) break;
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line == "end") {
      whole = true;
      break;
    }
    if (line.empty() || line[0] == ';') continue;
    JournalEntry e;
    size_t tab1 = line.find('\t'), tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    e.kind = line.substr(0, tab1);
    if (tab1 != std::string::npos) e.first = line.substr(tab1 + 1, tab2 == std::string::npos ? tab2 : tab2 - tab1 - 1);
    if (tab2 != std::string::npos) e.second = line.substr(tab2 + 1);
    entries.push_back(e);
  }
  return entries;
}

// Every directory the vote manager writes into, where a dead run may have left temporaries.
std::set<std::string> writtenDirectories() {
  std::set<std::string> directories = {platform::directoryPart(platform::absolutePath(election.voteBasePath)),
                                       platform::directoryPart(platform::absolutePath(election.candidatesPath))};
  for (const std::string* d :
       {&settings.netmailOut, &settings.copyNetmailOut, &settings.moveValid, &settings.moveInvalid,
        &settings.moveBadDate, &settings.moveBadRoute, &settings.moveBadMsgId, &settings.moveBadUserId,
        &settings.moveAuxiliary, &settings.moveCancel, &settings.moveDupe, &settings.moveBadSyntax,
        &settings.moveBadSubj, &settings.moveBadNode}) {
    if (!d->empty()) directories.insert(*d);
  }
  return directories;
}

}  // namespace

void beginMessage() {
  resetPlan();
  plan.active = true;
  logging::logHold();
}

bool planningMessage() { return plan.active; }

std::string planMove(const std::string& path, const std::string& directory) {
  if (plan.inbound.empty()) plan.inbound = path;
  uint32_t& kept = keptNumber(directory);
  // Numbered as if the effects planned before were made: a file planned to leave the directory
  // does not count, a number kept for one planned to arrive does.
  uint16_t present = platform::highestFileNumber(
      directory, "*.msg", [&directory](const std::string& name) { return plannedToMove(directory + name); });
  uint32_t number = std::max<uint32_t>(kept, present) + 1;
  if (number > kMaxMessageNumber) {
    logPrint("\n! No free message number in \"%s\".", directory.c_str());
    return {};
  }
  kept = number;
  std::string target = text::format("%s%u.msg", directory.c_str(), unsigned(number));
  plan.moves.push_back({path, target});
  size_t entry = logging::logHoldEffect(logging::logEntry("\n  >> Moved to \"%s\".", target.c_str()));
  plan.effects.push_back({true, plan.moves.size() - 1, entry});
  return target;
}

bool plannedToMove(const std::string& path) {
  return std::any_of(plan.moves.begin(), plan.moves.end(), [&path](const PlannedMove& m) { return m.from == path; });
}

void planMessage(std::string bytes, const std::string& directory, std::string sentLine, bool copy) {
  plan.messages.push_back({std::move(bytes), directory, copy, {}});
  // A copy's line names the file it becomes; until then it names the number it will likely get.
  if (copy) {
    std::string likely;
    if (!nextMessagePath(directory, likely)) likely = directory;
    sentLine = logging::logEntry("\n< Save copy to \"%s\".", likely.c_str());
  }
  size_t entry = logging::logHoldEffect(std::move(sentLine));
  plan.effects.push_back({false, plan.messages.size() - 1, entry});
}

void commitMessage() {
  plan.active = false;
  std::vector<FileImage> files = changedElectionFiles(kProgramVersion);
  if (files.empty() && plan.effects.empty()) {
    for (const logging::HeldEntry& e : logging::logTakeHeld()) logging::logWriteEntry(e.text);
    resetPlan();
    return;
  }
  // Everything new goes to disk under temporary names first; until the journal is in place a
  // failure or a kill leaves the election as it was, and the message is judged again.
  std::vector<Replacement> replacements;
  for (const FileImage& file : files) {
    Replacement r{{file.path, {}}, {}, {}};
    if (!platform::writeReplacement(file.path, file.bytes, r.temporary, r.target)) {
      if (!isStatisticFile(file)) forgetTemporaries(replacements);
      reportFailedSave(file);  // ends the run unless it is the statistic file
      continue;
    }
    replacements.push_back(std::move(r));
  }
  for (PlannedMessage& m : plan.messages) {
    std::string temporary = temporaryMessagePath(m.directory);
    if (platform::writeNewFile(temporary, m.bytes)) {
      m.temporary = temporary;
    } else if (!m.copy) {
      logPrint("\n! File \"%s\" create error", temporary.c_str());
      forgetTemporaries(replacements);
      appExit(kExitCreateFailed);
    }
  }
  if (!platform::writeFileAtomically(app.journalPath, journalText(replacements))) {
    logPrint("\n! Can't save journal file \"%s\".", app.journalPath.c_str());
    forgetTemporaries(replacements);
    appExit(kExitSaveFailed);
  }

  // From here on the journal finishes whatever a stop leaves undone.
  std::set<std::string> touched;
  replaceElectionFiles(replacements, touched);
  std::vector<logging::HeldEntry> held = logging::logTakeHeld();
  size_t next = 0;
  for (size_t i = 0; i < held.size(); ++i) {
    if (!held[i].effect) {
      logging::logWriteEntry(held[i].text);
      continue;
    }
    while (next < plan.effects.size() && plan.effects[next].entry != i) ++next;
    if (next < plan.effects.size()) makeEffect(plan.effects[next], held[i].text, touched);
  }
  syncDirectories(touched);
  platform::deleteFile(app.journalPath);
  resetPlan();
}

bool writeMessageNow(const std::string& bytes, const std::string& directory, std::string& path) {
  std::string temporary = temporaryMessagePath(directory);
  path = temporary;
  if (!platform::writeNewFile(temporary, bytes)) return false;
  if (!numberMessage(temporary, directory, path)) {
    platform::deleteFile(temporary);
    path = temporary;
    return false;
  }
  platform::syncDirectory(directory);
  return true;
}

bool finishInterruptedRun() {
  bool replaced = false;
  std::string text;
  if (platform::isRegularFile(app.journalPath) && platform::readWholeFile(app.journalPath, text)) {
    bool whole = false;
    std::vector<JournalEntry> entries = parseJournal(text, whole);
    if (!whole || text.rfind(kJournalHeader, 0) != 0) {
      logPrint("\n! Damaged journal \"%s\" left by a stopped run, ignored.", app.journalPath.c_str());
      entries.clear();
    }
    std::set<std::string> touched;
    for (const JournalEntry& e : entries) {
      if (e.kind == "inbound") {
        logPrint("\n- Finish what a stopped run left for \"%s\".", e.first.c_str());
      } else if (e.kind == "file" && platform::isRegularFile(e.first)) {
        if (!platform::replaceFile(e.first, e.second)) {
          logPrint("\n! Can't save file \"%s\".", e.second.c_str());
          appExit(kExitSaveFailed);
        }
        touched.insert(platform::directoryPart(e.second));
        replaced = true;
      } else if (e.kind == "move") {
        bool moved = false;
        if (int error = finishMove(e.first, e.second, moved); error != 0) {
          logPrint("\n! Can't move file (error=%d).", error);
          appExit(kExitMoveFailed);
        }
        if (moved) logPrint("\n  >> Moved to \"%s\".", e.second.c_str());
        touched.insert(platform::directoryPart(e.first));
        touched.insert(platform::directoryPart(e.second));
      } else if (e.kind == "message" && platform::isRegularFile(e.first)) {
        std::string path;
        if (!numberMessage(e.first, e.second, path)) {
          logPrint("\n! File \"%s\" create error", e.first.c_str());
          appExit(kExitCreateFailed);
        }
        logPrint("\n< Send message \"%s\".", path.c_str());
        touched.insert(e.second);
      }
    }
    syncDirectories(touched);
    platform::deleteFile(app.journalPath);
  }
  for (const std::string& directory : writtenDirectories()) platform::removeDeadTemporaries(directory);
  return replaced;
}

}  // namespace korva
