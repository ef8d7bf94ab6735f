#include "support/generate_tree.h"

#include <cerrno>

#include "support/mp3_fixtures.h"

namespace quorbel::test {

RunEnv::RunEnv(Env* target) : EnvWrapper(target) {
  now.year = 2002, now.month = 6, now.day = 19;
  now.hour = 9, now.minute = 5, now.second = 3, now.weekday = 3;
}

void RunEnv::PumpMessages() {
  EnvWrapper::PumpMessages();
  if (!on_pump || pumping_) return;
  struct Guard {  // a hook may throw
    bool& flag;
    ~Guard() { flag = false; }
  } guard{pumping_};
  pumping_ = true;
  const auto hook = on_pump;  // a hook may clear itself while it runs
  hook();
}

bool RunEnv::ReplaceFile(const std::string& from, const std::string& to) {
  if (on_replace) {
    if (auto answer = on_replace(from, to)) return *answer;
  }
  return EnvWrapper::ReplaceFile(from, to);
}

int64_t RunEnv::FileSize(const std::string& path) {
  if (before_read && !before_read(path)) return -1;
  if (on_file_size) {
    if (auto size = on_file_size(path)) return *size;
  }
  return EnvWrapper::FileSize(path);
}

std::FILE* RunEnv::OpenFile(const std::string& path, const char* mode) {
  if (refuse_open && refuse_open(path, mode)) {
    errno = EACCES;
    return nullptr;
  }
  if (on_open) {
    if (std::FILE* file = on_open(path, mode)) return file;
  }
  return EnvWrapper::OpenFile(path, mode);
}

std::unique_ptr<RandomAccessFile> RunEnv::OpenRegularFile(const std::string& path, int64_t* size) {
  if (before_read && !before_read(path)) return nullptr;
  return EnvWrapper::OpenRegularFile(path, size);
}

void GenerateTest::SetUp() {
  SetEnvForTesting(&env_);  // the engine keeps the Env it was built with
  EngineTest::SetUp();
  MakeDir(music());
  MakeDir(work());
}

void GenerateTest::TearDown() {
  env_.on_pump = nullptr;
  EngineTest::TearDown();
  SetEnvForTesting(nullptr);
}

std::string GenerateTest::MusicFile(const std::string& relative) const {
  std::string path = music() + kPathDelim + relative;
  for (char& c : path) {
    if (c == '/') c = kPathDelim;
  }
  return path;
}

std::string GenerateTest::WorkFile(const std::string& name) const {
  return work() + kPathDelim + name;
}

void GenerateTest::Configure(IniSettings ini) {
  if (ini.drives.empty() && !ini.no_drives) ini.drives = {music()};
  std::string text = "[listmake]\r\nmethod=" + ini.method + "\r\ngear=" + ini.gear +
                     "\r\nnick=" + ini.nick + "\r\nhitnum=30\r\n" + ini.more_listmake;
  auto section = [&text](const char* name, const std::vector<std::string>& values) {
    if (values.empty()) return;
    text += std::string("[") + name + "]\r\n";
    for (size_t i = 0; i < values.size(); ++i) {
      text += std::to_string(i + 1) + "=" + values[i] + "\r\n";
    }
  };
  section("Preface", ini.preface);
  section("Extension", ini.extensions);
  section("drive", ini.drives);
  const std::string path = dir_ / "quorbel.ini";
  WriteFile(path, text);
  ASSERT_EQ(Call(ZOQ_SetDirectory, work()), "200 OK __ZOQ_SetDirectory__");
  ASSERT_EQ(Call(ZOQ_SetIniFile, path), "200 OK __ZOQ_SetIniFile__");
  ASSERT_EQ(Call(ZOQ_SetCompress, "0"), "200 OK __ZOQ_SetCompress__ Do not compress");
}

std::string TaggedSong(int64_t size, const std::string& artist, const std::string& title) {
  Id3v1 tag;
  tag.artist = artist;
  tag.title = title;
  return MpegFile(size, FrameHeader{}, tag);
}

std::string UntaggedStereoSong(int64_t size) {
  FrameHeader header;
  header.bitrate_index = 11;     // 192 kbit/s
  header.sample_rate_index = 1;  // 48000 Hz
  header.channel_mode = 0;       // stereo
  return MpegFile(size, header);
}

}  // namespace quorbel::test
