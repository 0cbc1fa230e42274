#include "settings/ini_text.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace webletter::ini_text {
namespace {

using namespace std::string_literals;

struct ReadCase {
  const char* name;
  std::string text;
  std::string section;
  std::string key;
  std::string expected;
};

// Each file is also fed in small pieces: lines and CR LF pairs split between two pieces must
// read as if whole.
TEST(ReadTest, FindsTheValueWholeAndInPieces) {
  const std::vector<ReadCase> cases = {
      {"names ignore case", "[DEFAULT]\nUrl=x\n", "default", "uRL", "x"},
      {"names fold every letter's case",
       "[caf\xC3\xA9]\nStra\xC3\x9F"
       "e=1\n",
       "CAF\xC3\x89", "STRASSE", "1"},
      {"a name that is not UTF-8 folds A to Z", "[\xE9T\xE9]\nk=1\n", "\xE9t\xE9", "K", "1"},
      {"and no other letter", "[\xC9]\nk=1\n", "\xE9", "k", ""},
      {"blanks around names and values", "  [ Default ]  \n \t URL\t =  x  y \t\n", "Default",
       "URL", "x  y"},
      {"CR LF", "[s]\r\nk=1\r\nj=2\r\n", "s", "j", "2"},
      {"lone CR", "[s]\rk=1\rj=2\r", "s", "j", "2"},
      {"no final line break", "[s]\nk=last", "s", "k", "last"},
      {"byte order mark", "\xEF\xBB\xBF[s]\nk=1\n", "s", "k", "1"},
      {"quotes removed", "[s]\nk= \"  padded \" \n", "s", "k", "  padded "},
      {"one pair of quotes only", "[s]\nk=\"\"q\"\"\n", "s", "k", "\"q\""},
      {"lone quote kept", "[s]\nk=\"\n", "s", "k", "\""},
      {"comment lines", "[s]\n;k=1\n  ; k=2\nk=3\n", "s", "k", "3"},
      {"semicolon in value kept", "[s]\nk=1 ; note\n", "s", "k", "1 ; note"},
      {"equals in value kept", "[s]\nk==a=b\n", "s", "k", "=a=b"},
      {"first key wins, even empty", "[s]\nk=\nk=2\n", "s", "k", ""},
      {"first section wins", "[s]\na=1\n[S]\nb=2\n", "s", "b", ""},
      {"section ends at the next", "[a]\n[b]\nk=1\n", "a", "k", ""},
      {"section name runs to last ]", "[a]b=c] ; x\nk=1\n", "a]b=c", "k", "1"},
      {"unclosed section matches nothing", "[abc\nk=1\n", "abc", "k", ""},
      {"unclosed section ends the previous", "[s]\nk=1\n[abc\nj=2\n", "s", "j", ""},
      {"empty file", "", "s", "k", ""},
      {"binary junk", "\x00[s]\x00\n\xFF\xFE=\x01\nk=1\n"s, "s", "k", ""},
      {"invalid UTF-8 kept", "[s]\nk=\xFF\xC3(\xED\xA0\x80\n", "s", "k", "\xFF\xC3(\xED\xA0\x80"},
  };
  for (const ReadCase& c : cases) {
    EXPECT_EQ(FindValue(c.text, c.section, c.key), c.expected) << c.name;
    for (std::size_t piece = 1; piece <= 3; ++piece) {
      ValueFinder finder(c.section, c.key);
      for (std::size_t at = 0; at < c.text.size(); at += piece) {
        if (finder.Take(std::string_view(c.text).substr(at, piece))) break;
      }
      EXPECT_EQ(finder.Finish(), c.expected) << c.name << ", pieces of " << piece;
    }
  }
}

// A value is read whole, however long, in a file of LF or CR LF lines.
TEST(ReadTest, LongValuesReadWhole) {
  const std::string value = std::string(300, 'a') + "\xC3\xA9" + std::string(70000, '\xFF');
  for (const char* line_break : {"\n", "\r\n"}) {
    EXPECT_EQ(FindValue("[s]\nk=" + value + line_break + "j=x\n", "s", "k"), value);
    EXPECT_EQ(FindValue("[s]\nk=\"" + value + "\"" + line_break, "s", "k"), value);
  }
}

struct WriteCase {
  const char* name;
  std::string before;
  std::string section;
  std::string key;
  std::string value;
  std::string after;
};

TEST(WriteTest, ChangesOnlyWhatItMust) {
  const std::vector<WriteCase> cases = {
      {"replaces in place", "; top\r\n[Default]\r\nURL = old  \r\n\r\nTo=x\r\n[b]\r\n", "default",
       "url", "new", "; top\r\n[Default]\r\nURL = new\r\n\r\nTo=x\r\n[b]\r\n"},
      {"replaces the first key only", "\xEF\xBB\xBF[s]\nk=1\nk=2\n", "s", "k", "9",
       "\xEF\xBB\xBF[s]\nk=9\nk=2\n"},
      {"adds a key after the section's last line", "[a]\nk=1\n\n; about b\n[b]\nk=2\n", "a", "n",
       "3", "[a]\nk=1\nn=3\n\n; about b\n[b]\nk=2\n"},
      {"adds a key with the file's CR LF", "[a]\r\nk=1\r\n", "a", "n", "3",
       "[a]\r\nk=1\r\nn=3\r\n"},
      {"adds a key to an empty section", "[a]\n[b]\n", "a", "n", "3", "[a]\nn=3\n[b]\n"},
      {"adds a section at the end", "[a]\nk=1\n\n", "b", "n", "3", "[a]\nk=1\n\n[b]\nn=3\n"},
      {"adds a section after a missing final break", "[a]\r\nk=1", "b", "n", "3",
       "[a]\r\nk=1\r\n[b]\r\nn=3\r\n"},
      {"starts an empty file", "", "b", "n", "3", "[b]\nn=3\n"},
      {"line breaks in the value become blanks", "[s]\nk=1\n", "s", "k", "a\r\n[evil]\nx=1",
       "[s]\nk=a  [evil] x=1\n"},
      {"leading blanks are quoted", "", "s", "k", "  v", "[s]\nk=\"  v\"\n"},
  };
  for (const WriteCase& c : cases) {
    EXPECT_EQ(WithValue(c.before, c.section, c.key, c.value), c.after) << c.name;
  }
  for (const char* key : {"", "  ", "a=b", "[x", " ; x"}) {
    EXPECT_EQ(WithValue("[s]\nk=1\n", "s", key, "v"), std::nullopt) << "key " << key;
  }
}

}  // namespace
}  // namespace webletter::ini_text
