#include "lisdor/converter.h"

#include <algorithm>

#include "common/platform.h"
#include "common/text.h"

namespace lisdor {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimTrailingBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

size_t skipDigits(std::string_view s, size_t i) {
  while (i < s.size() && isDigit(s[i])) ++i;
  return i;
}

// "Last, First" is written back as "First Last": the comma and the one blank after it go.
std::string reorderCommaName(std::string_view name) {
  size_t comma = name.rfind(',');
  if (comma == std::string_view::npos) return std::string(name);
  std::string_view first = name.substr(comma + 1);
  if (!first.empty() && isBlank(first.front())) first.remove_prefix(1);
  return std::string(first) + " " + std::string(name.substr(0, comma));
}

// The name's last word followed directly by the words before it.
std::string lastNameKey(const std::string& name) {
  size_t blank = name.rfind(' ');
  if (blank == std::string::npos) return name;
  return name.substr(blank + 1) + name.substr(0, blank);
}

}  // namespace

SourceForm detectSourceForm(std::string_view line) {
  size_t i = skipDigits(line, 0);
  if (i == 0 || i >= line.size() || line[i] != ':') return SourceForm::kUserlist;
  size_t j = skipDigits(line, i + 1);
  if (j == i + 1 || j >= line.size() || line[j] != '/') return SourceForm::kUserlist;
  return SourceForm::kList;
}

bool parseUserlistLine(std::string_view line, UserRecord& record) {
  // Blanks after the address would otherwise be taken for the blank before it.
  line = trimTrailingBlanks(line);
  size_t blank = line.find_last_of(" \t");
  if (blank == std::string_view::npos) return false;
  scanFtnAddress(line.substr(blank + 1), record.address);
  record.name = reorderCommaName(trimTrailingBlanks(line.substr(0, blank)));
  return true;
}

bool parseListLine(std::string_view line, UserRecord& record) {
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return false;
  scanFtnAddress(line, record.address);
  record.name = std::string(text::skipBlanks(line.substr(blank + 1)));
  return true;
}

std::vector<uint32_t> sortedOrder(const std::vector<UserRecord>& users, const SortOptions& sorts) {
  std::vector<uint32_t> order(users.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  if (sorts.byAddress) {
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return compareAddresses(users[a].address, users[b].address) < 0; });
  }
  if (sorts.byFirstName) {
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      return text::compareIgnoringAsciiCase(users[a].name, users[b].name) < 0;
    });
  }
  if (sorts.byLastName) {
    std::vector<std::string> keys;
    keys.reserve(users.size());
    for (const UserRecord& user : users) keys.push_back(lastNameKey(user.name));
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return text::compareIgnoringAsciiCase(keys[a], keys[b]) < 0; });
  }
  return order;
}

std::string formatListLine(const UserRecord& record) {
  std::string line = formatAddress(record.address) + " ";
  if (line.size() < kAddressColumnWidth) line.resize(kAddressColumnWidth, ' ');
  return line + record.name + "\n";
}

bool readUserLines(std::FILE* in, std::vector<UserRecord>& users) {
  SourceForm form = SourceForm::kUserlist;
  std::string line;
  while (platform::readTextLine(in, line, kMaxLineLength + 2)) {
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
    } else if (line.size() > kMaxLineLength) {
      return false;  // a line too long to be an entry: refuse it rather than split it
    }
    if (users.empty()) form = detectSourceForm(line);
    UserRecord& user = users.emplace_back();
    if (!(form == SourceForm::kList ? parseListLine(line, user) : parseUserlistLine(line, user))) return false;
  }
  return true;
}

}  // namespace lisdor
