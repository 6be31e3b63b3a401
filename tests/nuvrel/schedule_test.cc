#include "nuvrel/schedule.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/config_values.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"
#include "nuvrel/app.h"
#include "nuvrel/config.h"
#include "tests/common/test_support.h"
#include "tests/nuvrel/poster_state.h"

namespace {

using nuvrel::addDays;
using nuvrel::app;
using nuvrel::schedule;
using nuvrel::settings;
using testsupport::readFile;
using testsupport::ScratchDir;

std::time_t local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return platform::localSeconds(year, month, day, hour, minute, second);
}

// "D.M.YYYY HH:MM:SS" of a time value in local time.
std::string show(std::time_t t) {
  std::tm tm = platform::localTime(t);
  return std::to_string(tm.tm_mday) + "." + std::to_string(tm.tm_mon + 1) + "." + std::to_string(tm.tm_year + 1900) +
         text::format(" %02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

// Runs a step that must end the program with code 3 and returns what it printed.
std::string failure(const std::function<void()>& step) {
  ScratchDir dir;
  EXPECT_EXIT_STDOUT(step(), 3, dir / "stdout");
  return readFile(dir / "stdout");
}

class Schedule : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::resetPosterState();
    config::source = config::ConfigSource{"korva.cfp", 0, nuvrel::writeConfigErrorHeader};
  }
  // BeginDate 1.3.2005 with stages of 3, 0, 5 and 30 days: stage 0 is 1-3 March, stage 2 is 4-8
  // March, stage 3 is 9 March to 7 April, across the change to summer time on 27 March.
  void stages() {
    nuvrel::applyBeginDate("1.3.2005");
    nuvrel::applyDaysStage("DaysStage0", "3");
    nuvrel::applyDaysStage("DaysStage1", "0");
    nuvrel::applyDaysStage("DaysStage2", "5");
    nuvrel::applyDaysStage("daysstage3", "30");
  }
  // The days, counted from `first`, on which a File line posts over `count` simulated days, taken
  // as a Test run takes them.
  std::vector<int> postingDays(std::time_t first, int count, bool inNamedSection = false) {
    std::tm date = platform::localTime(first);
    std::time_t last = local(date.tm_year + 1900, date.tm_mon + 1, date.tm_mday + count - 1, 1);
    std::vector<std::time_t> simulated = nuvrel::simulatedDays({first, last});
    EXPECT_EQ(simulated.size(), size_t(count));
    std::vector<int> days;
    for (size_t i = 0; i < simulated.size(); ++i) {
      if (nuvrel::decidePosting(simulated[i], inNamedSection, "x.tpl")) days.push_back(int(i));
    }
    return days;
  }
};

TEST_F(Schedule, AddDaysKeepsTheClockTimeAcrossDaylightSaving) {
  struct Case {
    const char* zone;
    int year, month, day, hour, second;
    int days;
    const char* expected;
  } cases[] = {
      {"Europe/Berlin", 2005, 3, 27, 0, 0, 1, "28.3.2005 00:00:00"},  // 23 hours later
      {"Europe/Berlin", 2005, 3, 26, 1, 0, 1, "27.3.2005 01:00:00"},
      {"Europe/Berlin", 2005, 3, 20, 0, 0, 10, "30.3.2005 00:00:00"},
      {"Europe/Berlin", 2005, 10, 30, 1, 0, 1, "31.10.2005 01:00:00"},  // 25 hours later
      {"Europe/Berlin", 2005, 11, 2, 0, 0, -7, "26.10.2005 00:00:00"},
      {"Europe/Berlin", 2005, 3, 28, 0, 1, -2, "26.3.2005 00:00:01"},
      {"Europe/Berlin", 2005, 1, 1, 0, 0, 365, "1.1.2006 00:00:00"},
      {"Europe/Moscow", 2005, 3, 26, 1, 0, 2, "28.3.2005 01:00:00"},
      {"Europe/Moscow", 2005, 10, 29, 0, 0, 3, "1.11.2005 00:00:00"},
      {"UTC", 2005, 3, 26, 1, 0, 2, "28.3.2005 01:00:00"},
  };
  for (const Case& c : cases) {
    testsupport::setTimeZone(c.zone);
    SCOPED_TRACE(std::string(c.zone) + " " + c.expected);
    EXPECT_EQ(show(addDays(local(c.year, c.month, c.day, c.hour, 0, c.second), c.days)), c.expected);
  }
  testsupport::setTimeZone("Europe/Berlin");
  EXPECT_EQ(addDays(local(2005, 3, 27), 1) - local(2005, 3, 27), 23 * 3600);
  EXPECT_EQ(addDays(local(2005, 10, 30, 1), 1) - local(2005, 10, 30, 1), 25 * 3600);
}

TEST_F(Schedule, PostingDayIsOneOClockOfTheDate) {
  for (std::time_t now : {local(2005, 3, 27, 0, 30), local(2005, 3, 27, 23, 59, 59), local(2005, 10, 30, 2, 30)}) {
    std::tm day = platform::localTime(now);
    EXPECT_EQ(show(nuvrel::postingDayOf(now)),
              std::to_string(day.tm_mday) + "." + std::to_string(day.tm_mon + 1) + ".2005 01:00:00");
  }
}

TEST_F(Schedule, StageTableSkipsEmptyStagesAndFindsTheCurrentOne) {
  app.postingDay = local(2005, 3, 5, 1);
  stages();
  EXPECT_EQ(show(schedule.stageBegin[0]), "1.3.2005 00:00:00");
  EXPECT_EQ(show(schedule.stageEnd[0]), "3.3.2005 23:59:59");
  EXPECT_EQ(schedule.stageBegin[1], 0);
  EXPECT_EQ(schedule.stageEnd[1], 0);
  EXPECT_EQ(show(schedule.stageBegin[2]), "4.3.2005 00:00:00");
  EXPECT_EQ(show(schedule.stageEnd[2]), "8.3.2005 23:59:59");
  EXPECT_EQ(show(schedule.stageBegin[3]), "9.3.2005 00:00:00");
  EXPECT_EQ(show(schedule.stageEnd[3]), "7.4.2005 23:59:59");  // across the change to summer time
  EXPECT_EQ(show(schedule.allStagesEnd), "8.4.2005 00:00:00");
  EXPECT_EQ(schedule.currentStage, 2);
  nuvrel::rebuildStageTable(local(2005, 4, 8, 1));
  EXPECT_EQ(schedule.currentStage, nuvrel::kNoStage);
  nuvrel::rebuildStageTable(local(2005, 4, 7, 1));
  EXPECT_EQ(schedule.currentStage, 3);
}

TEST_F(Schedule, DatesValues) {
  stages();
  struct Case {
    const char* value;
    const char* begin;
    const char* end;
    bool singleDay;
  } cases[] = {
      {"5.3.2005", "5.3.2005 00:00:00", "6.3.2005 00:00:00", true},
      {"5.3.05", "5.3.2005 00:00:00", "6.3.2005 00:00:00", true},
      {"26.3.2005-27.3.2005", "26.3.2005 00:00:00", "28.3.2005 00:00:00", false},
      {"2.3.2005 -  %stage2", "2.3.2005 00:00:00", "8.3.2005 23:59:59", false},
      {"%Stage2", "4.3.2005 00:00:00", "9.3.2005 00:00:00", false},
      {"%STAGE0 - %Stage3", "1.3.2005 00:00:00", "7.4.2005 23:59:59", false},
      {"%Stage2-20.3.2005", "4.3.2005 00:00:00", "21.3.2005 00:00:00", false},
      {"%Always  ", "10.3.2005 00:00:00", "8.4.2005 00:00:00", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    nuvrel::Window w = nuvrel::parseDatesValue(c.value);
    EXPECT_EQ(show(w.begin), c.begin);
    EXPECT_EQ(show(w.end), c.end);
    EXPECT_EQ(w.singleDay, c.singleDay);
  }
  nuvrel::Window never = nuvrel::parseDatesValue("%never");
  EXPECT_EQ(never.begin, 0);
  EXPECT_EQ(never.end, 1);
  nuvrel::Window emptyStage = nuvrel::parseDatesValue("%Stage1");  // a stage of 0 days never posts
  EXPECT_EQ(emptyStage.begin, 0);
  EXPECT_EQ(emptyStage.end, 0);
}

TEST_F(Schedule, BadValuesAreConfigurationErrors) {
  stages();
  struct Case {
    std::function<void()> step;
    const char* message;
  } cases[] = {
      {[] { nuvrel::parseDatesValue("%StageX"); }, "Invalid \"%Stage\" macro."},
      {[] { nuvrel::parseDatesValue("%Stage"); }, "Invalid \"%Stage\" macro."},
      {[] { nuvrel::parseDatesValue("1.3.2005-%Stage"); }, "Invalid \"%Stage\" macro."},
      {[] { nuvrel::parseDatesValue("%Today"); }, "Unknown macro in \"Dates\" value."},
      {[] { nuvrel::parseDatesValue("5.3.2005-1.3.2005"); }, "Invalid \"Dates\" value (BeginDate > EndDate)."},
      {[] { nuvrel::parseDatesValue("%Stage3-%Stage0"); }, "Invalid \"Dates\" value (BeginDate > EndDate)."},
      {[] { nuvrel::parseDatesValue("%Stage2-%Stage1"); }, "Invalid \"Dates\" value (BeginDate > EndDate)."},
      {[] { nuvrel::parseDatesValue("1.13.2005"); }, "Bad date value."},
      {[] { nuvrel::parseDatesValue("1.3.2005-32.3.2005"); }, "Bad date value."},
      {[] { nuvrel::applyBeginDate("1.3.1980"); }, "Bad date value."},
      {[] { nuvrel::applyDaysStage("DaysStage12", "5"); }, "Invalid keyword."},
      {[] { nuvrel::applyDaysStage("DaysStage", "5"); }, "Invalid keyword."},
      {[] { nuvrel::applyDaysStage("DaysStageX", "5"); }, "Invalid keyword."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(failure(c.step), std::string(c.message) + "\n");
  }
}

TEST_F(Schedule, PeriodValues) {
  struct Case {
    const char* value;
    uint16_t period, offset;
    bool star;
  } cases[] = {
      {"7", 7, 0, false},     {"7,3", 7, 3, false}, {"7,3*", 7, 3, true},
      {"7, 3 *", 7, 3, true}, {"7*", 7, 0, false},  // a star needs the comma and an offset before it
      {"7,*", 7, 0, false},   {"x", 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    schedule.star = !c.star;
    schedule.offset = 99;
    nuvrel::applyPeriod(c.value);
    EXPECT_EQ(schedule.period, c.period);
    EXPECT_EQ(schedule.offset, c.offset);
    EXPECT_EQ(schedule.star, c.star);
  }
}

TEST_F(Schedule, WindowAndPeriodOverSimulatedDays) {
  // The window 20-27 March 2005 holds the change to summer time; each pass posts for 01:00 local.
  const std::time_t first = local(2005, 3, 18, 1);  // two days before the window
  struct Case {
    const char* dates;
    const char* period;
    std::vector<int> days;
  } cases[] = {
      {"20.3.2005-27.3.2005", "1", {2, 3, 4, 5, 6, 7, 8, 9}},
      {"20.3.2005-27.3.2005", "7", {2, 9}},
      {"20.3.2005-3.4.2005", "7,3", {5, 12}},
      {"20.3.2005-3.4.2005", "7,3*", {2, 5, 12}},
      {"20.3.2005-3.4.2005", "2,1", {3, 5, 7, 9, 11, 13, 15}},
      {"20.3.2005-27.3.2005", "0", {2, 3, 4, 5, 6, 7, 8, 9}},  // no period: every day, no division by 0
      {"%Never", "1", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.dates) + " / " + c.period);
    nuvrel::applyPeriod(c.period);
    nuvrel::applyDates(c.dates);
    EXPECT_EQ(postingDays(first, 20), c.days);
  }
  // A single date posts on that day alone, whatever the period was before.
  nuvrel::applyPeriod("7,5");
  nuvrel::applyDates("27.3.2005");
  EXPECT_EQ(postingDays(first, 20), std::vector<int>{9});
  EXPECT_EQ(schedule.period, 1);
  // Every second day of 26-31 March across the change to summer time, also where the clock jumps
  // at 01:00, the hour of the posting day itself.
  struct Zone {
    const char* name;
    int year;
  } zones[] = {{"Europe/Berlin", 2005}, {"Europe/Moscow", 2005}, {"Europe/London", 2010}};
  for (const Zone& z : zones) {
    SCOPED_TRACE(z.name);
    testsupport::setTimeZone(z.name);
    nuvrel::applyPeriod("2");
    nuvrel::applyDates("26.3." + std::to_string(z.year) + "-31.3." + std::to_string(z.year));
    EXPECT_EQ(postingDays(local(z.year, 3, 24, 1), 9), (std::vector<int>{2, 4, 6}));  // 26, 28 and 30 March
  }
}

TEST_F(Schedule, StageWindowsCoverWholeStages) {
  stages();
  nuvrel::applyPeriod("1");
  const std::time_t first = local(2005, 3, 1, 1);
  nuvrel::applyDates("%Stage2");
  EXPECT_EQ(postingDays(first, 40), (std::vector<int>{3, 4, 5, 6, 7}));
  nuvrel::applyDates("%Stage0-%Stage2");
  EXPECT_EQ(postingDays(first, 40), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  nuvrel::applyDates("%Stage3");
  std::vector<int> stage3 = postingDays(first, 40);
  ASSERT_EQ(stage3.size(), 30u);
  EXPECT_EQ(stage3.front(), 8);
  EXPECT_EQ(stage3.back(), 37);  // 7 April, after the change to summer time
}

TEST_F(Schedule, NamedSectionPostsEveryDayButDayZero) {
  nuvrel::applyDates("%Never");
  EXPECT_EQ(postingDays(local(2005, 3, 1, 1), 3, true), (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(nuvrel::decidePosting(0, true, "x.tpl"));
  nuvrel::applyDates("1.1.1990-1.1.2100");
  EXPECT_FALSE(nuvrel::decidePosting(0, false, "x.tpl"));
}

TEST_F(Schedule, TestModePrintsTheDecisionAndCarriesItOutOnlyInTextModeWithHeader) {
  stages();
  nuvrel::applyDates("1.3.2005-31.3.2005");
  nuvrel::applyPeriod("1");
  settings.subj = "Results";
  app.testMode = true;
  struct Case {
    std::time_t day;
    bool textMode, headerFlag;
    const char* printed;
    bool carriedOut;
  } cases[] = {
      {local(2005, 3, 5, 1), false, false, " 5 Mar: 2[Results] \"a\\b.tpl\"\n", false},
      {local(2005, 3, 5, 1), true, false, " 5 Mar: 2[Results] \"a\\b.tpl\"\n", false},
      {local(2005, 3, 5, 1), true, true, " 5 Mar: 2[Results] \"a\\b.tpl\"\n", true},
      {local(2005, 3, 10, 1), false, false, "10 Mar: 3[Results] \"a\\b.tpl\"\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printed);
    nuvrel::rebuildStageTable(c.day);
    app.textMode = c.textMode;
    app.headerFlag = c.headerFlag;
    testing::internal::CaptureStdout();
    bool carriedOut = nuvrel::decidePosting(c.day, false, "a\\b.tpl");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_EQ(carriedOut, c.carriedOut);
  }
  schedule.currentStage = nuvrel::kNoStage;
  testing::internal::CaptureStdout();
  nuvrel::decidePosting(local(2005, 3, 31, 1), false, "x.tpl");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "31 Mar [Results] \"x.tpl\"\n");
  testing::internal::CaptureStdout();
  nuvrel::decidePosting(local(2005, 4, 1, 1), false, "x.tpl");  // outside the window: nothing printed
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(Schedule, OncePerDayRule) {
  struct Case {
    bool once, postedToday, forceAll, inForced, textMode;
    bool blocked;
  } cases[] = {
      {true, true, false, false, false, true},   {false, true, false, false, false, false},
      {true, false, false, false, false, false}, {true, true, true, false, false, false},
      {true, true, false, true, false, false},   {true, true, false, false, true, false},
  };
  schedule.alreadyPostedLogged = true;  // quiet while the table runs
  for (const Case& c : cases) {
    settings.oncePostPerDay = c.once;
    schedule.postedToday = c.postedToday;
    app.forceAll = c.forceAll;
    app.textMode = c.textMode;
    EXPECT_EQ(nuvrel::blockedAsPostedToday(c.inForced), c.blocked);
  }
  // The notice is logged the first time only.
  schedule.alreadyPostedLogged = false;
  settings.oncePostPerDay = schedule.postedToday = true;
  app.forceAll = app.textMode = false;
  testing::internal::CaptureStdout();
  nuvrel::blockedAsPostedToday(false);
  nuvrel::blockedAsPostedToday(false);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("   Message(s) already posted today."), 9u) << out;
  EXPECT_EQ(out.size(), 9 + std::string("   Message(s) already posted today.").size()) << out;
}

TEST_F(Schedule, StampDate) {
  ScratchDir dir;
  std::string stamp = dir / "nuvstamp.bin";
  const std::time_t day = local(2005, 3, 27, 1);
  EXPECT_FALSE(nuvrel::stampDatedToday(stamp, day));
  testsupport::writeFile(stamp, "");
  struct Case {
    std::time_t written;
    bool today;
  } cases[] = {
      {local(2005, 3, 27, 0, 0, 0), true},     {local(2005, 3, 27, 23, 59, 59), true},
      {local(2005, 3, 26, 23, 59, 59), false}, {local(2005, 3, 28), false},
      {local(2004, 3, 27, 12), false},         {local(2005, 2, 27, 12), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(show(c.written));
    std::filesystem::last_write_time(
        stamp, std::filesystem::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(c.written)));
    EXPECT_EQ(nuvrel::stampDatedToday(stamp, day), c.today);
  }
}

TEST_F(Schedule, TestSpan) {
  const std::time_t today = local(2005, 3, 24, 1);
  nuvrel::TestSpan span = nuvrel::testSpan(today, nullptr, nullptr);  // no BeginDate: two days back
  EXPECT_EQ(show(span.first), "22.3.2005 01:00:00");
  EXPECT_EQ(show(span.stop), "25.6.2005 01:00:00");  // 92 days, and the day after
  span = nuvrel::testSpan(today, "5", nullptr);
  EXPECT_EQ(show(span.stop), "30.3.2005 01:00:00");
  nuvrel::applyBeginDate("1.4.2005");  // still ahead: two days before it
  span = nuvrel::testSpan(today, "3", nullptr);
  EXPECT_EQ(show(span.first), "30.3.2005 01:00:00");
  EXPECT_EQ(show(span.stop), "5.4.2005 01:00:00");
  nuvrel::applyBeginDate("1.3.2005");  // already past: from today
  span = nuvrel::testSpan(today, "1", nullptr);
  EXPECT_EQ(show(span.first), "24.3.2005 01:00:00");
  EXPECT_EQ(show(span.stop), "28.3.2005 01:00:00");
  config::source.lineCounter = 12;
  span = nuvrel::testSpan(today, "2", "26.3.2005-1.4.2005");  // the end date does not bound the run
  EXPECT_EQ(show(span.first), "24.3.2005 01:00:00");
  EXPECT_EQ(show(span.stop), "29.3.2005 01:00:00");
  EXPECT_EQ(config::source.lineCounter, 0);
  EXPECT_EQ(failure([today] { nuvrel::testSpan(today, nullptr, "5.3.2005-1.3.2005"); }),
            "Invalid \"Dates\" value (BeginDate > EndDate).\n");
}

TEST_F(Schedule, SimulatedDaysAreOneOClockOfTheirDates) {
  struct Case {
    const char* zone;
    int year, month, day;  // the first simulated day; four days from it
    std::vector<std::string> days;
  } cases[] = {
      {"Europe/Berlin",
       2005,
       3,
       26,
       {"26.3.2005 01:00:00", "27.3.2005 01:00:00", "28.3.2005 01:00:00", "29.3.2005 01:00:00"}},
      {"Europe/Berlin",
       2005,
       10,
       29,
       {"29.10.2005 01:00:00", "30.10.2005 01:00:00", "31.10.2005 01:00:00", "1.11.2005 01:00:00"}},
      {"Europe/Moscow",
       2005,
       3,
       26,
       {"26.3.2005 01:00:00", "27.3.2005 01:00:00", "28.3.2005 01:00:00", "29.3.2005 01:00:00"}},
      {"Europe/Moscow",
       2005,
       10,
       29,
       {"29.10.2005 01:00:00", "30.10.2005 01:00:00", "31.10.2005 01:00:00", "1.11.2005 01:00:00"}},
      // The clock jumps from 01:00 to 02:00 on the 28th: that day's posting day is the moment of the
      // jump, and the days after it are at 01:00 again.
      {"Europe/London",
       2010,
       3,
       27,
       {"27.3.2010 01:00:00", "28.3.2010 02:00:00", "29.3.2010 01:00:00", "30.3.2010 01:00:00"}},
      {"Europe/London",
       2010,
       10,
       30,
       {"30.10.2010 01:00:00", "31.10.2010 01:00:00", "1.11.2010 01:00:00", "2.11.2010 01:00:00"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + c.days[0]);
    testsupport::setTimeZone(c.zone);
    std::vector<std::string> shown;
    for (std::time_t day :
         nuvrel::simulatedDays({local(c.year, c.month, c.day, 1), local(c.year, c.month, c.day + 3, 1)})) {
      shown.push_back(show(day));
    }
    EXPECT_EQ(shown, c.days);
  }
}

}  // namespace
