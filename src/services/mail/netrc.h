// Sign-in details from the user's ~/.netrc, the file where curl, ftp and many mail tools look up
// a login for a host. Only "machine" entries count: a "default" entry is not used, so that a
// password meant for one host is never offered to another.
#ifndef WEBLETTER_SERVICES_MAIL_NETRC_H_
#define WEBLETTER_SERVICES_MAIL_NETRC_H_

#include <optional>
#include <string>
#include <string_view>

namespace webletter {

struct NetrcLogin {
  std::string login;
  std::string password;  // empty when the entry gives none
};

// The first "machine" entry for `host` (compared without regard to case) in the text of a netrc
// file that gives a (non-empty) login; when `login` is not empty, the first such entry for that
// login. Tokens are separated by blanks and line ends and may be double-quoted (with \" \\ \n \r
// \t);
// "#" starts a comment to the end of the line; "macdef" bodies run to the next empty line.
std::optional<NetrcLogin> FindNetrcLogin(std::string_view netrc_text, std::string_view host,
                                         std::string_view login = {});

// What the user's own file ($HOME/.netrc, or .netrc in the home folder of the account) gives for
// a host: FindNetrcLogin on its text, nothing when there is no such file or it cannot be read.
// `warning` is a line for the user, or empty: the file is not a regular file (it is then not
// read, and never waited on), or it gave a password and others than its owner can read it.
struct UserNetrc {
  std::optional<NetrcLogin> login;
  std::string warning;
};
UserNetrc FindUserNetrcLogin(std::string_view host, std::string_view login = {});

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_NETRC_H_
