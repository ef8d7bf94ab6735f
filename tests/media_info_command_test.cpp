// ZOQ_GetMPEGInfo: one file's MPEG header and ID3v1 tag in one reply line.
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace quorbel::test {

namespace {

const std::string S(1, '\xFF');  // the group separator
const std::string kTag = " __ZOQ_GetMPEGInfo__";
const std::string kNotFound = "506 File or directory not found __ZOQ_GetMPEGInfo__";
const std::string kWrongFormat = "507 Wrong format __ZOQ_GetMPEGInfo__";

class MpegInfoCommandTest : public EngineTest {
 protected:
  std::string Info(const std::string& name, const std::string& content) {
    WriteFile(dir_ / name, content);
    return Call(ZOQ_GetMPEGInfo, dir_ / name);
  }
  TempDir dir_;
};

// Reads and measures nothing: counts every attempt to.
class TouchCountingEnv : public EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  int touches = 0;
  std::FILE* OpenFile(const std::string& p, const char* m) override {
    ++touches;
    return EnvWrapper::OpenFile(p, m);
  }
  std::unique_ptr<RandomAccessFile> OpenRegularFile(const std::string& p, int64_t* size) override {
    ++touches;
    return EnvWrapper::OpenRegularFile(p, size);
  }
  int64_t FileSize(const std::string& p) override {
    ++touches;
    return EnvWrapper::FileSize(p);
  }
};

FrameHeader Mpeg2Layer3At8k() {
  FrameHeader h;
  h.version_code = 2;
  h.bitrate_index = 1;  // 8 kbit/s: 1000 bytes a second
  return h;
}

}  // namespace

TEST_F(MpegInfoCommandTest, JointStereoFileWithoutTag) {
  // 128 kbit/s is 16000 bytes a second: 185 s.
  EXPECT_EQ(Info("a.mp3", MpegFile(185 * 16000, FrameHeader{})),
            "201 OK-DATA 128/44" + S + "Joint stereo" + S + "[3m05s]" + kTag);
}

TEST_F(MpegInfoCommandTest, PlayingTimeGroup) {
  struct Case {
    int64_t seconds;
    const char* group;
  } cases[] = {{185, "[3m05s]"}, {45, "[45s]"}, {0, "[00s]"}, {600, "[10m00s]"}, {59, "[59s]"},
               {60, "[1m00s]"},  {7205, "[120m05s]"}};
  for (const Case& c : cases) {
    int64_t size = c.seconds * 1000 + 999;  // a part second is cut off
    EXPECT_EQ(Info("t.mp3", MpegFile(size, Mpeg2Layer3At8k())),
              "201 OK-DATA 8/22" + S + "Joint stereo" + S + c.group + kTag);
  }
}

TEST_F(MpegInfoCommandTest, RateAndSampleRateGroup) {
  FrameHeader mono;
  mono.version_code = 0;  // MPEG 2.5
  mono.bitrate_index = 14;
  mono.sample_rate_index = 0;
  mono.channel_mode = 3;
  EXPECT_EQ(Info("m.mp2", MpegFile(16000, mono)),
            "201 OK-DATA 160/11" + S + "Single channel" + S + "[00s]" + kTag);
  FrameHeader bad = mono;
  bad.bitrate_index = 15;
  bad.channel_mode = 2;
  EXPECT_EQ(Info("b.mp3", MpegFile(16000, bad)),
            "201 OK-DATA -1/11" + S + "Dual channel" + S + "[00s]" + kTag);
}

TEST_F(MpegInfoCommandTest, VariableBitrateEstimateReplacesTheRate) {
  FrameHeader h;
  h.bitrate_index = 3;  // 48 kbit/s
  EXPECT_EQ(Info("v.mp3", MpegFile(1587624, h)),
            "201 OK-DATA VAR/44" + S + "Joint stereo" + S + "[1m49s]" + kTag);
}

TEST_F(MpegInfoCommandTest, TagGroups) {
  Id3v1 some;
  some.artist = "Artist";
  some.title = "Title";
  some.year = "1999";
  some.track = 3;
  some.genre = 17;
  const std::string head = "201 OK-DATA 128/44" + S + "Joint stereo" + S + "[00s]" + S + "::ID3::";
  EXPECT_EQ(Info("s.mp3", MpegFile(1000, FrameHeader{}, some)),
            head + S + "(A:Artist)" + S + "(T:Title)" + S + "(Ab: N/A)" + S + "(G:Rock)" + S +
                "(C: N/A)" + kTag);

  Id3v1 empty;  // genre byte 255 still has a name
  EXPECT_EQ(Info("e.mp3", MpegFile(1000, FrameHeader{}, empty)),
            head + S + "(A: N/A)" + S + "(T: N/A)" + S + "(Ab: N/A)" + S + "(G:Nothing)" + S +
                "(C: N/A)" + kTag);

  Id3v1 raw;  // values go in as they stand
  raw.artist = "A)B";
  raw.album = "X\xFFY";
  raw.comment = "(C: N/A)";
  raw.genre = 84;
  EXPECT_EQ(Info("r.mp3", MpegFile(1000, FrameHeader{}, raw)),
            head + S + "(A:A)B)" + S + "(T: N/A)" + S + "(Ab:X\xFFY)" + S + "(G:Fast Fusion)" + S +
                "(C:(C: N/A))" + kTag);
}

TEST_F(MpegInfoCommandTest, LeadingId3v2TagDoesNotHideTheHeader) {
  std::string utf16_title = std::string("TIT2\0\0\0\x05\0\0\x01\xFF\xFEH\0", 15);
  FrameHeader h;
  h.bitrate_index = 11;  // 192 kbit/s
  h.sample_rate_index = 1;
  h.channel_mode = 0;
  std::string tag = Id3v2Bytes(utf16_title + std::string(3985, '\xFF'));  // 4010 bytes
  // 192 kbit/s is 24000 bytes a second.
  EXPECT_EQ(Info("v2.mp3", MpegFile(240000 + 4010, h, std::nullopt, tag)),
            "201 OK-DATA 192/48" + S + "Stereo" + S + "[10s]" + kTag);
}

TEST_F(MpegInfoCommandTest, ExtensionDecidesBeforeAnythingIsRead) {
  for (const char* name : {"UPPER.MP3", "mixed.Mp2"}) {
    std::string line = Info(name, MpegFile(1000, FrameHeader{}));
    EXPECT_TRUE(line.starts_with("201 OK-DATA 128/44")) << line;
  }
  TouchCountingEnv env(Env::Default());
  SetEnvForTesting(&env);
  for (const char* name : {"song.wav", "song", "song.mp3.bak", "song.mp", "song.mp3 ", ".mp3x"}) {
    EXPECT_EQ(Info(name, MpegFile(1000, FrameHeader{})), kWrongFormat) << name;
  }
  SetEnvForTesting(nullptr);
  EXPECT_EQ(env.touches, 0);
}

TEST_F(MpegInfoCommandTest, MissingFilesAndDirectoriesAreNotFound) {
  EXPECT_EQ(Call(ZOQ_GetMPEGInfo, dir_ / "missing.mp3"), kNotFound);
  MakeDir(dir_ / "folder.mp3");
  EXPECT_EQ(Call(ZOQ_GetMPEGInfo, dir_ / "folder.mp3"), kNotFound);
  EXPECT_EQ(Call(ZOQ_GetMPEGInfo, ""), kNotFound);
  // The path is used unchanged: no trimming, no quotes removed.
  WriteFile(dir_ / "q.mp3", MpegFile(1000, FrameHeader{}));
  EXPECT_EQ(Call(ZOQ_GetMPEGInfo, " " + (dir_ / "q.mp3")), kNotFound);
  EXPECT_EQ(Call(ZOQ_GetMPEGInfo, "\"" + (dir_ / "q.mp3") + "\""), kNotFound);
}

TEST_F(MpegInfoCommandTest, FilesWithoutAValidHeaderAreWrongFormat) {
  FrameHeader reserved_rate;
  reserved_rate.sample_rate_index = 3;
  FrameHeader reserved_layer;
  reserved_layer.layer_code = 0;
  struct Case {
    const char* what;
    std::string content;
  } cases[] = {
      {"empty", ""},
      {"three bytes", "\xFF\xFB\x90"},
      {"no sync", std::string(5000, 'x')},
      {"reserved sample rate", MpegFile(1000, reserved_rate)},
      {"reserved layer", MpegFile(1000, reserved_layer)},
      {"false sync before a real header",
       MpegFile(1000, FrameHeader{}, std::nullopt, std::string("\xFF\xE0\x00\x00", 4))},
      {"ID3v2 tag longer than the file",
       std::string("ID3\x04\x00\x00\x7F\x7F\x7F\x7F", 10) + HeaderBytes({})},
  };
  for (const Case& c : cases) EXPECT_EQ(Info("bad.mp3", c.content), kWrongFormat) << c.what;
}

TEST_F(MpegInfoCommandTest, WithoutADataBufferNothingIsWritten) {
  HostBuffer parms;
  EXPECT_EQ(ZOQ_GetMPEGInfo(nullptr, nullptr, nullptr, parms.bytes, 1, 0), 3);
  EXPECT_EQ(std::string(parms.bytes, HostBuffer::kSize),
            std::string(parms.initial, HostBuffer::kSize));
}

TEST(MpegInfoWithoutEngineTest, NeedsNoEngine) {
  ASSERT_EQ(ZOQ_Quorbel, nullptr);
  TempDir dir;
  WriteFile(dir / "a.mp3", MpegFile(16000, FrameHeader{}));
  EXPECT_EQ(Call(ZOQ_GetMPEGInfo, dir / "a.mp3"),
            "201 OK-DATA 128/44" + S + "Joint stereo" + S + "[01s]" + kTag);
}

}  // namespace quorbel::test
