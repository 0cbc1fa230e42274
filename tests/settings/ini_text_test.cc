#include "settings/ini_text.h"

#include <string>

#include "gtest/gtest.h"
#include "support/case_rows.h"

namespace webletter::ini_text {
namespace {

// Each file is also fed in small pieces: lines and CR LF pairs split between two pieces must
// read as if whole.
TEST(ReadTest, FindsTheValueWholeAndInPieces) {
  for (const auto& [name, section, key, expected, text] :
       testing::CaseRows<5>("settings/ini_read_cases.tsv")) {
    EXPECT_EQ(FindValue(text, section, key), expected) << name;
    for (std::size_t piece = 1; piece <= 3; ++piece) {
      ValueFinder finder(section, key);
      for (std::size_t at = 0; at < text.size(); at += piece) {
        if (finder.Take(std::string_view(text).substr(at, piece))) break;
      }
      EXPECT_EQ(finder.Finish(), expected) << name << ", pieces of " << piece;
    }
  }
}

TEST(WriteTest, ChangesOnlyWhatItMust) {
  for (const auto& [name, section, key, value, before, after] :
       testing::CaseRows<6>("settings/ini_write_cases.tsv")) {
    EXPECT_EQ(WithValue(before, section, key, value), after) << name;
  }
  for (const char* key : {"", "  ", "a=b", "[x", " ; x"}) {
    EXPECT_EQ(WithValue("[s]\nk=1\n", "s", key, "v"), std::nullopt) << "key " << key;
  }
}

}  // namespace
}  // namespace webletter::ini_text
