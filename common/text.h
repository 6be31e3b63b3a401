// Text helpers that give the whole system one notion of equal names.  All texts are 8-bit CP866.
#ifndef COMMON_TEXT_H_
#define COMMON_TEXT_H_

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace text {

// Compares the first n words pairwise as unsigned numbers: first minus second at the first
// difference, 0 when all are equal or n <= 0.  FTN addresses compare over 4 words (same address)
// or 3 words (same node).
int compareWords(const uint16_t* a, const uint16_t* b, int16_t n);

// Upper-cases the Latin and Cyrillic letters of CP866 in place.
std::string& upcaseCp866(std::string& s);

// Replaces every CP866 capital En (0x8D) by the Latin "H": both are typed for the same letter.
std::string& fixCyrillicEn(std::string& s);

// Reduces a person's or candidate's name to its comparison key, in place.
std::string& normalizeName(std::string& s);

// The comparison key of the first `maxLength` characters of a name: each caller compares as many
// characters as the field it matches against holds.
std::string nameKey(std::string_view name, size_t maxLength);

// The first `maxLength` characters of the text, all of it when shorter: a field's stored length.
std::string cut(std::string_view s, size_t maxLength);

// The text from its first character above 32 (blanks, tabs and control characters skipped).
std::string_view skipBlanks(std::string_view s);

std::string& tabsToBlanks(std::string& s);

// The text with every CR, LF, zero byte and kludge mark (0x01) made a blank: text that came from
// outside, put into a message, then stays within its line and can never start a kludge line.
std::string withinLine(std::string_view s);

// ASCII-only case folding, the one the option scanner, the keys and the names share.
inline char foldAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
bool equalIgnoringAsciiCase(std::string_view a, std::string_view b);
// True when `s` begins with `prefix`, ignoring ASCII case.
bool startsWithIgnoringAsciiCase(std::string_view s, std::string_view prefix);
// Three-way comparison of unsigned bytes after ASCII folding.
int compareIgnoringAsciiCase(std::string_view a, std::string_view b);

// Reads a decimal number as strtol does from `pos`: leading white space, an optional sign, digits
// (saturating at the range of long).  False, and `pos` unchanged, when no digit follows.
bool scanLong(std::string_view s, size_t& pos, long& value);

// "Jan" to "Dec" for the months 0 to 11 of std::tm; "???" for any other number.
const char* monthAbbreviation(int month);

// "%2.2d %s %2.2d  %2.2d:%2.2d:%2.2d": the 19-character date field of stored and packed messages.
std::string fidoDateTime(const std::tm& t);

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vformat(const char* fmt, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace text

#endif  // COMMON_TEXT_H_
