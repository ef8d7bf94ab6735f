// The fuzz targets' in-memory scratch folder: every target trusts it to act
// as a disk would, so a fault here would hide faults of the library or make
// up ones it does not have.
#include "memenv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace quorbel::fuzz {
namespace {

constexpr const char* kRoot = "/quorbel-mem";

// A clock that stands still: a rewrite must show in the stamp even when the
// clock has not moved on, as on a file system with coarse times.
class StillClock : public EnvWrapper {
 public:
  StillClock() : EnvWrapper(Env::Default()) {}
  int64_t FileClockNow() override { return 1'000'000'000; }
};

class MemoryEnvTest : public ::testing::Test {
 protected:
  std::string P(const std::string& rest) { return std::string(kRoot) + rest; }

  // Entries of a folder as "name" or "name/" for folders, the special ones left out.
  std::set<std::string> List(const std::string& folder) {
    std::set<std::string> names;
    auto listing = env_.ListDirectory(folder);
    if (!listing) return {"<null>"};
    for (DirEntry e; listing->Next(&e);) {
      if (e.name == "." || e.name == "..") continue;
      names.insert(e.name + ((e.attributes & attr::kDirectory) ? "/" : ""));
    }
    return names;
  }

  std::string Read(const std::string& path) {
    std::string bytes;
    return env_.ReadWhole(path, &bytes) ? bytes : "<missing>";
  }

  FileStamp Stamp(const std::string& path) {
    FileStamp stamp;
    std::FILE* f = env_.OpenFile(path, "rb");
    EXPECT_NE(f, nullptr) << path;
    if (f == nullptr) return stamp;
    EXPECT_TRUE(env_.StampFile(f, &stamp));
    std::fclose(f);
    return stamp;
  }

  StillClock clock_;
  MemoryEnv env_{&clock_, kRoot};
};

TEST_F(MemoryEnvTest, PathsOutsideTheRootDoNotExist) {
  ASSERT_TRUE(env_.WriteWhole(P("/inside"), "x"));
  for (const std::string& path :
       {std::string("/elsewhere/f"), std::string(kRoot) + "x/f", P("/../f"), P("/a/../../f"),
        std::string("relative/f"), std::string(), std::string(kRoot) + "/../quorbel-mem/inside"}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(env_.WriteWhole(path, "x"));
    EXPECT_EQ(env_.OpenFile(path, "wb"), nullptr);
    EXPECT_FALSE(env_.MakeFolders(path));
    EXPECT_FALSE(env_.FileExists(path));
    EXPECT_FALSE(env_.DirectoryExists(path));
    EXPECT_EQ(env_.ListDirectory(path), nullptr);
    EXPECT_FALSE(env_.RenameFile(P("/inside"), path));
  }
  EXPECT_TRUE(env_.FileExists(P("/inside")));
}

TEST_F(MemoryEnvTest, SpellingsOfOnePathMeetTheSameFile) {
  ASSERT_TRUE(env_.MakeFolders(P("/a/b")));
  ASSERT_TRUE(env_.WriteWhole(P("/a/b/f"), "bytes"));
  for (const std::string& path : {P("/a/b/f"), P("//a/./b//f"), P("/a/b/./f")}) {
    EXPECT_EQ(Read(path), "bytes") << path;
  }
  EXPECT_FALSE(env_.FileExists(P("/a/b/f/")));  // a trailing delimiter names a folder
  EXPECT_TRUE(env_.DirectoryExists(P("/a/b/")));
  EXPECT_FALSE(env_.FileExists(P("/a/b")));
  EXPECT_FALSE(env_.DirectoryExists(P("/a/b/f")));
}

TEST_F(MemoryEnvTest, FoldersAndFilesAreMadeListedMovedAndRemovedAsOnDisk) {
  ASSERT_TRUE(env_.MakeFolders(P("/a/sub")));
  ASSERT_TRUE(env_.WriteWhole(P("/a/f"), "1"));
  ASSERT_TRUE(env_.WriteWhole(P("/a/sub/g"), "2"));
  EXPECT_FALSE(env_.WriteWhole(P("/missing/f"), "x"));  // no parent folder
  EXPECT_FALSE(env_.MakeFolders(P("/a/f/deeper")));     // a file in the way
  EXPECT_EQ(List(P("/a")), (std::set<std::string>{"f", "sub/"}));
  EXPECT_EQ(List(P("/a/f")), std::set<std::string>{"<null>"});

  // A folder moves with everything below it; neither call lands on a name in use.
  ASSERT_TRUE(env_.RenameFile(P("/a"), P("/c")));
  EXPECT_EQ(Read(P("/c/sub/g")), "2");
  EXPECT_FALSE(env_.DirectoryExists(P("/a")));
  ASSERT_TRUE(env_.WriteWhole(P("/c/h"), "3"));
  EXPECT_FALSE(env_.RenameFile(P("/c/f"), P("/c/h")));
  EXPECT_FALSE(env_.RenameFile(P("/c"), P("/c/sub/inside")));  // into itself
  EXPECT_FALSE(env_.RenameFile(P(""), P("/root")));

  struct Replace {
    const char* from;
    const char* to;
    bool done;
  } replaces[] = {
      {"/c/f", "/c/h", true},     // a file over a file
      {"/c/h", "/c/sub", false},  // a file over a folder
      {"/c/sub", "/c/h", false},  // a folder over a file
      {"/c/sub/g", "/c/sub/g", true},
  };
  for (const Replace& r : replaces) {
    EXPECT_EQ(env_.ReplaceFile(P(r.from), P(r.to)), r.done) << r.from << " -> " << r.to;
  }
  EXPECT_EQ(Read(P("/c/h")), "1");
  EXPECT_FALSE(env_.FileExists(P("/c/f")));
  ASSERT_TRUE(env_.MakeFolders(P("/d")));
  EXPECT_FALSE(env_.ReplaceFile(P("/d"), P("/c/sub")));  // over a folder that is not empty
  EXPECT_TRUE(env_.ReplaceFile(P("/c/sub"), P("/d")));   // over an empty one
  EXPECT_EQ(Read(P("/d/g")), "2");

  EXPECT_FALSE(env_.RemoveFile(P("/d")));  // a folder is no file
  EXPECT_TRUE(env_.RemoveFile(P("/d/g")));
  EXPECT_FALSE(env_.RemoveFile(P("/d/g")));
  EXPECT_EQ(List(P("/d")), std::set<std::string>{});
  env_.EmptyFolder(P(""));
  EXPECT_EQ(List(P("")), std::set<std::string>{});
  EXPECT_TRUE(env_.DirectoryExists(P("")));
}

TEST_F(MemoryEnvTest, StreamsReadWriteSeekAndAppendAsStdioDoes) {
  std::FILE* f = env_.OpenFile(P("/f"), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_GE(std::fputs("hello world", f), 0);
  ASSERT_EQ(std::fseek(f, 6, SEEK_SET), 0);
  std::fputs("W", f);
  ASSERT_EQ(std::fseek(f, 3, SEEK_END), 0);  // past the end: the gap reads as zeros
  std::fputs("!", f);
  EXPECT_EQ(std::ftell(f), 15);
  std::fclose(f);
  EXPECT_EQ(Read(P("/f")), std::string("hello World\0\0\0!", 15));
  EXPECT_EQ(env_.FileSize(P("/f")), 15);

  f = env_.OpenFile(P("/f"), "ab");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 0, SEEK_SET);  // appending writes at the end wherever the position is
  std::fputs("+", f);
  std::fclose(f);
  EXPECT_EQ(Read(P("/f")).back(), '+');

  f = env_.OpenFile(P("/f"), "rb");
  ASSERT_NE(f, nullptr);
  std::setvbuf(f, nullptr, _IONBF, 0);  // every read below reaches the tree
  char head[6] = {};
  EXPECT_EQ(std::fread(head, 1, 5, f), 5u);
  EXPECT_STREQ(head, "hello");
  EXPECT_EQ(std::fputc('x', f), EOF);  // read-only
  // A file removed while open stays readable through the stream, as on POSIX.
  ASSERT_TRUE(env_.RemoveFile(P("/f")));
  EXPECT_EQ(std::fgetc(f), ' ');
  std::fclose(f);

  EXPECT_EQ(env_.OpenFile(P("/f"), "rb"), nullptr);
  EXPECT_EQ(env_.OpenFile(P("/none/f"), "wb"), nullptr);
  ASSERT_TRUE(env_.MakeFolders(P("/dir")));
  EXPECT_EQ(env_.OpenFile(P("/dir"), "rb"), nullptr);
  EXPECT_EQ(env_.OpenRegularFile(P("/dir"), nullptr), nullptr);

  ASSERT_TRUE(env_.WriteWhole(P("/g"), "0123456789"));
  int64_t size = 0;
  auto reader = env_.OpenRegularFile(P("/g"), &size);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(size, 10);
  char tail[4] = {};
  EXPECT_EQ(reader->Read(8, 4, tail), 2);
  EXPECT_EQ(std::string(tail, 2), "89");
  EXPECT_EQ(reader->Read(10, 4, tail), 0);
}

TEST_F(MemoryEnvTest, StampsChangeWithEveryRewriteAndOnlyThen) {
  ASSERT_TRUE(env_.WriteWhole(P("/f"), "one"));
  const FileStamp first = Stamp(P("/f"));
  EXPECT_EQ(first.size, 3);
  EXPECT_EQ(Stamp(P("/f")), first);  // reading changes nothing
  ASSERT_TRUE(env_.WriteWhole(P("/f"), "one"));
  EXPECT_EQ(Stamp(P("/f")), first);  // neither do the same bytes handed in again

  // Rewrites of the same size, within one tick of the clock.
  std::vector<FileStamp> seen = {first};
  auto expect_new = [&](const char* how) {
    const FileStamp now = Stamp(P("/f"));
    EXPECT_EQ(now.file, first.file) << how;
    for (const FileStamp& old : seen) EXPECT_NE(now, old) << how;
    seen.push_back(now);
  };
  ASSERT_TRUE(env_.WriteWhole(P("/f"), "two"));
  expect_new("handed in");
  std::FILE* f = env_.OpenFile(P("/f"), "wb");
  std::fputs("six", f);
  std::fclose(f);
  expect_new("written through a stream");
  f = env_.OpenFile(P("/f"), "r+b");
  std::fputc('S', f);
  std::fclose(f);
  expect_new("changed in place");

  // A file made anew under the name is another file.
  ASSERT_TRUE(env_.WriteWhole(P("/g"), "six"));
  ASSERT_TRUE(env_.ReplaceFile(P("/g"), P("/f")));
  EXPECT_NE(Stamp(P("/f")).file, first.file);
}

}  // namespace
}  // namespace quorbel::fuzz
