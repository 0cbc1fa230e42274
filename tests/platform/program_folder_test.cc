#include "platform/program_folder.h"

#include <filesystem>

#include "gtest/gtest.h"

namespace webletter {
namespace {

TEST(ProgramFolderTest, IsTheFolderOfThisExecutableEndingInOneSlash) {
  EXPECT_EQ(NormaliseFolder("/opt/webletter"), "/opt/webletter/");
  EXPECT_EQ(NormaliseFolder("/opt/with blank //"), "/opt/with blank /");
  EXPECT_EQ(NormaliseFolder("/"), "/");
  const std::string folder = ProgramFolder();
  ASSERT_TRUE(folder.ends_with("/"));
  EXPECT_TRUE(std::filesystem::exists(folder + "platform_tests"));
}

}  // namespace
}  // namespace webletter
