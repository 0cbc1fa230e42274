#include "services/mail/ehlo_name.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "base/ascii.h"
#include "base/posix_file.h"

namespace webletter {
namespace {

bool IsNameCharacter(char c) { return IsAsciiLetterOrDigit(c) || c == '-' || c == '.'; }

// A name of letters, digits and "-" in two or more labels.
bool IsQualified(std::string_view name) {
  return name.find('.') != std::string_view::npos && !name.starts_with('.') &&
         !name.ends_with('.') && name.find("..") == std::string_view::npos &&
         std::all_of(name.begin(), name.end(), IsNameCharacter);
}

// This machine's host name; empty when it has none.
std::string HostName() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
}

// The resolver's canonical name of `host`; empty when it has none.
std::string CanonicalName(const std::string& host) {
  addrinfo hints{};
  hints.ai_flags = AI_CANONNAME;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return {};
  std::string name = found->ai_canonname != nullptr ? found->ai_canonname : "";
  ::freeaddrinfo(found);
  return name;
}

// "[127.0.0.1]" for an IPv4 address, "[IPv6:::1]" for an IPv6 one.
std::string AddressLiteral(std::string_view address) {
  if (address.empty()) return "[127.0.0.1]";
  if (address.find(':') != std::string_view::npos) return "[IPv6:" + std::string(address) + "]";
  return "[" + std::string(address) + "]";
}

}  // namespace

// A datagram socket "connected" to the server learns the route without sending anything.
std::string LocalAddressTowards(const SmtpEndpoint& endpoint) {
  std::string host = endpoint.host;
  if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(endpoint.port);
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return {};
  std::string address;
  const UniqueFd socket(::socket(found->ai_family, found->ai_socktype, found->ai_protocol));
  const int fd = socket.get();
  sockaddr_storage local{};
  socklen_t length = sizeof(local);
  std::array<char, INET6_ADDRSTRLEN> text{};
  if (fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    const void* bytes =
        local.ss_family == AF_INET6
            ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr)
            : &reinterpret_cast<sockaddr_in*>(&local)->sin_addr;
    if (::inet_ntop(local.ss_family, bytes, text.data(), text.size()) != nullptr) {
      address = text.data();
    }
  }
  ::freeaddrinfo(found);
  return address;
}

std::string ChooseEhloName(const EhloSources& sources) {
  if (IsQualified(sources.host_name)) return sources.host_name;
  if (sources.canonical_name) {
    if (std::string canonical = sources.canonical_name(); IsQualified(canonical)) return canonical;
  }
  if (IsQualified(sources.sender_domain)) return sources.sender_domain;
  return AddressLiteral(sources.local_address ? sources.local_address() : "");
}

std::string EhloNameTowards(const SmtpEndpoint& endpoint, std::string_view sender_domain) {
  return ChooseEhloName({.host_name = HostName(),
                         .canonical_name = [] { return CanonicalName(HostName()); },
                         .sender_domain = std::string(sender_domain),
                         .local_address = [&] { return LocalAddressTowards(endpoint); }});
}

}  // namespace webletter
