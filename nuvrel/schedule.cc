#include "nuvrel/schedule.h"

#include <cstdio>

#include "common/config_values.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"

namespace nuvrel {

namespace {

using config::configError;

constexpr std::time_t kHour = 3600;
constexpr std::time_t kAlwaysDelay = 9 * kSecondsPerDay;  // %Always opens nine days after BeginDate
constexpr int kDefaultTestDays = 92;

bool inDaylightSaving(std::time_t t) { return platform::localTime(t).tm_isdst > 0; }

// 01:00 local of the date n days after the date of `t`.  Where the clock jumps forward at 01:00,
// that day's 01:00 is the moment of the jump.
std::time_t postingDayAfter(std::time_t t, int n) {
  std::tm date = platform::localTime(t);
  // A day of the month past its end is carried into the following months by the conversion.
  return platform::localSeconds(date.tm_year + 1900, date.tm_mon + 1, date.tm_mday + n, 1, 0, 0);
}

std::string_view withoutTrailingBlanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The decimal number at the start of `s` as atoi reads it: no digits give 0.
long leadingNumber(std::string_view s) {
  size_t pos = 0;
  long value = 0;
  return text::scanLong(s, pos, value) ? value : 0;
}

// The stage digit right after "%Stage" (six characters) at the start of `macro`.
int stageDigit(std::string_view macro) {
  constexpr size_t kDigitAt = 6;
  if (macro.size() <= kDigitAt || macro[kDigitAt] < '0' || macro[kDigitAt] > '9') {
    configError("Invalid \"%%Stage\" macro.");
  }
  return macro[kDigitAt] - '0';
}

bool isStageMacro(std::string_view s) { return text::startsWithIgnoringAsciiCase(s, "%Stage"); }

// The end of a range from the text after its "-": the last second of a stage, or the day after a
// date, so that a range includes its last day.
std::time_t rangeEnd(std::string_view after) {
  after = text::skipBlanks(after);
  if (isStageMacro(after)) return schedule.stageEnd[stageDigit(after)];
  return addDays(config::parseDateValue(after), 1);
}

void printTestLine(std::time_t postingDay, std::string_view path) {
  std::tm day = platform::localTime(postingDay);
  std::string file(path);
  if (schedule.currentStage == kNoStage) {
    logging::printOut("%2d %s [%s] \"%s\"\n", day.tm_mday, text::monthAbbreviation(day.tm_mon), settings.subj.c_str(),
                      file.c_str());
  } else {
    logging::printOut("%2d %s:%2d[%s] \"%s\"\n", day.tm_mday, text::monthAbbreviation(day.tm_mon),
                      schedule.currentStage, settings.subj.c_str(), file.c_str());
  }
}

// The period test: d whole days into the window, k = d + period - offset must be a multiple of the
// period.  A period of 0 (no Period line yet) counts as 1, every day, rather than dividing by zero.
bool dueByPeriod(std::time_t postingDay) {
  long long period = schedule.period == 0 ? 1 : schedule.period;
  long long d = (postingDay - schedule.windowBegin) / kSecondsPerDay;
  long long k = d + period - schedule.offset;
  if (k % period == 0) return true;
  return schedule.star && postingDay < addDays(schedule.windowBegin, 1);
}

}  // namespace

std::time_t addDays(std::time_t t, int n) {
  std::time_t result = t + std::time_t(n) * kSecondsPerDay;
  bool before = inDaylightSaving(t), after = inDaylightSaving(result);
  if (!before && after) result -= kHour;
  if (before && !after) result += kHour;
  return result;
}

std::time_t postingDayOf(std::time_t now) { return postingDayAfter(now, 0); }

void applyBeginDate(std::string_view value) { schedule.beginDate = config::parseDateValue(value); }

void applyDaysStage(std::string_view key, std::string_view value) {
  constexpr size_t kDigitAt = 9;  // after "DaysStage"
  if (key.size() != kDigitAt + 1 || key[kDigitAt] < '0' || key[kDigitAt] > '9') configError("Invalid keyword.");
  schedule.stageDays[key[kDigitAt] - '0'] = uint16_t(leadingNumber(value));
  rebuildStageTable(app.postingDay);
}

void rebuildStageTable(std::time_t postingDay) {
  schedule.currentStage = kNoStage;
  std::time_t c = schedule.beginDate;
  for (int n = 0; n < kStageCount; ++n) {
    if (schedule.stageDays[n] == 0) {
      schedule.stageBegin[n] = schedule.stageEnd[n] = 0;
      continue;
    }
    std::time_t next = addDays(c, schedule.stageDays[n]);
    if (c <= postingDay && next > postingDay && schedule.currentStage == kNoStage) schedule.currentStage = n;
    schedule.stageBegin[n] = c;
    schedule.stageEnd[n] = next - 1;
    c = next;
  }
  schedule.allStagesEnd = c;
}

Window parseDatesValue(std::string_view value) {
  std::string_view v = withoutTrailingBlanks(value);
  Window w;
  if (text::equalIgnoringAsciiCase(v, "%Always")) {
    w.begin = schedule.beginDate + kAlwaysDelay;
    w.end = schedule.allStagesEnd;
  } else if (text::equalIgnoringAsciiCase(v, "%Never")) {
    w.begin = 0;
    w.end = 1;
  } else if (isStageMacro(v)) {
    int stage = stageDigit(v);
    w.begin = schedule.stageBegin[stage];
    std::string_view rest = text::skipBlanks(v.substr(7));
    if (!rest.empty() && rest[0] == '-') {
      w.end = rangeEnd(rest.substr(1));
    } else {
      w.end = addDays(w.begin, schedule.stageDays[stage]);
    }
  } else if (!v.empty() && v[0] == '%') {
    configError("Unknown macro in \"Dates\" value.");
  } else {
    w.begin = config::parseDateValue(v);
    size_t dash = v.find('-');
    if (dash != std::string_view::npos) {
      w.end = rangeEnd(v.substr(dash + 1));
    } else {
      w.end = addDays(w.begin, 1);
      w.singleDay = true;
    }
  }
  if (w.end <= w.begin && w.begin > 0) configError("Invalid \"Dates\" value (BeginDate > EndDate).");
  return w;
}

void applyDates(std::string_view value) {
  Window w = parseDatesValue(value);
  schedule.windowBegin = w.begin;
  schedule.windowEnd = w.end;
  if (w.singleDay) schedule.period = 1;
}

void applyPeriod(std::string_view value) {
  schedule.period = uint16_t(leadingNumber(value));
  schedule.offset = 0;
  schedule.star = false;
  size_t comma = value.find(',');
  if (comma == std::string_view::npos) return;
  schedule.offset = uint16_t(leadingNumber(value.substr(comma + 1)));
  schedule.star = comma + 2 <= value.size() && value.find('*', comma + 2) != std::string_view::npos;
}

bool decidePosting(std::time_t postingDay, bool inNamedSection, std::string_view path) {
  // The first pass of a Test run reads the settings for day 0, which is no day at all: nothing
  // posts then, not even in a section named on the command line.
  if (postingDay == 0) return false;
  if (!inNamedSection) {
    if (postingDay < schedule.windowBegin || postingDay >= schedule.windowEnd) return false;
    if (!dueByPeriod(postingDay)) return false;
  }
  if (!app.testMode) return true;
  printTestLine(postingDay, path);
  return app.textMode && app.headerFlag;
}

bool blockedAsPostedToday(bool inForcedSection) {
  if (!settings.oncePostPerDay || !schedule.postedToday) return false;
  if (app.forceAll || inForcedSection || app.textMode) return false;
  if (!schedule.alreadyPostedLogged) {
    logging::logPrint("\n  Message(s) already posted today.");
    schedule.alreadyPostedLogged = true;
  }
  return true;
}

bool stampDatedToday(std::string_view stampPath, std::time_t postingDay) {
  std::time_t written = 0;
  if (!platform::fileModificationTime(stampPath, written)) return false;
  std::tm stamp = platform::localTime(written), day = platform::localTime(postingDay);
  return stamp.tm_mday == day.tm_mday && stamp.tm_mon == day.tm_mon && stamp.tm_year == day.tm_year;
}

TestSpan testSpan(std::time_t today, const char* dayCount, const char* datesOption) {
  std::time_t start = today;
  if (schedule.beginDate != 0) start = today < schedule.beginDate ? schedule.beginDate : addDays(today, 2);
  if (datesOption != nullptr) {
    config::source.lineCounter = 0;  // its errors name no configuration line
    start = parseDatesValue(datesOption).begin;
  }
  int days = dayCount != nullptr ? int(leadingNumber(dayCount)) : kDefaultTestDays;
  // From two days before the start through the day after the last.  Every simulated day is the
  // posting day a Post run on that date would use (01:00 local), so that the whole-day count into
  // the window, taken from 00:00, comes out the same on both sides of a daylight-saving change.
  TestSpan span;
  span.first = postingDayAfter(start, -2);
  span.stop = postingDayAfter(start, days + 1);
  return span;
}

std::vector<std::time_t> simulatedDays(const TestSpan& span) {
  std::vector<std::time_t> days;
  // Each day from the date of the one before, never by adding seconds: 01:00 of a date after a
  // daylight-saving change is not 01:00 of the date before it plus 24 hours.
  for (std::time_t day = span.first; day <= span.stop; day = postingDayAfter(day, 1)) days.push_back(day);
  return days;
}

}  // namespace nuvrel
