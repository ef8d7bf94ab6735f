// The plug-in's small files are replaced whole, with nothing left behind.
#include "replace_file.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace serve {
namespace {

TEST(ReplaceFileTest, ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
  char folder[] = "/tmp/quorbel-hits-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/hits.hdt";
  std::ofstream(path) << "old";
  EXPECT_EQ(ReplaceFile(folder, "hits.hdt", "a.mp3 1\r\n"), "");
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "a.mp3 1\r\n");
  EXPECT_NE(ReplaceFile(std::string(folder) + "/none", "hits.hdt", "x"), "");
  EXPECT_EQ(unlink(path.c_str()), 0);
  EXPECT_EQ(rmdir(folder), 0);  // empty: no temporary file was left
}

}  // namespace
}  // namespace serve
