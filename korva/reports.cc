#include "korva/reports.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <numeric>
#include <vector>

#include "common/ftn_address.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/report_rows.h"
#include "common/text.h"
#include "korva/election_files.h"
#include "korva/settings.h"

namespace korva {

namespace {

constexpr size_t kHeaderWidth = 60;

int twoDigitYear(const std::tm& tm) { return tm.tm_year >= 100 ? tm.tm_year - 100 : tm.tm_year; }

std::string dayWithTwoDigitYear(std::time_t t) {
  std::tm tm = platform::localTime(t);
  return text::format("%2.2d %s %2.2d", tm.tm_mday, text::monthAbbreviation(tm.tm_mon), twoDigitYear(tm));
}

// A 60-column line with `start` at its beginning and `tail` from the given 0-based column on.
std::string headerLine(const std::string& start, size_t column, const std::string& tail) {
  std::string line(kHeaderWidth, ' ');
  line.replace(0, std::min(start.size(), kHeaderWidth), start.substr(0, kHeaderWidth));
  line.resize(column);
  return line + tail;
}

// Vote-table positions in report order.
std::vector<size_t> sortedVotes(const ReportOptions& options, bool byPassword) {
  std::vector<size_t> order(election.votes.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return compareVotes(election.votes[a], election.votes[b], options, byPassword) < 0;
  });
  return order;
}

}  // namespace

int compareVotes(const VoteRecord& a, const VoteRecord& b, const ReportOptions& options, bool byPassword) {
  if (byPassword) return text::compareIgnoringAsciiCase(a.password, b.password);
  if (options.sortOnNames) {
    int byName = text::compareIgnoringAsciiCase(a.name, b.name);
    if (byName != 0) return byName;
  }
  return options.sortOnAddresses ? compareAddresses(a.address, b.address) : 0;
}

void printReportHeader(const std::string& title) {
  if (election.votes.empty()) return;
  std::string period =
      "[" + dayWithTwoDigitYear(settings.periodStart) + " - " + dayWithTwoDigitYear(settings.periodEnd) + "]";
  logging::printOut("\n%s\n", headerLine(settings.voteId, 55, period).c_str());
  std::tm now = platform::localTime(std::time(nullptr));
  std::string stamp =
      text::format("%2.2d %s %2.2d  %2.2d:%2.2d:%2.2d", now.tm_mday, text::monthAbbreviation(now.tm_mon),
                   twoDigitYear(now), now.tm_hour, now.tm_min, now.tm_sec);
  logging::printOut("%s\n", headerLine(title, 57, stamp).c_str());
}

void reportResults(const ReportOptions& options) {
  if (election.votes.empty()) return;
  printReportHeader(options.validListMode ? "*General results (validlist check mode)*" : "*General results*");
  size_t longest = tallyVotes(options.sortOnVotes, options.sortOnNames);
  for (int i : election.electable) {
    std::string row = report_rows::resultRow(election.candidates[size_t(i)].name, longest, election.totals[size_t(i)],
                                             election.countedVotes);
    logging::printOut("\n%s", row.c_str());
  }
  logging::printOut("\n%s\n", report_rows::totalRow(longest, election.countedVotes).c_str());
}

void reportPasswords(const ReportOptions& options) {
  if (election.votes.empty()) return;
  printReportHeader("*Password list*");
  size_t longest = tallyVotes(options.sortOnVotes, options.sortOnNames);
  std::vector<size_t> order = sortedVotes(options, true);
  for (int i : election.electable) {
    std::string heading = report_rows::passwordsHeading(election.candidates[size_t(i)].name, longest,
                                                        election.totals[size_t(i)], election.votes.size());
    logging::printOut("\n%s\n", heading.c_str());
    for (size_t p : order) {
      if (election.votes[p].candidate == i + 1) logging::printOut("%s\n", election.votes[p].password.c_str());
    }
  }
}

void reportQuorum(const ReportOptions& options) {
  if (!election.votes.empty()) {
    printReportHeader("*Quorum list*");
    for (size_t p : sortedVotes(options, false)) {
      const VoteRecord& v = election.votes[p];
      // The line break counts in the address's 18 columns, as it always has.
      std::string address = "\n" + formatAddress(v.address);
      logging::printOut(" %-18s %s", address.c_str(), v.name.c_str());
    }
  }
  logging::printOut("\n");
}

}  // namespace korva
