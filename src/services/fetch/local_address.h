// Which network addresses are this computer's or a local network's: what a redirect from a
// public address must never lead to.
#ifndef WEBLETTER_SERVICES_FETCH_LOCAL_ADDRESS_H_
#define WEBLETTER_SERVICES_FETCH_LOCAL_ADDRESS_H_

struct sockaddr;

namespace webletter {

// Whether `address` (IPv4 or IPv6) is this computer or a local network: loopback, private,
// shared (100.64/10), link-local, unique-local or unspecified, IPv4 inside IPv6 included.
// Any other family is not local.
bool IsLocalNetworkAddress(const sockaddr* address);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_FETCH_LOCAL_ADDRESS_H_
