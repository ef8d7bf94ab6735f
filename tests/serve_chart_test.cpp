// The download chart: hit data ranked best first, one coloured line per
// entry, filled to a fixed width.
#include <vector>

#include "support/test_support.h"

namespace quorbel::test {

namespace {

const std::string kTag = "__ZOQ_StartUpdateChart__";
const std::string kOk = "200 OK " + kTag;
const std::string kNoDownloader =
    "515 Error: You have no downloader since the last update. Sorry. " + kTag;

// A chart line as it should be: the rank, count and name between their
// colour codes, then NBSPs up to 164 bytes.
std::string ChartLine(int rank, const std::string& count, const std::string& name) {
  std::string line = "\x03" "0,1 " + std::to_string(rank) + " \t \x03" "0,14 " + count +
                     " \t \x03" "0,15 " + name + " \x03" "15,15 ";
  if (line.size() < 164) line += Nbsp(164 - line.size());
  return line;
}

struct Row {
  int rank;
  std::string count;
  std::string name;
};

class ChartTest : public EngineTest {
 protected:
  void TearDown() override {
    EngineTest::TearDown();
    SetEnvForTesting(nullptr);
  }
  // A fresh engine built on env_, for the tests that watch the system calls.
  void ReloadOnChartEnv() {
    UnloadDll(0);
    SetEnvForTesting(&env_);
    LoadDll(&load_info_);
    ASSERT_NE(ZOQ_Quorbel, nullptr);
  }
  void Configure(const std::string& hitnum = "30") {
    WriteFile(dir_ / "quorbel.ini", "[listmake]\r\nnick=me\r\nhitnum=" + hitnum + "\r\n");
    ASSERT_EQ(Call(ZOQ_SetDirectory, dir_.path()), "200 OK __ZOQ_SetDirectory__");
    ASSERT_EQ(Call(ZOQ_SetIniFile, dir_ / "quorbel.ini"), "200 OK __ZOQ_SetIniFile__");
  }
  void WriteHits(const std::vector<std::string>& lines) {
    std::string content;
    for (const std::string& line : lines) content += line + "\r\n";
    WriteFile(HitPath(), content);
  }
  std::string HitPath() const { return dir_ / "ZOQHitData.hdt"; }
  std::string ChartPath() const { return dir_ / "ZOQChart.hdt"; }
  // Where the chart is written before it is put in place.
  std::string TempChartPath() const { return dir_ / "tmpchart.tmp"; }
  std::vector<std::string> Chart() const { return ReadLines(ChartPath()); }
  static std::vector<std::string> Lines(const std::vector<Row>& rows) {
    std::vector<std::string> lines;
    for (const Row& r : rows) lines.push_back(ChartLine(r.rank, r.count, r.name));
    return lines;
  }

  HookEnv env_;
  TempDir dir_;
};

const std::vector<std::string> kHits = {"a.mp3 10", "b.mp3 08", "c.mp3 08", "d.mp3 05"};

TEST_F(ChartTest, RanksWithoutGapsInDescendingTextOrder) {
  Configure();
  WriteHits(kHits);
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), kOk);
  EXPECT_EQ(Chart(), Lines({{1, "10", "a.mp3"}, {2, "08", "c.mp3"}, {2, "08", "b.mp3"},
                            {3, "05", "d.mp3"}}));
  // The hit data is left alone and the update can be repeated.
  const std::string before = ReadFile(ChartPath());
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), kOk);
  EXPECT_EQ(ReadFile(ChartPath()), before);
  EXPECT_EQ(ReadLines(HitPath()), kHits);
  EXPECT_TRUE(engine().fchart.empty());
  EXPECT_FALSE(engine().finprogress);
}

TEST_F(ChartTest, LineBytes) {
  Configure();
  WriteHits({"a.mp3 10"});
  ASSERT_EQ(Call(ZOQ_StartUpdateChart), kOk);
  const std::string head =
      "\x03\x30\x2C\x31\x20" "1" "\x20\x09\x20\x03\x30\x2C\x31\x34\x20" "10"
      "\x20\x09\x20\x03\x30\x2C\x31\x35\x20" "a.mp3" "\x20\x03\x31\x35\x2C\x31\x35\x20";
  ASSERT_EQ(head.size(), 39u);
  EXPECT_EQ(ReadFile(ChartPath()), head + Nbsp(125) + "\r\n");
}

struct BoundCase {
  std::string hitnum;
  size_t lines;
};

class ChartBound : public ChartTest, public ::testing::WithParamInterface<BoundCase> {};

INSTANTIATE_TEST_SUITE_P(ChartHitnum, ChartBound,
                         ::testing::Values(BoundCase{"5", 4}, BoundCase{"4", 3},
                                           BoundCase{"3", 2}, BoundCase{"1", 0},
                                           BoundCase{"-7", 0}, BoundCase{"2147483647", 4}));

TEST_P(ChartBound, HoldsAtMostHitnumMinusOneLines) {
  Configure(GetParam().hitnum);
  WriteHits(kHits);
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), kOk);
  EXPECT_TRUE(Exists(ChartPath()));
  EXPECT_EQ(Chart().size(), GetParam().lines);
}

struct FieldCase {
  const char* what;
  std::vector<std::string> hits;
  std::vector<Row> rows;
};

class ChartFields : public ChartTest, public ::testing::WithParamInterface<FieldCase> {};

INSTANTIATE_TEST_SUITE_P(
    ChartLines, ChartFields,
    ::testing::Values(
        FieldCase{"counts compare as text", {"x 9", "y 10"}, {{1, "9", "x"}, {2, "10", "y"}}},
        FieldCase{"colons shown as blanks", {"my:song:.mp3 3"}, {{1, "3", "my song .mp3"}}},
        FieldCase{"first blank splits", {"song.mp3 7 extra"}, {{1, "7", "extra song.mp3"}}},
        FieldCase{"no blank", {"25"}, {{1, "25", ""}}},
        FieldCase{"leading zeros kept, equal value same rank",
                  {"a 07", "b 7"},
                  {{1, "7", "b"}, {1, "07", "a"}}},
        FieldCase{"rank follows consecutive values only",
                  {"a 007", "b 7", "c 6"},
                  {{1, "7", "b"}, {2, "6", "c"}, {3, "007", "a"}}},
        FieldCase{"negative counts", {"a -1", "b -2"}, {{1, "-2", "b"}, {2, "-1", "a"}}},
        FieldCase{"names with high bytes", {"\xC9t\xE9.mp3 4"}, {{1, "4", "\xC9t\xE9.mp3"}}},
        FieldCase{"long name, no fill", {std::string(200, 'n') + " 3"},
                  {{1, "3", std::string(200, 'n')}}}));

TEST_P(ChartFields, SplitsSwapsAndRanks) {
  Configure();
  WriteHits(GetParam().hits);
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), kOk);
  EXPECT_EQ(Chart(), Lines(GetParam().rows));
}

TEST_F(ChartTest, NoHitDataRemovesTheOldChart) {
  Configure();
  WriteFile(ChartPath(), "old chart\r\n");
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), kNoDownloader);
  EXPECT_FALSE(Exists(ChartPath()));
  WriteFile(ChartPath(), "old chart\r\n");
  WriteHits({});
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), kNoDownloader);
  EXPECT_FALSE(Exists(ChartPath()));
  EXPECT_FALSE(engine().finprogress);
}

TEST_F(ChartTest, RefusedWithoutConfigurationOrWhileRunning) {
  WriteFile(dir_ / "ZOQHitData.hdt", "a 1\r\n");
  ASSERT_EQ(Call(ZOQ_SetDirectory, dir_.path()), "200 OK __ZOQ_SetDirectory__");
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), "505 No ini file set " + kTag);
  Configure();
  engine().finprogress = true;
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), "510 Selected operation is just running " + kTag);
  EXPECT_FALSE(Exists(ChartPath()));
  engine().finprogress = false;
  engine().fterminated = true;
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), kOk);
  EXPECT_FALSE(engine().fterminated);
}

struct BadCase {
  const char* what;
  std::string hitnum;
  std::vector<std::string> hits;
  bool chart_made;    // the file exists afterwards
  size_t lines_kept;  // lines written before the failure
};

class ChartConversion : public ChartTest, public ::testing::WithParamInterface<BadCase> {};

INSTANTIATE_TEST_SUITE_P(
    ChartFailures, ChartConversion,
    ::testing::Values(
        BadCase{"best count no number", "30", {"a 9", "b zz"}, false, 0},
        BadCase{"count in the middle", "30", {"a 9", "b 5a", "c 3"}, true, 1},
        BadCase{"empty line reached last", "30", {"a 9", ""}, true, 1},
        BadCase{"count beyond 32 bits", "30", {"a 99999999999"}, false, 0},
        BadCase{"hitnum no number", "lots", {"a 9"}, true, 0},
        BadCase{"hitnum empty", "", {"a 9"}, true, 0},
        // Text from the file is quoted in the reply: a zero byte in it must
        // not end the reply early, nor may a long one push out the tag.
        BadCase{"zero byte in the count", "30", {std::string("a 0\0'1", 6)}, false, 0},
        BadCase{"zero byte in a later count", "30", {"a 9", std::string("b 5\0", 4)}, true, 1},
        BadCase{"count of 3000 bytes", "30", {"a 1" + std::string(3000, 'x')}, false, 0}));

TEST_P(ChartConversion, EndsWithTheInternalErrorTextKeepingLinesWritten) {
  const BadCase& c = GetParam();
  Configure(c.hitnum);
  WriteHits(c.hits);
  const std::string reply = Call(ZOQ_StartUpdateChart);
  EXPECT_TRUE(reply.starts_with("500 Internal Error->0 \"")) << reply;
  EXPECT_TRUE(reply.ends_with(
      "<EConvertError>\" Please report this line to the ZOQ Maintainers " + kTag))
      << reply;
  EXPECT_EQ(Exists(ChartPath()), c.chart_made);
  EXPECT_EQ(Chart().size(), c.lines_kept);
  EXPECT_FALSE(engine().finprogress);
}

TEST_F(ChartTest, ZeroByteInHitnumShowsInTheReplyWithItsTag) {
  Configure();
  WriteHits(kHits);
  engine().fhitnum = std::string("3\0x", 3);
  const std::string reply = Call(ZOQ_StartUpdateChart);
  EXPECT_EQ(reply, "500 Internal Error->0 \"'3?x' is not a valid integer value<EConvertError>\" "
                   "Please report this line to the ZOQ Maintainers " + kTag);
}

TEST_F(ChartTest, PumpsNothing) {
  ReloadOnChartEnv();
  Configure();
  WriteHits(kHits);
  env_.pumps = 0;
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), kOk);
  EXPECT_EQ(env_.pumps, 0);
}

TEST_F(ChartTest, FilesThatCannotBeOpenedAreNotFound) {
  ReloadOnChartEnv();
  Configure();
  WriteHits(kHits);
  const std::string not_found = "506 File or directory not found " + kTag;
  env_.refuse_open = RefuseOpensOf(HitPath());
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), not_found);
  env_.refuse_open = RefuseOpensOf(TempChartPath());
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), not_found);
  EXPECT_FALSE(Exists(ChartPath()));
  EXPECT_FALSE(engine().finprogress);
}

}  // namespace

}  // namespace quorbel::test
