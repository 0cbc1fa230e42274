// How a page's charset is found, and how its bytes become UTF-8 text.
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "services/page.h"

namespace webletter {
namespace {

TEST(DetectCharsetTest, FollowsHeaderBomMetaThenTheBytes) {
  struct Case {
    std::string content_type;
    std::string bytes;
    std::string charset;
  };
  const std::string ascii_filler(5000, ' ');
  const std::vector<Case> cases = {
      // The header's parameter, in its usual spellings and aliases.
      {"text/html; charset=UTF-8", "caf\xe9", "utf-8"},
      {"text/html;CHARSET=\"Windows-1252\"", "x", "windows-1252"},
      {"text/html; charset=latin1", "x", "iso-8859-1"},
      {"text/html; charset=utf8", "x", "utf-8"},
      {"text/html; charset=cp1251", "x", "windows-1251"},
      {"text/html; charset=iso8859-2", "x", "iso-8859-2"},
      {"text/html; charset=Shift-JIS", "x", "shift_jis"},
      {"text/html; foo=\"a;charset=koi8-r\"; charset=euc-jp", "x", "euc-jp"},
      // The header beats a byte-order mark.
      {"text/html; charset=iso-8859-1",
       "\xef\xbb\xbf"
       "abc",
       "iso-8859-1"},
      // Labels that must not decide: unknown, iconv suffixes, UTF-7, header injection.
      {"text/html; charset=x-unknown", "\xfe\xff\0a", "utf-16be"},
      {"text/html; charset=utf-8//IGNORE", "caf\xe9", "windows-1252"},
      {"text/html; charset=utf-7", "+ADw-script+AD4-", "utf-8"},
      {"text/html; charset=\"utf-8\r\nBcc: x@y\"", "caf\xe9", "windows-1252"},
      {"text/html; charset=\"\"", "abc", "utf-8"},
      // Byte-order marks.
      {"",
       "\xef\xbb\xbf"
       "caf\xe9",
       "utf-8"},
      {"text/html",
       std::string("\xff\xfe"
                   "a\0",
                   4),
       "utf-16le"},
      {"", std::string("\xfe\xff\0a", 4), "utf-16be"},
      // The page's own declaration.
      {"", "<meta charset=koi8-r>\xe9", "koi8-r"},
      {"", "<html><HEAD><META CHARSET='Shift_JIS'>", "shift_jis"},
      {"", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-15\">",
       "iso-8859-15"},
      {"", "<meta content='text/html;charset=\"ISO-8859-2\"' http-equiv=content-type>",
       "iso-8859-2"},
      {"", "<meta content=\"text/html; charset=iso-8859-2\">\xe9", "windows-1252"},
      {"", "<meta charset=bogus><meta charset=iso-8859-5>", "iso-8859-5"},
      {"", "<meta charset=utf-16>caf\xe9", "utf-8"},
      {"", "<!-- <meta charset=koi8-r> -->caf\xe9", "windows-1252"},
      {"", "<div title=\"<meta charset=koi8-r>\">caf\xe9", "windows-1252"},
      {"", ascii_filler + "<meta charset=koi8-r>caf\xe9", "windows-1252"},
      {"", "<meta charset=\"koi8-r", "utf-8"},
      // The bytes alone.
      {"", "", "utf-8"},
      {"", "plain ascii", "utf-8"},
      {"", "caf\xc3\xa9 \xf0\x9f\x98\x80", "utf-8"},
      {"", "caf\xe9", "windows-1252"},
      {"", "\xed\xa0\x80", "windows-1252"},      // a surrogate
      {"", "\xc0\xaf", "windows-1252"},          // an overlong form
      {"", "\xf4\x90\x80\x80", "windows-1252"},  // past U+10FFFF
      {"", "abc\xe2\x82", "windows-1252"},       // cut off
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.content_type) + " " + testing::PrintToString(c.bytes));
    EXPECT_EQ(DetectCharset(c.content_type, c.bytes), c.charset);
  }
}

TEST(DecodeToUtf8Test, DecodesEveryCharsetAndReplacesWhatDoesNotDecode) {
  struct Case {
    std::string bytes;
    std::string charset;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"caf\xe9", "iso-8859-1", "café"},
      {"\x80", "iso-8859-1", "€"},  // Latin-1 labels are read as windows-1252, as browsers do
      {"a\x80"
       "b",
       "us-ascii", "a€b"},
      {"\x80", "windows-1252", "€"},
      {"\x81", "windows-1252", "\xef\xbf\xbd"},
      {"\xa4", "iso-8859-15", "€"},
      {"\xcf\xf0\xe8\xe2\xe5\xf2", "windows-1251", "Привет"},
      {"\xef\xbb\xbf"
       "abc",
       "utf-8", "abc"},
      {"abc\xff"
       "d",
       "utf-8",
       "abc\xef\xbf\xbd"
       "d"},
      {"\xed\xa0\x80", "utf-8", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
      {std::string("a\0b", 3), "utf-8", std::string("a\0b", 3)},
      {std::string("\xff\xfe"
                   "a\0b\0",
                   6),
       "utf-16le", "ab"},
      {std::string("\0a\0b", 4), "UTF-16BE", "ab"},
      {std::string("a\0b", 3), "utf-16le", "a\xef\xbf\xbd"},
      {"\x82\xa0", "shift_jis", "あ"},
      {"\x1b$B$\"\x1b(B", "iso-2022-jp", "あ"},
      {"caf\xe9", "x-unknown", "café"},
      {"caf\xc3\xa9", "x-unknown", "café"},
      {"caf\xc3\xa9", "utf-8//IGNORE", "café"},
      {"+ADw-", "utf-7", "+ADw-"},
      {"", "utf-16le", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes) + " " + c.charset);
    EXPECT_EQ(DecodeToUtf8(c.bytes, c.charset), c.text);
  }
}

TEST(DecodeToUtf8Test, RandomBytesAlwaysGiveValidUtf8) {
  std::mt19937 random(20240601);
  std::uniform_int_distribution<int> byte(0, 255);
  const std::vector<std::string> charsets = {"utf-8",     "windows-1252", "utf-16le",
                                             "shift_jis", "iso-2022-jp",  "gb18030"};
  for (int round = 0; round < 200; ++round) {
    std::string bytes(static_cast<std::size_t>(round), '\0');
    for (char& b : bytes) b = static_cast<char>(byte(random));
    for (const std::string& charset : charsets) {
      const std::string text = DecodeToUtf8(bytes, charset);
      // Valid UTF-8 comes back from a UTF-8 decoding unchanged, with no replacement added.
      EXPECT_EQ(DecodeToUtf8(text, "utf-8"), text) << charset << " " << round;
    }
  }
}

TEST(PageTest, DecodedTextLeavesTheBytesAlone) {
  const Page page{.bytes = "caf\xe9", .charset = "windows-1252"};
  EXPECT_EQ(page.DecodedText(), "café");
  EXPECT_EQ(page.bytes, "caf\xe9");
}

}  // namespace
}  // namespace webletter
