// The template syntax both programs share: "%XXXX" macros spliced into the line in place, and
// "%%" for a literal percent sign.  Which codes exist and what they expand to is each program's own.
#ifndef COMMON_TEMPLATE_SCAN_H_
#define COMMON_TEMPLATE_SCAN_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace template_scan {

// A line grows in place while it is expanded and must stay below this size (terminator included).
constexpr size_t kLineBufferSize = 32766;
// Template lines are read with half of that, so that expansion has room to grow them.
constexpr size_t kTemplateLineCapacity = kLineBufferSize / 2;  // 16382 characters and the terminator
constexpr size_t kMacroLength = 5;                             // the percent sign and four characters

// A macro's four characters as one little-endian 32-bit value, each byte masked with 0x5F, so that
// lower-, upper- and mixed-case spellings are the same macro.
constexpr uint32_t macroCode(std::string_view four) {
  uint32_t code = 0;
  for (size_t i = 0; i < 4 && i < four.size(); ++i) code |= uint32_t(uint8_t(four[i]) & 0x5F) << (8 * i);
  return code;
}

// What one macro stands for.
struct MacroExpansion {
  std::string text;                // spliced in; scanning goes on after it, so it is never rescanned
  size_t replaced = kMacroLength;  // template characters it takes the place of, from the percent sign
  bool dropLine = false;           // the whole line gives no output (the macro wrote a list itself)
};

// Called for each macro with its code, the line as it stands and the percent sign's position.
using MacroHandler = std::function<MacroExpansion(uint32_t code, const std::string& line, size_t percent)>;

enum class LineResult { kReady, kDropped, kOverflow };

// Expands the macros of one template line in place.  A percent sign with fewer than four characters
// after it before the line's end (its final LF aside) is left as it stands.  kOverflow: an expansion
// would make the line reach kLineBufferSize; the line is then left as far as it got.
LineResult expandMacros(std::string& line, const MacroHandler& expand);

// Replaces `replaced` characters at `pos` by `text`; false (and the line unchanged) when the line
// would grow to kLineBufferSize or more.
bool splice(std::string& line, size_t pos, size_t replaced, std::string_view text);

}  // namespace template_scan

#endif  // COMMON_TEMPLATE_SCAN_H_
