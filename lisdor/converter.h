// Conversion of a GoldEd userlist (name first, address last) into the valid addresses list
// (address first, padded to 21 columns, then the name).
#ifndef LISDOR_CONVERTER_H_
#define LISDOR_CONVERTER_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/ftn_address.h"

namespace lisdor {

constexpr size_t kMaxLineLength = 255;
constexpr size_t kAddressColumnWidth = 21;

struct UserRecord {
  FtnAddress address;
  std::string name;
};

enum class SourceForm { kUserlist, kList };

// The list form starts its first line with an address (digits ":" digits "/"...).
SourceForm detectSourceForm(std::string_view firstLine);

// Parse one line (without its line end) of either form; false when the line lacks the blank its
// form needs.
bool parseUserlistLine(std::string_view line, UserRecord& record);
bool parseListLine(std::string_view line, UserRecord& record);

// Reads every entry of an open source; the form is told by its first line.  False at a line that
// is too long to be an entry or that its form cannot parse: such a source is not converted.
bool readUserLines(std::FILE* in, std::vector<UserRecord>& users);

// Applies the asked-for sorts in the fixed order address, first name, last name.
struct SortOptions {
  bool byAddress = false, byFirstName = false, byLastName = false;
};
std::vector<uint32_t> sortedOrder(const std::vector<UserRecord>& users, const SortOptions& sorts);

// One line of the valid addresses list, ending in "\n".
std::string formatListLine(const UserRecord& record);

}  // namespace lisdor

#endif  // LISDOR_CONVERTER_H_
