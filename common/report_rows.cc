#include "common/report_rows.h"

#include "common/text.h"

namespace report_rows {

std::string resultRow(const std::string& name, size_t longestName, unsigned total, unsigned counted) {
  double share = counted == 0 ? 0.0 : total * 100.0 / counted;
  return text::format("%-*s%4u  (%4.1f%%)", int(longestName) + 1, name.c_str(), total, share);
}

std::string totalRow(size_t longestName, unsigned counted) {
  return text::format("%*s%5u", int(longestName), "Total:", counted);
}

std::string passwordsHeading(const std::string& name, size_t longestName, unsigned total, size_t records) {
  double share = total * 100.0 / double(records);
  return text::format(" > %-*s Passwords: %u (%.1f%%)", int(longestName) + 1, name.c_str(), total, share);
}

}  // namespace report_rows
