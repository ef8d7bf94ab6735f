// Reading ahead in the generation run: the same list, index, bad-file list,
// replies and progress texts as the run that reads each file at its turn,
// and clean ends while reads are in flight.
#include "list_readahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "command_failure.h"
#include "quorbel_form.h"
#include "quorbel_oob.h"
#include "support/generate_tree.h"
#include "support/mp3_fixtures.h"

namespace quorbel::test {
namespace {

namespace fs = std::filesystem;

const std::string kOk = "200 OK __ZOQ_StartGenerate__";
const std::string kStopped = "511 Operation is terminated __ZOQ_StartGenerate__";

// More files than the run reads ahead, so that the window moves.
constexpr int kPlainSongs = 300;
// A few reads this slow in a row make the run read ahead.
constexpr std::chrono::microseconds kSlowRead{1000};

// Threads and open descriptors of this process, where the system shows
// them; a run must leave both as it found them.
struct ProcessHandles {
  size_t threads = 0, descriptors = 0;
  bool operator==(const ProcessHandles&) const = default;
};

ProcessHandles CountHandles() {
  // A sanitizer's runtime starts a helper thread with the first thread of
  // the process; it must be there before the first count.
  static const bool runtime_threads_started = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)runtime_threads_started;
  ProcessHandles handles;
#ifdef __linux__
  auto count = [](const char* dir) {
    size_t n = 0;
    for (auto it = fs::directory_iterator(dir); it != fs::directory_iterator(); ++it) ++n;
    return n;
  };
  handles.threads = count("/proc/self/task");
  handles.descriptors = count("/proc/self/fd");
#endif
  return handles;
}

// The counts once they are back to `before`, or as they stand after a
// second: a joined thread can stay listed by the system for a moment after
// the join, while one still running never leaves.
ProcessHandles CountHandlesBackTo(const ProcessHandles& before) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  ProcessHandles now = CountHandles();
  while (!(now == before) && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    now = CountHandles();
  }
  return now;
}

bool HasLineStarting(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

// The first line where two texts differ, or empty when they are equal;
// keeps a failure's message short on lists of hundreds of lines.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  const size_t line_start = expected.rfind('\n', at) == std::string::npos ? 0 : expected.rfind('\n', at) + 1;
  return "expected \"" + expected.substr(line_start, 120) + "\"\n  actual \"" +
         actual.substr(line_start, 120) + "\"";
}

std::string Padded(int n) {
  std::string text = std::to_string(n);
  return std::string(3 - text.size(), '0') + text;
}

// Everything a run shows to the host and leaves on disk, and how many of
// its files were read off the host's thread.
struct RunOutcome {
  std::string reply, list, index;
  std::vector<std::string> bad_files, statuses, music_tree;
  int reads_elsewhere = 0;
  bool operator==(const RunOutcome&) const = default;
};

class ReadAheadTest : public GenerateTest {
 protected:
  // "a1.mp3" to "a3.mp3" read slowly: three slow reads in a row make the
  // run read ahead from the next file on (one alone would not).
  void ReadSlowlyAtFirst(const std::string& path) {
    for (const char* name : {"a1.mp3", "a2.mp3", "a3.mp3"}) {
      if (path == MusicFile(name)) std::this_thread::sleep_for(4 * kSlowRead);
    }
  }
  // Every kind of file a music folder holds, bad names among them.
  void MakeEveryKindOfFile() {
    fs::remove_all(music());
    fs::remove_all(work());
    MakeDir(music());
    MakeDir(work());
    for (const char* dir : {"plain", "odd", "My  Music", "My Music"}) MakeDir(MusicFile(dir));
    for (int i = 0; i < kPlainSongs; ++i) {
      const std::string name = "plain/song " + Padded(i) + ".mp3";
      switch (i % 4) {
        case 0: WriteFile(MusicFile(name), TaggedSong(8000 + i, "Artist", "Song " + Padded(i))); break;
        case 1: WriteFile(MusicFile(name), UntaggedStereoSong(9000 + i)); break;
        case 2: {  // a leading ID3v2 tag holding a cover with false syncs
          const std::string cover = "\xFF\xD8\xFF\xE0" + std::string(3000, '\xFF');
          Id3v1 tag;
          tag.title = "Covered " + Padded(i);
          WriteFile(MusicFile(name), MpegFile(12000 + i, FrameHeader{}, tag, Id3v2Bytes(cover)));
          break;
        }
        default: WriteFile(MusicFile(name), std::string(size_t(i), 'x'));  // no header at all
      }
    }
    WriteFile(MusicFile("odd/empty.mp3"), "");
    WriteFile(MusicFile("odd/short.mp3"), "\xFF\xFB");
    WriteFile(MusicFile("odd/tag only.mp3"), Id3v1Bytes(Id3v1{"Only", "Tag", "", "", "", 3, 1}));
    WriteFile(MusicFile("odd/locked.mp3"), TaggedSong(5000, "Locked", "Away"));
    // Texts only in an ID3v2 tag: listed when the configuration asks for them.
    const std::string title = Id3v2Frame(3, "TIT2", std::string(1, '\0') + "Second Only");
    WriteFile(MusicFile("odd/v2 only.mp3"), MpegFile(6000, FrameHeader{}, std::nullopt, Id3v2Tag(3, title)));
    WriteFile(MusicFile("odd/gone.mp3"), TaggedSong(5000, "Gone", "Away"));
    WriteFile(MusicFile("odd/bad  name.mp3"), TaggedSong(7000, "Bad", "Name"));
    WriteFile(MusicFile("odd/taken  twice.mp3"), TaggedSong(7100, "Taken", "One"));
    WriteFile(MusicFile("odd/taken twice.mp3"), TaggedSong(7200, "Taken", "Two"));
    // Renamed onto a listed file that vanished after the counting: that
    // later line shows the renamed file, as it does when read at its turn.
    WriteFile(MusicFile("odd/p  q.mp3"), TaggedSong(7300, "Renamed", "Onto"));
    WriteFile(MusicFile("odd/p q.mp3"), TaggedSong(7400, "Vanished", "Before"));
    WriteFile(MusicFile("My  Music/moved.mp3"), TaggedSong(7500, "Moved", "Along"));
    WriteFile(WorkFile("in the work folder.mp3"), TaggedSong(7600, "Work", "Folder"));
  }

  RunOutcome RunOver(int32_t readers, const std::string& gear, bool id3v2 = false) {
    MakeEveryKindOfFile();
    IniSettings ini;
    ini.method = "sbqtaimgc";
    ini.gear = gear;
    if (id3v2) ini.more_listmake = "id3v2=1\r\n";
    ini.drives = {music(), work()};
    Configure(ini);
    // Every file reads slowly but songs 100 to 299: the run reads ahead
    // once a few reads in a row were slow and at each file's turn again
    // once reads are quick.
    const std::string quick_songs = MusicFile("plain/song ");
    const std::thread::id host = std::this_thread::get_id();
    std::atomic<int> reads_elsewhere{0};
    env_.before_read = [this, quick_songs, host, &reads_elsewhere](const std::string& path) {
      if (std::this_thread::get_id() != host) ++reads_elsewhere;
      const bool quick = path.rfind(quick_songs, 0) == 0 && path[quick_songs.size()] != '0';
      if (!quick) std::this_thread::sleep_for(kSlowRead);
      return path != MusicFile("odd/locked.mp3");
    };
    EXPECT_EQ(Call(ZOQ_CountFiles), "200 OK __ZOQ_CountFiles__");
    fs::remove(MusicFile("odd/gone.mp3"));
    fs::remove(MusicFile("odd/p q.mp3"));
    engine().freaders = readers;
    RunOutcome outcome;
    env_.on_pump = [&] {
      const std::string status = engine().form1 ? engine().form1->StatusText() : "";
      if (outcome.statuses.empty() || outcome.statuses.back() != status) outcome.statuses.push_back(status);
    };
    outcome.reply = Generate();
    env_.on_pump = nullptr;
    env_.before_read = nullptr;  // the readers are joined: none calls it any more
    outcome.reads_elsewhere = reads_elsewhere;
    outcome.statuses.push_back(engine().form1->StatusText());
    outcome.list = ReadFile(ListFile());
    outcome.index = ReadFile(IndexFile());
    const int32_t bad = engine().BadFileCount();
    for (int32_t i = 0; i < bad; ++i) outcome.bad_files.push_back(engine().GetBadFile(i));
    for (const auto& entry : fs::recursive_directory_iterator(music())) {
      outcome.music_tree.push_back(entry.path().string());
    }
    std::sort(outcome.music_tree.begin(), outcome.music_tree.end());
    return outcome;
  }
};

struct ReadersCase {
  int32_t readers;
  const char* gear;
  bool id3v2 = false;
};

class ReadAheadSameOutputTest : public ReadAheadTest, public ::testing::WithParamInterface<ReadersCase> {};

TEST_P(ReadAheadSameOutputTest, EqualsTheRunThatReadsEachFileAtItsTurn) {
  const RunOutcome serial = RunOver(1, GetParam().gear, GetParam().id3v2);
  // What the comparison rests on: the kinds of file really were there.
  ASSERT_EQ(serial.reply, kOk);
  EXPECT_NE(serial.list.find("!Bob song 000.mp3"), std::string::npos);
  EXPECT_NE(serial.list.find("Song 000"), std::string::npos);     // an ID3v1 title
  EXPECT_NE(serial.list.find("Covered 002"), std::string::npos);  // behind an ID3v2 cover
  EXPECT_NE(serial.list.find("!Bob p q.mp3"), std::string::npos);
  EXPECT_NE(serial.list.find("Renamed"), std::string::npos);
  EXPECT_EQ(serial.bad_files.size(), 4u);
  EXPECT_TRUE(Exists(MusicFile("My Music/moved.mp3")));
  EXPECT_TRUE(Exists(MusicFile("odd/taken  twice.mp3")));
  EXPECT_EQ(serial.list.find("Second Only") != std::string::npos, GetParam().id3v2);
  EXPECT_EQ(serial.reads_elsewhere, 0);

  const RunOutcome ahead = RunOver(GetParam().readers, GetParam().gear, GetParam().id3v2);
  // What the comparison is about: readers of their own read files.
  EXPECT_GT(ahead.reads_elsewhere, 0);
  EXPECT_EQ(ahead.reply, serial.reply);
  EXPECT_EQ(FirstDifference(serial.list, ahead.list), "");
  EXPECT_EQ(FirstDifference(serial.index, ahead.index), "");
  EXPECT_EQ(ahead.bad_files, serial.bad_files);
  EXPECT_EQ(ahead.statuses, serial.statuses);
  EXPECT_EQ(ahead.music_tree, serial.music_tree);
}

INSTANTIATE_TEST_SUITE_P(Readers, ReadAheadSameOutputTest,
                         ::testing::Values(ReadersCase{2, "1"}, ReadersCase{16, "1"},
                                           ReadersCase{64, "1"}, ReadersCase{16, "0"},
                                           ReadersCase{16, "1", true}),
                         [](const auto& info) {
                           return std::to_string(info.param.readers) +
                                  (std::string(info.param.gear) == "1" ? "ByDirs" : "ByFiles") +
                                  (info.param.id3v2 ? "Id3v2" : "");
                         });

// A gate that holds one file's read until the host's thread has pumped
// while waiting for it.
class HeldRead {
 public:
  bool Pass(const std::string& path, const std::string& held) {
    if (path != held) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    released_in_time_ = opened_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
    return true;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    opened_.notify_all();
  }
  bool released_in_time() {
    std::lock_guard<std::mutex> lock(mutex_);
    return released_in_time_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
  bool released_in_time_ = true;
};

enum class EndBy { kStopCommand, kAbortButton, kUnload, kFailure };

class ReadAheadEndTest : public ReadAheadTest, public ::testing::WithParamInterface<EndBy> {};

// The end arrives while the host's thread waits for the second file's
// read, through the messages it pumps meanwhile.
TEST_P(ReadAheadEndTest, EndsWhileAReadIsInFlightWithEveryThreadJoined) {
  for (const char* name : {"a1.mp3", "a2.mp3", "a3.mp3", "b.mp3", "c.mp3", "d.mp3"}) {
    WriteFile(MusicFile(name), TaggedSong(6000, "Artist", name));
  }
  WriteFile(ListFile(), "old list\r\n");
  Configure();
  engine().freaders = 4;
  TZOQ_Quorbel* running = &engine();
  HeldRead gate;
  const std::string held = MusicFile("b.mp3");
  env_.before_read = [&](const std::string& path) {
    ReadSlowlyAtFirst(path);  // the readers take over from b on
    return gate.Pass(path, held);
  };
  int pumps_at_b = 0;
  env_.on_pump = [&] {
    if (!running->fcounted || running->fActFile != 3 || ++pumps_at_b < 2) return;
    env_.on_pump = nullptr;  // the second pump at b comes from the wait
    gate.Release();
    switch (GetParam()) {
      case EndBy::kStopCommand: Call(ZOQ_StopGenerate); break;
      case EndBy::kAbortButton: running->form1->ClickAbort(); break;
      case EndBy::kUnload: UnloadDll(1); break;
      case EndBy::kFailure: throw EInOutError("Injected failure", 7);
    }
  };
  const ProcessHandles before = CountHandles();
  const std::string reply = Generate();
  EXPECT_EQ(CountHandlesBackTo(before), before);
  EXPECT_TRUE(gate.released_in_time()) << "no messages were pumped while waiting";
  EXPECT_EQ(ReadFile(ListFile()), "old list\r\n");
  if (GetParam() == EndBy::kFailure) {
    EXPECT_EQ(reply, "500 Internal Error->7 \"Injected failure<EInOutError>\" in Line: \"20\" - "
                     "Please report this line to the ZOQ Maintainers __ZOQ_StartGenerate__");
    return;
  }
  EXPECT_EQ(reply, kStopped);
  // The file being read when the stop came is finished, as at its turn.
  const std::vector<std::string> partial = ReadLines(WorkFile("tmplist.tmp"));
  EXPECT_TRUE(HasLineStarting(partial, "!Bob b.mp3"));
  EXPECT_FALSE(HasLineStarting(partial, "!Bob c.mp3"));
}

INSTANTIATE_TEST_SUITE_P(Ways, ReadAheadEndTest,
                         ::testing::Values(EndBy::kStopCommand, EndBy::kAbortButton, EndBy::kUnload,
                                           EndBy::kFailure));

// A process put aside for a second does not make a run over cached files
// read ahead; a few slow reads in a row do.
TEST(ReadAheadPoolTest, OneHiccupDoesNotMakeReadsSlowAFewSlowReadsInARowDo) {
  const double slow = double(ReadAheadPool::kSlowRead.count());
  double recent = ReadAheadPool::RecentReadUs(5, 1e6);
  EXPECT_LT(recent, slow);
  for (int read = 0; read < 3; ++read) recent = ReadAheadPool::RecentReadUs(recent, 20 * slow);
  EXPECT_GE(recent, slow);
}

// A failure on a reader's thread ends the run where reading the file at
// its turn would have ended it.
TEST_F(ReadAheadTest, FailureOfAReadIsRaisedAtTheFilesTurn) {
  for (const char* name : {"a1.mp3", "a2.mp3", "a3.mp3", "b.mp3", "c.mp3"}) {
    WriteFile(MusicFile(name), TaggedSong(6000, "Artist", name));
  }
  WriteFile(ListFile(), "old list\r\n");
  Configure();
  env_.before_read = [&](const std::string& path) -> bool {
    ReadSlowlyAtFirst(path);  // b is read ahead
    if (path == MusicFile("b.mp3")) throw EInOutError("Injected read failure", 9);
    return true;
  };
  std::vector<std::string> replies;
  for (int32_t readers : {1, 8}) {
    engine().freaders = readers;
    const ProcessHandles before = CountHandles();
    replies.push_back(Generate());
    EXPECT_EQ(CountHandlesBackTo(before), before);
    EXPECT_EQ(ReadFile(ListFile()), "old list\r\n");
  }
  EXPECT_EQ(replies[0], "500 Internal Error->9 \"Injected read failure<EInOutError>\" in Line: \"40\" - "
                        "Please report this line to the ZOQ Maintainers __ZOQ_StartGenerate__");
  EXPECT_EQ(replies[1], replies[0]);
}

}  // namespace
}  // namespace quorbel::test
