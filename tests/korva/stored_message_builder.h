// Builds stored messages (FTS-0001 *.MSG) byte for byte for tests: the 190-byte header from its
// texts and numbers, then the kludge and text lines, each ended by a carriage return.
#ifndef TESTS_KORVA_STORED_MESSAGE_BUILDER_H_
#define TESTS_KORVA_STORED_MESSAGE_BUILDER_H_

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "korva/message_format.h"

namespace testmsg {

struct StoredMessage {
  // Header texts; one that fills its field completely is stored without a zero byte.
  std::string from = "Ivan Petrov", to = "Korva", subject = "Elections 2005";
  std::string date = "05 Apr 05  10:20:30";
  uint16_t origNet = 5020, origNode = 1, destNet = 5020, destNode = 50;
  uint16_t attribute = 0x0001;  // private
  std::vector<std::string> lines;
  bool zeroTerminated = false;  // a zero byte after the last line

  StoredMessage& kludge(const std::string& k) {
    lines.push_back("\x01" + k);
    return *this;
  }
  StoredMessage& line(const std::string& l) {
    lines.push_back(l);
    return *this;
  }

  std::string header() const {
    using namespace msg_header;
    std::string h(kSize, '\0');
    auto text = [&h](size_t offset, size_t size, const std::string& s) {
      size_t n = s.size() < size ? s.size() : size;
      h.replace(offset, n, s, 0, n);
    };
    text(kFromName, kFromNameSize, from);
    text(kToName, kToNameSize, to);
    text(kSubject, kSubjectSize, subject);
    text(kDateTime, kDateTimeSize, date);
    auto word = [&h](size_t offset, uint16_t v) { byte_order::put16(reinterpret_cast<uint8_t*>(&h[offset]), v); };
    word(kOrigNet, origNet);
    word(kOrigNode, origNode);
    word(kDestNet, destNet);
    word(kDestNode, destNode);
    word(kAttribute, attribute);
    return h;
  }

  std::string body() const {
    std::string b;
    for (const std::string& l : lines) b += l + "\r";
    if (zeroTerminated) b += '\0';
    return b;
  }

  std::string bytes() const { return header() + body(); }

  void writeTo(const std::string& path) const {
    std::string b = bytes();
    std::ofstream(path, std::ios::binary).write(b.data(), std::streamsize(b.size()));
  }
};

}  // namespace testmsg

#endif  // TESTS_KORVA_STORED_MESSAGE_BUILDER_H_
