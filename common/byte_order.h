// The 16- and 32-bit numbers of every file layout the programs share: stored messages, packets and
// the index file all keep them little-endian, whatever the byte order of the machine.
#ifndef COMMON_BYTE_ORDER_H_
#define COMMON_BYTE_ORDER_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace byte_order {

inline uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

inline uint32_t get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

inline void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The same into bytes being built as a string; the field at `at` must lie inside it.
inline void put16(std::string& bytes, size_t at, uint16_t v) { put16(reinterpret_cast<uint8_t*>(&bytes[at]), v); }
inline void put32(std::string& bytes, size_t at, uint32_t v) { put32(reinterpret_cast<uint8_t*>(&bytes[at]), v); }

}  // namespace byte_order

#endif  // COMMON_BYTE_ORDER_H_
