#include "services/mail/netrc.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "base/ascii.h"
#include "base/posix_file.h"

namespace webletter {
namespace {

// A netrc file larger than this is not a list of logins.
constexpr std::size_t kMaxNetrcBytes = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Splits a netrc text into its tokens, comments and macro bodies left out.
class Tokens {
 public:
  explicit Tokens(std::string_view text) : text_(text) {}

  // The next token, or nullopt at the end of the text.
  std::optional<std::string> Next() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (IsBlank(c) || c == '\n') {
        ++pos_;
      } else if (c == '#') {
        SkipPast('\n');
      } else if (c == '"') {
        return Quoted();
      } else {
        return Plain();
      }
    }
    return std::nullopt;
  }

  // Skips a macro body: the lines up to the next empty line.
  void SkipMacro() {
    SkipPast('\n');
    while (pos_ < text_.size()) {
      const std::size_t end = text_.find('\n', pos_);
      const std::string_view line =
          text_.substr(pos_, end == std::string_view::npos ? std::string_view::npos : end - pos_);
      pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      if (std::all_of(line.begin(), line.end(), IsBlank)) return;
    }
  }

 private:
  void SkipPast(char c) {
    const std::size_t end = text_.find(c, pos_);
    pos_ = end == std::string_view::npos ? text_.size() : end + 1;
  }

  std::string Plain() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !IsBlank(text_[pos_]) && text_[pos_] != '\n') ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }

  std::string Quoted() {
    std::string token;
    ++pos_;
    while (pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != '\n') {
      char c = text_[pos_++];
      if (c == '\\' && pos_ < text_.size()) {
        c = text_[pos_++];
        if (c == 'n') c = '\n';
        if (c == 'r') c = '\r';
        if (c == 't') c = '\t';
      }
      token += c;
    }
    if (pos_ < text_.size() && text_[pos_] == '"') ++pos_;
    return token;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// One entry as the file gives it.
struct Entry {
  bool for_host = false;  // a "machine" entry for the host asked about
  std::string login;
  std::string password;
};

bool Matches(const Entry& entry, std::string_view login) {
  return entry.for_host && !entry.login.empty() && (login.empty() || entry.login == login);
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* account = ::getpwuid(::getuid()); account != nullptr && account->pw_dir) {
    return account->pw_dir;
  }
  return {};
}

}  // namespace

std::optional<NetrcLogin> FindNetrcLogin(std::string_view netrc_text, std::string_view host,
                                         std::string_view login) {
  Tokens tokens(netrc_text);
  Entry entry;
  while (const std::optional<std::string> token = tokens.Next()) {
    if (*token == "machine" || *token == "default") {
      if (Matches(entry, login)) break;
      entry = Entry{};
      if (*token == "machine") {
        const std::optional<std::string> name = tokens.Next();
        entry.for_host = name && EqualsIgnoringAsciiCase(*name, host);
      }
    } else if (*token == "login" || *token == "password" || *token == "account") {
      const std::string value = tokens.Next().value_or("");
      if (*token == "login") entry.login = value;
      if (*token == "password") entry.password = value;
    } else if (*token == "macdef") {
      tokens.SkipMacro();
    }
  }
  if (!Matches(entry, login)) return std::nullopt;
  return NetrcLogin{entry.login, entry.password};
}

UserNetrc FindUserNetrcLogin(std::string_view host, std::string_view login) {
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  const std::string path = home + "/.netrc";
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!file.valid()) return {};
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return {std::nullopt, path + " is not a regular file, so it was not read"};
  }
  const Result<std::string> text = ReadAll(file.get(), kMaxNetrcBytes);
  if (!text.ok()) {
    return {std::nullopt, path + " could not be read (" + std::string(text.status().message()) +
                              "), so it was not used"};
  }
  UserNetrc found{FindNetrcLogin(*text, host, login), {}};
  if (found.login && !found.login->password.empty() && (info.st_mode & (S_IRWXG | S_IRWXO))) {
    found.warning = path + " holds the password used, and others can read it: make it private " +
                    "with chmod 600 " + path;
  }
  return found;
}

}  // namespace webletter
