// The setting and status commands.
#include "support/test_support.h"

namespace quorbel::test {

class SettingsTest : public EngineTest {};

TEST_F(SettingsTest, DefaultsAfterLoad) {
  TZOQ_Quorbel& e = engine();
  EXPECT_TRUE(e.fcompress);
  EXPECT_TRUE(e.frenamebadfiles);
  EXPECT_FALSE(e.fread);
  EXPECT_EQ(e.fstandardfile, "(artist_name)-title_of_song.mp3");
  EXPECT_EQ(e.fcount, 0);
  EXPECT_EQ(e.fActFile, 0);
  EXPECT_EQ(e.form1, nullptr);
  EXPECT_NE(e.fZipMaster1, nullptr);
}

struct KeywordCase {
  QuorbelCommand command;
  const char* argument;
  const char* reply;
};

class KeywordTest : public SettingsTest, public ::testing::WithParamInterface<KeywordCase> {};

TEST_P(KeywordTest, AnswersExactly) {
  EXPECT_EQ(Call(GetParam().command, GetParam().argument), GetParam().reply);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, KeywordTest,
    ::testing::Values(
        KeywordCase{ZOQ_SetCompress, "1", "200 OK __ZOQ_SetCompress__ Compress"},
        KeywordCase{ZOQ_SetCompress, "0", "200 OK __ZOQ_SetCompress__ Do not compress"},
        KeywordCase{ZOQ_SetCompress, "true", "504 Unknown argument __ZOQ_SetCompress__"},
        KeywordCase{ZOQ_SetCompress, " 1", "504 Unknown argument __ZOQ_SetCompress__"},
        KeywordCase{ZOQ_SetCompress, "", "504 Unknown argument __ZOQ_SetCompress__"},
        KeywordCase{ZOQ_SetAutoRenameBadFiles, "1", "200 OK __ZOQ_SetAutoRenameBadFiles__"},
        KeywordCase{ZOQ_SetAutoRenameBadFiles, "0", "200 OK __ZOQ_SetAutoRenameBadFiles__"},
        KeywordCase{ZOQ_SetAutoRenameBadFiles, "1 ", "504 Unknown argument __ZOQ_SetAutoRenameBadFiles__"},
        KeywordCase{ZOQ_Status, "Files", "201 OK-DATA __ZOQ_Status__ 0"},
        KeywordCase{ZOQ_Status, "ActFile", "201 OK-DATA __ZOQ_Status__ 0"},
        KeywordCase{ZOQ_Status, "files", "504 Unknown argument __ZOQ_Status__"},
        KeywordCase{ZOQ_Status, "Files ", "504 Unknown argument __ZOQ_Status__"},
        KeywordCase{ZOQ_StopGenerate, "", "200 OK __ZOQ_StopGenerate__"},
        KeywordCase{ZOQ_Show, "", "200 OK __ZOQ_Show__"},
        KeywordCase{ZOQ_Hide, "", "200 OK __ZOQ_Hide__"}));

TEST_F(SettingsTest, FlagsFollowTheirCommands) {
  Call(ZOQ_SetCompress, "0");
  Call(ZOQ_SetAutoRenameBadFiles, "0");
  EXPECT_FALSE(engine().fcompress);
  EXPECT_FALSE(engine().frenamebadfiles);
  Call(ZOQ_SetCompress, "yes");  // refused: nothing changes
  EXPECT_FALSE(engine().fcompress);
  Call(ZOQ_SetCompress, "1");
  Call(ZOQ_SetAutoRenameBadFiles, "1");
  EXPECT_TRUE(engine().fcompress);
  EXPECT_TRUE(engine().frenamebadfiles);
}

TEST_F(SettingsTest, StatusReportsCountAndCurrentFile) {
  engine().fcount = 250;
  engine().fActFile = 17;
  EXPECT_EQ(Call(ZOQ_Status, "Files"), "201 OK-DATA __ZOQ_Status__ 250");
  EXPECT_EQ(Call(ZOQ_Status, "ActFile"), "201 OK-DATA __ZOQ_Status__ 17");
}

TEST_F(SettingsTest, ExampleSongTakesAnyTextTheEmptyOneIncluded) {
  EXPECT_EQ(Call(ZOQ_SetEGSong, "my song.mp3"), "200 OK __ZOQ_SetEGSong__");
  EXPECT_EQ(engine().fstandardfile, "my song.mp3");
  EXPECT_EQ(Call(ZOQ_SetEGSong, ""), "200 OK __ZOQ_SetEGSong__");
  EXPECT_EQ(engine().fstandardfile, "");
}

TEST_F(SettingsTest, SetDirectoryAppendsTheDelimiterOnce) {
  TempDir dir;
  EXPECT_EQ(Call(ZOQ_SetDirectory, dir.path()), "200 OK __ZOQ_SetDirectory__");
  EXPECT_EQ(engine().fdirectory, dir.WithDelim());
  EXPECT_EQ(Call(ZOQ_SetDirectory, dir.WithDelim()), "200 OK __ZOQ_SetDirectory__");
  EXPECT_EQ(engine().fdirectory, dir.WithDelim());
}

TEST_F(SettingsTest, SetDirectoryRefusesFilesAndMissingFoldersKeepingTheOldOne) {
  TempDir dir;
  WriteFile(dir / "file.txt", "x");
  ASSERT_EQ(Call(ZOQ_SetDirectory, dir.path()), "200 OK __ZOQ_SetDirectory__");
  for (const std::string& bad : {dir / "file.txt", dir / "missing"}) {
    EXPECT_EQ(Call(ZOQ_SetDirectory, bad), "506 File or directory not found __ZOQ_SetDirectory__");
    EXPECT_EQ(engine().fdirectory, dir.WithDelim());
  }
}

TEST_F(SettingsTest, StopWhileIdleLeavesTheFlagSet) {
  EXPECT_EQ(Call(ZOQ_StopGenerate), "200 OK __ZOQ_StopGenerate__");
  EXPECT_TRUE(engine().fterminated);
}

}  // namespace quorbel::test
