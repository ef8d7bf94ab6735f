// The zip engine on its own: the archive it writes, the callback protocol,
// abort, and the runs it refuses.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <filesystem>
#include <memory>

#include "ZipMstr.h"
#include "support/test_support.h"
#include "support/zip_check.h"
#include "zipdll.h"

namespace quorbel::test {
namespace {

struct Event {
  int32_t action;
  int32_t code;
  int64_t size;
  std::string text;
};

// Records every callback; answers "abort" at the chosen one.
struct Recorder {
  std::vector<Event> events;
  int abort_at = -1;  // index of the event to answer with abort
};

int32_t ZIPDLL_CALL Record(const ZipCallbackData* data) {
  auto* recorder = static_cast<Recorder*>(data->caller);
  recorder->events.push_back({data->action, data->error_code, data->size, data->text});
  return int(recorder->events.size()) - 1 == recorder->abort_at ? 1 : 0;
}

// A line-structured text like a list file, with the single-byte NBSP and SEP.
std::string ListLike(size_t bytes) {
  std::string text;
  for (uint32_t i = 0; text.size() < bytes; ++i) {
    text += "!nick Artist " + std::to_string(i * 7919 % 1000) + " - Title\xA0" +
            std::to_string(i * 104729 % 99991) + ".mp3\xFF" + std::to_string(i % 9) + ".2MB\r\n";
  }
  text.resize(bytes);
  return text;
}

// A DOS time stamp (date in the high word) as year, month, day, hour,
// minute and second.
std::array<int, 6> DosFields(uint32_t dos) {
  return {int(dos >> 25) + 1980, int(dos >> 21 & 0xF), int(dos >> 16 & 0x1F),
          int(dos >> 11 & 0x1F), int(dos >> 5 & 0x3F), int(dos & 0x1F) * 2};
}

// A file's modification time in local time, as a DOS time stamp keeps it:
// the seconds in steps of two.
std::array<int, 6> LocalModificationTime(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  const std::tm t = *std::localtime(&info.st_mtime);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec / 2 * 2};
}

class ZipEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = Env::Default()->LoadLibrary(BuiltZipEngine());
    ASSERT_NE(library_, nullptr) << BuiltZipEngine();
    exec_ = reinterpret_cast<ZipDllExecFn>(library_->Symbol("ZipDllExec"));
    version_ = reinterpret_cast<GetZipDllVersionFn>(library_->Symbol("GetZipDllVersion"));
    ASSERT_NE(exec_, nullptr);
    ASSERT_NE(version_, nullptr);
  }

  // Parameters as the component fills them, for the given files.
  ZipParams Params(const std::vector<ZipFileData>& files) {
    ZipParams p{};
    p.caller = &recorder_;
    p.version = ZIPDLL_CALLER_VERSION;
    p.callback = &Record;
    p.level = 9;
    p.archive = archive_.c_str();
    p.file_count = int32_t(files.size());
    p.files = files.data();
    return p;
  }

  std::vector<std::string> DirectoryNames() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::unique_ptr<DynamicLibrary> library_;
  ZipDllExecFn exec_ = nullptr;
  GetZipDllVersionFn version_ = nullptr;
  TempDir dir_;
  std::string archive_ = dir_ / "out.zip";
  Recorder recorder_;
};

TEST_F(ZipEngineTest, PacksTwoFilesWithTheCallbacksInOrder) {
  const std::string a = ListLike(150000), b = ListLike(65536);
  MakeDir(dir_ / "sub");
  WriteFile(dir_ / "a-mm.txt", a);
  WriteFile(dir_ / "sub" + kPathDelim + "b.txt", b);
  std::string path_a = dir_ / "a-mm.txt", path_b = dir_ / "sub" + kPathDelim + "b.txt";
  std::vector<ZipFileData> files{{path_a.c_str()}, {path_b.c_str()}};
  ZipParams p = Params(files);

  ASSERT_EQ(exec_(&p), 2);

  // Totals, then per file its announcement and one step per 64 KiB read.
  std::vector<std::pair<int32_t, int64_t>> expected{
      {ZIPDLL_TOTAL_FILES, 2}, {ZIPDLL_TOTAL_SIZE, 215536}, {ZIPDLL_NEW_FILE, 150000},
      {ZIPDLL_STEP, 65536},    {ZIPDLL_STEP, 65536},        {ZIPDLL_STEP, 18928},
      {ZIPDLL_NEW_FILE, 65536}, {ZIPDLL_STEP, 65536},       {ZIPDLL_END_BATCH, 0}};
  ASSERT_EQ(recorder_.events.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(recorder_.events[i].action, expected[i].first) << i;
    EXPECT_EQ(recorder_.events[i].size, expected[i].second) << i;
  }
  EXPECT_EQ(recorder_.events[2].text, "a-mm.txt");
  EXPECT_EQ(recorder_.events[6].text, "b.txt");

  ZipInfo info = ReadZipDirectory(archive_);
  ASSERT_EQ(info.problem, "");
  ASSERT_EQ(info.entries.size(), 2u);
  EXPECT_EQ(info.entries[0].name, "a-mm.txt");
  EXPECT_EQ(info.entries[1].name, "b.txt");  // bare names only
  EXPECT_EQ(info.entries[0].crc, Crc32(a));
  EXPECT_EQ(info.entries[1].crc, Crc32(b));
  EXPECT_EQ(info.entries[0].size, a.size());
  EXPECT_LT(info.entries[0].packed, a.size() / 2);  // list text packs well
#ifndef _WIN32
  EXPECT_TRUE(StandardReadersAgree(archive_, "a-mm.txt", a));
  EXPECT_TRUE(StandardReadersAgree(archive_, "b.txt", b));
#endif
  EXPECT_EQ(DirectoryNames(), (std::vector<std::string>{"a-mm.txt", "out.zip", "sub"}));
}

TEST_F(ZipEngineTest, EntryCarriesTheFilesModificationTimeAndLevelFlags) {
  const std::string path = dir_ / "list.txt";
  WriteFile(path, ListLike(5000));
  const std::array<int, 6> file_time = LocalModificationTime(path);
  // Deflate option bits 1-2: maximum for levels 8 and 9, fast for 2, super fast for 1.
  for (auto [level, flags] : {std::pair{9, 2}, {8, 2}, {6, 0}, {2, 4}, {1, 6}, {0, 0}}) {
    std::vector<ZipFileData> files{{path.c_str()}};
    ZipParams p = Params(files);
    p.level = level;
    ASSERT_EQ(exec_(&p), 1) << level;
    ZipInfo info = ReadZipDirectory(archive_);
    ASSERT_EQ(info.problem, "");
    ASSERT_EQ(info.entries.size(), 1u);
    EXPECT_EQ(info.entries[0].method, 8) << level;
    EXPECT_EQ(info.entries[0].flags, flags) << level;
    EXPECT_EQ(DosFields(info.entries[0].dos_time), file_time) << level;
#ifndef _WIN32
    EXPECT_TRUE(StandardReadersAgree(archive_, "list.txt", ReadFile(path))) << level;
#endif
  }
}

TEST_F(ZipEngineTest, AbortAtAnyCallbackLeavesTheOldArchiveAndNoTemporaryFile) {
  const std::string path = dir_ / "list.txt";
  WriteFile(path, ListLike(200000));
  // Events: 0 total files, 1 total size, 2 new file, 3..6 steps, 7 end of batch.
  for (int abort_at : {0, 1, 2, 3, 5, 7}) {
    WriteFile(archive_, "old archive");
    recorder_ = Recorder{{}, abort_at};
    std::vector<ZipFileData> files{{path.c_str()}};
    ZipParams p = Params(files);
    EXPECT_EQ(exec_(&p), 0) << abort_at;
    EXPECT_EQ(int(recorder_.events.size()), abort_at + 1) << "no callback after the abort";
    EXPECT_EQ(ReadFile(archive_), "old archive") << abort_at;
    EXPECT_EQ(DirectoryNames(), (std::vector<std::string>{"list.txt", "out.zip"})) << abort_at;
  }
}

TEST_F(ZipEngineTest, RefusedRunsReportTheirCodeAndWriteNothing) {
  const std::string path = dir_ / "list.txt";
  const std::string missing = dir_ / "missing.txt";
  const std::string nowhere = dir_ / "no-such-dir" + kPathDelim + "out.zip";
  WriteFile(path, "a list\r\n");
  struct Case {
    const char* what;
    void (*change)(ZipParams&, const std::string& missing, const std::string& nowhere);
    int32_t code;
  };
  const Case cases[] = {
      {"old layout", [](ZipParams& p, auto&, auto&) { p.version = 150; }, ZIPDLL_ERR_LAYOUT},
      {"no archive", [](ZipParams& p, auto&, auto&) { p.archive = ""; }, ZIPDLL_ERR_PARAMETERS},
      {"no files", [](ZipParams& p, auto&, auto&) { p.file_count = 0; }, ZIPDLL_ERR_PARAMETERS},
      {"level 10", [](ZipParams& p, auto&, auto&) { p.level = 10; }, ZIPDLL_ERR_PARAMETERS},
      {"encrypt", [](ZipParams& p, auto&, auto&) { p.encrypt = ZIPDLL_TRUE; }, ZIPDLL_ERR_OPTION},
      {"recurse", [](ZipParams& p, auto&, auto&) { p.recurse = ZIPDLL_TRUE; }, ZIPDLL_ERR_OPTION},
      {"missing file",
       [](ZipParams& p, const std::string& m, auto&) {
         static ZipFileData file;
         file.path = m.c_str();
         p.files = &file;
       },
       ZIPDLL_ERR_OPEN_INPUT},
      {"unwritable place", [](ZipParams& p, auto&, const std::string& n) { p.archive = n.c_str(); },
       ZIPDLL_ERR_CREATE},
  };
  for (const Case& c : cases) {
    recorder_ = Recorder{};
    std::vector<ZipFileData> files{{path.c_str()}};
    ZipParams p = Params(files);
    c.change(p, missing, nowhere);
    EXPECT_EQ(exec_(&p), 0) << c.what;
    ASSERT_FALSE(recorder_.events.empty()) << c.what;
    const Event& last = recorder_.events.back();
    EXPECT_EQ(last.action, ZIPDLL_MESSAGE) << c.what;
    EXPECT_EQ(last.code, c.code) << c.what;
    EXPECT_NE(last.code & 0xFF, 0) << c.what;
    EXPECT_FALSE(last.text.empty()) << c.what;
    EXPECT_EQ(DirectoryNames(), (std::vector<std::string>{"list.txt"})) << c.what;
  }
  EXPECT_EQ(exec_(nullptr), 0);
}

TEST_F(ZipEngineTest, ArchiveInPlaceOfADirectoryFailsAndCleansUp) {
  const std::string path = dir_ / "list.txt";
  WriteFile(path, "a list\r\n");
  MakeDir(archive_);  // the finished archive cannot replace a directory
  std::vector<ZipFileData> files{{path.c_str()}};
  ZipParams p = Params(files);
  EXPECT_EQ(exec_(&p), 0);
  ASSERT_FALSE(recorder_.events.empty());
  EXPECT_EQ(recorder_.events.back().code, ZIPDLL_ERR_RENAME);
  EXPECT_EQ(DirectoryNames(), (std::vector<std::string>{"list.txt", "out.zip"}));
  EXPECT_TRUE(std::filesystem::is_directory(archive_));
}

}  // namespace
}  // namespace quorbel::test
