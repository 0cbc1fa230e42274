// How a page's charset is found, how its bytes become UTF-8 text, and how that text is searched.
#include "services/fetch/page.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "services/fetch/charset.h"
#include "services/fetch/text_decoding.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

TEST(DetectCharsetTest, HeaderThenByteOrderMarkThenMetaThenTheBytes) {
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/fetch/charset_cases.tsv")) {
    ASSERT_EQ(row.size(), 3u);
    const auto& [charset, content_type, bytes] = std::tie(row[0], row[1], row[2]);
    const std::string header = content_type + "r";  // a byte after the header is no part of it
    EXPECT_EQ(DetectCharset(std::string_view(header).substr(0, content_type.size()), bytes),
              charset)
        << ::testing::PrintToString(content_type) << " " << ::testing::PrintToString(bytes);
  }
}

TEST(DecodeToUtf8Test, DecodesAndReplacesWhatDoesNotDecode) {
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/fetch/decoding_cases.tsv")) {
    ASSERT_EQ(row.size(), 3u);
    const auto& [charset, bytes, text] = std::tie(row[0], row[1], row[2]);
    EXPECT_EQ(DecodeToUtf8(bytes, charset), text)
        << charset << " " << ::testing::PrintToString(bytes);
    // The same text without a copy where the bytes hold it as it is.
    const Page page{.bytes = bytes, .charset = charset};
    std::string storage;
    const std::string_view view = page.DecodedText(storage);
    EXPECT_EQ(view, text) << charset << " " << ::testing::PrintToString(bytes);
    EXPECT_EQ(storage.empty(),
              view.data() >= page.bytes.data() &&
                  view.data() + view.size() <= page.bytes.data() + page.bytes.size())
        << charset << " " << ::testing::PrintToString(bytes);
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
    SCOPED_TRACE(charset + " " + ::testing::PrintToString(bytes.substr(0, 40)));
    EXPECT_EQ(page.Contains(marker), found);
    EXPECT_EQ(page.DecodedText().find(marker) != std::string::npos, found);
  }
}

}  // namespace
}  // namespace webletter
