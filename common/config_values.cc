#include "common/config_values.h"

#include <cstdarg>

#include "common/log.h"
#include "common/platform.h"
#include "common/text.h"

namespace config {

ConfigSource source;

namespace {

std::string_view cutAtBlank(std::string_view value) { return value.substr(0, value.find(' ')); }

}  // namespace

LineKind readConfigLine(std::FILE* f, std::string& key, std::string& value, SectionLines sections) {
  std::string line;
  while (platform::readTextLine(f, line, kLineCapacity)) {
    ++source.lineCounter;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    text::tabsToBlanks(line);
    std::string_view rest = text::skipBlanks(line);
    if (rest.empty() || rest[0] == ';') continue;
    if (sections == SectionLines::kHeaders && rest[0] == '[') {
      rest.remove_prefix(1);
      key.assign(rest.substr(0, std::min<size_t>(rest.find(']'), 80)));
      value.clear();
      return LineKind::kSection;
    }
    size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) continue;  // a key without a value has no effect
    key.assign(rest.substr(0, blank));
    value.assign(text::skipBlanks(rest.substr(blank + 1)));
    return LineKind::kSetting;
  }
  return LineKind::kEnd;
}

void configError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = text::vformat(format, args);
  va_end(args);
  if (source.errorHeader != nullptr) {
    source.errorHeader(source, message);
  } else {
    logging::printOut("\nError in configuration file \"%s\", line %d:\n --- ", source.path.c_str(), source.lineCounter);
    // An officer who reads the log must see why the run stopped.
    logging::logToFileOnly("\n! Error in configuration file \"%s\", line %d: %s", source.path.c_str(),
                           source.lineCounter, message.c_str());
  }
  logging::printOut("%s", message.c_str());
  logging::appExit(kExitBadValue);
}

std::string parseStringValue(std::string_view value, size_t maxLength) {
  std::string v(value);
  text::fixCyrillicEn(v);
  size_t close = v.size() > 1 && v[0] == '"' ? v.find('"', 1) : std::string::npos;
  if (close == std::string::npos) configError("Bad string value.");
  std::string result = v.substr(1, close - 1);
  if (result.size() > maxLength) {
    configError("String \"%s\" lenght (%d) > %d symbols.", result.c_str(), int(result.size()), int(maxLength));
  }
  return result;
}

std::string parseFileValue(std::string_view value, bool mustExist, size_t maxLength) {
  std::string name(cutAtBlank(value));
  if (mustExist && !platform::isRegularFile(name)) configError("file \"%s\" not exist.", name.c_str());
  if (name.size() > maxLength) configError("Filename lenght > %d symbols.", int(maxLength));
  return name;
}

std::string directoryStoredForm(std::string_view value) {
  std::string dir(cutAtBlank(value));
  if (dir.empty() || !platform::isSeparator(dir.back())) {
    bool unixStyle = dir.find('/') != std::string::npos && dir.find('\\') == std::string::npos;
    dir += unixStyle ? '/' : '\\';
  }
  for (char& c : dir) c = text::foldAscii(c);
  return dir;
}

std::string parseDirectoryValue(std::string_view value, bool createIfMissing, size_t maxLength) {
  std::string stored = directoryStoredForm(value);
  if (stored.size() > maxLength) configError("Directory name lenght > %d symbols.", int(maxLength));
  // The stored form without its separator names the directory, except for the root itself.  An
  // empty value names nothing: it must not become the root directory.
  std::string bare = stored.size() > 1 ? stored.substr(0, stored.size() - 1) : stored;
  if (cutAtBlank(value).empty()) bare.clear();
  if (!bare.empty() && platform::isDirectory(bare)) return stored;
  if (!createIfMissing) configError("Directory \"%s\" not exist.", stored.c_str());
  logging::logPrint("\n- Directory \"%s\" not found, create it.", bare.c_str());
  // The new directory gets the letter case the configuration wrote.
  // A run started at the same moment may have created it meanwhile: that is no error.
  if (!platform::makeDirectory(cutAtBlank(value)) && !platform::isDirectory(bare)) {
    configError("Can't create directory \"%s\".", bare.c_str());
  }
  return stored;
}

bool parseBoolValue(std::string_view value) {
  std::string_view word = cutAtBlank(value);
  if (text::equalIgnoringAsciiCase(word, "Yes")) return true;
  if (text::equalIgnoringAsciiCase(word, "No")) return false;
  logging::printOut("\nFile \"%s\": Bad bool value in line %d.", source.path.c_str(), source.lineCounter);
  logging::logToFileOnly("\n! File \"%s\": Bad bool value in line %d.", source.path.c_str(), source.lineCounter);
  logging::appExit(kExitBadValue);
}

void parseAddressValue(FtnAddress& address, std::string_view value) {
  scanFtnAddress(value, address);
  if (address.zone == 0 || address.net == 0) configError("Bad FTN address.");
}

std::time_t parseDateValue(std::string_view value) {
  long parts[3] = {0, 0, 0};
  size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && (pos >= value.size() || value[pos++] != '.')) break;
    if (!text::scanLong(value, pos, parts[i])) break;
  }
  long day = int(parts[0]), month = int(parts[1]), year = int(parts[2]);
  if (year < 100) year += 2000;
  if (day < 1 || day > 31 || month < 1 || month > 12 || year <= 1980 || year > 3000) {
    configError("Bad date value.");
  }
  std::tm tm{};
  tm.tm_mday = int(day);
  tm.tm_mon = int(month - 1);
  tm.tm_year = int(year - 1900);
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

void requireParameter(bool present, const char* keyName) {
  if (present) return;
  logging::logPrint("\n! File \"%s\": %s parameter not defind.", source.path.c_str(), keyName);
  logging::appExit(kExitIncomplete);
}

}  // namespace config
