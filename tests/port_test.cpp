// The compile-time facts of the target system stay behind src/platform/:
// no other source of the library asks which system it is built for.
#include <filesystem>

#include "support/test_support.h"

namespace quorbel::test {

TEST(PortTest, OnlyThePlatformFolderAsksWhichSystemItIsBuiltFor) {
  namespace fs = std::filesystem;
  const fs::path src = fs::path(QUORBEL_SOURCE_DIR) / "src";
  const fs::path platform = src / "platform";
  int sources = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(src)) {
    const fs::path& path = entry.path();
    if (path.extension() != ".cpp" && path.extension() != ".h") continue;
    ++sources;
    if (path.parent_path() == platform) continue;
    EXPECT_EQ(ReadFile(path.string()).find("_WIN32"), std::string::npos) << path.string();
  }
  EXPECT_GT(sources, 0);
}

}  // namespace quorbel::test
