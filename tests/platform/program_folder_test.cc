#include "platform/program_folder.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

#include "gtest/gtest.h"

namespace webletter {
namespace {

TEST(ProgramFolderTest, FolderEndsInExactlyOneSlash) {
  struct Case {
    std::string_view folder;
    std::string_view normalised;
  };
  const Case cases[] = {
      {"/opt/webletter", "/opt/webletter/"},     {"/opt/webletter/", "/opt/webletter/"},
      {"/opt/webletter//", "/opt/webletter/"},   {"/", "/"},
      {"/opt/with blank ", "/opt/with blank /"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormaliseFolder(c.folder), c.normalised);
}

TEST(ProgramFolderTest, IsTheFolderOfThisExecutable) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(folder + "platform_tests"));
}

}  // namespace
}  // namespace webletter
