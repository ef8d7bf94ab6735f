// The list layout, piece by piece: name from the date, header, preface,
// file line, size and total texts, footer and the empty list's tail.
#include "list_format.h"

#include <gtest/gtest.h>

#include "engine_text.h"
#include "support/sample_list.h"

namespace quorbel::listformat {
namespace {

const std::string kNb(1, char(0xA0));
const std::string kWebText(kWeb);
const std::string kRuleText(kRule);

LocalTime Time(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  LocalTime t;
  t.year = year, t.month = month, t.day = day, t.hour = hour, t.minute = minute, t.second = second;
  return t;
}

std::string Nbsp(size_t n) { return std::string(n, char(0xA0)); }

TEST(ListBaseNameTest, NickAndTwoDigitDate) {
  struct Case {
    LocalTime time;
    const char* expected;
  } cases[] = {
      {Time(2002, 6, 19), "Bob[06-19-02]"},
      {Time(2010, 12, 1), "Bob[12-01-10]"},
      {Time(2000, 1, 9), "Bob[01-09-00]"},
      {Time(1999, 10, 31), "Bob[10-31-99]"},
  };
  for (const Case& c : cases) EXPECT_EQ(ListBaseName("Bob", c.time), c.expected);
}

TEST(ListWeekdayTest, KnownDates) {
  struct Case {
    int year, month, day, weekday;
  } cases[] = {
      {2002, 6, 19, 3},  {2000, 1, 1, 6},   {2000, 2, 29, 2}, {1999, 12, 31, 5},
      {2024, 3, 1, 5},   {2023, 1, 1, 0},   {1900, 3, 1, 4},  {2038, 1, 19, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Weekday(c.year, c.month, c.day), c.weekday) << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(ListHeaderTest, SampleListHeaderLines) {
  // The weekday comes from the date itself, not from the clock's weekday field.
  LocalTime t = Time(2002, 6, 19, 9, 5, 3);
  t.weekday = 0;
  EXPECT_EQ(HeaderLines("Bob", "(artist_name)-title_of_song.mp3", t), test::SampleListHeader());
}

TEST(ListHeaderTest, MonthAndWeekdayNamesAtTheEndsOfTheirTables) {
  const Lines december = HeaderLines("N", "x", Time(2023, 12, 31, 23, 59, 59));
  EXPECT_EQ(december[3].substr(0, 44), "Last Updated on Sun Dec 31 23:59:59 2023 by ");
  const Lines january = HeaderLines("N", "x", Time(2022, 1, 1, 0, 0, 0));
  EXPECT_EQ(january[3].substr(0, 36), "Last Updated on Sat Jan 1 0:0:0 2022");
}

TEST(ListPrefaceTest, RuleIndentAndEmptyLines) {
  const Lines lines = PrefaceLines({"Welcome", "", "bye"}, kPrefaceIndent);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].size(), 101u);
  EXPECT_EQ(lines[0].substr(0, 22), "-=-=- [ Preface ] -=-=");
  EXPECT_TRUE(lines[0].ends_with("-=-=-"));
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "\t Welcome");
  EXPECT_EQ(lines[3], "\t ");
  EXPECT_EQ(lines[4], "\t bye");
  EXPECT_EQ(lines[5], "");
  EXPECT_EQ(PrefaceLines({"Welcome"}, kEmptyListPrefaceIndent)[2], "   Welcome");
  EXPECT_TRUE(PrefaceLines({}, kPrefaceIndent).empty());
}

TEST(ListPathPartsTest, DirectoryKeepsItsDelimiter) {
  const std::string d(1, kPathDelim);
  const std::string path = "M:" + d + "Music" + d + "Rock" + d + "Song.mp3";
  EXPECT_EQ(DirectoryOf(path), "M:" + d + "Music" + d + "Rock" + d);
  EXPECT_EQ(FileNameOf(path), "Song.mp3");
  EXPECT_EQ(DirectoryOf("Song.mp3"), "");
  EXPECT_EQ(FileNameOf("Song.mp3"), "Song.mp3");
  EXPECT_EQ(DirectoryHeaderLines("M:" + d), (Lines{"", "-----[ M:" + d + " ]-----", ""}));
}

TEST(ListFileLineStartTest, PaddingWidthFollowsTheMethodLength) {
  // "!Bob Artist Name - Song Title.mp3" is 33 characters.
  EXPECT_EQ(FileLineStart("Bob", "Artist Name - Song Title.mp3", "sbqtai"),
            "!Bob Artist Name - Song Title.mp3" + Nbsp(32) + " ::INFO:: ");
  EXPECT_EQ(FileLineStart("Bob", "Artist Name - Song Title.mp3", "s"),
            "!Bob Artist Name - Song Title.mp3" + Nbsp(42) + " ::INFO:: ");
  // Runs of blanks in the name are squeezed before padding; the nick is not.
  EXPECT_EQ(FileLineStart("Bo b", "Second  Song.mp3", "sb"),
            "!Bo b Second Song.mp3" + Nbsp(44) + " ::INFO:: ");
}

TEST(ListFileLineStartTest, LongNamesGetNoPadding) {
  const std::string exact(65 - 5, 'x');  // "!Bob " + 60 characters: exactly the width
  EXPECT_EQ(FileLineStart("Bob", exact, "sb"), "!Bob " + exact + " ::INFO:: ");
  const std::string longer(300, 'y');
  EXPECT_EQ(FileLineStart("Bob", longer, "s"), "!Bob " + longer + " ::INFO:: ");
}

TEST(ListMediaItemsTest, OnlyExactMpegExtensionsAndNotTheBareSizeMethod) {
  struct Case {
    const char* path;
    const char* method;
    bool wanted;
  } cases[] = {
      {"a.mp3", "sb", true},    {"a.mp2", "b", true},     {"a.MP3", "sb", false},
      {"a.mp3", "s", false},    {"a.wav", "sbqtai", false}, {"a.mp3", "", true},
      {"a.mp3.txt", "sb", false}, {"a.mp3", "ss", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WantsMediaItems(c.path, c.method), c.wanted) << c.path << " " << c.method;
  }
}

Tmp3info Info(int16_t bitrate, uint16_t rate, const char* mode, int32_t length, bool var = false) {
  Tmp3info info;
  info.Bitrate = bitrate, info.SampleRate = rate, info.ChannelMode = mode;
  info.Length = length, info.VariableBitrate = var, info.Valid = true;
  return info;
}

TEST(ListHeaderItemsTest, BitrateModeAndTime) {
  struct Case {
    const char* method;
    Tmp3info info;
    const char* expected;
  } cases[] = {
      {"sbqtai", Info(128, 44100, "Joint stereo", 268), " 128/44 Joint stereo [4m28s]"},
      {"sbqt", Info(192, 48000, "Stereo", 131), " 192/48 Stereo [2m11s]"},
      {"b", Info(48, 44100, "Stereo", 109, true), " VAR/44"},
      {"b", Info(160, 22050, "Stereo", 0), " 160/22"},
      {"t", Info(128, 44100, "Stereo", 45), " [45s]"},
      {"t", Info(128, 44100, "Stereo", 5), " [05s]"},
      {"t", Info(128, 44100, "Stereo", 0), " [00s]"},
      {"t", Info(128, 44100, "Stereo", 3600), " [60m00s]"},
      {"tqb", Info(-1, 32000, "Single channel", 0), " -1/32 Single channel [00s]"},
      {"sai", Info(128, 44100, "Stereo", 1), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(HeaderItems(c.method, c.info), c.expected) << c.method;
  Tmp3info invalid = Info(128, 44100, "Stereo", 10);
  invalid.Valid = false;
  EXPECT_EQ(HeaderItems("sbqt", invalid), "");
}

TEST(ListTagItemsTest, FixedOrderAndNotAvailableTexts) {
  TId3v1 tag;
  tag.Present = true;
  tag.Artist = "Artist Name";
  tag.Title = "Song Title";
  tag.Album = "";
  tag.Genre = "Rock";
  tag.Comment = "nice";
  EXPECT_EQ(TagItems("sbqtai", tag), " ::ID3:: (A:Artist Name) (T:Song Title)");
  // Letter order in the method does not change the item order.
  EXPECT_EQ(TagItems("cgmia", tag),
            " ::ID3:: (A:Artist Name) (T:Song Title) (Ab: N/A) (G:Rock) (C:nice)");
  tag.Artist.clear();
  EXPECT_EQ(TagItems("a", tag), " ::ID3:: (A: N/A)");
  EXPECT_EQ(TagItems("sbqt", tag), "");
  tag.Present = false;
  EXPECT_EQ(TagItems("sai", tag), "");
}

TEST(ListSizeTextTest, UnitsTenthsAndSmallSizes) {
  struct Case {
    int64_t size;
    const char* expected;
  } cases[] = {
      {0, "0.0MB"},
      {1, "0.1MB"},
      {-1, "0.1MB"},  // a file that could not be opened
      {102399, "0.1MB"},
      {102400, "0MB"},
      {104857, "0MB"},
      {104858, "0.1MB"},
      {3145728, "3MB"},
      {4301234, "4.1MB"},
      {1073741824, "1024MB"},
      {1073741825, "1GB"},
      {int64_t(3000000000), "2.7GB"},          // beyond 32 bits
      {int64_t(5) * 1073741824 + 536870912, "5.5GB"},
      {int64_t(1) << 40, "1024GB"},
  };
  for (const Case& c : cases) EXPECT_EQ(SizeText(c.size), c.expected) << c.size;
}

TEST(ListTotalTextTest, AlwaysShowsTheTenth) {
  struct Case {
    long double total;
    const char* expected;
  } cases[] = {
      {0, "0.0MB"},
      {-1, "0.1MB"},
      {102399, "0.1MB"},
      {102400, "0.0MB"},
      {3145728, "3.0MB"},
      {4301234.0L + 3145728.0L, "7.1MB"},
      {1073741824, "1024.0MB"},
      {1073741825, "1.0GB"},
      {6000000000.0L, "5.5GB"},
  };
  for (const Case& c : cases) EXPECT_EQ(TotalText(c.total), c.expected) << double(c.total);
}

TEST(ListFooterTest, FooterAndEmptyListTail) {
  EXPECT_EQ(FooterLines(2, 7446962),
            (Lines{"", kRuleText, "",
                   "End of List - Total 2 filez - 7.1MB - Generated by ZOQ Brivane v8.6 and "
                   "quorbel.dll v0.7.8 (" + kWebText + ")",
                   ""}));
  EXPECT_EQ(EmptyListTailLines(),
            (Lines{kRuleText, "", kRuleText, "",
                   "End of List - Total 0 filez - 0 MB - Generated by ZOQ Brivane v8.6 (" +
                       kWebText + ")"}));
}

}  // namespace
}  // namespace quorbel::listformat
