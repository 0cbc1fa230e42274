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
  const std::vector<Case> cases = {
      // The header's parameter, in its usual spellings and aliases; it beats a byte-order mark.
      {"text/html; charset=UTF-8", "caf\xe9", "utf-8"},
      {"text/html;CHARSET=\"Windows-1252\"", "x", "windows-1252"},
      {"text/html; charset=latin1", "x", "iso-8859-1"},
      {"text/html; foo=\"a;charset=koi8-r\"; charset=euc-jp", "x", "euc-jp"},
      {"text/html; charset=iso-8859-1", "\xef\xbb\xbfxyz", "iso-8859-1"},
      // Labels that must not decide: unknown, iconv suffixes, UTF-7, header injection.
      {"text/html; charset=x-unknown", std::string("\xfe\xff\0a", 4), "utf-16be"},
      {"text/html; charset=utf-8//IGNORE", "caf\xe9", "windows-1252"},
      {"text/html; charset=utf-7", "+ADw-script+AD4-", "utf-8"},
      {"text/html; charset=\"utf-8\r\nBcc: x@y\"", "caf\xe9", "windows-1252"},
      // A byte-order mark, then the page's own declaration within its first 1024 bytes.
      {"text/html", std::string("\xff\xfez\0", 4), "utf-16le"},
      {"", "<meta charset=koi8-r>\xe9", "koi8-r"},
      {"", "<meta content='text/html;charset=\"ISO-8859-2\"' http-equiv=content-type>",
       "iso-8859-2"},
      {"", "<meta content=\"text/html; charset=iso-8859-2\">\xe9", "windows-1252"},
      {"", "<meta charset=bogus><meta charset=iso-8859-5>", "iso-8859-5"},
      {"", "<meta charset=utf-16>caf\xe9", "utf-8"},
      {"", "<!-- <meta charset=koi8-r> -->caf\xe9", "windows-1252"},
      {"", std::string(5000, ' ') + "<meta charset=koi8-r>caf\xe9", "windows-1252"},
      {"", "<meta charset=\"koi8-r", "utf-8"},
      // The bytes alone: valid UTF-8, or else windows-1252.
      {"", "", "utf-8"},
      {"", "caf\xc3\xa9 \xf0\x9f\x98\x80", "utf-8"},
      {"", "caf\xe9", "windows-1252"},
      {"", "abc\xe2\x82", "windows-1252"},  // cut off
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
      {"\x81", "windows-1252", "\xef\xbf\xbd"},
      {"\xef\xbb\xbfxyz", "utf-8", "xyz"},
      {"xyz\xffz", "utf-8", "xyz\xef\xbf\xbdz"},
      // Five-byte forms and surrogates are not UTF-8: each of their bytes is replaced.
      {"\xf8\xa3\xa3", "utf-8", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
      {"\xed\xa0\x80", "utf-8", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
      {std::string("a\0b", 3), "utf-8", std::string("a\0b", 3)},
      {std::string("\xff\xfez\0y\0", 6), "utf-16le", "zy"},
      {std::string("\0a\0b", 4), "UTF-16BE", "ab"},
      {std::string("a\0b", 3), "utf-16le", "a\xef\xbf\xbd"},
      {"\x82\xa0", "shift_jis", "あ"},
      {"caf\xe9", "x-unknown", "café"},
      {"caf\xc3\xa9", "x-unknown", "café"},
      {"caf\xc3\xa9", "utf-8//IGNORE", "café"},
      {"+ADw-", "utf-7", "+ADw-"},
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
  for (int round = 0; round < 200; ++round) {
    std::string bytes(static_cast<std::size_t>(round), '\0');
    for (char& b : bytes) b = static_cast<char>(byte(random));
    for (const char* charset : {"utf-8", "windows-1252", "utf-16le", "shift_jis", "iso-2022-jp"}) {
      const std::string text = DecodeToUtf8(bytes, charset);
      // Valid UTF-8 comes back from a UTF-8 decoding unchanged, with no replacement added.
      EXPECT_EQ(DecodeToUtf8(text, "utf-8"), text) << charset << " " << round;
    }
  }
}

}  // namespace
}  // namespace webletter
