// Playing times from the frame-count headers of the first frame (Xing,
// Info, VBRI), and from the audio bytes behind a leading ID3v2 tag.
#include "mp3info.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace quorbel::test {

namespace {

constexpr int kMpeg25 = 0, kMpeg2 = 2, kMpeg1 = 3;
constexpr int kLayer3 = 1, kLayer2 = 2;
constexpr int kStereo = 0, kJoint = 1, kSingle = 3;
constexpr uint32_t kFramesFlag = 1;

std::string BigEndian32(uint32_t n) {
  return {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
}

// A first frame: the header, zeros, and `id` at `at` followed by the
// Xing/Info layout (flags, frame count) or the VBRI one (version, delay,
// quality, bytes, frame count).
std::string FirstFrame(const FrameHeader& h, const std::string& id, size_t at, uint32_t frames,
                       uint32_t flags = kFramesFlag) {
  std::string frame = HeaderBytes(h);
  frame.resize(at, '\0');
  frame += id;
  if (id == "VBRI") {
    frame += std::string(10, '\0') + BigEndian32(frames);
  } else {
    frame += BigEndian32(flags) + BigEndian32(frames);
  }
  frame.resize(std::max<size_t>(frame.size(), 417), '\0');
  return frame;
}

class FrameCountTest : public ::testing::Test {
 protected:
  void Read(const std::string& content) {
    WriteFile(path_, content);
    mp3_.SetFileName(path_);
    ASSERT_TRUE(mp3_.ReadInformation());
    ASSERT_TRUE(mp3_.Info.Valid);
  }
  // The frame, then zeros up to `size` bytes.
  void Read(const std::string& frame, int64_t size, const std::string& leading = "") {
    std::string content = leading + frame;
    content.resize(size_t(size), '\0');
    Read(content);
  }

  TempDir dir_;
  std::string path_ = dir_ / "song.mp3";
  TMP3Information mp3_;
};

}  // namespace

TEST_F(FrameCountTest, CountedFramesGiveTheTime) {
  const FrameHeader joint128 = HeaderOf(kMpeg1, kLayer3, 9, 0, kJoint);  // 44100 Hz
  const FrameHeader mono128 = HeaderOf(kMpeg1, kLayer3, 9, 0, kSingle);
  const FrameHeader mpeg2 = HeaderOf(kMpeg2, kLayer3, 8, 0, kJoint);      // 22050 Hz
  const FrameHeader mpeg25mono = HeaderOf(kMpeg25, kLayer3, 8, 0, kSingle);  // 11025 Hz
  const FrameHeader stereo48 = HeaderOf(kMpeg1, kLayer3, 3, 0, kStereo);
  struct Case {
    const char* what;
    std::string frame;
    bool variable;
    int32_t length;
  } cases[] = {
      // 1000 frames of 1152 samples at 44100 Hz: 26.12 s.
      {"Xing, MPEG 1 stereo", FirstFrame(joint128, "Xing", 36, 1000), true, 26},
      {"Info keeps the bitrate", FirstFrame(joint128, "Info", 36, 1000), false, 26},
      {"Xing, MPEG 1 mono", FirstFrame(mono128, "Xing", 21, 1000), true, 26},
      // 576 samples a frame in MPEG 2 and 2.5.
      {"Xing, MPEG 2 stereo", FirstFrame(mpeg2, "Xing", 21, 1000), true, 26},
      {"Info, MPEG 2.5 mono", FirstFrame(mpeg25mono, "Info", 13, 1000), false, 52},
      {"VBRI", FirstFrame(joint128, "VBRI", 36, 1000), true, 26},
      {"VBRI, MPEG 2", FirstFrame(mpeg2, "VBRI", 36, 2000), true, 52},
      // The 48 kbit/s estimate gives way to the count.
      {"48k stereo with Info", FirstFrame(stereo48, "Info", 36, 1000), false, 26},
      {"48k stereo with Xing", FirstFrame(stereo48, "Xing", 36, 1000), true, 26},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Read(c.frame, 400000);
    EXPECT_EQ(mp3_.Info.VariableBitrate, c.variable);
    EXPECT_EQ(mp3_.Info.Length, c.length);
  }
  EXPECT_EQ(mp3_.Info.Bitrate, 48);  // the header's own, printed unless VAR
}

TEST_F(FrameCountTest, UnusableHeadersLeaveTheSizeFormulas) {
  // 400000 bytes at 128 kbit/s: 25 s; a count of 1000 would give 26 s.
  const FrameHeader joint128 = HeaderOf(kMpeg1, kLayer3, 9, 0, kJoint);
  const FrameHeader mono128 = HeaderOf(kMpeg1, kLayer3, 9, 0, kSingle);
  const FrameHeader layer2 = HeaderOf(kMpeg1, kLayer2, 8, 0, kJoint);  // 128 kbit/s too
  struct Case {
    const char* what;
    std::string frame;
  } cases[] = {
      {"no count announced", FirstFrame(joint128, "Xing", 36, 1000, 0x0E)},
      {"zero frames", FirstFrame(joint128, "Xing", 36, 0)},
      {"zero VBRI frames", FirstFrame(joint128, "VBRI", 36, 0)},
      {"absurd count", FirstFrame(joint128, "Xing", 36, 0xFFFFFFFF)},
      {"mono offset in a stereo frame", FirstFrame(joint128, "Xing", 21, 1000)},
      {"stereo offset in a mono frame", FirstFrame(mono128, "Info", 36, 1000)},
      {"other id", FirstFrame(joint128, "Xinf", 36, 1000)},
      {"Layer II", FirstFrame(layer2, "Xing", 36, 1000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Read(c.frame, 400000);
    EXPECT_FALSE(mp3_.Info.VariableBitrate);
    EXPECT_EQ(mp3_.Info.Length, 25);
  }
  // A file that ends inside the header: the count is not there to read.
  std::string cut = FirstFrame(joint128, "Xing", 36, 1000).substr(0, 46);
  Read(cut);
  EXPECT_EQ(mp3_.Info.Length, 0);
  EXPECT_FALSE(mp3_.Info.VariableBitrate);
}

TEST_F(FrameCountTest, CountsAreBelievedUpToFourTimesWhatTheFileHolds) {
  // The smallest MPEG 1 Layer III frame at 44100 Hz (32 kbit/s) has 104
  // bytes: 26000 audio bytes hold at most 250 of them; four times that is
  // believed, one frame more is not.
  const FrameHeader joint128 = HeaderOf(kMpeg1, kLayer3, 9, 0, kJoint);
  Read(FirstFrame(joint128, "Xing", 36, 1000), 26000);
  EXPECT_EQ(mp3_.Info.Length, 26);
  EXPECT_TRUE(mp3_.Info.VariableBitrate);
  Read(FirstFrame(joint128, "Xing", 36, 1001), 26000);
  EXPECT_EQ(mp3_.Info.Length, 1);  // 26000 / 16000
  EXPECT_FALSE(mp3_.Info.VariableBitrate);
  // The leading tag is no audio: the same file behind a tag is judged alike.
  const std::string tag = Id3v2Bytes(std::string(100000, 'p'));
  Read(FirstFrame(joint128, "Xing", 36, 1001), int64_t(tag.size()) + 26000, tag);
  EXPECT_EQ(mp3_.Info.Length, 1);
}

TEST_F(FrameCountTest, SizeFormulasCountTheAudioBehindALeadingTag) {
  struct Case {
    const char* what;
    size_t tag_payload;
    bool footer;
    FrameHeader header;
    int64_t audio;
    bool variable;
    int32_t length;
  } cases[] = {
      // 192000 audio bytes at 128 kbit/s: 12 s, whatever the tag's size.
      {"no tag", 0, false, HeaderOf(kMpeg1, kLayer3, 9, 0, kJoint), 192000, false, 12},
      {"350 KB picture", 350000, false, HeaderOf(kMpeg1, kLayer3, 9, 0, kJoint), 192000, false, 12},
      {"tag with footer", 5000, true, HeaderOf(kMpeg1, kLayer3, 9, 0, kJoint), 192000, false, 12},
      // The 48 kbit/s estimate: 1587624 / 15876.24752 + 10.
      {"estimate", 350000, false, HeaderOf(kMpeg1, kLayer3, 3, 0, kJoint), 1587624, true, 109},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string leading = c.tag_payload ? Id3v2Bytes(std::string(c.tag_payload, 'p'), c.footer) : "";
    Read(HeaderBytes(c.header), int64_t(leading.size()) + c.audio, leading);
    EXPECT_EQ(mp3_.FileSize(), int64_t(leading.size()) + c.audio);
    EXPECT_EQ(mp3_.Info.VariableBitrate, c.variable);
    EXPECT_EQ(mp3_.Info.Length, c.length);
  }
}

TEST_F(FrameCountTest, OneOpenPathAgrees) {
  const std::string tag = Id3v2Bytes(std::string(70000, 'p'));
  std::string content = tag + FirstFrame(HeaderOf(kMpeg1, kLayer3, 9, 0, kJoint), "Xing", 36, 1000);
  content.resize(content.size() + 300000, '\0');
  WriteFile(path_, content);
  ASSERT_TRUE(mp3_.SetFileNameAndRead(path_));
  EXPECT_EQ(mp3_.Info.Length, 26);
  EXPECT_TRUE(mp3_.Info.VariableBitrate);
}

}  // namespace quorbel::test
