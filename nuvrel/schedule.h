// The posting schedule: the stage table, the posting window (Dates), the period, the once-a-day
// rule with its stamp file, and the span of days the Test command replays.
#ifndef NUVREL_SCHEDULE_H_
#define NUVREL_SCHEDULE_H_

#include <ctime>
#include <string_view>
#include <vector>

#include "nuvrel/app.h"

namespace nuvrel {

// t moved by n whole days so that the local clock time stays the same across daylight saving.
std::time_t addDays(std::time_t t, int n);

// 01:00:00 local time of the date of `now`: the posting day of a Post run.
std::time_t postingDayOf(std::time_t now);

// Configuration keys of the schedule; bad values end the run as configuration errors.
void applyBeginDate(std::string_view value);
// `key` is the whole key ("DaysStage3"); anything but one digit after "DaysStage" is refused.
void applyDaysStage(std::string_view key, std::string_view value);
void applyDates(std::string_view value);
void applyPeriod(std::string_view value);

// Rebuilds the stage begins and ends from BeginDate and the stage lengths, and finds the stage
// that holds the posting day.
void rebuildStageTable(std::time_t postingDay);

struct Window {
  std::time_t begin = 0;
  std::time_t end = 0;
  bool singleDay = false;  // one date without a "-": that day alone posts
};
// A Dates value: a date, a date range, %Always, %Never or %Stage macros.
Window parseDatesValue(std::string_view value);

// Whether the File line `path` posts on `postingDay`.  A line of a section named on the command
// line posts whatever the window and period say.  In test mode the decision is printed and only
// text mode with a header carries it out.
bool decidePosting(std::time_t postingDay, bool inNamedSection, std::string_view path);

// The once-a-day rule: true when a due template must not be expanded, because this day's
// messages were already posted.  Logs that once per run.
bool blockedAsPostedToday(bool inForcedSection);

// True when the stamp file exists and was last written on the posting day's date.
bool stampDatedToday(std::string_view stampPath, std::time_t postingDay);

// The span of days a Test run replays: from `first` while not later than `stop`.
struct TestSpan {
  std::time_t first = 0;
  std::time_t stop = 0;
};
// `dayCount` is the count given with the command (nullptr: none); `datesOption` the /dates: value.
TestSpan testSpan(std::time_t today, const char* dayCount, const char* datesOption);

// The simulated days of the span, one per date: each is the posting day a Post run on its date
// would use (01:00 local), taken from the calendar rather than by adding to the day before.
std::vector<std::time_t> simulatedDays(const TestSpan& span);

}  // namespace nuvrel

#endif  // NUVREL_SCHEDULE_H_
