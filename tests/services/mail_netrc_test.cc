// The netrc reader that supplies sign-in details where the server address carries none.
#include <optional>
#include <string>

#include "gtest/gtest.h"
#include "services/netrc.h"

namespace webletter {
namespace {

struct NetrcCase {
  std::string name;
  std::string text;
  std::string host;
  std::string login;  // asked for; "" for any
  std::optional<NetrcLogin> found;
};

class NetrcLookupTest : public ::testing::TestWithParam<NetrcCase> {};

TEST_P(NetrcLookupTest, FindsTheHostsEntry) {
  const NetrcCase& c = GetParam();
  const std::optional<NetrcLogin> found = FindNetrcLogin(c.text, c.host, c.login);
  ASSERT_EQ(found.has_value(), c.found.has_value());
  if (found) {
    EXPECT_EQ(found->login, c.found->login);
    EXPECT_EQ(found->password, c.found->password);
  }
}

const char kTwoHosts[] =
    "machine other.example.org login other password nope\n"
    "machine mail.example.org\n  login me@example.org\n  password s3cret\n";

INSTANTIATE_TEST_SUITE_P(
    Files, NetrcLookupTest,
    ::testing::Values(
        NetrcCase{"OneLine", "machine mail.example.org login me password pw", "mail.example.org",
                  "", NetrcLogin{"me", "pw"}},
        NetrcCase{"SecondOfTwo", kTwoHosts, "mail.example.org", "",
                  NetrcLogin{"me@example.org", "s3cret"}},
        NetrcCase{"HostCaseIgnored", kTwoHosts, "MAIL.Example.ORG", "",
                  NetrcLogin{"me@example.org", "s3cret"}},
        NetrcCase{"NoEntryForTheHost", kTwoHosts, "smtp.example.org", "", std::nullopt},
        NetrcCase{"DefaultIsNotUsed", "default login anyone password any", "mail.example.org", "",
                  std::nullopt},
        NetrcCase{"DefaultDoesNotEndAHostsEntryEarly",
                  "machine 127.0.0.1 login a password b\ndefault login c password d\n", "127.0.0.1",
                  "", NetrcLogin{"a", "b"}},
        NetrcCase{"ForTheGivenLogin",
                  "machine h.org login a password 1\nmachine h.org login b password 2\n", "h.org",
                  "b", NetrcLogin{"b", "2"}},
        NetrcCase{"GivenLoginMissing", "machine h.org login a password 1\n", "h.org", "b",
                  std::nullopt},
        NetrcCase{"EntryWithoutLogin", "machine h.org password 1\n", "h.org", "", std::nullopt},
        NetrcCase{"LoginWithoutPassword", "machine h.org login a\n", "h.org", "",
                  NetrcLogin{"a", ""}},
        NetrcCase{"QuotedPassword", "machine h.org login a password \"two words \\\" \\\\ x\"\n",
                  "h.org", "", NetrcLogin{"a", "two words \" \\ x"}},
        NetrcCase{"CommentsAndTabs",
                  "# machine h.org login wrong password wrong\n\tmachine h.org\tlogin a # note\n"
                  "password b\r\n",
                  "h.org", "", NetrcLogin{"a", "b"}},
        NetrcCase{"MacroBodySkipped",
                  "macdef init\nmachine h.org login wrong password wrong\n\n"
                  "machine h.org login a password b\n",
                  "h.org", "", NetrcLogin{"a", "b"}},
        NetrcCase{"AccountIgnored", "machine h.org login a account acct password b", "h.org", "",
                  NetrcLogin{"a", "b"}},
        NetrcCase{"CutShort", "machine h.org login", "h.org", "", std::nullopt},
        NetrcCase{"Empty", "", "h.org", "", std::nullopt}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace webletter
