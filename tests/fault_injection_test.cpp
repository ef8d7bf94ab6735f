// Faults of the file system under the long operations: a full disk, the
// working folder taken away mid-run, a file replaced by a folder or a pipe,
// a folder that refuses writes. Each gives a coded reply, keeps the good
// files it would have replaced, and waits on nothing.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <future>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support/disk_full.h"
#include "support/generate_tree.h"

namespace quorbel::test {

namespace {

constexpr auto kPatience = std::chrono::seconds(20);

bool IsCodedReply(const std::string& reply, const std::string& tag) {
  return reply.size() > 4 && reply[3] == ' ' && reply.ends_with(tag);
}

class FaultTest : public GenerateTest {
 protected:
  void Songs(int count) {
    for (int album = 0; album < 3; ++album) MakeDir(MusicFile("Album " + std::to_string(album)));
    for (int i = 0; i < count; ++i) {
      WriteFile(MusicFile("Album " + std::to_string(i % 3) + "/song " + std::to_string(i) + ".mp3"),
                TaggedSong(4000, "Artist", "Title " + std::to_string(i)));
    }
  }
  void OldFiles() {
    WriteFile(ListFile(), "old list\r\n");
    WriteFile(IndexFile(), "old index\r\n");
  }
  void ExpectOldFilesKept() {
    EXPECT_EQ(ReadFile(ListFile()), "old list\r\n");
    EXPECT_EQ(ReadFile(IndexFile()), "old index\r\n");
  }
  // The same run again with the fault gone works, so nothing stays open or set.
  void ExpectALaterRunWorks() {
    env_.on_open = nullptr;
    env_.refuse_open = nullptr;
    env_.on_replace = nullptr;
    env_.on_pump = nullptr;
    MakeDir(work());
    EXPECT_EQ(Generate(), "200 OK __ZOQ_StartGenerate__");
  }
};

// --- a full disk ---------------------------------------------------------------------------

struct FullFile {
  const char* name;  // the file in the working folder the disk fills up on
  size_t room;       // bytes it takes before that
};

class DiskFullTest : public FaultTest, public ::testing::WithParamInterface<FullFile> {};

INSTANTIATE_TEST_SUITE_P(Files, DiskFullTest,
                         ::testing::Values(FullFile{"byfiles.tmp", 0}, FullFile{"byfiles.tmp", 100},
                                           FullFile{"bydirs.tmp", 0}, FullFile{"bydirs.tmp", 100},
                                           FullFile{"tmplist.tmp", 0},
                                           FullFile{"tmplist.tmp", 3000}));

TEST_P(DiskFullTest, RunFailsWithACodedReplyAndKeepsTheOldListAndIndex) {
  Songs(40);
  OldFiles();
  const std::string full = WorkFile(GetParam().name);
  env_.on_open = [&](const std::string& path, const char* mode) -> std::FILE* {
    if (path != full || mode[0] != 'w') return nullptr;
    return DiskFullAfter(path, GetParam().room);
  };
  Configure();
  const std::string reply = Generate();
  EXPECT_TRUE(reply.starts_with("500 Internal Error->101 \"Disk full or write error on ")) << reply;
  EXPECT_TRUE(reply.ends_with("__ZOQ_StartGenerate__")) << reply;
  ExpectOldFilesKept();
  EXPECT_FALSE(engine().finprogress);
  ExpectALaterRunWorks();
}

TEST_F(FaultTest, DiskFullWhileWritingTheChartLeavesNoHalfChart) {
  Configure();
  std::string hits;
  for (int i = 0; i < 20; ++i) hits += "song" + std::to_string(i) + ".mp3 " + std::to_string(i) + "\r\n";
  WriteFile(WorkFile("ZOQHitData.hdt"), hits);
  env_.on_open = [&](const std::string& path, const char* mode) -> std::FILE* {
    if (path != WorkFile("tmpchart.tmp") || mode[0] != 'w') return nullptr;  // written, then put in place
    return DiskFullAfter(path, 500);
  };
  const std::string reply = Call(ZOQ_StartUpdateChart);
  EXPECT_TRUE(reply.starts_with("500 Internal Error->101 \"Disk full or write error on ")) << reply;
  EXPECT_TRUE(reply.ends_with("__ZOQ_StartUpdateChart__")) << reply;
  EXPECT_FALSE(Exists(WorkFile("ZOQChart.hdt")));
  EXPECT_FALSE(Exists(WorkFile("tmpchart.tmp")));
  EXPECT_FALSE(engine().finprogress);
  env_.on_open = nullptr;
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), "200 OK __ZOQ_StartUpdateChart__");
  EXPECT_EQ(ReadLines(WorkFile("ZOQChart.hdt")).size(), 20u);
}

#ifndef _WIN32
// The zip engine writes on its own; the process's file size limit stands in
// for the full disk there. Every run deletes the old archive before it packs,
// so a failed one leaves none, and no part of the new one.
TEST_F(FaultTest, DiskFullWhileWritingTheArchiveGives514AndLeavesNoPartOfIt) {
  Songs(30);
  Configure();
  ASSERT_EQ(Generate(), "200 OK __ZOQ_StartGenerate__");
  const std::string archive = WorkFile("Bob[06-19-02]-mm.zip");
  WriteFile(archive, "old archive");
  struct rlimit before;
  getrlimit(RLIMIT_FSIZE, &before);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = before;
  small.rlim_cur = 512;
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string reply = Call(ZOQ_Compress);
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(reply, "514 Compress error __ZOQ_Compress__");
  EXPECT_FALSE(Exists(archive));
  for (const auto& entry : std::filesystem::directory_iterator(work())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.ends_with(".txt") || name.ends_with(".idx") || name.ends_with(".zip") ||
                name.ends_with(".ini"))
        << "left behind: " << name;
    EXPECT_FALSE(name.ends_with(".zip")) << "left behind: " << name;
  }
  EXPECT_EQ(Call(ZOQ_Compress), "200 OK __ZOQ_Compress__");
}
#endif

// --- the working folder goes away ----------------------------------------------------------

TEST_F(FaultTest, WorkingFolderRemovedMidRunGivesACodedReply) {
  Songs(12);
  Configure();
  int pumps = 0;
  env_.on_pump = [&] {
    if (++pumps == 5) std::filesystem::remove_all(work());
  };
  const std::string reply = Generate();
  EXPECT_TRUE(IsCodedReply(reply, "__ZOQ_StartGenerate__")) << reply;
  EXPECT_NE(reply.rfind("200 OK", 0), 0u) << reply;
  EXPECT_FALSE(engine().finprogress);
  ExpectALaterRunWorks();
}

// --- a folder, or a pipe, where a file should be ---------------------------------------------

enum class Kind { kFolder, kPipe };

struct Replaced {
  const char* what;
  Kind kind;
  const char* file;          // in the working folder; "$list", "$index" for the run's files
  QuorbelCommand command;
  const char* argument;      // "$ini" for the configuration file's path
  const char* reply_start;   // what the reply begins with
};

class ReplacedFileTest : public FaultTest, public ::testing::WithParamInterface<Replaced> {};

std::vector<Replaced> ReplacedCases() {
  std::vector<Replaced> cases = {
      {"list as folder, run", Kind::kFolder, "$list", ZOQ_StartGenerate, "",
       "512 Cannot create file __ZOQ_StartGenerate__"},
      {"list as folder, find", Kind::kFolder, "$list", ZOQ_At_Find, "song",
       "506 File or directory not found __ZOQ_At_Find__"},
      {"index as folder, search", Kind::kFolder, "$index", ZOQ_SearchFile, "song 1.mp3",
       "506 File or directory not found __ZOQ_SearchFile__"},
      {"hit data as folder", Kind::kFolder, "ZOQHitData.hdt", ZOQ_StartUpdateChart, "",
       "515 Error: You have no downloader since the last update. Sorry. __ZOQ_StartUpdateChart__"},
      {"chart as folder", Kind::kFolder, "ZOQChart.hdt", ZOQ_StartUpdateChart, "",
       "506 File or directory not found __ZOQ_StartUpdateChart__"},
      {"dump as folder", Kind::kFolder, "core", ZOQ_Dump, "",
       "506 File or directory not found __ZOQ_Dump__"},
      {"ordering file as folder", Kind::kFolder, "byfiles.tmp", ZOQ_CountFiles, "",
       "500 Internal Error->"},
  };
#ifndef _WIN32
  const std::vector<Replaced> pipes = {
      {"list as pipe, find", Kind::kPipe, "$list", ZOQ_At_Find, "song",
       "506 File or directory not found __ZOQ_At_Find__"},
      {"index as pipe, search", Kind::kPipe, "$index", ZOQ_SearchFile, "song 1.mp3",
       "506 File or directory not found __ZOQ_SearchFile__"},
      {"hit data as pipe", Kind::kPipe, "ZOQHitData.hdt", ZOQ_StartUpdateChart, "",
       "515 Error: You have no downloader since the last update. Sorry. __ZOQ_StartUpdateChart__"},
      {"configuration as pipe", Kind::kPipe, "pipe.ini", ZOQ_SetIniFile, "$pipe.ini",
       "506 File or directory not found __ZOQ_SetIniFile__"},
      {"media file as pipe, run", Kind::kPipe, "$song", ZOQ_StartGenerate, "",
       "200 OK __ZOQ_StartGenerate__"},
      {"media file as pipe, information", Kind::kPipe, "$song", ZOQ_GetMPEGInfo, "$song",
       "506 File or directory not found __ZOQ_GetMPEGInfo__"},
  };
  cases.insert(cases.end(), pipes.begin(), pipes.end());
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplacedFileTest, ::testing::ValuesIn(ReplacedCases()));

TEST_P(ReplacedFileTest, GivesItsCodedReplyWithoutWaiting) {
  const Replaced& c = GetParam();
  Songs(3);
  Configure();
  ASSERT_EQ(Generate(), "200 OK __ZOQ_StartGenerate__");
  WriteFile(WorkFile("ZOQHitData.hdt"), "song0.mp3 3\r\n");
  auto resolve = [&](const std::string& name) {
    if (name == "$list") return ListFile();
    if (name == "$index") return IndexFile();
    if (name == "$song") return MusicFile("Album 0/song 0.mp3");
    if (name.starts_with("$")) return WorkFile(name.substr(1));
    return WorkFile(name);
  };
  const std::string path = resolve(c.file);
  std::filesystem::remove(path);
  if (c.kind == Kind::kFolder) {
    MakeDir(path);
  } else {
#ifndef _WIN32
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
#endif
  }
  const std::string argument = std::string(c.argument).starts_with("$") ? resolve(c.argument)
                                                                         : c.argument;
  // A watchdog frees a call stuck on a pipe, so that waiting fails the test
  // rather than hanging it. The call itself stays on this thread: the
  // progress window belongs to it.
  std::promise<void> returned;
  bool waited = false;
  std::thread watchdog([&, done = returned.get_future()] {
    if (done.wait_for(kPatience) == std::future_status::ready) return;
    waited = true;
#ifndef _WIN32
    close(open(path.c_str(), O_RDWR | O_NONBLOCK));  // a writer that writes nothing
#endif
  });
  const std::string line = Call(c.command, argument);
  returned.set_value();
  watchdog.join();
  EXPECT_FALSE(waited) << c.what << ": the call waited on " << path;
  EXPECT_TRUE(line.starts_with(c.reply_start)) << c.what << ": " << line;
  EXPECT_FALSE(engine().finprogress);
}

// --- a folder that refuses writes ---------------------------------------------------------------

TEST_F(FaultTest, ReadOnlyWorkingFolderKeepsTheOldFilesAndAnswersCoded) {
  Songs(3);
  OldFiles();
  Configure();
  WriteFile(WorkFile("ZOQHitData.hdt"), "a.mp3 3\r\n");
  // What a read-only folder does to the library (also where the tests run
  // with rights that ignore the permission bits): nothing is created there,
  // nothing put in place.
  const std::string inside = WorkFile("");
  env_.refuse_open = [&](const std::string& path, const char* mode) {
    return mode[0] != 'r' && path.starts_with(inside);
  };
  env_.on_replace = [&](const std::string&, const std::string& to) -> std::optional<bool> {
    if (to.starts_with(inside)) return false;
    return std::nullopt;
  };
  const std::string run = Generate();
  EXPECT_TRUE(IsCodedReply(run, "__ZOQ_StartGenerate__")) << run;
  EXPECT_NE(run.rfind("200 OK", 0), 0u) << run;
  ExpectOldFilesKept();
  EXPECT_EQ(Call(ZOQ_StartUpdateChart), "506 File or directory not found __ZOQ_StartUpdateChart__");
  EXPECT_EQ(Call(ZOQ_Dump), "506 File or directory not found __ZOQ_Dump__");
  EXPECT_FALSE(engine().finprogress);
  env_.refuse_open = nullptr;
  ExpectALaterRunWorks();
}

}  // namespace

}  // namespace quorbel::test
