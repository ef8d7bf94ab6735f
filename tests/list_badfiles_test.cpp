// Bad file names: the double-blank test, the entries, the renames made by
// the generation run, and the two commands that serve the list.
#include "list_format.h"
#include "support/generate_tree.h"

namespace quorbel::test {
namespace {

TEST(BadNameTest, OnlyTwoSpacesInARowMakeANameBad) {
  struct Case {
    std::string line;
    bool bad;
  } cases[] = {
      {"a  b.mp3", true},
      {"a b.mp3", false},
      {"a" + Nbsp(2) + "b.mp3", false},
      {"a " + Nbsp(1) + " b.mp3", false},
      {"My  Music" + std::string(1, kPathDelim) + "a.mp3", true},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(listformat::HasDoubleBlank(c.line), c.bad) << c.line;
}

TEST(BadNameTest, EntryReplacesPairsOfBlanksFromTheLeft) {
  struct Case {
    std::string path;
    std::string entry;
  } cases[] = {
      {"C:\\Music\\a  b.mp3", "C:\\Music\\a" + Nbsp(2) + "b.mp3"},
      {"a   b", "a" + Nbsp(2) + " b"},
      {"a    b", "a" + Nbsp(4) + "b"},
      {"x  y  z", "x" + Nbsp(2) + "y" + Nbsp(2) + "z"},
      {"no blanks", "no blanks"},
  };
  for (const Case& c : cases) EXPECT_EQ(listformat::BadFileEntry(c.path), c.entry) << c.path;
}

class BadListCommandTest : public EngineTest {};

TEST_F(BadListCommandTest, EmptyList) {
  EXPECT_EQ(Call(ZOQ_BadListCount), "201 OK-DATA __ZOQ_BadListCount__ -1");
  EXPECT_EQ(Call(ZOQ_BadListGet, "0"), "513 Out of bounds __ZOQ_BadListGet__");
}

TEST_F(BadListCommandTest, IndexesConversionAndBounds) {
  engine().fbadfiles = {"first", "sec" + Nbsp(2) + "ond", "third"};
  EXPECT_EQ(Call(ZOQ_BadListCount), "201 OK-DATA __ZOQ_BadListCount__ 2");
  struct Case {
    const char* argument;
    std::string reply;
  } cases[] = {
      {"0", "201 OK-DATA __ZOQ_BadListGet__ first"},
      {"1", "201 OK-DATA __ZOQ_BadListGet__ sec" + Nbsp(2) + "ond"},
      {"2", "201 OK-DATA __ZOQ_BadListGet__ third"},
      {"3", "513 Out of bounds __ZOQ_BadListGet__"},
      {"-1", "513 Out of bounds __ZOQ_BadListGet__"},
      {"abc", "504 Unknown argument __ZOQ_BadListGet__"},
      {"1.5", "504 Unknown argument __ZOQ_BadListGet__"},
      {"", "504 Unknown argument __ZOQ_BadListGet__"},
  };
  for (const Case& c : cases) EXPECT_EQ(Call(ZOQ_BadListGet, c.argument), c.reply) << c.argument;
}

// --- renames during a run -----------------------------------------------------------

struct RenameCase {
  const char* name;
  std::vector<std::string> dirs;     // made before the run, '/' separated
  std::vector<std::string> files;    // each holds its own name as content
  bool rename;
  std::vector<std::string> entries;  // relative to the music folder, blanks as listed
  std::vector<std::string> present;  // after the run
  std::vector<std::string> absent;
};

class BadFileRunTest : public GenerateTest, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(BadFileRunTest, RecordsAndRenamesWithoutOverwriting) {
  const RenameCase& c = GetParam();
  for (const std::string& dir : c.dirs) MakeDir(MusicFile(dir));
  for (const std::string& file : c.files) WriteFile(MusicFile(file), file);
  IniSettings ini;
  ini.method = "s";
  Configure(ini);
  ASSERT_EQ(Call(ZOQ_SetAutoRenameBadFiles, c.rename ? "1" : "0"),
            "200 OK __ZOQ_SetAutoRenameBadFiles__");
  ASSERT_EQ(Generate(), "200 OK __ZOQ_StartGenerate__");

  std::vector<std::string> expected;
  for (const std::string& entry : c.entries) expected.push_back(listformat::BadFileEntry(MusicFile(entry)));
  EXPECT_EQ(engine().fbadfiles, expected);
  for (const std::string& file : c.present) {
    EXPECT_TRUE(Exists(MusicFile(file))) << file;
  }
  for (const std::string& file : c.absent) EXPECT_FALSE(Exists(MusicFile(file))) << file;
  // A file that kept or took a name still holds its own content.
  for (const std::string& file : c.files) {
    if (Exists(MusicFile(file))) {
      EXPECT_EQ(ReadFile(MusicFile(file)), file);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadFileRunTest,
    ::testing::Values(
        RenameCase{"FreeName", {}, {"a  b.mp3"}, true, {"a  b.mp3"}, {"a b.mp3"}, {"a  b.mp3"}},
        RenameCase{"ThreeBlanks", {}, {"a   b.mp3"}, true, {"a   b.mp3"}, {"a b.mp3"}, {"a   b.mp3"}},
        RenameCase{"TakenNameIsNeverOverwritten",
                   {},
                   {"a  b.mp3", "a b.mp3"},
                   true,
                   {"a  b.mp3"},
                   {"a  b.mp3", "a b.mp3"},
                   {}},
        RenameCase{"RenamingOff", {}, {"a  b.mp3"}, false, {"a  b.mp3"}, {"a  b.mp3"}, {"a b.mp3"}},
        RenameCase{"SqueezedFolderMissing",
                   {"My  Music"},
                   {"My  Music/s.mp3"},
                   true,
                   {"My  Music/s.mp3"},
                   {"My  Music/s.mp3"},
                   {"My Music/s.mp3"}},
        RenameCase{"SqueezedFolderExists",
                   {"My  Music", "My Music"},
                   {"My  Music/s.mp3"},
                   true,
                   {"My  Music/s.mp3"},
                   {"My Music/s.mp3"},
                   {"My  Music/s.mp3"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorbel::test
