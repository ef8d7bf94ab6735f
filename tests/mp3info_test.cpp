// The MPEG frame header and ID3v1 reader, on files the tests generate.
#include "mp3info.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace quorbel::test {

namespace {

// One reader and one scratch file, rewritten for each case.
class Mp3InfoTest : public ::testing::Test {
 protected:
  // Writes `content` and reads it through the reader; returns the result.
  bool Read(const std::string& content) {
    WriteFile(path_, content);
    mp3_.SetFileName(path_);
    return mp3_.ReadInformation();
  }
  bool Read(int64_t size, const FrameHeader& header, const std::optional<Id3v1>& tag = {},
            const std::string& leading = "") {
    return Read(MpegFile(size, header, tag, leading));
  }

  TempDir dir_;
  std::string path_ = dir_ / "song.mp3";
  TMP3Information mp3_;
};

constexpr int kMpeg25 = 0, kReservedVersion = 1, kMpeg2 = 2, kMpeg1 = 3;
constexpr int kReservedLayer = 0, kLayer3 = 1, kLayer2 = 2, kLayer1 = 3;
constexpr int kStereo = 0, kJoint = 1, kDual = 2, kSingle = 3;

}  // namespace

TEST_F(Mp3InfoTest, BitrateRowsByVersionAndLayer) {
  // Indices 1 to 14 in kbit/s, as published for each version and layer.
  using Rates = std::vector<int>;
  const Rates mpeg1_l1 = {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448};
  const Rates mpeg1_l2 = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
  const Rates mpeg1_l3 = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  const Rates mpeg2_l1 = {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256};
  const Rates mpeg2_l23 = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  struct Row {
    int version, layer;
    const std::vector<int>& rates;
  } rows[] = {{kMpeg1, kLayer1, mpeg1_l1},   {kMpeg1, kLayer2, mpeg1_l2},
              {kMpeg1, kLayer3, mpeg1_l3},   {kMpeg2, kLayer1, mpeg2_l1},
              {kMpeg2, kLayer2, mpeg2_l23},  {kMpeg2, kLayer3, mpeg2_l23},
              {kMpeg25, kLayer1, mpeg2_l1},  {kMpeg25, kLayer2, mpeg2_l23},
              {kMpeg25, kLayer3, mpeg2_l23}};
  for (const Row& row : rows) {
    for (int index = 0; index <= 15; ++index) {
      SCOPED_TRACE(testing::Message() << "version " << row.version << " layer " << row.layer
                                      << " index " << index);
      ASSERT_TRUE(Read(1000, HeaderOf(row.version, row.layer, index)));
      int expected = index == 0 ? 0 : index == 15 ? -1 : row.rates[size_t(index - 1)];
      EXPECT_EQ(mp3_.Info.Bitrate, expected);
      EXPECT_EQ(mp3_.BitrateIndex, index);
      EXPECT_EQ(mp3_.Info.LayerNumber, 4 - row.layer);
      EXPECT_TRUE(mp3_.Info.Valid);  // the bitrate takes no part in validity
    }
  }
}

TEST_F(Mp3InfoTest, SampleRatesByVersion) {
  struct Case {
    int version;
    float number;
    uint16_t rates[4];
  } cases[] = {{kMpeg1, 1, {44100, 48000, 32000, 0}},
               {kMpeg2, 2, {22050, 24000, 16000, 0}},
               {kMpeg25, 2.5f, {11025, 12000, 8000, 0}}};
  for (const Case& c : cases) {
    for (int index = 0; index < 4; ++index) {
      SCOPED_TRACE(testing::Message() << "version " << c.version << " index " << index);
      ASSERT_TRUE(Read(1000, HeaderOf(c.version, kLayer3, 9, index)));
      EXPECT_EQ(mp3_.Info.SampleRate, c.rates[index]);
      EXPECT_EQ(mp3_.Info.VersionNumber, c.number);
      EXPECT_EQ(mp3_.Info.Valid, index != 3);
    }
  }
}

TEST_F(Mp3InfoTest, ReservedVersionOrLayerLeavesRatesZeroAndIsInvalid) {
  for (auto [version, layer] : {std::pair{kReservedVersion, kLayer3}, {kMpeg1, kReservedLayer},
                                {kReservedVersion, kReservedLayer}}) {
    SCOPED_TRACE(testing::Message() << version << "/" << layer);
    // Result true: a header was found; only Valid says it is unusable.
    EXPECT_TRUE(Read(1000, HeaderOf(version, layer, 15, 1)));
    EXPECT_EQ(mp3_.Info.Bitrate, 0);
    EXPECT_EQ(mp3_.Info.SampleRate, 0);
    EXPECT_FALSE(mp3_.Info.Valid);
  }
  EXPECT_EQ(mp3_.Info.Version, "reserved");
  EXPECT_EQ(mp3_.Info.VersionNumber, 0);
  EXPECT_EQ(mp3_.Info.Layer, "reserved");
  EXPECT_EQ(mp3_.Info.LayerNumber, 0);
}

TEST_F(Mp3InfoTest, CodedTextsAndFlags) {
  struct Case {
    int version, layer, mode, extension_code, emphasis_code;
    const char *version_text, *layer_text, *mode_text, *extension_text, *emphasis_text;
  } cases[] = {
      {kMpeg1, kLayer1, kJoint, 0, 0, "MPEG Version 1 (ISO/IEC 11172-3)", "Layer I",
       "Joint stereo", "bands 4 - 31", "none"},
      {kMpeg2, kLayer2, kJoint, 3, 1, "MPEG Version 2 (ISO/IEC 13818-3)", "Layer II",
       "Joint stereo", "bands 16 - 31", "50/15 ms"},
      {kMpeg25, kLayer3, kJoint, 1, 2, "MPEG Version 2.5", "Layer III", "Joint stereo",
       "Intensity stereo on - MS stereo off", "reserved"},
      {kMpeg1, kLayer3, kJoint, 2, 3, "MPEG Version 1 (ISO/IEC 11172-3)", "Layer III",
       "Joint stereo", "Intensity stereo off - MS stereo on", "CCIT J.17"},
      // Other channel modes empty the text that the joint-stereo file left.
      {kMpeg1, kLayer3, kStereo, 3, 0, "MPEG Version 1 (ISO/IEC 11172-3)", "Layer III", "Stereo",
       "", "none"},
      {kMpeg1, kLayer2, kDual, 3, 0, "MPEG Version 1 (ISO/IEC 11172-3)", "Layer II",
       "Dual channel", "", "none"},
      {kMpeg1, kLayer1, kSingle, 3, 0, "MPEG Version 1 (ISO/IEC 11172-3)", "Layer I",
       "Single channel", "", "none"},
  };
  int bit = 0;  // the single-bit fields alternate from case to case
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode_text + std::string(" ") + c.layer_text);
    FrameHeader h = HeaderOf(c.version, c.layer, 1, 0, c.mode);
    h.mode_extension = c.extension_code;
    h.emphasis = c.emphasis_code;
    h.protection_bit = h.original_bit = bit;
    h.padding_bit = h.private_bit = h.copyright_bit = 1 - bit;
    ASSERT_TRUE(Read(1000, h));
    EXPECT_EQ(mp3_.Info.Version, c.version_text);
    EXPECT_EQ(mp3_.Info.Layer, c.layer_text);
    EXPECT_EQ(mp3_.Info.ChannelMode, c.mode_text);
    EXPECT_EQ(mp3_.Info.ModeExtension, c.extension_text);
    EXPECT_EQ(mp3_.Info.Emphasis, c.emphasis_text);
    EXPECT_EQ(mp3_.ModeExtensionCode, c.extension_code);
    EXPECT_EQ(mp3_.Info.CRCProtected, bit == 0);
    EXPECT_EQ(mp3_.Info.Original, bit == 1);
    EXPECT_EQ(mp3_.Info.Padding, bit == 0);
    EXPECT_EQ(mp3_.Info.Copyright, bit == 0);
    EXPECT_EQ(mp3_.PrivateBit, 1 - bit);
    bit = 1 - bit;
  }
  EXPECT_EQ(mp3_.Sync, 2047);
  EXPECT_EQ(mp3_.Info.VersionNumber, 1);
  EXPECT_EQ(mp3_.Info.LayerNumber, 1);
}

TEST_F(Mp3InfoTest, PlayingTime) {
  struct Case {
    const char* what;
    FrameHeader header;
    int64_t size;
    bool variable;
    int32_t length;
  } cases[] = {
      {"48k joint stereo: estimate", HeaderOf(kMpeg1, kLayer3, 3, 0, kJoint), 1587624, true, 109},
      {"48k stereo: estimate", HeaderOf(kMpeg1, kLayer3, 3, 0, kStereo), 1587624, true, 109},
      {"48k single channel", HeaderOf(kMpeg1, kLayer3, 3, 0, kSingle), 1587624, false, 264},
      {"48k dual channel", HeaderOf(kMpeg1, kLayer3, 3, 0, kDual), 1587624, false, 264},
      {"48k MPEG 1 Layer II", HeaderOf(kMpeg1, kLayer2, 2, 0, kJoint), 1587624, false, 264},
      {"48k MPEG 2 Layer III", HeaderOf(kMpeg2, kLayer3, 6, 0, kJoint), 1587624, false, 264},
      {"128k", HeaderOf(kMpeg1, kLayer3, 9), 4000000, false, 250},
      {"free bitrate", HeaderOf(kMpeg1, kLayer3, 0), 4000000, false, 0},
      {"bad bitrate", HeaderOf(kMpeg1, kLayer3, 15), 4000000, false, 0},
      {"under a second", HeaderOf(kMpeg1, kLayer3, 9), 15999, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Read(c.size, c.header));
    EXPECT_TRUE(mp3_.Info.Valid);
    EXPECT_EQ(mp3_.FileSize(), c.size);
    EXPECT_EQ(mp3_.Info.VariableBitrate, c.variable);
    EXPECT_EQ(mp3_.Info.Length, c.length);
  }
}

TEST_F(Mp3InfoTest, SizesOfTwoGibibytesAndMoreAreNotWrapped) {
  // A sparse file of 3 GiB: the header at the start, the tag at the end.
  const int64_t size = int64_t(3) << 30;
  std::string head = HeaderBytes(FrameHeader{});
  Id3v1 tag;
  tag.title = "Far away";
  std::string tail = Id3v1Bytes(tag);
  WriteFile(path_, head);
  std::error_code ec;
  std::filesystem::resize_file(path_, uintmax_t(size), ec);
  if (ec) GTEST_SKIP() << "no 3 GiB file here: " << ec.message();
  {
    std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(size - 128));
    f.write(tail.data(), std::streamsize(tail.size()));
    ASSERT_TRUE(f.good());
  }
  mp3_.SetFileName(path_);
  EXPECT_EQ(mp3_.FileSize(), size);
  ASSERT_TRUE(mp3_.ReadInformation());
  EXPECT_TRUE(mp3_.Info.Valid);
  EXPECT_EQ(mp3_.Info.Length, 201326);  // 3 GiB at 16000 bytes a second
  ASSERT_TRUE(mp3_.Tag.Present);
  EXPECT_EQ(mp3_.Tag.Title, "Far away");
}

// ---- finding the header --------------------------------------------------------

TEST_F(Mp3InfoTest, HeaderIsFoundAtAnyPosition) {
  // Around the edges of the blocks the file is read in, and at the last
  // position where four bytes remain.
  FrameHeader h = HeaderOf(kMpeg1, kLayer2, 10);  // 192 kbit/s
  for (int64_t at : {1, 1019, 1020, 1021, 1022, 1023, 1024, 1025, 66555, 66556, 66557, 66558,
                     66559, 66560, 66561, 140000}) {
    SCOPED_TRACE(at);
    std::string leading(size_t(at), '\x11');
    ASSERT_TRUE(Read(at + 5000, h, std::nullopt, leading));
    EXPECT_TRUE(mp3_.Info.Valid);
    EXPECT_EQ(mp3_.Info.Bitrate, 192);
    std::string last = leading + HeaderBytes(h);
    ASSERT_TRUE(Read(last));
    EXPECT_EQ(mp3_.Info.Bitrate, 192);
  }
}

TEST_F(Mp3InfoTest, FilesTooShortForAHeaderGiveFalseAndLeaveTheTagAlone) {
  Id3v1 tag;
  tag.title = "Kept";
  ASSERT_TRUE(Read(1000, FrameHeader{}, tag));
  ASSERT_TRUE(mp3_.Tag.Present);
  for (const std::string& content : {std::string(), std::string("\xFF"), std::string("\xFF\xFB"),
                                    std::string("\xFF\xFB\x90")}) {
    SCOPED_TRACE(content.size());
    EXPECT_FALSE(Read(content));
    EXPECT_FALSE(mp3_.Info.Valid);
    EXPECT_TRUE(mp3_.Tag.Present);
    EXPECT_EQ(mp3_.Tag.Title, "Kept");
  }
  // A header cut off by the end of a longer file is no header either.
  EXPECT_FALSE(Read(std::string(5000, 'x') + "\xFF\xFB\x90"));
}

TEST_F(Mp3InfoTest, FourByteFileHasAHeaderButNoTag) {
  ASSERT_TRUE(Read(HeaderBytes(FrameHeader{})));
  EXPECT_TRUE(mp3_.Info.Valid);
  EXPECT_EQ(mp3_.FileSize(), 4);
  EXPECT_FALSE(mp3_.Tag.Present);
}

TEST_F(Mp3InfoTest, MissingFilesAndDirectoriesAreNotRead) {
  for (const std::string& path : {dir_ / "missing.mp3", dir_.path()}) {
    mp3_.SetFileName(path);
    EXPECT_EQ(mp3_.FileSize(), -1);
    EXPECT_FALSE(mp3_.ReadInformation());
  }
}

TEST_F(Mp3InfoTest, FirstSyncInOtherLeadingDataIsTakenAndNotSearchedPast) {
  // A false sync with the reserved sample-rate index, then a real header.
  std::string leading = std::string("RIFF") + "\xFF\xFB\x9C\x00" + std::string(100, '\0');
  Id3v1 tag;
  tag.artist = "Someone";
  EXPECT_TRUE(Read(5000, FrameHeader{}, tag, leading));
  EXPECT_FALSE(mp3_.Info.Valid);
  EXPECT_EQ(mp3_.SampleRateIndex, 3);
  // The result stays true and the tag is read.
  EXPECT_TRUE(mp3_.Tag.Present);
  EXPECT_EQ(mp3_.Tag.Artist, "Someone");
}

TEST_F(Mp3InfoTest, LeadingId3v2TagIsSkipped) {
  // UTF-16 text frames begin with FF FE, pictures hold false syncs.
  std::string text_frame = std::string("TIT2\0\0\0\x09\0\0\x01\xFF\xFE", 13) + "T\0i\0t\0";
  std::string picture(300000, '\0');
  for (size_t i = 0; i + 1 < picture.size(); i += 7) picture[i] = '\xFF', picture[i + 1] = '\xF1';
  FrameHeader h = HeaderOf(kMpeg2, kLayer3, 8, 1, kSingle);  // 64 kbit/s, 24000 Hz
  struct Case {
    const char* what;
    std::string payload;
    bool footer;
  } cases[] = {{"text frame", text_frame, false},
               {"text frame and footer", text_frame, true},
               {"large picture", text_frame + picture, false},
               {"empty tag", "", false}};
  // Data between the tag and the header is searched byte by byte.
  std::string after_tag(5001, '\x01');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string tag2 = Id3v2Bytes(c.payload, c.footer) + after_tag;
    ASSERT_TRUE(Read(int64_t(tag2.size()) + 20000, h, std::nullopt, tag2));
    EXPECT_TRUE(mp3_.Info.Valid);
    EXPECT_EQ(mp3_.Info.Version, "MPEG Version 2 (ISO/IEC 13818-3)");
    EXPECT_EQ(mp3_.Info.Layer, "Layer III");
    EXPECT_EQ(mp3_.Info.Bitrate, 64);
    EXPECT_EQ(mp3_.Info.SampleRate, 24000);
  }
}

TEST_F(Mp3InfoTest, Id3v2SizePastTheEndOfTheFileFindsNoHeader) {
  // Size bytes 7F 7F 7F 7F: 256 MiB of tag in a small file.
  std::string leading = std::string("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + "\xFF\xFB\x90\x64";
  EXPECT_FALSE(Read(10000, FrameHeader{}, std::nullopt, leading));
  EXPECT_FALSE(mp3_.Info.Valid);
}

TEST_F(Mp3InfoTest, MalformedId3v2HeaderIsSearchedAsOtherData) {
  // Without a skip the real header right after the leading bytes is found.
  for (const std::string& head : {std::string("ID3\x03\x00\x00\x00\x00\x80\x00", 10),
                                  std::string("ID3\x03\xFF\x00\x00\x00\x00\x05", 10),
                                  std::string("ID3\x03\x00", 5)}) {
    SCOPED_TRACE(head.size());
    ASSERT_TRUE(Read(5000, HeaderOf(kMpeg1, kLayer3, 1), std::nullopt, head));
    EXPECT_TRUE(mp3_.Info.Valid);
    EXPECT_EQ(mp3_.Info.Bitrate, 32);
  }
  // A version byte FF followed by E2 syncs inside the would-be tag header.
  std::string head("ID3\xFF\xE2\x0C\x00\x00\x00\x05", 10);
  ASSERT_TRUE(Read(5000, HeaderOf(kMpeg1, kLayer3, 1), std::nullopt, head));
  EXPECT_EQ(mp3_.Info.Version, "MPEG Version 2.5");
  EXPECT_EQ(mp3_.SampleRateIndex, 3);
  EXPECT_FALSE(mp3_.Info.Valid);
}

// ---- the tag -------------------------------------------------------------------

TEST_F(Mp3InfoTest, TagVersionsTrackAndComment) {
  Id3v1 v11;
  v11.comment = "Short";
  v11.track = 7;
  ASSERT_TRUE(Read(1000, FrameHeader{}, v11));
  EXPECT_EQ(mp3_.Tag.TagVersion, "ID3v1.1");
  EXPECT_EQ(mp3_.Tag.Track, 7);
  EXPECT_EQ(mp3_.Tag.Comment, "Short");

  v11.track = 0;  // byte 125 zero, track 0: still version 1.1
  ASSERT_TRUE(Read(1000, FrameHeader{}, v11));
  EXPECT_EQ(mp3_.Tag.TagVersion, "ID3v1.1");
  EXPECT_EQ(mp3_.Tag.Track, 0);

  Id3v1 v10;
  v10.comment = std::string(29, 'c') + "Z";
  ASSERT_TRUE(Read(1000, FrameHeader{}, v10));
  EXPECT_EQ(mp3_.Tag.TagVersion, "ID3v1.0");
  EXPECT_EQ(mp3_.Tag.Track, 0);
  EXPECT_EQ(mp3_.Tag.Comment, v10.comment);
}

TEST_F(Mp3InfoTest, TagTextsAreCutAtZeroAndWidthAndTrimmed) {
  Id3v1 tag;
  tag.title = std::string(30, 'T');
  tag.artist = "  Spaced Out \t";
  tag.album = std::string("Album\0Hidden", 12);
  tag.year = "2001";
  tag.comment = "\x01\x1F Control \x20";
  ASSERT_TRUE(Read(1000, FrameHeader{}, tag));
  ASSERT_TRUE(mp3_.Tag.Present);
  EXPECT_EQ(mp3_.Tag.Title, std::string(30, 'T'));
  EXPECT_EQ(mp3_.Tag.Artist, "Spaced Out");
  EXPECT_EQ(mp3_.Tag.Album, "Album");
  EXPECT_EQ(mp3_.Tag.Year, "2001");
  EXPECT_EQ(mp3_.Tag.Comment, "Control");
  // Single-byte texts stand as they are, the separator byte included.
  tag.title = "Caf\xE9 \xFF";
  ASSERT_TRUE(Read(1000, FrameHeader{}, tag));
  EXPECT_EQ(mp3_.Tag.Title, "Caf\xE9 \xFF");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(mp3_.RawTag), 128), Id3v1Bytes(tag));
}

TEST_F(Mp3InfoTest, MissingTagLeavesTheFieldsAndClearsPresent) {
  Id3v1 tag;
  tag.title = "First";
  ASSERT_TRUE(Read(1000, FrameHeader{}, tag));
  for (const std::string& content :
       {MpegFile(1000, FrameHeader{}), MpegFile(100, FrameHeader{})}) {  // no TAG; too short
    ASSERT_TRUE(Read(content));
    EXPECT_FALSE(mp3_.Tag.Present);
    EXPECT_EQ(mp3_.Tag.Title, "First");
  }
}

// ---- options and reuse -----------------------------------------------------

TEST_F(Mp3InfoTest, WithoutHeaderReadingTheTagDecides) {
  ASSERT_TRUE(Read(1000, HeaderOf(kMpeg1, kLayer3, 9)));
  ASSERT_TRUE(mp3_.Info.Valid);
  mp3_.ReadHeader = false;
  // No sync at all in either file: the header is not looked for.
  EXPECT_FALSE(Read(std::string(1000, 'x')));
  Id3v1 tag;
  tag.album = "Only a tag";
  EXPECT_TRUE(Read(std::string(1000, 'x') + Id3v1Bytes(tag)));
  EXPECT_TRUE(mp3_.Info.Valid);  // unchanged
  EXPECT_EQ(mp3_.Info.Bitrate, 128);
  EXPECT_EQ(mp3_.Tag.Album, "Only a tag");
}

TEST_F(Mp3InfoTest, WithoutTagReadingPresentIsUntouched) {
  Id3v1 tag;
  tag.title = "Before";
  ASSERT_TRUE(Read(1000, FrameHeader{}, tag));
  mp3_.ReadTag = false;
  EXPECT_TRUE(Read(1000, FrameHeader{}));
  EXPECT_TRUE(mp3_.Tag.Present);
  EXPECT_EQ(mp3_.Tag.Title, "Before");
}

TEST_F(Mp3InfoTest, InvalidHeaderKeepsThePlayingTimeOfTheFileBefore) {
  ASSERT_TRUE(Read(1587624, HeaderOf(kMpeg1, kLayer3, 3)));
  ASSERT_EQ(mp3_.Info.Length, 109);
  ASSERT_TRUE(Read(1000, HeaderOf(kMpeg1, kLayer3, 9, 3)));  // reserved sample rate
  EXPECT_FALSE(mp3_.Info.Valid);
  EXPECT_EQ(mp3_.Info.Length, 109);
  EXPECT_TRUE(mp3_.Info.VariableBitrate);
  EXPECT_EQ(mp3_.Info.Bitrate, 128);  // the decoded values are the new file's
}

TEST_F(Mp3InfoTest, EmptyFileWithSizeZeroIsNotValid) {
  // The size is measured when the name is set: a file that grew since
  // then still counts as empty.
  WriteFile(path_, "");
  mp3_.SetFileName(path_);
  WriteFile(path_, MpegFile(1000, FrameHeader{}));
  EXPECT_TRUE(mp3_.ReadInformation());
  EXPECT_FALSE(mp3_.Info.Valid);
}

// Read system calls made by this process so far; none where the system
// does not count them. The count comes from Linux's /proc/self/io (not under
// Wine, where the process's own calls to the Wine server count as well).
std::optional<long> ReadCalls() {
#ifdef __linux__
  std::ifstream io("/proc/self/io");
  std::string key;
  long value;
  while (io >> key >> value) {
    if (key == "syscr:") return value;
  }
#endif
  return std::nullopt;
}

TEST_F(Mp3InfoTest, OneOpenAndFewBlockReadsPerFile) {
  CountingEnv env;
  TMP3Information mp3(env);
  auto probe_start = ReadCalls(), probe_end = ReadCalls();
  struct Case {
    const char* what;
    std::string content;
    long most_reads;  // the first block, blocks after it, the tail
  } cases[] = {
      {"header first", MpegFile(3000000, FrameHeader{}, Id3v1{}), 2},
      {"a tagger's ID3v2 tag (text, 1 KB of padding)",
       MpegFile(3000000, FrameHeader{}, Id3v1{}, Id3v2Bytes(std::string(1100, 'p'))), 2},
      {"large ID3v2 tag",
       MpegFile(3000000, FrameHeader{}, Id3v1{}, Id3v2Bytes(std::string(500000, 'p'))), 3},
      {"header after 1 MB of other data",
       MpegFile(3000000, FrameHeader{}, Id3v1{}, std::string(1000000, 'x')), 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(path_, c.content);
    env.opens = 0;
    mp3.SetFileName(path_);
    auto before = ReadCalls();
    ASSERT_TRUE(mp3.ReadInformation());
    auto after = ReadCalls();
    EXPECT_TRUE(mp3.Info.Valid);
    EXPECT_TRUE(mp3.Tag.Present);
    EXPECT_EQ(env.opens, 1);
    if (before && after && probe_start && probe_end) {
      EXPECT_LE(*after - *before - (*probe_end - *probe_start), c.most_reads);
    }
  }
}

}  // namespace quorbel::test

namespace quorbel::test {

// The one-open path the generation run takes gives what SetFileName and
// ReadInformation give, file by file, on one reused object each.
TEST(Mp3InfoOneOpenTest, AgreesWithSetFileNameThenReadInformation) {
  TempDir dir;
  Id3v1 tag;
  tag.artist = "Artist";
  tag.title = "Title";
  FrameHeader vbr;
  vbr.bitrate_index = 4;  // 48 kbit/s: the variable-bitrate estimate
  const std::pair<std::string, std::string> files[] = {
      {"valid.mp3", MpegFile(4000000, FrameHeader{}, tag)},
      {"vbr.mp3", MpegFile(1587624, vbr)},
      {"behind-id3v2.mp3", Id3v2Bytes(std::string(5000, 'x')) + MpegFile(300000)},
      {"no-sync.mp3", std::string(1000, 'a') + Id3v1Bytes(tag)},
      {"tiny.mp3", "ab"},
      {"empty.mp3", ""},
  };
  TMP3Information two_opens, one_open;
  for (const auto& [name, content] : files) {
    const std::string path = dir / name;
    WriteFile(path, content);
    two_opens.SetFileName(path);
    const bool expected = two_opens.ReadInformation();
    EXPECT_EQ(one_open.SetFileNameAndRead(path), expected) << name;
    EXPECT_EQ(one_open.FileName(), two_opens.FileName()) << name;
    EXPECT_EQ(one_open.FileSize(), two_opens.FileSize()) << name;
    EXPECT_EQ(one_open.Info.Valid, two_opens.Info.Valid) << name;
    EXPECT_EQ(one_open.Info.Bitrate, two_opens.Info.Bitrate) << name;
    EXPECT_EQ(one_open.Info.Length, two_opens.Info.Length) << name;
    EXPECT_EQ(one_open.Info.VariableBitrate, two_opens.Info.VariableBitrate) << name;
    EXPECT_EQ(one_open.Tag.Present, two_opens.Tag.Present) << name;
    EXPECT_EQ(one_open.Tag.Artist, two_opens.Tag.Artist) << name;
  }
  // A file that is not there: no size, no information.
  EXPECT_FALSE(one_open.SetFileNameAndRead(dir / "missing.mp3"));
  EXPECT_EQ(one_open.FileSize(), -1);
}

}  // namespace quorbel::test
