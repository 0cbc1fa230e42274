// The netrc reader that supplies sign-in details where the server address carries none.
#include "services/netrc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace webletter {
namespace {

std::string Found(const std::optional<NetrcLogin>& login) {
  return login ? login->login + "/" + login->password : "none";
}

TEST(NetrcTest, FindsTheFirstMachineEntryForTheHost) {
  struct Case {
    std::string text;
    std::string host;
    std::string login;  // asked for; "" for any
    std::string found;
  };
  const std::string two_hosts =
      "machine other.example.org login other password nope\n"
      "machine mail.example.org\n  login me@example.org\n  password s3cret\n";
  const std::string two_logins = "machine h.org login a password 1\nmachine h.org login b\n";
  const std::vector<Case> cases = {
      {two_hosts, "mail.example.org", "", "me@example.org/s3cret"},
      {two_hosts, "other.example.org", "", "other/nope"},
      {two_hosts, "mail.example.or", "", "none"},
      {"machine az.example login a password b", "AZ.Example", "", "a/b"},
      {"machine AZ.EXAMPLE login a password b", "az.example", "", "a/b"},
      {two_logins, "h.org", "", "a/1"},
      {two_logins, "h.org", "b", "b/"},
      {two_logins, "h.org", "c", "none"},
      {"machine h.org password p\nmachine h.org login a password b", "h.org", "", "a/b"},
      {"machine h.org login a password b\ndefault login c password d\n", "h.org", "", "a/b"},
      {"default login c password d\n", "h.org", "", "none"},
      {"machine h.org login a default password d", "h.org", "", "a/"},
      {"machine h.org account x login a password b", "h.org", "", "a/b"},
      {"machine h.org login a password \"two words \\\" \\\\ \\n\\t\\r\\x\"", "h.org", "",
       "a/two words \" \\ \n\t\rx"},
      {"machine h.org login \"a\nb\" password c", "h.org", "", "a/c"},
      {"machine h.org login a password \"b\\", "h.org", "", "a/b\\"},
      {"# machine h.org login x password y\n\tmachine h.org\tlogin a # note\r\npassword b\r\n",
       "h.org", "", "a/b"},
      {"macdef init\nmachine h.org login x password y\n \t\nmachine h.org login a password b\n",
       "h.org", "", "a/b"},
      {"machine h.org login a password b\nmacdef init\nmachine h.org login x\n", "h.org", "",
       "a/b"},
      {"macdef init\nmachine h.org login x password y\n", "h.org", "", "none"},
      {"machine h.org login", "h.org", "", "none"},
      {"machine", "h.org", "", "none"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Found(FindNetrcLogin(c.text, c.host, c.login)), c.found)
        << c.text << " | host " << c.host << " login " << c.login;
  }
}

TEST(NetrcTest, ReadsTheFileInTheHomeFolder) {
  const testing::TempDir home;
  home.Write(".netrc", "machine h.org login a password b\n");
  const std::string previous = std::getenv("HOME");
  setenv("HOME", home.path().c_str(), 1);
  EXPECT_EQ(Found(FindUserNetrcLogin("h.org")), "a/b");
  EXPECT_EQ(Found(FindUserNetrcLogin("h.org", "c")), "none");
  setenv("HOME", "", 1);  // then the account's home folder, which has no such entry
  EXPECT_EQ(Found(FindUserNetrcLogin("h.org")), "none");
  setenv("HOME", previous.c_str(), 1);
}

}  // namespace
}  // namespace webletter
