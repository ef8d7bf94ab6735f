// Every file the library publishes reaches its name only whole and on the
// disk: written, flushed, renamed, then the folder flushed. A flush that
// fails keeps the previous file.
#include "durable_replace.h"

#include <algorithm>
#include <string>
#include <vector>

#include "support/generate_tree.h"

namespace quorbel::test {
namespace {

// Records the calls that publish a file, in order: "write PATH" for a file
// opened for writing, "sync PATH", "replace FROM>TO", "syncdir FOLDER".
class RecordingEnv : public EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  std::vector<std::string> calls;
  std::string refuse_sync;  // a path whose flush fails

  std::FILE* OpenFile(const std::string& path, const char* mode) override {
    if (mode[0] == 'w') calls.push_back("write " + path);
    return EnvWrapper::OpenFile(path, mode);
  }
  bool SyncFile(const std::string& path) override {
    calls.push_back("sync " + path);
    return path != refuse_sync && EnvWrapper::SyncFile(path);
  }
  bool ReplaceFile(const std::string& from, const std::string& to) override {
    calls.push_back("replace " + from + ">" + to);
    return EnvWrapper::ReplaceFile(from, to);
  }
  bool SyncDirectory(const std::string& directory) override {
    calls.push_back("syncdir " + directory);
    return EnvWrapper::SyncDirectory(directory);
  }
};

class DurableReplaceTest : public GenerateTest {
 protected:
  void SetUp() override {
    GenerateTest::SetUp();
    UnloadDll(0);
    SetEnvForTesting(&recorder_);
    LoadDll(&load_info_);
    ASSERT_NE(ZOQ_Quorbel, nullptr);
    for (int i = 0; i < 3; ++i) {
      WriteFile(MusicFile("song " + std::to_string(i) + ".mp3"), UntaggedStereoSong(4000 + i));
    }
    Configure();
  }

  // The index of `call` in the record, which must hold it.
  size_t At(const std::string& call) const {
    const auto it = std::find(recorder_.calls.begin(), recorder_.calls.end(), call);
    EXPECT_NE(it, recorder_.calls.end()) << call;
    return size_t(it - recorder_.calls.begin());
  }

  // `temp`, written earlier in the record, reaches `published` in order.
  void ExpectPublishedDurably(const std::string& temp, const std::string& published) {
    const std::string folder = work();
    const size_t synced = At("sync " + temp);
    const size_t replaced = At("replace " + temp + ">" + published);
    EXPECT_LT(At("write " + temp), synced);
    EXPECT_LT(synced, replaced);
    const auto dir_sync = std::find(recorder_.calls.begin() + long(replaced), recorder_.calls.end(),
                                    "syncdir " + folder);
    EXPECT_NE(dir_sync, recorder_.calls.end()) << "the folder is flushed after " << published;
  }

  RecordingEnv recorder_{&env_};
};

TEST_F(DurableReplaceTest, TheListTheIndexAndTheChartAreFlushedThenRenamedThenTheFolderFlushed) {
  ASSERT_EQ(Generate(), "200 OK __ZOQ_StartGenerate__");
  ExpectPublishedDurably(WorkFile("tmplist.tmp"), ListFile());
  ExpectPublishedDurably(WorkFile("byfiles.tmp"), IndexFile());
  WriteFile(WorkFile("ZOQHitData.hdt"), "song:0.mp3 3\r\nsong:1.mp3 1\r\n");
  ASSERT_EQ(Call(ZOQ_StartUpdateChart), "200 OK __ZOQ_StartUpdateChart__");
  ExpectPublishedDurably(WorkFile("tmpchart.tmp"), WorkFile("ZOQChart.hdt"));
}

// A flush that fails is a failed run and keeps the previous list. The
// index goes in first: when its flush fails, the previous list and index
// stay and still match.
TEST_F(DurableReplaceTest, AFailedFlushKeepsThePreviousList) {
  struct Case {
    const char* temp;
    bool index_kept;
  };
  for (const Case& c : {Case{"byfiles.tmp", true}, Case{"tmplist.tmp", false}}) {
    WriteFile(ListFile(), "old list\r\n");
    WriteFile(IndexFile(), "old index\r\n");
    recorder_.refuse_sync = WorkFile(c.temp);
    EXPECT_EQ(Generate(), "512 Cannot create file __ZOQ_StartGenerate__") << c.temp;
    EXPECT_EQ(ReadFile(ListFile()), "old list\r\n") << c.temp;
    EXPECT_EQ(ReadFile(IndexFile()) == "old index\r\n", c.index_kept) << c.temp;
    EXPECT_FALSE(engine().finprogress);
  }
  recorder_.refuse_sync.clear();
  EXPECT_EQ(Generate(), "200 OK __ZOQ_StartGenerate__");
}

}  // namespace
}  // namespace quorbel::test
