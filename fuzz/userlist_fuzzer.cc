// A userlist edited by hand, in either of the converter's source forms: every line parsed as the
// converter parses it, the entries sorted and written as valid-list lines.
#include <cstdint>
#include <string>
#include <vector>

#include "common/platform.h"
#include "fuzz/fuzz_support.h"
#include "lisdor/converter.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lisdor;
  if (size == 0) return 0;
  SortOptions sorts{(data[0] & 1) != 0, (data[0] & 2) != 0, (data[0] & 4) != 0};
  fuzz::writeFile("users.lst", std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  std::FILE* in = platform::openFile("users.lst", "rb");
  std::vector<UserRecord> users;
  readUserLines(in, users);
  std::fclose(in);
  std::string out;
  for (uint32_t i : sortedOrder(users, sorts)) out += formatListLine(users.at(i));
  // What the converter writes must read back as the same entries.
  size_t start = 0;
  for (uint32_t i : sortedOrder(users, sorts)) {
    size_t end = out.find('\n', start);
    UserRecord back;
    std::string_view written(out.data() + start, end - start);
    // A name that starts with a blank or a control character loses it: the list form skips them.
    if (!users[i].name.empty() && uint8_t(users[i].name.front()) > ' ') {
      if (!parseListLine(written, back) || back.name != users[i].name) __builtin_trap();
    }
    start = end + 1;
  }
  return 0;
}
