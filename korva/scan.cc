#include "korva/scan.h"

#include "common/platform.h"

namespace korva {

uint16_t messageNumber(std::string_view fileName) {
  uint16_t number = 0;
  for (char c : fileName) {
    if (c < '0' || c > '9') break;
    number = uint16_t(number * 10 + (c - '0'));
  }
  return number;
}

uint32_t nextMessageNumber(std::string_view directory) {
  uint32_t highest = 0;
  for (const std::string& name : platform::listFiles(directory, "*.msg")) {
    uint16_t number = messageNumber(name);
    if (number > highest) highest = number;
  }
  return highest + 1;
}

}  // namespace korva
