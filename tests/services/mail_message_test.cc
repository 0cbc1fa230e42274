// The composed message's headers, body encoding and addresses.
#include "services/mail_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/standard_messages.h"

namespace webletter {
namespace {

std::string Repeat(std::string_view text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

MailContent Content(std::string_view subject, std::string_view from_name = "",
                    std::string_view body = "x\r\n") {
  MailContent content;
  content.from = {"news@example.org", std::string(from_name)};
  content.to = {{"reader@example.net", ""}};
  content.subject = subject;
  content.body = MailBytes(body);
  return content;
}

std::string Composed(const MailContent& content) {
  const Result<MailBytes> message = ComposeMail(content);
  EXPECT_EQ(message.status().number(), 0);
  return message.ok() ? std::string(message->view()) : "";
}

// Header `name` with its continuation lines, "" when it is missing.
std::string Header(const std::string& message, const std::string& name) {
  const std::size_t start = message.find("\r\n" + name + ":");
  if (start == std::string::npos) return "";
  std::size_t end = start + 2;
  do end = message.find("\r\n", end) + 2;
  while (message[end] == ' ');
  return message.substr(start + 2, end - start - 4);
}

TEST(MailHeaderTest, SubjectAndSenderNameLines) {
  struct Case {
    std::string subject, name, subject_line, from_line;
  };
  const std::string from = " <news@example.org>";
  const std::vector<Case> cases = {
      {"", "", "Subject: ", "From: news@example.org"},
      {"Weekly news and views " + std::string(50, 'w') +
           " then more words that fill the next line up to the end of it and beyond",
       "   ",
       "Subject: Weekly news and views\r\n " + std::string(50, 'w') +
           " then more words that\r\n fill the next line up to the end of it and beyond",
       "From: news@example.org"},
      {"Hi\r\nBcc: victim@example.com", "Webletter Desk", "Subject: Hi  Bcc: victim@example.com",
       "From: Webletter Desk" + from},
      {" x", "Doe, Jane", "Subject: =?UTF-8?Q?_x?=", "From: \"Doe, Jane\"" + from},
      {"ab " + std::string(76, 'y'), "say \"hi\" \\ now",
       "Subject: =?UTF-8?Q?ab_" + std::string(52, 'y') + "?=\r\n =?UTF-8?Q?" +
           std::string(24, 'y') + "?=",
       "From: \"say \\\"hi\\\" \\\\ now\"" + from},
      {"Price =?utf-8?q?caf=C3=A9?= today", "Eve\r\nBcc: x@y",
       "Subject: =?UTF-8?B?UHJpY2UgPT91dGYtOD9xP2NhZj1DMz1BOT89IHRvZGF5?=",
       "From: \"Eve  Bcc: x@y\"" + from},
      {"caf\xe9\x7f ok", Repeat("Doe, Jane ", 7) + "Doe", "Subject: =?UTF-8?Q?caf=EF=BF=BD__ok?=",
       "From: \"" + Repeat("Doe, Jane ", 6) + "Doe, Jane\r\n Doe\"" + from},
      {"Grüße aus Köln und Umgebung: die Neuigkeiten der Woche, mit vielen Wörtern darin, ja",
       "=?utf-8?b?QmNjOiB4?=",
       "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln_und_Umgebung=3A_die_?=\r\n"
       " =?UTF-8?Q?Neuigkeiten_der_Woche=2C_mit_vielen_W=C3=B6rtern_darin=2C_ja?=",
       "From: =?UTF-8?B?PT91dGYtOD9iP1FtTmpPaUI0Pz0=?=" + from},
      {"Nieuwsbrief – café ☕ 新闻 " + std::string(20, 'x') +
           " ünïcödé at the end and then some more words to fold",
       "Rédaction Zoë",
       "Subject: =?UTF-8?B?TmlldXdzYnJpZWYg4oCTIGNhZsOpIOKYlSDmlrDpl7sg?=\r\n"
       " =?UTF-8?B?eHh4eHh4eHh4eHh4eHh4eHh4eHggw7xuw69jw7Zkw6kgYXQg?=\r\n"
       " =?UTF-8?B?dGhlIGVuZCBhbmQgdGhlbiBzb21lIG1vcmUgd29yZHMgdG8gZm9sZA==?=",
       "From: =?UTF-8?B?UsOpZGFjdGlvbiBab8Or?=" + from},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.subject + " / " + c.name);
    const std::string message = Composed(Content(c.subject, c.name));
    EXPECT_EQ(Header(message, "Subject"), c.subject_line);
    EXPECT_EQ(Header(message, "From"), c.from_line);
  }
}

// Names go in Q or B, whichever is shorter (Q on a tie); an encoded word that has less than 30
// columns left on its line starts the next.
TEST(MailHeaderTest, RecipientLineFoldsBetweenMailboxes) {
  MailContent content = Content("x");
  content.to = {{"reader@example.net", "Doe, Jane"},
                {"b@Bücher.example", " "},
                {"c@example.net", "Zoë"},
                {"d@example.net", "Ünal Çelik"}};
  EXPECT_EQ(Header(Composed(content), "To"),
            "To: \"Doe, Jane\" <reader@example.net>, b@xn--bcher-kva.example,\r\n"
            " =?UTF-8?Q?Zo=C3=AB?= <c@example.net>, =?UTF-8?B?w5xuYWwgw4dlbGlr?=\r\n"
            " <d@example.net>");
}

TEST(MailBodyTest, QuotedPrintableOnlyForCrLfTextElseBase64) {
  struct Case {
    std::string body;
    bool html;
    std::string charset, content_type, encoding, encoded;
  };
  const std::string qp = "quoted-printable";
  const std::string plain = "text/plain; charset=utf-8";
  const std::vector<Case> cases = {
      {"", false, "", plain, qp, ""},
      {"\r\n", false, "utf-8", plain, qp, "\r\n"},
      {"a=b\r\n", true, "windows-1252", "text/html; charset=windows-1252", qp, "a=3Db\r\n"},
      {"a b\t\t\r\n", false, "", plain, qp, "a b\t=09\r\n"},
      {"\x80"
       "bcd\r\n",
       false, "", plain, qp, "=80bcd\r\n"},  // one byte in six is not text
      {"\x01"
       "bcd\r\n",
       false, "", plain, qp, "=01bcd\r\n"},
      {std::string(100, 'a') + "\r\n", false, "", plain, qp,
       std::string(75, 'a') + "=\r\n" + std::string(25, 'a') + "\r\n"},
      {"\x80"
       "bc\r\n",
       false, "", plain, "base64", "gGJjDQo=\r\n"},  // one in five
      {"a", false, "", plain, "base64", "YQ==\r\n"},
      {"a\nb\r\n", false, "", plain, "base64", "YQpiDQo=\r\n"},
      {"a\rb\r\n", false, "", plain, "base64", "YQ1iDQo=\r\n"},
      {"\nx\r\n", false, "", plain, "base64", "CngNCg==\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.body));
    MailContent content = Content("x", "", c.body);
    content.html = c.html;
    content.charset = c.charset;
    const std::string message = Composed(content);
    EXPECT_EQ(Header(message, "Content-Type"), "Content-Type: " + c.content_type);
    EXPECT_EQ(Header(message, "Content-Transfer-Encoding"),
              "Content-Transfer-Encoding: " + c.encoding);
    EXPECT_EQ(message.substr(message.find("\r\n\r\n") + 4), c.encoded);
  }
}

TEST(MailAddressTest, WireFormOrRefusal) {
  const std::string local64(64, 'l');
  const std::string label63(63, 'd');
  const std::string domain189 = label63 + "." + label63 + "." + std::string(61, 'd');
  const std::vector<std::pair<std::string, std::string>> cases = {
      // "" for refused
      {"first.last+tag@sub.example.org", "first.last+tag@sub.example.org"},
      {"o'brien!#$%&*/=?^_`{|}~-@Example.ORG", "o'brien!#$%&*/=?^_`{|}~-@Example.ORG"},
      {"news@localhost", "news@localhost"},
      {"news@[IPv6:2001:db8::1]", "news@[IPv6:2001:db8::1]"},
      {"news@[ipv6:::1]", "news@[ipv6:::1]"},
      {"news@[192.0.2.1]", "news@[192.0.2.1]"},
      {"news@Bücher.example", "news@xn--bcher-kva.example"},
      {"news@XN--BCHER-KVA.example", "news@XN--BCHER-KVA.example"},
      {local64 + "@" + label63 + ".example", local64 + "@" + label63 + ".example"},
      {local64 + "@" + domain189, local64 + "@" + domain189},  // 254 characters
      {local64 + "l@example.org", ""},
      {"news@" + label63 + "d.example", ""},
      {local64 + "@" + domain189 + "d", ""},
      {"news@xn--examp", ""},
      {"news@bücher.example.", ""},
      {"news@b\xfc"
       "cher.example",
       ""},
      {"news@[2001:db8::1]", ""},
      {"news@[IPv6:192.0.2.1]", ""},
      {"news@[192.0.2.x]", ""},
      {"news@[]", ""},
      {"news@-example.org", ""},
      {"news@example-.org", ""},
      {"news@exa_mple.org", ""},
      {"news@example..org", ""},
      {"news@", ""},
      {"@example.org", ""},
      {"a..b@example.org", ""},
      {"a.@example.org", ""},
      {"a@b@example.org", ""},
      {"news", ""},
      {" editor@example.org", ""},
      {"jürgen@example.org", ""},
      {"reader@example.org\r\nRCPT TO:<victim@example.com>", ""},
      {"reader@example.org> SIZE=1", ""},
      {"reader@example.org, boss@example.com", ""},
  };
  for (const auto& [address, wire] : cases) {
    const Result<std::string> result = WireMailAddress(address);
    EXPECT_EQ(result.status().number(), wire.empty() ? error::kMailAddressInvalid : 0) << address;
    EXPECT_EQ(result.ok() ? *result : "", wire) << address;
  }
}

TEST(MailAddressTest, MessageIdTakesTheSendersHostName) {
  MailContent content = Content("x");
  for (const auto& [from, domain] : std::vector<std::pair<std::string, std::string>>{
           {"news@Bücher.example", "@xn--bcher-kva.example>"},
           {"news@[192.0.2.1]", "@localhost.localdomain>"}}) {
    content.from.address = from;
    EXPECT_TRUE(Header(Composed(content), "Message-Id").ends_with(domain)) << from;
  }
  content.to.push_back({"reader", "R"});
  EXPECT_EQ(ComposeMail(content).status().number(), error::kMailAddressInvalid);
  content.to.pop_back();
  content.from.address = "news";
  EXPECT_EQ(ComposeMail(content).status().number(), error::kMailAddressInvalid);
}

}  // namespace
}  // namespace webletter
