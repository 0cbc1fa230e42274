#include "settings/ini_text.h"

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace webletter::ini_text {
namespace {

using namespace std::string_literals;

std::string Repeat(std::string_view piece, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece;
  return text;
}

struct ReadCase {
  const char* name;
  std::string text;
  std::string section;
  std::string key;
  std::string expected;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

class ReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadTest, FindsTheValue) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(FindValue(c.text, c.section, c.key), c.expected);
}

// Feeding the bytes in small pieces must not change the answer: lines and CR LF pairs that
// are split between two pieces are joined again.
TEST_P(ReadTest, GivesTheSameAnswerWhenTheBytesArriveInPieces) {
  const ReadCase& c = GetParam();
  for (std::size_t piece = 1; piece <= 4; ++piece) {
    ValueFinder finder(c.section, c.key);
    for (std::size_t at = 0; at < c.text.size(); at += piece) {
      if (finder.Take(std::string_view(c.text).substr(at, piece))) break;
    }
    EXPECT_EQ(finder.Finish(), c.expected) << "pieces of " << piece;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ReadTest,
    ::testing::Values(
        ReadCase{"NamesIgnoreCase", "[DEFAULT]\nUrl=x\n", "default", "uRL", "x"},
        ReadCase{"CaseFoldingIsAsciiOnly", "[\xC3\x84rger]\nk=1\n", "\xC3\xA4rger", "k", ""},
        ReadCase{"NonAsciiNamesMatchExactly", "[\xC3\x84rger]\nk=1\n", "\xC3\x84RGER", "K", "1"},
        ReadCase{"BlanksAroundNamesAndValues", "  [ Default ]  \n \t URL\t =  x  y \t\n", "Default",
                 "URL", "x  y"},
        ReadCase{"RequestedNamesAreTrimmed", "[s]\nk=1\n", "  s ", "\tk ", "1"},
        ReadCase{"CrLf", "[s]\r\nk=1\r\nj=2\r\n", "s", "j", "2"},
        ReadCase{"LoneCr", "[s]\rk=1\rj=2\r", "s", "j", "2"},
        ReadCase{"NoFinalLineBreak", "[s]\nk=last", "s", "k", "last"},
        ReadCase{"ByteOrderMark", "\xEF\xBB\xBF[s]\nk=1\n", "s", "k", "1"},
        ReadCase{"QuotesRemoved", "[s]\nk= \"  padded \" \n", "s", "k", "  padded "},
        ReadCase{"OnlyOnePairOfQuotes", "[s]\nk=\"\"q\"\"\n", "s", "k", "\"q\""},
        ReadCase{"OuterQuotesOnly", "[s]\nk=\"a\" or \"b\"\n", "s", "k", "a\" or \"b"},
        ReadCase{"UnmatchedQuoteKept", "[s]\nk=\"open\n", "s", "k", "\"open"},
        ReadCase{"LoneQuoteKept", "[s]\nk=\"\n", "s", "k", "\""},
        ReadCase{"EmptyQuotes", "[s]\nk=\"\"\n", "s", "k", ""},
        ReadCase{"CommentLine", "[s]\n;k=1\n  ; k=2\nk=3\n", "s", "k", "3"},
        ReadCase{"SemicolonInValueKept", "[s]\nk=1 ; note\n", "s", "k", "1 ; note"},
        ReadCase{"EqualsInValueKept", "[s]\nk==a=b\n", "s", "k", "=a=b"},
        ReadCase{"BlanksInsideKeyName", "[s]\nmy  key = 1\n", "s", "MY  KEY", "1"},
        ReadCase{"EmptyValue", "[s]\nk=\nk=2\n", "s", "k", ""},
        ReadCase{"FirstKeyWins", "[s]\nk=1\nk=2\n", "s", "k", "1"},
        ReadCase{"FirstSectionWins", "[s]\na=1\n[S]\nb=2\n", "s", "b", ""},
        ReadCase{"SectionEndsAtNextSection", "[a]\n[b]\nk=1\n", "a", "k", ""},
        ReadCase{"KeysBeforeAnySectionBelongToNone", "k=1\n[s]\n", "s", "k", ""},
        ReadCase{"MissingSection", "[a]\nk=1\n", "b", "k", ""},
        ReadCase{"MissingKey", "[a]\nk=1\n", "a", "j", ""},
        ReadCase{"EmptyKeyNeverMatches", "[a]\n=1\n", "a", "", ""},
        ReadCase{"LineWithoutEqualsIgnored", "[a]\nk\nk=1\n", "a", "k", "1"},
        ReadCase{"SectionNameRunsToLastBracket", "[a]b=c] ; x\nk=1\n", "a]b=c", "k", "1"},
        ReadCase{"SectionNameIsNotCutAtFirstBracket", "[a]b]\nk=1\n", "a", "k", ""},
        ReadCase{"EmptySectionName", "[]\nk=1\n", "", "k", "1"},
        ReadCase{"UnclosedSectionMatchesNothing", "[abc\nk=1\n", "abc", "k", ""},
        ReadCase{"UnclosedSectionEndsThePreviousOne", "[s]\nk=1\n[abc\nj=2\n", "s", "j", ""},
        ReadCase{"KeyAboveUnclosedSectionStillReads", "[s]\nk=1\n[abc", "s", "k", "1"},
        ReadCase{"EmptyFile", "", "s", "k", ""},
        ReadCase{"BinaryJunk", "\x00[s]\x00\n\xFF\xFE=\x01\nk=1\n"s, "s", "k", ""},
        ReadCase{"NulInValueKept",
                 "[s]\nk=a\x00"
                 "b\n"s,
                 "s", "k",
                 "a\x00"
                 "b"s},
        ReadCase{"InvalidUtf8Kept", "[s]\nk=\xFF\xC3(\xED\xA0\x80\n", "s", "k",
                 "\xFF\xC3(\xED\xA0\x80"}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

struct CutCase {
  const char* name;
  std::string value;
  std::string expected;
};

void PrintTo(const CutCase& c, std::ostream* out) { *out << c.name; }

class CutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutTest, LongValuesReadAsTheirFirst254Characters) {
  const CutCase& c = GetParam();
  EXPECT_EQ(FindValue("[s]\nk=" + c.value + "\n", "s", "k"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, CutTest,
    ::testing::Values(
        CutCase{"Ascii254", Repeat("a", 254), Repeat("a", 254)},
        CutCase{"Ascii300", Repeat("a", 300), Repeat("a", 254)},
        CutCase{"Quoted300", "\"" + Repeat("a", 300) + "\"", Repeat("a", 254)},
        CutCase{"TwoByteAtTheEdge", Repeat("a", 253) + "\xC3\xA9x", Repeat("a", 253) + "\xC3\xA9"},
        CutCase{"TwoByte", Repeat("\xC3\xA9", 300), Repeat("\xC3\xA9", 254)},
        CutCase{"ThreeByte", Repeat("\xE2\x82\xAC", 300), Repeat("\xE2\x82\xAC", 254)},
        CutCase{"FourByteAtTheEdge",
                Repeat("a", 253) + "\xF0\x9F\x98\x80"
                                   "b",
                Repeat("a", 253) + "\xF0\x9F\x98\x80"},
        CutCase{"InvalidBytesCountOneEach", Repeat("\xFF", 300), Repeat("\xFF", 254)},
        CutCase{"TruncatedSequenceIsTwoCharacters",
                Repeat("a", 252) + "\xE2\x82"
                                   "xyz",
                Repeat("a", 252) + "\xE2\x82"},
        CutCase{"OverlongFormIsTwoCharacters", Repeat("a", 253) + "\xC0\x80",
                Repeat("a", 253) + "\xC0"},
        CutCase{"SurrogateIsThreeCharacters", Repeat("a", 252) + "\xED\xA0\x80",
                Repeat("a", 252) + "\xED\xA0"},
        CutCase{"BeyondUnicodeIsFourCharacters", Repeat("a", 252) + "\xF4\x90\x80\x80",
                Repeat("a", 252) + "\xF4\x90"}),
    [](const ::testing::TestParamInfo<CutCase>& info) { return info.param.name; });

struct WriteCase {
  const char* name;
  std::string before;
  std::string section;
  std::string key;
  std::string value;
  std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* out) { *out << c.name; }

class WriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteTest, ChangesOnlyWhatItMust) {
  const WriteCase& c = GetParam();
  std::optional<std::string> after = WithValue(c.before, c.section, c.key, c.value);
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(*after, c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, WriteTest,
    ::testing::Values(
        WriteCase{"ReplacesInPlace", "; top\r\n[Default]\r\nURL = old  \r\n\r\nTo=x\r\n[b]\r\n",
                  "default", "url", "new",
                  "; top\r\n[Default]\r\nURL = new\r\n\r\nTo=x\r\n[b]\r\n"},
        WriteCase{"ReplacesAnEmptyValue", "[s]\nk=\nj=1", "s", "k", "v", "[s]\nk=v\nj=1"},
        WriteCase{"ReplacesOnlyTheFirstKey", "[s]\nk=1\nk=2\n", "s", "k", "9", "[s]\nk=9\nk=2\n"},
        WriteCase{"ReplacesInTheFirstSection", "[s]\nk=1\n[S]\nk=2\n", "S", "k", "9",
                  "[s]\nk=9\n[S]\nk=2\n"},
        WriteCase{"AddsKeyAfterLastLineOfSection", "[a]\nk=1\n\n; about b\n[b]\nk=2\n", "a", "n",
                  "3", "[a]\nk=1\nn=3\n\n; about b\n[b]\nk=2\n"},
        WriteCase{"AddsKeyWithTheFilesCrLf", "[a]\r\nk=1\r\n", "a", "n", "3",
                  "[a]\r\nk=1\r\nn=3\r\n"},
        WriteCase{"AddsKeyWithTheFilesLoneCr", "[a]\rk=1\r", "a", "n", "3", "[a]\rk=1\rn=3\r"},
        WriteCase{"AddsKeyToEmptySection", "[a]\n[b]\n", "a", "n", "3", "[a]\nn=3\n[b]\n"},
        WriteCase{"AddsKeyAfterSectionLineWithoutBreak", "[a]", "a", "n", "3", "[a]\nn=3"},
        WriteCase{"AddsKeyAfterLastLineWithoutBreak", "[a]\r\nk=1", "a", "n", "3",
                  "[a]\r\nk=1\r\nn=3"},
        WriteCase{"AddsSectionAtTheEnd", "[a]\nk=1\n\n", "b", "n", "3", "[a]\nk=1\n\n[b]\nn=3\n"},
        WriteCase{"AddsSectionAfterMissingFinalBreak", "[a]\r\nk=1", "b", "n", "3",
                  "[a]\r\nk=1\r\n[b]\r\nn=3\r\n"},
        WriteCase{"StartsAnEmptyFile", "", "b", "n", "3", "[b]\nn=3\n"},
        WriteCase{"UnclosedSectionIsNotTheSection", "[s\nk=1\n", "s", "k", "9",
                  "[s\nk=1\n[s]\nk=9\n"},
        WriteCase{"KeepsByteOrderMark", "\xEF\xBB\xBF[s]\nk=1\n", "s", "k", "2",
                  "\xEF\xBB\xBF[s]\nk=2\n"},
        WriteCase{"SectionNameWithBracketAndEquals", "", "a]b=c", "k", "v", "[a]b=c]\nk=v\n"},
        WriteCase{"LineBreaksInValueBecomeBlanks", "[s]\nk=1\n", "s", "k", "a\r\n[evil]\nx=1",
                  "[s]\nk=a  [evil] x=1\n"},
        WriteCase{"LineBreaksInNamesBecomeBlanks", "", "a\nb", "k\r\nx", "v", "[a b]\nk  x=v\n"},
        WriteCase{"QuotesLeadingBlanks", "", "s", "k", "  v", "[s]\nk=\"  v\"\n"},
        WriteCase{"QuotesTrailingTab", "", "s", "k", "v\t", "[s]\nk=\"v\t\"\n"},
        WriteCase{"QuotesQuotedValue", "", "s", "k", "\"v\"", "[s]\nk=\"\"v\"\"\n"},
        WriteCase{"QuotesBreakAtTheEnd", "", "s", "k", "v\n", "[s]\nk=\"v \"\n"},
        WriteCase{"LeavesHalfQuotedValue", "", "s", "k", "\"v", "[s]\nk=\"v\n"},
        WriteCase{"LongValueWrittenWhole", "", "s", "k", Repeat("x", 400),
                  "[s]\nk=" + Repeat("x", 400) + "\n"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST(WriteTest, RefusesKeysThatCannotReadBack) {
  for (const char* key : {"", "  ", "a=b", "[x", ";x", " ; x"}) {
    EXPECT_FALSE(WithValue("[s]\nk=1\n", "s", key, "v").has_value()) << key;
  }
}

// Any value written reads back as written, line breaks as blanks, cut to 254 characters.
TEST(RoundTripTest, AwkwardValuesReadBackAsWritten) {
  const std::string file =
      "; settings\r\n[Default]\r\nURL=http://a.example\r\n\r\n[Job]\r\nk=1\r\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {" ", " "},
      {"  lead", "  lead"},
      {"trail\t", "trail\t"},
      {"\"q\"", "\"q\""},
      {"\"", "\""},
      {"\"\"", "\"\""},
      {"a=b", "a=b"},
      {"; not a comment", "; not a comment"},
      {"[Default]", "[Default]"},
      {"\xC3\xA9 \xF0\x9F\x98\x80", "\xC3\xA9 \xF0\x9F\x98\x80"},
      {"\xFF\xFE", "\xFF\xFE"},
      {"nul\0byte"s, "nul\0byte"s},
      {"line\r\nbreak\r", "line  break "},
      {Repeat("\xE2\x82\xAC", 300), Repeat("\xE2\x82\xAC", 254)},
  };
  for (const auto& [value, expected] : cases) {
    for (const char* section : {"default", "JOB", "new"}) {
      std::optional<std::string> after = WithValue(file, section, "Subject", value);
      ASSERT_TRUE(after.has_value());
      EXPECT_EQ(FindValue(*after, section, "subject"), expected) << section << ": " << value;
      EXPECT_EQ(FindValue(*after, "Default", "URL"), "http://a.example");
      EXPECT_EQ(FindValue(*after, "Job", "k"), "1");
    }
  }
}

// Random files made of the layout's awkward pieces: a write makes its key read back as written
// and leaves every other key's value as it was.
TEST(RoundTripTest, RandomFilesKeepEveryOtherValue) {
  const std::vector<std::string> pieces = {
      "[s]", "[S]", "[t]", "[a]b]", "[",  "]",    "k", "K",        "j",    "=",           "\"",
      " ",   "\t",  ";",   "\r",    "\n", "\r\n", "v", "\xC3\xA9", "\xFF", "\xEF\xBB\xBF"};
  const std::vector<std::string> sections = {"s", "t", "a]b", "u"};
  const std::vector<std::string> keys = {"k", "j"};
  std::mt19937 random(20240611);
  auto text_of = [&](int max_pieces) {
    std::string text;
    int count = std::uniform_int_distribution<int>(0, max_pieces)(random);
    for (int i = 0; i < count; ++i) {
      text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
    }
    return text;
  };
  auto pick = [&](const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
  };
  for (int round = 0; round < 20000; ++round) {
    std::string before = text_of(40);
    std::string section = pick(sections);
    std::string key = pick(keys);
    std::string value = text_of(6);
    std::optional<std::string> after = WithValue(before, section, key, value);
    ASSERT_TRUE(after.has_value());
    std::string expected = value;
    for (char& c : expected) c = (c == '\r' || c == '\n') ? ' ' : c;
    ASSERT_EQ(FindValue(*after, section, key), expected) << "file: " << before;
    for (const std::string& other_section : sections) {
      for (const std::string& other_key : keys) {
        if (other_section == section && other_key == key) continue;
        ASSERT_EQ(FindValue(*after, other_section, other_key),
                  FindValue(before, other_section, other_key))
            << "file: " << before << " write: " << section << "/" << key;
      }
    }
  }
}

}  // namespace
}  // namespace webletter::ini_text
