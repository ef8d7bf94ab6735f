// Find answering: wildcard matching over the list's file lines, sorted
// entries, and the reply split over the data and the parameter buffer.
#include <vector>

#include "support/test_support.h"

namespace quorbel::test {

namespace {

const std::string S(1, '\xFF');
const std::string N = Nbsp(1);
const std::string kTag = "__ZOQ_At_Find__";
const std::string kNothing = "516 Nothing found __ZOQ_At_Find__";
const std::string kUntouched = "untouched";

struct FindReply {
  std::string data;
  std::string second;
};

class AtFindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvForTesting(&env_);
    LoadDll(&load_info_);
    ASSERT_NE(ZOQ_Quorbel, nullptr);
  }
  void TearDown() override {
    UnloadDll(0);
    SetEnvForTesting(nullptr);
  }

  void Configure() {
    WriteFile(dir_ / "quorbel.ini", "[listmake]\r\nnick=Me\r\nname=qb\r\n");
    ASSERT_EQ(Call(ZOQ_SetDirectory, dir_.path()), "200 OK __ZOQ_SetDirectory__");
    ASSERT_EQ(Call(ZOQ_SetIniFile, dir_ / "quorbel.ini"), "200 OK __ZOQ_SetIniFile__");
  }
  std::string ListPath() const { return dir_ / "qb-mm.txt"; }
  void WriteList(const std::vector<std::string>& lines) {
    std::string content;
    for (const std::string& line : lines) content += line + "\r\n";
    WriteFile(ListPath(), content);
  }

  // Calls the command as the host does, with both buffers.
  FindReply Find(const std::string& pattern) {
    HostBuffer data(pattern);
    HostBuffer parms(kUntouched);
    EXPECT_EQ(ZOQ_At_Find(nullptr, nullptr, data.bytes, parms.bytes, 1, 0), 3);
    EXPECT_TRUE(data.WithinCapacity());
    EXPECT_TRUE(parms.WithinCapacity());
    return {data.str(), parms.str()};
  }

  static std::string Found(size_t count, const std::vector<std::string>& entries) {
    std::string reply = "201 OK-DATA " + kTag + " " + std::to_string(count) + S;
    for (const std::string& entry : entries) reply += entry + S;
    return reply;
  }

  HookEnv env_;
  LOADINFO load_info_{};
  TempDir dir_;
};

// A list as the run writes it: header and footer lines around file lines.
const std::vector<std::string> kList = {
    "Song name list of Me, type @Me to get it",
    "!Me Song - Name.mp3" + N + N + N + "3:05",
    "!Me Name then song.mp3" + N + N + "2:10",
    "!Me abx.mp3",
    "Total: songs and names",
};

struct MatchCase {
  const char* what;
  std::string pattern;
  std::vector<std::string> entries;  // sorted; none for 516
};

class AtFindMatching : public AtFindTest, public ::testing::WithParamInterface<MatchCase> {};

const std::string kSongName = "song - name.mp3" + N + "3:05";
const std::string kNameSong = "name then song.mp3" + N + "2:10";

INSTANTIATE_TEST_SUITE_P(
    FindPatterns, AtFindMatching,
    ::testing::Values(
        MatchCase{"segments in order", "song*name", {kSongName}},
        MatchCase{"order matters", "name*then*song", {kNameSong}},
        MatchCase{"case ignored", "SONG*NAME", {kSongName}},
        MatchCase{"whole segment", "abc", {}},
        MatchCase{"both segments checked", "a*b", {"abx.mp3"}},
        MatchCase{"segment after the previous one ends", "song*song", {}},
        MatchCase{"only stars", "***", {"abx.mp3", kNameSong, kSongName}},
        MatchCase{"empty segments", "**song**", {kNameSong, kSongName}},
        MatchCase{"nick and bang count", "!me a", {"abx.mp3"}},
        MatchCase{"header and footer never match", "total", {}},
        MatchCase{"padding matched before squeezing", "mp3" + N + N, {kNameSong, kSongName}},
        MatchCase{"high bytes are not folded", "\xC9", {}},
        MatchCase{"SEP byte", S, {}},
        MatchCase{"long pattern", std::string(900, 'a'), {}}));

TEST_P(AtFindMatching, AnswersTheSortedEntries) {
  Configure();
  WriteList(kList);
  const MatchCase& c = GetParam();
  FindReply reply = Find(c.pattern);
  if (c.entries.empty()) {
    EXPECT_EQ(reply.data, kNothing);
    EXPECT_EQ(reply.second, kUntouched);
  } else {
    EXPECT_EQ(reply.data, Found(c.entries.size(), c.entries));
    EXPECT_EQ(reply.second, "");  // emptied even when all fits the data buffer
  }
}

TEST_F(AtFindTest, StopsAfterSixEntriesAndSendsTheFirstFiveInOrder) {
  Configure();
  WriteList({"!me g.mp3", "!me b.mp3", "!me f.mp3", "!me a.mp3", "!me e.mp3", "!me c.mp3",
             "!me d.mp3"});
  // d.mp3 is never read: the six gathered are g b f a e c.
  EXPECT_EQ(Find(".mp3").data, Found(6, {"a.mp3", "b.mp3", "c.mp3", "e.mp3", "f.mp3"}));
}

TEST_F(AtFindTest, EntriesThatCompareEqualCountOnce) {
  Configure();
  WriteList({"!me Song.mp3", "!me song.mp3", "!you SONG.MP3", "!me  song.mp3  ", "!me other"});
  EXPECT_EQ(Find("song").data, Found(1, {"song.mp3"}));
}

TEST_F(AtFindTest, EntryIsTheLineAfterItsFirstSpaceSqueezedAndTrimmed) {
  Configure();
  WriteList({"!Me  A  B" + N + N + N + "X\t", "!Lonely", "!me \x01" "ctl \x1F"});
  EXPECT_EQ(Find("a").data, Found(1, {"a b" + N + "x"}));
  EXPECT_EQ(Find("lonely").data, Found(1, {"!lonely"}));
  EXPECT_EQ(Find("ctl").data, Found(1, {"ctl"}));
}

TEST_F(AtFindTest, FixedAnswers) {
  EXPECT_EQ(Find("x").data, "505 No ini file set " + kTag);
  Configure();
  EXPECT_EQ(Find("").data, "503 Too few arguments! " + kTag);
  FindReply missing = Find("x");
  EXPECT_EQ(missing.data, "506 File or directory not found " + kTag + " fileexists " + ListPath());
  EXPECT_EQ(missing.second, kUntouched);
  WriteList({});
  EXPECT_EQ(Find("x").data, kNothing);
  env_.refuse_open = RefuseOpensOf(ListPath());
  EXPECT_EQ(Find("x").data, "506 File or directory not found " + kTag + " fileassign");
}

// Five entries of `size` characters each (SEP included), "a..." to "e...".
std::vector<std::string> LongEntries(size_t size) {
  std::vector<std::string> entries;
  for (char first = 'a'; first <= 'e'; ++first) {
    entries.push_back(first + std::string(size - 2, 'x'));
  }
  return entries;
}

TEST_F(AtFindTest, SplitsOverBothBuffers) {
  Configure();
  // Entries of 301: the third is cut at 900 and the rest ends at 1535, under
  // 1800. Entries of 401: the fifth would end at 2035, so the second buffer
  // holds only byte 245.
  for (size_t size : {301, 401}) {
    std::vector<std::string> entries = LongEntries(size);
    std::vector<std::string> lines;
    for (const std::string& e : entries) lines.push_back("!me " + e);
    WriteList(lines);
    FindReply reply = Find("xxx");
    const std::string all = Found(5, entries);
    EXPECT_EQ(reply.data, all.substr(0, 900));
    EXPECT_EQ(reply.second, size == 301 ? all.substr(900) : "\xF5");
  }
}

TEST_F(AtFindTest, HugeLinesNeverOverrunEitherBuffer) {
  Configure();
  const std::string huge(100000, 'h');
  WriteList({"!me " + huge, "!me " + huge + "2"});
  FindReply reply = Find("hhh*h");
  EXPECT_EQ(reply.data, Found(2, {huge}).substr(0, 900));
  // The first entry's remainder is too long for the second buffer.
  EXPECT_EQ(reply.second, "\xF5");
}

TEST_F(AtFindTest, PumpsForEveryLineAndKeepsGoingWhenUnloadedFromThePump) {
  Configure();
  std::vector<std::string> lines(50, "header");
  lines.push_back("!me z.mp3");
  WriteList(lines);
  env_.pumps = 0;
  EXPECT_EQ(Find("z").data, Found(1, {"z.mp3"}));
  EXPECT_GE(env_.pumps, 51);

  // The host unloads the library from inside the scan: the answer still
  // comes from the engine that started it.
  bool unloaded = false;
  env_.on_pump = [&unloaded] {
    if (!unloaded) {
      unloaded = true;
      UnloadDll(0);
    }
  };
  EXPECT_EQ(Find("z").data, Found(1, {"z.mp3"}));
  EXPECT_EQ(ZOQ_Quorbel, nullptr);
  env_.on_pump = nullptr;
}

}  // namespace

}  // namespace quorbel::test
