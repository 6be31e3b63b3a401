#include "common/template_scan.h"

namespace template_scan {

bool splice(std::string& line, size_t pos, size_t replaced, std::string_view text) {
  if (text.size() > replaced && line.size() + (text.size() - replaced) >= kLineBufferSize) return false;
  line.replace(pos, replaced, text);
  return true;
}

LineResult expandMacros(std::string& line, const MacroHandler& expand) {
  size_t pos = 0;
  while ((pos = line.find('%', pos)) != std::string::npos) {
    if (pos + 1 < line.size() && line[pos + 1] == '%') {
      line.erase(pos + 1, 1);
      ++pos;
      continue;
    }
    size_t end = line.size() - (line.back() == '\n' ? 1 : 0);
    if (end - pos < kMacroLength) {
      ++pos;  // too short to be a macro: kept as written
      continue;
    }
    MacroExpansion expansion = expand(macroCode(std::string_view(line).substr(pos + 1, 4)), line, pos);
    if (expansion.dropLine) {
      line.clear();
      return LineResult::kDropped;
    }
    size_t replaced = expansion.replaced < line.size() - pos ? expansion.replaced : line.size() - pos;
    if (!splice(line, pos, replaced, expansion.text)) return LineResult::kOverflow;
    pos += expansion.text.size();
  }
  return LineResult::kReady;
}

}  // namespace template_scan
