// A generation run in a scratch folder, through the exported commands: a
// music tree, a configuration file, an injected clock, and hooks into the
// message pump and the file system.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quorbel::test {

// The default Env with a fixed clock and optional hooks.
class RunEnv : public EnvWrapper {
 public:
  explicit RunEnv(Env* target);

  LocalTime now;  // Wednesday 19 June 2002, 9:05:03
  // Runs inside the library's message pumping; never re-entered by the
  // pumping of the commands it calls.
  std::function<void()> on_pump;
  // Answers instead of the system when set and returning a value.
  std::function<std::optional<bool>(const std::string& from, const std::string& to)> on_replace;
  std::function<std::optional<int64_t>(const std::string& path)> on_file_size;
  // Opens instead of the system when set and returning a file.
  std::function<std::FILE*(const std::string& path, const char* mode)> on_open;
  // Runs before a media file is measured or opened, on whichever thread
  // reads it; false refuses the open (a file locked by another program).
  // Set it before the run: reader threads call it concurrently.
  std::function<bool(const std::string& path)> before_read;
  // Refuses the open (as a folder without write rights does) when set and true.
  std::function<bool(const std::string& path, const char* mode)> refuse_open;

  LocalTime Now() override { return now; }
  void PumpMessages() override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  int64_t FileSize(const std::string& path) override;
  std::FILE* OpenFile(const std::string& path, const char* mode) override;
  std::unique_ptr<RandomAccessFile> OpenRegularFile(const std::string& path, int64_t* size) override;

 private:
  bool pumping_ = false;
};

struct IniSettings {
  std::string method = "sbqtai";
  std::string gear = "1";
  std::string nick = "Bob";
  std::vector<std::string> preface;
  std::vector<std::string> extensions = {"*.mp3"};
  std::vector<std::string> drives;  // empty: the music folder
  bool no_drives = false;
  std::string more_listmake;  // further "key=value\r\n" lines of [listmake]
};

class GenerateTest : public EngineTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the configuration file, reads it, sets the working directory and
  // turns compression off.
  void Configure(IniSettings ini = {});
  std::string Generate() { return Call(ZOQ_StartGenerate); }

  std::string music() const { return dir_ / "Music"; }
  std::string MusicFile(const std::string& relative) const;  // '/' separated
  std::string work() const { return dir_ / "work"; }
  std::string WorkFile(const std::string& name) const;
  // The list and index of a run on the injected date with nick Bob.
  std::string ListFile() const { return WorkFile("Bob[06-19-02]-mm.txt"); }
  std::string IndexFile() const { return WorkFile("Bob[06-19-02]-mm.idx"); }

  RunEnv env_{Env::Default()};
  TempDir dir_;
};

// MPEG files of the sample list: 128 kbit/s, 44100 Hz, joint stereo with
// a tag, and 192 kbit/s, 48000 Hz, stereo without.
std::string TaggedSong(int64_t size, const std::string& artist, const std::string& title);
std::string UntaggedStereoSong(int64_t size);

}  // namespace quorbel::test
