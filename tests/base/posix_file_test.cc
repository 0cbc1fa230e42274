#include "base/posix_file.h"

#include "gtest/gtest.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

// A file of exactly `limit` bytes is read whole, one byte more is too large; a file that cannot
// be opened fails with the standard message of its errno.
TEST(ReadWholeFileTest, ReadsUpToTheLimit) {
  const testing::TempDir dir;
  dir.Write("page", "12345");
  EXPECT_EQ(ReadWholeFile(dir.File("page"), 5).value(), "12345");
  EXPECT_EQ(ReadWholeFile(dir.File("page"), 4).status().message(), "The file is too large to read");
  EXPECT_EQ(ReadWholeFile(dir.File("none"), 5).status().message(), "File not found");
}

}  // namespace
}  // namespace webletter
