// Reads back the packets the poster writes, field by field with the poster's own layout
// constants, so that the tests see what a tosser would see.
#ifndef TESTS_NUVREL_PACKET_READER_H_
#define TESTS_NUVREL_PACKET_READER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "nuvrel/packet_format.h"

namespace packet_reader {

inline uint16_t get16(const std::string& bytes, size_t at) {
  return uint16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8);
}

struct PackedMessage {
  uint16_t type = 0, origNode = 0, destNode = 0, origNet = 0, destNet = 0, attribute = 0, cost = 0;
  std::string dateTime, to, from, subject, text;
};

struct Packet {
  std::string header;
  std::vector<PackedMessage> messages;
  bool wellEnded = false;  // two zero bytes after the last message, nothing after them
};

inline std::string zeroTerminated(const std::string& bytes, size_t& at) {
  size_t end = bytes.find('\0', at);
  if (end == std::string::npos) end = bytes.size();
  std::string s = bytes.substr(at, end - at);
  at = end + 1;
  return s;
}

inline Packet readPacket(const std::string& bytes) {
  namespace pm = nuvrel::packed_message;
  Packet packet;
  packet.header = bytes.substr(0, nuvrel::pkt_header::kSize);
  size_t at = nuvrel::pkt_header::kSize;
  while (at + 2 <= bytes.size() && get16(bytes, at) == 2) {
    PackedMessage m;
    m.type = get16(bytes, at + pm::kType);
    m.origNode = get16(bytes, at + pm::kOrigNode);
    m.destNode = get16(bytes, at + pm::kDestNode);
    m.origNet = get16(bytes, at + pm::kOrigNet);
    m.destNet = get16(bytes, at + pm::kDestNet);
    m.attribute = get16(bytes, at + pm::kAttribute);
    m.cost = get16(bytes, at + pm::kCost);
    at += pm::kFixedSize;
    m.dateTime = bytes.substr(at, pm::kDateTimeSize);
    at += pm::kDateTimeSize;
    m.to = zeroTerminated(bytes, at);
    m.from = zeroTerminated(bytes, at);
    m.subject = zeroTerminated(bytes, at);
    m.text = zeroTerminated(bytes, at);
    packet.messages.push_back(m);
  }
  packet.wellEnded = at + 2 == bytes.size() && bytes[at] == 0 && bytes[at + 1] == 0;
  return packet;
}

}  // namespace packet_reader

#endif  // TESTS_NUVREL_PACKET_READER_H_
