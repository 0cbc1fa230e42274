// The netrc reader that supplies sign-in details where the server address carries none.
#include <optional>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "services/netrc.h"

namespace webletter {
namespace {

struct NetrcCase {
  std::string name;
  std::string text;
  std::string host;
  std::string login;  // asked for; "" for any
  std::string found;  // "<login> <password>", "" for none
};

class NetrcLookupTest : public ::testing::TestWithParam<NetrcCase> {};

TEST_P(NetrcLookupTest, FindsTheHostsEntry) {
  const NetrcCase& c = GetParam();
  const std::optional<NetrcLogin> found = FindNetrcLogin(c.text, c.host, c.login);
  EXPECT_EQ(found ? found->login + " " + found->password : "", c.found);
}

const char kTwoHosts[] =
    "machine other.example.org login other password nope\n"
    "machine mail.example.org\n  login me@example.org\n  password s3cret\n";
const char kWithDefault[] = "machine 127.0.0.1 login a password b\ndefault login c password d\n";
const char kTwoLogins[] = "machine h.org login a password 1\nmachine h.org login b password 2\n";

INSTANTIATE_TEST_SUITE_P(
    Files, NetrcLookupTest,
    ::testing::ValuesIn(std::vector<NetrcCase>{
        {"SecondOfTwo", kTwoHosts, "mail.example.org", "", "me@example.org s3cret"},
        {"HostCaseIgnored", kTwoHosts, "MAIL.Example.ORG", "", "me@example.org s3cret"},
        {"DefaultDoesNotEndAHostsEntryEarly", kWithDefault, "127.0.0.1", "", "a b"},
        {"DefaultIsNotUsed", kWithDefault, "mail.example.org", "", ""},
        {"ForTheGivenLogin", kTwoLogins, "h.org", "b", "b 2"},
        {"GivenLoginMissing", kTwoLogins, "h.org", "c", ""},
        {"QuotedPassword", "machine h.org login a password \"two words \\\" \\\\ x\"\n", "h.org",
         "", "a two words \" \\ x"},
        {"CommentsAndTabs",
         "# machine h.org login wrong password wrong\n\tmachine h.org\tlogin a # note\n"
         "password b\r\n",
         "h.org", "", "a b"},
        {"MacroBodySkipped",
         "macdef init\nmachine h.org login wrong password wrong\n\n"
         "machine h.org login a password b\n",
         "h.org", "", "a b"},
        {"CutShort", "machine h.org login", "h.org", "", ""}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace webletter
