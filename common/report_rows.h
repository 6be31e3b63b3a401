// The rows of the general results and the password list, as the vote manager's reports and the
// poster's list macros both print them.  Rows come without line breaks: each program places its
// own.  `longestName` is the tally's longest electable name; the names' column is one wider.
#ifndef COMMON_REPORT_ROWS_H_
#define COMMON_REPORT_ROWS_H_

#include <cstddef>
#include <string>

namespace report_rows {

// A candidate's votes and their share of the counted votes ("0.0" when none was counted).
std::string resultRow(const std::string& name, size_t longestName, unsigned total, unsigned counted);

// "Total:" under the names, then the counted votes.
std::string totalRow(size_t longestName, unsigned counted);

// " > " and a candidate's passwords count, with its share of all vote records (at least one).
std::string passwordsHeading(const std::string& name, size_t longestName, unsigned total, size_t records);

}  // namespace report_rows

#endif  // COMMON_REPORT_ROWS_H_
