// The poster's templates: a template file expanded into the current output, with the figures of
// the vote manager's files, the stage dates and the lists of candidates, votes and passwords.
#ifndef NUVREL_TEMPLATES_H_
#define NUVREL_TEMPLATES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace nuvrel {

// The 32-bit little-endian value of a macro's four characters, each masked with 0x5F, so that a
// code written in any case is the same macro.
constexpr uint32_t macroCode(const char* four) {
  uint32_t code = 0;
  for (int i = 3; i >= 0; --i) code = code << 8 | (uint8_t(four[i]) & 0x5Fu);
  return code;
}

// Expands the whole template into the output; a template that cannot be opened, or a line that
// would grow past the line buffer, ends the run.
void expandPostTemplate(const std::string& path);

// One template being expanded.
struct TemplatePass {
  std::string path;
  int lineNumber = 0;
  unsigned lineSum = 0;  // of the numbers the line's number macros produced so far
  int listStatus = 0;    // the status CAND lists; set by CAS, the electable candidates until then
};

// Expands the macros of one template line in place.  Lines of list macros go straight to the
// output; the line comes back empty when it is dropped.
void expandPostLine(std::string& line, TemplatePass& pass);

}  // namespace nuvrel

#endif  // NUVREL_TEMPLATES_H_
