#include "common/ftn_address.h"

#include <charconv>

#include "common/text.h"

namespace {

void toWords(const FtnAddress& a, uint16_t words[4]) {
  words[0] = uint16_t(a.zone);
  words[1] = uint16_t(a.net);
  words[2] = uint16_t(a.node);
  words[3] = uint16_t(a.point);
}

}  // namespace

bool sameAddress(const FtnAddress& a, const FtnAddress& b) { return compareAddresses(a, b) == 0; }

bool sameNode(const FtnAddress& a, const FtnAddress& b) {
  uint16_t x[4], y[4];
  toWords(a, x);
  toWords(b, y);
  return text::compareWords(x, y, 3) == 0;
}

int compareAddresses(const FtnAddress& a, const FtnAddress& b) {
  uint16_t x[4], y[4];
  toWords(a, x);
  toWords(b, y);
  return text::compareWords(x, y, 4);
}

bool scanShort(std::string_view text, size_t& pos, int16_t& value) {
  long v;
  if (!text::scanLong(text, pos, v)) return false;
  value = int16_t(uint16_t(static_cast<unsigned long>(v) & 0xFFFF));
  return true;
}

int scanFtnAddress(std::string_view text, FtnAddress& address, size_t* consumed) {
  int16_t* fields[4] = {&address.zone, &address.net, &address.node, &address.point};
  const char separators[3] = {':', '/', '.'};
  size_t pos = 0;
  int read = 0;
  for (int f = 0; f < 4; ++f) {
    if (f > 0) {
      if (pos >= text.size() || text[pos] != separators[f - 1]) break;
      ++pos;
    }
    size_t at = pos;
    if (!scanShort(text, at, *fields[f])) break;
    pos = at;
    ++read;
  }
  if (consumed) *consumed = pos;
  return read;
}

namespace {

// "%hd:%hd/%hd" and, with the point, ".%hd" after it; without a format pass, since the lists of
// the poster write one address a line for every vote.
std::string addressText(const FtnAddress& a, bool withPoint) {
  char buffer[4 * 7];
  char* end = buffer + sizeof buffer;
  char* p = std::to_chars(buffer, end, a.zone).ptr;
  *p++ = ':';
  p = std::to_chars(p, end, a.net).ptr;
  *p++ = '/';
  p = std::to_chars(p, end, a.node).ptr;
  if (withPoint) {
    *p++ = '.';
    p = std::to_chars(p, end, a.point).ptr;
  }
  return std::string(buffer, p);
}

}  // namespace

std::string formatAddress(const FtnAddress& a) { return addressText(a, a.point != 0); }

std::string formatAddress4d(const FtnAddress& a) { return addressText(a, true); }

std::string formatAddress3d(const FtnAddress& a) { return addressText(a, false); }
