#include "services/html/url_resolve.h"

#include "base/ascii.h"

namespace webletter::html {
namespace {

// A reference split as RFC 3986 (appendix B) does; a missing part is nullopt.
struct UrlParts {
  std::optional<std::string_view> scheme;
  std::optional<std::string_view> authority;
  std::string_view path;
  std::optional<std::string_view> query;
  std::optional<std::string_view> fragment;
};

std::size_t SchemeLength(std::string_view text) {
  if (text.empty() || !IsAsciiLetter(text[0])) return 0;
  const std::size_t end =
      text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.");
  return end != std::string_view::npos && text[end] == ':' ? end : 0;
}

UrlParts Split(std::string_view text) {
  UrlParts parts;
  if (const std::size_t length = SchemeLength(text); length > 0) {
    parts.scheme = text.substr(0, length);
    text.remove_prefix(length + 1);
  }
  if (const std::size_t hash = text.find('#'); hash != std::string_view::npos) {
    parts.fragment = text.substr(hash + 1);
    text = text.substr(0, hash);
  }
  if (const std::size_t mark = text.find('?'); mark != std::string_view::npos) {
    parts.query = text.substr(mark + 1);
    text = text.substr(0, mark);
  }
  if (text.starts_with("//")) {
    const std::size_t slash = text.find('/', 2);
    parts.authority = text.substr(2, slash == std::string_view::npos ? slash : slash - 2);
    text = slash == std::string_view::npos ? std::string_view() : text.substr(slash);
  }
  parts.path = text;
  return parts;
}

// RFC 3986, 5.2.4.
std::string RemoveDotSegments(std::string_view input) {
  std::string output;
  while (!input.empty()) {
    if (input.starts_with("../") || input.starts_with("./")) {
      input.remove_prefix(input.find('/') + 1);
    } else if (input.starts_with("/./") || input == "/.") {
      input = input.size() == 2 ? "/" : input.substr(2);
    } else if (input.starts_with("/../") || input == "/..") {
      input = input.size() == 3 ? "/" : input.substr(3);
      const std::size_t last = output.rfind('/');
      output.erase(last == std::string::npos ? 0 : last);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      const std::size_t next = input.find('/', 1);
      output += input.substr(0, next);
      input = next == std::string_view::npos ? std::string_view() : input.substr(next);
    }
  }
  return output;
}

// RFC 3986, 5.2.3.
std::string Merge(const UrlParts& base, std::string_view path) {
  std::string merged;
  if (base.authority && base.path.empty()) {
    merged = "/";
  } else if (const std::size_t slash = base.path.rfind('/'); slash != std::string_view::npos) {
    merged = base.path.substr(0, slash + 1);
  }
  merged += path;
  return merged;
}

// The browser's clean-up: no blanks or controls around, no tab or line break inside, and "\"
// as "/" before the query (for the web's schemes, which every base address here has).
std::string CleanReference(std::string_view reference) {
  const auto is_edge = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!reference.empty() && is_edge(reference.front())) reference.remove_prefix(1);
  while (!reference.empty() && is_edge(reference.back())) reference.remove_suffix(1);
  std::string clean;
  clean.reserve(reference.size());
  bool in_path = true;
  for (char c : reference) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (c == '?' || c == '#') in_path = false;
    clean += c == '\\' && in_path ? '/' : c;
  }
  return clean;
}

std::string PercentEncodeUnsafe(std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f || c == '"' || c == '<' || c == '>' || c == '`') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

// RFC 3986, 5.3.
std::string Compose(std::string_view scheme, std::optional<std::string_view> authority,
                    std::string_view path, std::optional<std::string_view> query,
                    std::optional<std::string_view> fragment) {
  std::string url(scheme);
  url += ':';
  if (authority) (url += "//") += *authority;
  url += path;
  if (query) (url += '?') += *query;
  if (fragment) (url += '#') += *fragment;
  return url;
}

}  // namespace

bool HasScheme(std::string_view text) { return SchemeLength(text) > 0; }

bool IsBaseAddress(std::string_view base) {
  const std::size_t length = SchemeLength(base);
  return length > 0 && base.substr(length).starts_with("://");
}

std::optional<std::string> ResolveReference(std::string_view base, std::string_view reference) {
  const std::string clean = CleanReference(reference);
  if (clean.empty() || clean[0] == '#' || HasScheme(clean)) return std::nullopt;
  const UrlParts b = Split(base);
  const UrlParts r = Split(clean);
  const std::string_view scheme = b.scheme.value_or("");
  if (r.authority) {
    return PercentEncodeUnsafe(
        Compose(scheme, r.authority, RemoveDotSegments(r.path), r.query, r.fragment));
  }
  if (r.path.empty()) {
    return PercentEncodeUnsafe(
        Compose(scheme, b.authority, b.path, r.query ? r.query : b.query, r.fragment));
  }
  const std::string path =
      RemoveDotSegments(r.path.starts_with('/') ? std::string(r.path) : Merge(b, r.path));
  return PercentEncodeUnsafe(Compose(scheme, b.authority, path, r.query, r.fragment));
}

std::optional<std::string> LinkTarget(std::string_view base, std::string_view reference) {
  const std::string clean = CleanReference(reference);
  if (clean.empty() || clean[0] == '#' || StartsWithIgnoringAsciiCase(clean, "javascript:")) {
    return std::nullopt;
  }
  if (HasScheme(clean) || !IsBaseAddress(base)) return PercentEncodeUnsafe(clean);
  return ResolveReference(base, clean);
}

std::string BaseAddress(std::string_view final_url, std::optional<std::string_view> base_href) {
  if (!base_href) return std::string(final_url);
  std::string base = ResolveReference(final_url, *base_href).value_or(CleanReference(*base_href));
  const bool usable = IsBaseAddress(base) && !StartsWithIgnoringAsciiCase(base, "javascript:") &&
                      !StartsWithIgnoringAsciiCase(base, "data:");
  return usable ? base : std::string(final_url);
}

}  // namespace webletter::html
