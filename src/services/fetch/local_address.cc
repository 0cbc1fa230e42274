#include "services/fetch/local_address.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>

namespace webletter {
namespace {

// Whether the first `bits` bits of `bytes` are those of `prefix`.
bool InPrefix(const std::uint8_t* bytes, std::initializer_list<std::uint8_t> prefix,
              unsigned bits) {
  for (const std::uint8_t byte : prefix) {
    const unsigned take = bits < 8 ? bits : 8;
    const auto mask = static_cast<std::uint8_t>(0xFF00u >> take);
    if ((*bytes++ & mask) != (byte & mask)) return false;
    bits -= take;
  }
  return true;
}

bool IsLocalIpv4(const std::uint8_t* a) {
  return a[0] == 0 || a[0] == 10 || a[0] == 127 || InPrefix(a, {100, 64}, 10) ||
         InPrefix(a, {169, 254}, 16) || InPrefix(a, {172, 16}, 12) || InPrefix(a, {192, 168}, 16);
}

}  // namespace

bool IsLocalNetworkAddress(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    return IsLocalIpv4(reinterpret_cast<const std::uint8_t*>(&v4->sin_addr));
  }
  if (address->sa_family != AF_INET6) return false;
  const auto* a = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr.s6_addr;
  static constexpr std::array<std::uint8_t, 12> kMappedV4 = {0, 0, 0, 0, 0,    0,
                                                             0, 0, 0, 0, 0xFF, 0xFF};
  // ::ffff:0:0/96 and the NAT64 prefix 64:ff9b::/96 carry an IPv4 address.
  if (std::equal(kMappedV4.begin(), kMappedV4.end(), a) ||
      InPrefix(a, {0x00, 0x64, 0xFF, 0x9B, 0, 0, 0, 0, 0, 0, 0, 0}, 96)) {
    return IsLocalIpv4(a + 12);
  }
  static constexpr std::array<std::uint8_t, 15> kZeros{};
  const bool unspecified_or_loopback = std::equal(kZeros.begin(), kZeros.end(), a) && a[15] <= 1;
  return unspecified_or_loopback || InPrefix(a, {0xFE, 0x80}, 10) || InPrefix(a, {0xFC}, 7) ||
         InPrefix(a, {0xFE, 0xC0}, 10);
}

}  // namespace webletter
