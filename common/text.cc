#include "common/text.h"

#include <climits>
#include <cstdarg>
#include <cstdio>

namespace text {

int compareWords(const uint16_t* a, const uint16_t* b, int16_t n) {
  for (int i = 0; i < n; ++i) {
    if (a[i] != b[i]) return int(a[i]) - int(b[i]);
  }
  return 0;
}

std::string& upcaseCp866(std::string& s) {
  for (char& ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 160 && c <= 175)) {
      c = static_cast<unsigned char>(c - 32);
    } else if (c >= 224 && c <= 239) {
      c = static_cast<unsigned char>(c - 80);
    } else if (c == 241) {
      c = 240;
    }
    ch = static_cast<char>(c);
  }
  return s;
}

std::string& fixCyrillicEn(std::string& s) {
  for (char& c : s) {
    if (static_cast<unsigned char>(c) == 0x8D) c = 'H';
  }
  return s;
}

std::string& normalizeName(std::string& s) {
  if (!s.empty() && s[0] == '<') return s;  // an e-mail address in angle brackets
  size_t bang = s.find('!');
  size_t quote = s.rfind('>', bang == std::string::npos ? std::string::npos : bang);
  if (quote != std::string::npos && (bang == std::string::npos || quote < bang)) s.erase(0, quote + 1);
  size_t comma = s.find(',');
  if (comma != std::string::npos) s.resize(comma);
  std::erase_if(s, [](char c) { return c == ' ' || c == '.' || c == '_' || c == ';' || c == ':'; });
  return s;
}

std::string nameKey(std::string_view name, size_t maxLength) {
  std::string key = cut(name, maxLength);
  return normalizeName(key);
}

std::string cut(std::string_view s, size_t maxLength) { return std::string(s.substr(0, maxLength)); }

std::string_view skipBlanks(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] >= 1 && s[i] <= 32) ++i;
  return s.substr(i);
}

std::string& tabsToBlanks(std::string& s) {
  for (char& c : s) {
    if (c == '\t') c = ' ';
  }
  return s;
}

std::string withinLine(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\r' || c == '\n' || c == '\0' || c == '\x01') c = ' ';
  }
  return out;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && startsWithIgnoringAsciiCase(a, b);
}

bool startsWithIgnoringAsciiCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (foldAscii(s[i]) != foldAscii(prefix[i])) return false;
  }
  return true;
}

int compareIgnoringAsciiCase(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int x = static_cast<unsigned char>(foldAscii(a[i])), y = static_cast<unsigned char>(foldAscii(b[i]));
    if (x != y) return x - y;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool scanLong(std::string_view s, size_t& pos, long& value) {
  size_t i = pos;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
  long v = 0;
  bool overflow = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    int digit = s[i] - '0';
    if (v > (LONG_MAX - digit) / 10)
      overflow = true;
    else
      v = v * 10 + digit;
  }
  value = overflow ? (negative ? LONG_MIN : LONG_MAX) : (negative ? -v : v);
  pos = i;
  return true;
}

std::string vformat(const char* fmt, va_list args) {
  // Most texts are short: one pass into a small buffer, a second only for a longer text.
  char small[256];
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(small, sizeof small, fmt, args);
  std::string out;
  if (n > 0 && size_t(n) < sizeof small) {
    out.assign(small, size_t(n));
  } else if (n > 0) {
    out.assign(size_t(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, fmt, again);
  }
  va_end(again);
  return out;
}

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = vformat(fmt, args);
  va_end(args);
  return out;
}

const char* monthAbbreviation(int month) {
  static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return month >= 0 && month < 12 ? kMonths[month] : "???";
}

std::string fidoDateTime(const std::tm& t) {
  return format("%2.2d %s %2.2d  %2.2d:%2.2d:%2.2d", t.tm_mday, monthAbbreviation(t.tm_mon), t.tm_year % 100, t.tm_hour,
                t.tm_min, t.tm_sec);
}

}  // namespace text
