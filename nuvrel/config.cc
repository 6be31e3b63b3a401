#include "nuvrel/config.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "common/config_values.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "nuvrel/app.h"
#include "nuvrel/exit_codes.h"
#include "nuvrel/readers.h"
#include "nuvrel/schedule.h"
#include "nuvrel/templates.h"

namespace nuvrel {

namespace {

using config::configError;

constexpr size_t kMaxDirectoryLength = 256;
constexpr size_t kMaxTemplatePathLength = 260;

struct AddressKey {
  const char* name;
  FtnAddress Settings::*field;
};
constexpr AddressKey kAddressKeys[] = {
    {"PktFromAddress", &Settings::pktFromAddress},
    {"PktToAddress", &Settings::pktToAddress},
    {"FromAddress", &Settings::fromAddress},
};

struct StringKey {
  const char* name;
  std::string Settings::*field;
  size_t maxLength;
};
constexpr StringKey kStringKeys[] = {
    {"PktPassword", &Settings::pktPassword, 10}, {"Area", &Settings::area, 80}, {"Origin", &Settings::origin, 80},
    {"Charset", &Settings::charset, 32},         {"Subj", &Settings::subj, 74}, {"From", &Settings::from, 38},
};

struct BoolKey {
  const char* name;
  bool Settings::*field;
};
constexpr BoolKey kBoolKeys[] = {
    {"OncePostPerDay", &Settings::oncePostPerDay},
    {"IncludeTearline", &Settings::includeTearline},
    {"ShortTearline", &Settings::shortTearline},
    {"UseMacro", &Settings::useMacro},
};

std::string_view cutAtBlank(std::string_view value) { return value.substr(0, value.find(' ')); }

// A whole address each time: a later line without a point means point 0, not the point of an
// earlier line.
FtnAddress parseWholeAddress(std::string_view value) {
  FtnAddress address;
  config::parseAddressValue(address, value);
  return address;
}

void applyMaxMsgSize(std::string_view value) {
  std::string number(cutAtBlank(value));
  size_t pos = 0;
  long size = 0;
  if (!text::scanLong(number, pos, size) || size < 1) {
    configError("Invalid MaxMsgSize value: \"%s\".", number.c_str());
  }
  settings.maxMsgSize = static_cast<unsigned long>(size);
}

void applyLog(std::string_view value) {
  if (app.testMode) return;
  std::string path = config::parseFileValue(value, false);
  if (!logging::logOpen(path)) configError("Can't open log file \"%s\".", path.c_str());
}

void applyCandidates(std::string_view value) {
  if (!app.firstPass) return;
  settings.candidatesPath = config::parseFileValue(value, false);
  loadPosterCandidates(settings.candidatesPath);
}

bool inSection(const std::string& named) {
  return !named.empty() && text::equalIgnoringAsciiCase(named, app.currentSection);
}

// A File line: a posting request for its template.
void handleFileLine(std::string_view value) {
  bool inForced = inSection(app.forcedSection);
  bool inSelected = inSection(app.selectedSection);
  if (inForced || inSelected) app.sectionFound = true;
  bool sectionNamed = !app.forcedSection.empty() || !app.selectedSection.empty();
  if (sectionNamed && !inForced && !inSelected) return;
  if (!decidePosting(app.postingDay, inForced || inSelected, cutAtBlank(value))) return;
  std::string path = config::parseFileValue(value, true, kMaxTemplatePathLength);
  app.somethingPosted = true;
  if (blockedAsPostedToday(inForced)) return;
  expandPostTemplate(path);
}

bool applyTableKey(std::string_view key, std::string_view value) {
  for (const AddressKey& k : kAddressKeys) {
    if (!text::equalIgnoringAsciiCase(key, k.name)) continue;
    settings.*k.field = parseWholeAddress(value);
    return true;
  }
  for (const StringKey& k : kStringKeys) {
    if (!text::equalIgnoringAsciiCase(key, k.name)) continue;
    settings.*k.field = config::parseStringValue(value, k.maxLength);
    return true;
  }
  for (const BoolKey& k : kBoolKeys) {
    if (!text::equalIgnoringAsciiCase(key, k.name)) continue;
    settings.*k.field = config::parseBoolValue(value);
    return true;
  }
  return false;
}

void applySetting(std::string_view key, std::string_view value) {
  auto is = [key](const char* name) { return text::equalIgnoringAsciiCase(key, name); };
  if (applyTableKey(key, value)) return;
  if (is("PktDir")) {
    settings.pktDir = config::parseDirectoryValue(value, true, kMaxDirectoryLength);
  } else if (is("MaxMsgSize")) {
    applyMaxMsgSize(value);
  } else if (is("Period")) {
    applyPeriod(value);
  } else if (is("Log")) {
    applyLog(value);
  } else if (is("Statistic")) {
    // accepted for the vote manager's sake and ignored
  } else if (is("Candidates")) {
    applyCandidates(value);
  } else if (is("BeginDate")) {
    applyBeginDate(value);
  } else if (text::startsWithIgnoringAsciiCase(key, "DaysStage")) {
    applyDaysStage(key, value);
  } else if (is("Dates")) {
    applyDates(value);
  } else if (is("File")) {
    handleFileLine(value);
  } else {
    configError("Unknown parameter \"%s\".", std::string(key).c_str());
  }
}

}  // namespace

void writeConfigErrorHeader(const config::ConfigSource& source, const std::string& /*message*/) {
  if (source.lineCounter == 0) return;
  logging::logPrint("\n! Error in configuration file \"%s\", line %d: \n --- ", source.path.c_str(),
                    source.lineCounter);
}

void runPostingPass(std::time_t postingDay) {
  app.postingDay = postingDay;
  app.currentSection.clear();
  schedule.currentStage = kNoStage;
  config::source.path = app.configPath;
  config::source.lineCounter = 0;
  std::FILE* f = platform::openFile(app.configPath, "rb");
  if (f == nullptr) {
    logging::printOut("\nConfiguration file \"%s\" not found.", app.configPath.c_str());
    logging::appExit(kExitConfigNotFound);
  }
  std::string key, value;
  for (;;) {
    config::LineKind kind = config::readConfigLine(f, key, value, config::SectionLines::kHeaders);
    if (kind == config::LineKind::kEnd) break;
    if (kind == config::LineKind::kSection) {
      app.currentSection = key;
    } else {
      applySetting(key, value);
    }
  }
  std::fclose(f);
  app.firstPass = false;
}

}  // namespace nuvrel
