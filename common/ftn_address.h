// FTN addresses: zone, net, node, point, each a signed 16-bit number.
#ifndef COMMON_FTN_ADDRESS_H_
#define COMMON_FTN_ADDRESS_H_

#include <cstdint>
#include <string>
#include <string_view>

struct FtnAddress {
  int16_t zone = 0, net = 0, node = 0, point = 0;
};

// The same address: all four parts equal.
bool sameAddress(const FtnAddress& a, const FtnAddress& b);
// The same node: zone, net and node equal (the point may differ).
bool sameNode(const FtnAddress& a, const FtnAddress& b);
// Orders by zone, net, node, point, each compared as an unsigned 16-bit number.
int compareAddresses(const FtnAddress& a, const FtnAddress& b);

// Reads "%hd:%hd/%hd.%hd" in the manner of formatted input: blanks may precede each number,
// reading stops at the first field that does not match, and fields not read keep their previous
// contents.  Returns the number of fields read; `consumed` (when given) receives the length read.
int scanFtnAddress(std::string_view text, FtnAddress& address, size_t* consumed = nullptr);

// "%hd:%hd/%hd" for a node, "%hd:%hd/%hd.%hd" for a point.
std::string formatAddress(const FtnAddress& a);
// Always with the point: "%hd:%hd/%hd.%hd".
std::string formatAddress4d(const FtnAddress& a);
// Never with the point: "%hd:%hd/%hd", the node a point belongs to.
std::string formatAddress3d(const FtnAddress& a);

// Reads a decimal number as "%hd" does: leading blanks, an optional sign, then digits; the value
// wraps to 16 bits as the C library's conversion does.  False when no digit follows.
bool scanShort(std::string_view text, size_t& pos, int16_t& value);

#endif  // COMMON_FTN_ADDRESS_H_
