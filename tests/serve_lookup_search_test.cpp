// Index search: an exact file name turned into its full path through the
// index file of the last run.
#include "support/test_support.h"

namespace quorbel::test {

namespace {

const std::string S(1, '\xFF');
const std::string kTag = "__ZOQ_SearchFile__";
const std::string kFound = "201 OK-DATA __ZOQ_SearchFile__ ";
const std::string kNothing = "516 Nothing found __ZOQ_SearchFile__";
const std::string kNoIndex = "506 File or directory not found __ZOQ_SearchFile__";

class SearchFileTest : public EngineTest {
 protected:
  // Working directory and a configuration naming the list "qb".
  void Configure() {
    WriteFile(dir_ / "quorbel.ini", "[listmake]\r\nnick=me\r\nname=qb\r\n");
    ASSERT_EQ(Call(ZOQ_SetDirectory, dir_.path()), "200 OK __ZOQ_SetDirectory__");
    ASSERT_EQ(Call(ZOQ_SetIniFile, dir_ / "quorbel.ini"), "200 OK __ZOQ_SetIniFile__");
  }
  void WriteIndex(const std::string& content) { WriteFile(dir_ / "qb-mm.idx", content); }

  TempDir dir_;
};

struct SearchCase {
  const char* what;
  std::string key;
  std::string reply;
};

class SearchFileCases : public SearchFileTest, public ::testing::WithParamInterface<SearchCase> {};

// Lines as the run writes them, plus the odd ones a damaged index may hold.
const std::string kIndex =
    "\r\n"                                    // empty: no name, empty path
    "song.mp3" + S + "C:\\Music\\A\\\r\n" +   //
    "Song.mp3" + S + "C:\\Music\\B\\\r\n" +   // same name, other case
    "song.mp3" + S + "C:\\Music\\C\\\r\n" +   // same name, second directory
    "no separator here\r\n" +                 // no SEP: name empty, path the whole line
    S + "C:\\Lead\\\r\n" +                    // SEP first: name empty
    "two" + S + "seps" + S + "x\r\n" +        // first SEP splits
    "caf\xE9.mp3" + S + "D:\\\xC9t\xE9\\\r\n";

INSTANTIATE_TEST_SUITE_P(
    SearchKeys, SearchFileCases,
    ::testing::Values(
        SearchCase{"exact", "song.mp3", kFound + "C:\\Music\\A\\song.mp3"},
        SearchCase{"case kept", "Song.mp3", kFound + "C:\\Music\\B\\Song.mp3"},
        SearchCase{"case differs", "SONG.MP3", kNothing},
        SearchCase{"trailing blank", "song.mp3 ", kNothing},
        SearchCase{"leading blank", " song.mp3", kNothing},
        SearchCase{"partial", "song", kNothing},
        SearchCase{"no wildcards", "song.*", kNothing},
        SearchCase{"empty key, first non-empty result", "", kFound + "no separator here"},
        SearchCase{"split at the first SEP", "two", kFound + "seps" + S + "xtwo"},
        SearchCase{"key holding SEP", "two" + S + "seps", kNothing},
        SearchCase{"high bytes", "caf\xE9.mp3", kFound + "D:\\\xC9t\xE9\\caf\xE9.mp3"},
        SearchCase{"long key", std::string(900, 'k'), kNothing}));

TEST_P(SearchFileCases, AnswersTheFirstExactMatch) {
  Configure();
  WriteIndex(kIndex);
  EXPECT_EQ(Call(ZOQ_SearchFile, GetParam().key), GetParam().reply);
}

TEST_F(SearchFileTest, FixedAnswersBeforeAnyLineIsRead) {
  // Before a configuration is read: 505 even though an index exists.
  WriteFile(dir_ / ".idx", "song.mp3" + S + "C:\\\r\n");
  WriteFile(dir_ / "-mm.idx", "song.mp3" + S + "C:\\\r\n");
  ASSERT_EQ(Call(ZOQ_SetDirectory, dir_.path()), "200 OK __ZOQ_SetDirectory__");
  EXPECT_EQ(Call(ZOQ_SearchFile, "song.mp3"), "505 No ini file set " + kTag);

  Configure();
  EXPECT_EQ(Call(ZOQ_SearchFile, "song.mp3"), kNoIndex);
  WriteIndex("");
  EXPECT_EQ(Call(ZOQ_SearchFile, "song.mp3"), kNothing);
  EXPECT_EQ(Call(ZOQ_SearchFile, ""), kNothing);
}

TEST_F(SearchFileTest, LongLinesAndUnterminatedLastLine) {
  Configure();
  const std::string long_dir(100000, 'd');
  WriteIndex("long" + S + long_dir + "\r\nlf" + S + "/unix/\nlast" + S + "C:\\End\\");
  // The reply is cut at the buffer's capacity (Call checks nothing beyond).
  std::string reply = Call(ZOQ_SearchFile, "long");
  EXPECT_EQ(reply, (kFound + long_dir).substr(0, 900));
  EXPECT_EQ(Call(ZOQ_SearchFile, "lf"), kFound + "/unix/lf");
  EXPECT_EQ(Call(ZOQ_SearchFile, "last"), kFound + "C:\\End\\last");
}

}  // namespace

}  // namespace quorbel::test
