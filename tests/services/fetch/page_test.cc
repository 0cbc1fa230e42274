// How a page's charset is found, how its bytes become UTF-8 text, and the fetch's time limit.
#include "services/fetch/page.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "services/fetch/charset.h"
#include "services/fetch/text_decoding.h"

namespace webletter {
namespace {

using namespace std::string_literals;

// UTF-8 at the edges of each sequence length and of the ranges with a narrower second byte.
const std::string kValidEdges =
    "\xc2\x80\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf";

TEST(DetectCharsetTest, HeaderThenByteOrderMarkThenMetaThenTheBytes) {
  const std::string shift_jis =
      "\x93\xfa\x96{\x8c\xea\x82\xcc\x95\xb6\x8f\xcd\x82\xc5\x82\xb7\x81\x42";
  const std::string meta = "<meta charset=koi8-r>";
  const std::string padding(4096 - meta.size(), ' ');  // the declaration ends at byte 4096
  // The Content-Type header, the page's bytes, the charset.
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      // The header's parameter, in its usual spellings and aliases; it beats a byte-order mark.
      {"text/html; charset=UTF-8", "caf\xe9", "utf-8"},
      {"text/html; foo=\"a;charset=koi8-r\"; charset=euc-jp", "x", "euc-jp"},
      {"text/html; foo=\"a\"charset=koi8-r", "caf\xe9", "windows-1252"},
      {"text/html; charset=\"koi8-r", "x", "koi8-r"},
      {"text/html; foo; Charset = \t'KOI8-R' ; x=y", "x", "koi8-r"},
      {"text/html;CHARSET=\"koi8\\-r\"", "x", "koi8-r"},
      {"text/html; charset=latin1", "\xef\xbb\xbfxyz", "iso-8859-1"},
      {"text/html; charset=CP1251", "x", "windows-1251"},
      {"text/html; charset=iso8859-2", "x", "iso-8859-2"},
      {"text/html; charset=ANSI_X3.4-1968", "x", "us-ascii"},
      // Labels that do not decide: unknown, iconv suffixes, UTF-7, header injection, unbalanced
      // quotes, none, and a second parameter after an unknown first.
      {"text/html; charset=x-unknown", "\xfe\xff\0a"s, "utf-16be"},
      {"text/html; charset=utf-8//IGNORE", "caf\xe9", "windows-1252"},
      {"text/html; charset=\"ISO+8859-1\"", "caf\xe9", "windows-1252"},
      {"text/html; charset=UTF-7", "+ADw-script+AD4-", "utf-8"},
      {"text/html; charset=\"utf-8\r\nBcc: x@y\"", "caf\xe9", "windows-1252"},
      {"text/html; charset='koi8-r\"", "caf\xe9", "windows-1252"},
      {"text/html; charset=", "caf\xe9", "windows-1252"},
      {"text/html; charset", "caf\xe9", "windows-1252"},
      {"text/html; charset=bogus; charset=koi8-r", "caf\xe9", "windows-1252"},
      {"text/html", "\xff\xfez\0"s, "utf-16le"},
      {"", "\xef\xbb\xbf" + meta, "utf-8"},
      // The page's own declaration, among other tags, comments and attribute values.
      {"", "<!DOCTYPE html><?xml x?></p><META CHARSET=KOI8-R>\xe9", "koi8-r"},
      {"", "< x<meta/charset=koi8-r>", "koi8-r"},
      {"", "<metal charset=koi8-r>caf\xe9", "windows-1252"},
      {"", "<meta foo charset=' koi8-r ' charset=iso-8859-5>", "koi8-r"},
      {"", "<meta http-equiv=' Content-Type ' content='text/html;charset=\" ISO-8859-2\"'>",
       "iso-8859-2"},
      {"", "<meta content='charsetx; charset = iso-8859-2;' http-equiv=content-type>",
       "iso-8859-2"},
      {"", "<meta http-equiv=content-type content='charset=iso-8859-2 x'>", "iso-8859-2"},
      {"", "<meta http-equiv=content-type content=\"charset='iso-8859-2\">\xe9", "windows-1252"},
      {"", "<meta http-equiv=content-type content=\"charset=\">caf\xe9", "windows-1252"},
      {"", "<meta content=\"text/html; charset=iso-8859-2\">\xe9", "windows-1252"},
      {"", "<meta http-equiv=content-type content='charset=iso-8859-2' charset=koi8-r>", "koi8-r"},
      {"", "<meta charset=bogus><meta charset=utf-7><meta charset=iso-8859-5>", "iso-8859-5"},
      {"", "<meta charset=utf-16le>caf\xe9", "utf-8"},
      {"", "<!-- " + meta + " -->caf\xe9", "windows-1252"},
      {"", "<!-- " + meta + " ->caf\xe9", "windows-1252"},
      {"", "<a title='" + meta + "'></a x='" + meta + "'>caf\xe9", "windows-1252"},
      {"", "<z x='>' " + meta + "</a x='>' " + meta + "caf\xe9", "windows-1252"},
      {"", "<A x='>' " + meta + "</Z x='>' " + meta + "caf\xe9", "windows-1252"},
      {"", "<!doctype" + meta + "caf\xe9", "windows-1252"},
      {"", "<meta charset=\"koi8-r", "utf-8"},
      {"", padding + meta + "\xe9", "koi8-r"},
      {"", " " + padding + meta + "\xe9", "windows-1252"},
      {"", padding + "<meta charset=koi8-r >\xe9", "windows-1252"},  // the scan ends on the blank
      // The bytes alone: valid UTF-8, else what 16 KiB from the first non-ASCII byte on look like
      // (Latin-1 as windows-1252, UHC as euc-kr, never UTF-16), else windows-1252.
      {"", "", "utf-8"},
      {"", kValidEdges, "utf-8"},
      {"", "caf\xe9", "windows-1252"},
      {"", "abc\xe2\x82", "windows-1252"},
      {"", "\xed\xa0\x80", "windows-1252"},
      {"", shift_jis, "shift_jis"},
      {"", std::string(40000, ' ') + shift_jis, "shift_jis"},
      {"", "\xe9" + std::string(16 * 1024, ' ') + shift_jis, "windows-1252"},
      {"", "\xc7\xd1\xb1\xb9\xbe\xee \xb9\xae\xc0\xe5\xc0\xd4\xb4\xcf\xb4\xd9.", "euc-kr"},
      {"", "\xf0\xd2\xc9\xd7\xc5\xd4, \xcb\xc1\xcb \xc4\xc5\xcc\xc1?", "koi8-r"},
      {"", "Caf\xe9 cr\xe8me, na\xefve", "windows-1252"},
      {"", "abc\xff\xfe\xfd", "windows-1252"},
      {"", "\x81\x8d", "windows-1252"},
  };
  for (const auto& [content_type, bytes, charset] : cases) {
    SCOPED_TRACE(testing::PrintToString(content_type) + " " + testing::PrintToString(bytes));
    EXPECT_EQ(DetectCharset(content_type, bytes), charset);
  }
}

TEST(DecodeToUtf8Test, DecodesAndReplacesWhatDoesNotDecode) {
  // The bytes, their charset, and the text with "~" standing for U+FFFD.
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {kValidEdges, "utf-8", kValidEdges},
      // Overlong forms, surrogates, code points past U+10FFFF, stray and cut-off sequences: each
      // byte that starts no valid sequence is replaced.
      {"a\xc1\xbf"
       "b\xe0\x9f\xbf"
       "c\xed\xa0\x80"
       "d\xf0\x8f\xbf\xbf"
       "e\xf4\x90\x80\x80",
       "utf-8", "a~~b~~~c~~~d~~~~e~~~~"},
      {"\xf5\x80\x80\x80|\xc2\x7f|\xc2\xc0|\xe2\x82\x7f|\xe2\x82\xc0|\x80|\xf8\xa3|\xe2\x82",
       "utf-8", "~~~~|~\x7f|~~|~~\x7f|~~~|~|~~|~~"},
      {"\xef\xbb\xbfxyz", "utf-8", "xyz"},
      {"a\0b"s, "utf-8", "a\0b"s},
      // Latin-1 and ASCII labels read as windows-1252; a byte without meaning there is replaced.
      {"caf\xe9 \x80", "iso-8859-1", "café €"},
      {"\x80", "us-ascii", "€"},
      {std::string(60, '\x80'), "windows-1252",
       "€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€"},
      {std::string(60, '\x81') + "x", "windows-1252", std::string(60, '~') + "x"},
      {"\xef\xbb\xbfx", "windows-1252", "ï»¿x"},
      {"\xff\xfez\0y\0"s, "utf-16le", "zy"},
      {"\xfe\xff\0a\0b"s, "UTF-16BE", "ab"},
      {"a\0b"s, "utf-16le", "a~"},
      {"\x82\xa0", "shift_jis", "あ"},
      {"\x1b$B$\"\x1b(B!", "iso-2022-jp", "あ!"},
      // A charset that cannot be read: UTF-8 where the bytes are UTF-8, else windows-1252.
      {"caf\xe9", "x-unknown", "café"},
      {"caf\xc3\xa9", "utf-8//IGNORE", "café"},
      {"+ADw-", "utf-7", "+ADw-"},
      {"", "", ""},
  };
  for (const auto& [bytes, charset, text] : cases) {
    std::string expected;
    for (const char c : text) expected += c == '~' ? "\uFFFD" : std::string(1, c);
    EXPECT_EQ(DecodeToUtf8(bytes, charset), expected) << testing::PrintToString(bytes) << charset;
  }
}

// The content check's search agrees with a search of the decoded text, found in the bytes or not.
TEST(PageContainsTest, FindsTheMarkerAsTheDecodedTextHoldsIt) {
  const std::string marker = "<META NAME=\"webletterCheck\"";
  const auto utf16le = [](std::string_view ascii) {
    std::string wide;
    for (const char c : ascii) wide += {c, '\0'};
    return wide;
  };
  const std::vector<std::tuple<std::string, std::string, bool>> cases = {
      {"x" + marker + ">", "utf-8", true},
      {"\xe2" + marker, "utf-8", true},  // a cut-off sequence before it
      {"<meta name=\"webletterCheck\"", "utf-8", false},
      {"\x81" + marker, "shift_jis", true},  // a lead byte before "<" takes no "<"
      {"\x81" + marker, "gbk", true},
      {"\xe9" + marker, "iso-8859-1", true},
      {marker, "utf-7", true},                               // never read as UTF-7
      {"\x1b$B" + marker + "\x1b(B", "iso-2022-jp", false},  // the same bytes are kanji there
      {"\x1b$B$\"\x1b(B" + marker, "iso-2022-jp", true},
      {marker, "ibm037", false},
      {marker, "utf-16le", false},
      {"\xff\xfe" + utf16le(marker), "utf-16le", true},
      {utf16le(std::string(65530, 'a') + marker), "utf-16le", true},  // across two pieces
      {utf16le(std::string(65530, 'a') + marker.substr(0, 20)), "utf-16le", false},
  };
  for (const auto& [bytes, charset, found] : cases) {
    const Page page{bytes, charset};
    SCOPED_TRACE(charset + " " + testing::PrintToString(bytes.substr(0, 40)));
    EXPECT_EQ(page.Contains(marker), found);
    EXPECT_EQ(page.DecodedText().find(marker) != std::string::npos, found);
  }
}

}  // namespace
}  // namespace webletter
