// The list compressor: ZOQ_Compress and CompressList with the zip component
// and the real engine, where the engine is found, stop and nested requests,
// and every failure on the way.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "ZipMstr.h"
#include "command_failure.h"
#include "quorbel_form.h"
#include "support/generate_tree.h"
#include "support/test_support.h"
#include "support/zip_check.h"

namespace quorbel::test {
namespace {

namespace fs = std::filesystem;

// Nothing in the test program may wait for a click on a message box.
const bool kNoMessageBoxes = [] {
  TZipMaster::SetMessageBoxesEnabled(false);
  return true;
}();

// A library whose symbols come from a table (a fake engine), or a real one
// with one symbol hidden.
class TestLibrary : public DynamicLibrary {
 public:
  TestLibrary(std::unique_ptr<DynamicLibrary> real, std::map<std::string, void*> table)
      : real_(std::move(real)), table_(std::move(table)) {}
  void* Symbol(const char* name) override {
    if (auto it = table_.find(name); it != table_.end()) return it->second;
    return real_ ? real_->Symbol(name) : nullptr;
  }

 private:
  std::unique_ptr<DynamicLibrary> real_;
  std::map<std::string, void*> table_;
};

class ZipTestEnv : public HookEnv {
 public:
  std::vector<std::string> loaded;          // every name LoadLibrary was asked for
  bool fail_loads = false;
  std::map<std::string, void*> symbols;     // replaced (null: hidden) engine symbols
  bool fake_engine = false;                 // symbols only, no real library
  bool fail_file_tests = false;

  std::unique_ptr<DynamicLibrary> LoadLibrary(const std::string& name) override {
    loaded.push_back(name);
    if (fail_loads) return nullptr;
    if (fake_engine) return std::make_unique<TestLibrary>(nullptr, symbols);
    auto real = EnvWrapper::LoadLibrary(name);
    if (!real || symbols.empty()) return real;
    return std::make_unique<TestLibrary>(std::move(real), symbols);
  }
  bool FileExists(const std::string& path) override {
    if (fail_file_tests) throw EInOutError("disk gone");
    return EnvWrapper::FileExists(path);
  }
};

// A list-file-like text with the single-byte NBSP and SEP in it.
std::string ListText(size_t bytes) {
  std::string text = "Liste von nick\r\n";
  for (uint32_t i = 0; text.size() < bytes; ++i) {
    text += "!nick Band " + std::to_string(i * 31 % 977) + " - Song\xA0\xA0" +
            std::to_string(i * 7919 % 10007) + ".mp3  " + std::to_string(i % 7) + ".1MB\r\n";
  }
  text.resize(bytes);
  return text;
}

class CompressTest : public EngineTest {
 protected:
  void SetUp() override {
    SetEnvForTesting(&env_);
    EngineTest::SetUp();
    engine().SetDirectory(dir_.path());
    engine().fname = "nick";
    engine().fread = true;
  }
  void TearDown() override {
    env_.on_pump = nullptr;
    EngineTest::TearDown();
    SetEnvForTesting(nullptr);
  }

  void PutEngineInWorkDir() { fs::copy_file(BuiltZipEngine(), dir_ / kZipEngineName); }
  std::string List() const { return dir_ / "nick-mm.txt"; }
  std::string Archive() const { return dir_ / "nick-mm.zip"; }
  TZipMaster& zip() { return *engine().fZipMaster1; }

  // The archive holds exactly the list, under its bare name, packed at the
  // highest level.
  void ExpectArchiveOf(const std::string& content) {
    ZipInfo info = ReadZipDirectory(Archive());
    ASSERT_EQ(info.problem, "");
    ASSERT_EQ(info.entries.size(), 1u);
    const ZipEntryInfo& e = info.entries[0];
    EXPECT_EQ(e.name, "nick-mm.txt");
    EXPECT_EQ(e.method, 8);
    EXPECT_EQ(e.flags & 0x6, 0x2);  // maximum compression
    EXPECT_EQ(e.size, content.size());
    EXPECT_EQ(e.crc, Crc32(content));
#ifndef _WIN32
    EXPECT_TRUE(StandardReadersAgree(Archive(), "nick-mm.txt", content));
#endif
  }

  std::vector<std::string> DirectoryNames() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  ZipTestEnv env_;
  TempDir dir_;
};

const std::string kOk = "200 OK __ZOQ_Compress__";
const std::string kCompressError = "514 Compress error __ZOQ_Compress__";

class CompressSizeTest : public CompressTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(CompressSizeTest, ArchiveHoldsTheListByteForByte) {
  PutEngineInWorkDir();
  const std::string content = ListText(GetParam());
  WriteFile(List(), content);
  ASSERT_EQ(Call(ZOQ_Compress), kOk);
  ExpectArchiveOf(content);
  EXPECT_EQ(DirectoryNames(), (std::vector<std::string>{kZipEngineName, "nick-mm.txt", "nick-mm.zip"}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, CompressSizeTest,
                         ::testing::Values(0, 1, 65535, 65536, 65537, 400000));

TEST_F(CompressTest, ShowsProgressAndKeepsTheHandlerForLaterRuns) {
  PutEngineInWorkDir();
  // The bar starts at 1 when the total size arrives and grows by 65536 per
  // 64 KiB step, never past the size.
  const std::vector<std::pair<int, std::vector<int32_t>>> cases{
      {100, {1, 100}}, {65536, {1, 65536}}, {200000, {1, 65537, 131073, 196609, 200000}}};
  for (const auto& [size, positions] : cases) {
    WriteFile(List(), ListText(size));
    std::vector<int32_t> seen;
    env_.on_pump = [&] {
      TForm1* form = engine().form1.get();
      if (!zip().Busy() || !form || form->StatusText() != "Compress file ...") return;
      if (seen.empty() || seen.back() != form->ProgressPosition()) seen.push_back(form->ProgressPosition());
    };
    ASSERT_EQ(engine().CompressList(true), "200 OK") << size;
    ASSERT_TRUE(engine().form1);
    EXPECT_EQ(seen, positions) << size;
    EXPECT_EQ(engine().form1->StatusText(), "Compressing file done!") << size;
    EXPECT_EQ(engine().form1->ProgressMin(), 0);
    EXPECT_EQ(engine().form1->ProgressMax(), size);
    EXPECT_FALSE(engine().form1->Visible()) << "progress never shows the window";
  }
  env_.on_pump = nullptr;
  engine().SetStatusText("");
  ASSERT_EQ(Call(ZOQ_Compress), kOk);
  EXPECT_EQ(engine().form1->StatusText(), "Compressing file done!");
}

TEST_F(CompressTest, EngineInTheWorkingDirectoryIsPreferred) {
  PutEngineInWorkDir();
  WriteFile(List(), "list\r\n");
  ASSERT_EQ(Call(ZOQ_Compress), kOk);
  EXPECT_EQ(env_.loaded, std::vector<std::string>{dir_ / kZipEngineName});
}

TEST_F(CompressTest, WithoutItTheSystemSearchFindsTheEngine) {
  // The built engine already loaded stands for one on the search path (the
  // test program has no run path of its own on Linux).
  auto preloaded = Env::Default()->LoadLibrary(BuiltZipEngine());
  ASSERT_NE(preloaded, nullptr);
  const std::string content = ListText(3000);
  WriteFile(List(), content);
  ASSERT_EQ(Call(ZOQ_Compress), kOk);
  EXPECT_EQ(env_.loaded, std::vector<std::string>{kZipEngineName});
  ExpectArchiveOf(content);
}

TEST_F(CompressTest, TwoRunsInARowReplaceTheArchive) {
  PutEngineInWorkDir();
  WriteFile(List(), ListText(90000));
  ASSERT_EQ(Call(ZOQ_Compress), kOk);
  const std::string second = ListText(1234);
  WriteFile(List(), second);
  ASSERT_EQ(Call(ZOQ_Compress), kOk);
  ExpectArchiveOf(second);
}

TEST_F(CompressTest, UnusableEngineGives514AndLaterRunsStillWork) {
  PutEngineInWorkDir();
  const std::string content = ListText(5000);
  WriteFile(List(), content);
  struct Case {
    const char* what;
    std::function<void(ZipTestEnv&)> spoil;
    int err_code;
  };
  const Case cases[] = {
      {"not loadable", [](ZipTestEnv& e) { e.fail_loads = true; }, zip_error::kEngineNotLoadable},
      {"no ZipDllExec", [](ZipTestEnv& e) { e.symbols["ZipDllExec"] = nullptr; }, zip_error::kNoExecExport},
      {"no GetZipDllVersion", [](ZipTestEnv& e) { e.symbols["GetZipDllVersion"] = nullptr; },
       zip_error::kNoVersionExport},
  };
  for (const Case& c : cases) {
    WriteFile(Archive(), "old archive");
    c.spoil(env_);
    EXPECT_EQ(Call(ZOQ_Compress), kCompressError) << c.what;
    EXPECT_EQ(zip().ErrCode(), c.err_code) << c.what;
    EXPECT_TRUE(zip().FSpecArgs.empty()) << c.what;
    EXPECT_EQ(DirectoryNames(), (std::vector<std::string>{kZipEngineName, "nick-mm.txt"}))
        << c.what << ": the old archive is gone and nothing half-written is left";
    env_.fail_loads = false;
    env_.symbols.clear();
    EXPECT_EQ(Call(ZOQ_Compress), kOk) << "after " << c.what;
    ExpectArchiveOf(content);
  }
}

TEST_F(CompressTest, StopDuringPackingGives514AndLeavesNoArchive) {
  PutEngineInWorkDir();
  WriteFile(List(), ListText(1 << 20));
  int stops = 0;
  env_.on_pump = [&] {
    if (zip().Busy() && stops++ == 2) {
      EXPECT_EQ(Call(ZOQ_StopGenerate).substr(0, 6), "200 OK");
    }
  };
  EXPECT_EQ(Call(ZOQ_Compress), kCompressError);
  EXPECT_TRUE(engine().fterminated);
  EXPECT_EQ(zip().SuccessCount(), 0);
  EXPECT_EQ(DirectoryNames(), (std::vector<std::string>{kZipEngineName, "nick-mm.txt"}));
}

TEST_F(CompressTest, StopBeforeTheRunDoesNotAffectIt) {
  PutEngineInWorkDir();
  WriteFile(List(), ListText(100000));
  Call(ZOQ_StopGenerate);
  ASSERT_TRUE(zip().Cancel);
  EXPECT_EQ(Call(ZOQ_Compress), kOk);
}

TEST_F(CompressTest, ListDeletedBeforeReadingGives514WithoutLeftovers) {
  PutEngineInWorkDir();
  WriteFile(List(), ListText(500000));
  env_.on_pump = [&] {
    if (zip().Busy()) std::remove(List().c_str());  // the engine announces the totals first
  };
  EXPECT_EQ(Call(ZOQ_Compress), kCompressError);
  EXPECT_EQ(DirectoryNames(), std::vector<std::string>{kZipEngineName});
}

TEST_F(CompressTest, ListDeletedWhileReadingStillGivesTheWholeList) {
  // Linux lets the file go while the engine reads it through its open
  // handle; Windows refuses to delete an open file. Either way the archive
  // is complete.
  PutEngineInWorkDir();
  const std::string content = ListText(500000);
  WriteFile(List(), content);
  int pumps = 0;
  env_.on_pump = [&] {
    if (zip().Busy() && ++pumps == 4) std::remove(List().c_str());  // after the first step
  };
  EXPECT_EQ(Call(ZOQ_Compress), kOk);
  ExpectArchiveOf(content);
}

TEST_F(CompressTest, UnwritableArchivePlaceGives514WithoutLeftovers) {
  PutEngineInWorkDir();
  WriteFile(List(), ListText(1000));
  // A directory where the temporary archive, or the archive itself, must go.
  for (const std::string blocked : {"nick-mm.zip.tmp", "nick-mm.zip"}) {
    MakeDir(dir_ / blocked);
    EXPECT_EQ(Call(ZOQ_Compress), kCompressError) << blocked;
    EXPECT_NE(zip().ErrCode(), 0) << blocked;
    EXPECT_EQ(DirectoryNames(), (std::vector<std::string>{kZipEngineName, "nick-mm.txt", blocked}))
        << blocked;
    fs::remove(dir_ / blocked);
  }
}

TEST_F(CompressTest, MissingListGives506AndLeavesTheOldArchive) {
  PutEngineInWorkDir();
  WriteFile(Archive(), "old archive");
  EXPECT_EQ(Call(ZOQ_Compress), "506 File or directory not found __ZOQ_Compress__");
  EXPECT_EQ(ReadFile(Archive()), "old archive");
  EXPECT_TRUE(env_.loaded.empty());
}

TEST_F(CompressTest, BeforeConfigurationAnswers505AndTouchesNothing) {
  engine().fread = false;
  PutEngineInWorkDir();
  WriteFile(List(), "list\r\n");
  WriteFile(Archive(), "old archive");
  EXPECT_EQ(Call(ZOQ_Compress), "505 No ini file set __ZOQ_Compress__");
  EXPECT_EQ(ReadFile(Archive()), "old archive");
  EXPECT_TRUE(env_.loaded.empty());
}

TEST_F(CompressTest, FailureInsideGivesTheCompressorsOwnInternalErrorText) {
  WriteFile(List(), "list\r\n");
  env_.fail_file_tests = true;
  EXPECT_EQ(Call(ZOQ_Compress),
            "500 Internal Error->0 \"disk gone<EInOutError>\"Please report this line to the ZOQ "
            "Maintainers __ZOQ_Compress__");
}

// --- the component against a fake engine ---------------------------------------

ZipParams g_seen;  // the record the fake engine was called with
std::string g_seen_path, g_seen_archive;

int32_t ZIPDLL_CALL FakeVersion() { return ZIPDLL_VERSION; }
int32_t ZIPDLL_CALL FakeOldVersion() { return ZIPDLL_OLD_LAYOUT_LAST; }

int32_t ZIPDLL_CALL FakeExecRecording(const ZipParams* p) {
  g_seen = *p;
  g_seen_path = p->files[0].path;
  g_seen_archive = p->archive;
  return 1;
}

// Claims one file added, but reports an error whose code needs more than 8 bits.
int32_t ZIPDLL_CALL FakeExecWithMessage(const ZipParams* p) {
  ZipCallbackData message{p->caller, ZIPDLL_MESSAGE, 0x1234, 0, "disk full"};
  p->callback(&message);
  return 1;
}

int32_t ZIPDLL_CALL FakeExecNothingAdded(const ZipParams*) { return 0; }

class ZipComponentTest : public CompressTest {
 protected:
  void UseFakeEngine(void* version, void* exec) {
    env_.fake_engine = true;
    env_.symbols = {{"GetZipDllVersion", version}, {"ZipDllExec", exec}};
  }
};

TEST_F(ZipComponentTest, ParameterRecordCarriesTheComponentsSettings) {
  UseFakeEngine(reinterpret_cast<void*>(&FakeVersion), reinterpret_cast<void*>(&FakeExecRecording));
  WriteFile(List(), "list\r\n");
  ASSERT_EQ(Call(ZOQ_Compress), kOk);
  EXPECT_EQ(g_seen.version, 158);
  EXPECT_EQ(g_seen.caller, &zip());
  EXPECT_NE(g_seen.callback, nullptr);
  EXPECT_EQ(g_seen.level, 9);
  EXPECT_EQ(g_seen.file_count, 1);
  EXPECT_EQ(g_seen_path, List());
  EXPECT_EQ(g_seen_archive, Archive());
  EXPECT_EQ(g_seen.temp_dir, nullptr);
  for (int32_t flag : {g_seen.trace, g_seen.verbose, g_seen.store_dir_names, g_seen.dir_entries,
                       g_seen.recurse, g_seen.move, g_seen.update, g_seen.freshen, g_seen.force_dos,
                       g_seen.zip_time, g_seen.hidden_files, g_seen.encrypt}) {
    EXPECT_EQ(flag, ZIPDLL_FALSE);
  }
  EXPECT_EQ(std::string(g_seen.password), "");
  // An option maps to a -1 flag.
  zip().AddOptions = {AddOption::AddEncrypt};
  ASSERT_EQ(Call(ZOQ_Compress), kOk);
  EXPECT_EQ(g_seen.encrypt, ZIPDLL_TRUE);
}

TEST_F(ZipComponentTest, EngineOutcomesMapToErrCodeAndReply) {
  WriteFile(List(), "list\r\n");
  struct Case {
    const char* what;
    void* version;
    void* exec;
    int err_code;
    int success_count;
  };
  const Case cases[] = {
      {"message code kept to 8 bits", reinterpret_cast<void*>(&FakeVersion),
       reinterpret_cast<void*>(&FakeExecWithMessage), 0x34, 1},
      {"nothing added", reinterpret_cast<void*>(&FakeVersion),
       reinterpret_cast<void*>(&FakeExecNothingAdded), 0, 0},
      {"old engine", reinterpret_cast<void*>(&FakeOldVersion),
       reinterpret_cast<void*>(&FakeExecRecording), zip_error::kExecFailed, 0},
  };
  for (const Case& c : cases) {
    UseFakeEngine(c.version, c.exec);
    EXPECT_EQ(Call(ZOQ_Compress), kCompressError) << c.what;
    EXPECT_EQ(zip().ErrCode(), c.err_code) << c.what;
    EXPECT_EQ(zip().SuccessCount(), c.success_count) << c.what;
  }
}

TEST_F(ZipComponentTest, AddChecksItsInputsAndAlwaysEmptiesFSpecArgs) {
  UseFakeEngine(reinterpret_cast<void*>(&FakeVersion), reinterpret_cast<void*>(&FakeExecRecording));
  struct Case {
    std::vector<std::string> specs;
    std::string archive;
    int err_code;
    int success_count;
  };
  const Case cases[] = {
      {{"a.txt"}, "", zip_error::kNoArchiveName, 0},
      {{}, "a.zip", zip_error::kNothingToAdd, 0},
      {{"a.txt"}, "a.zip", 0, 1},
  };
  for (const Case& c : cases) {
    zip().FSpecArgs = c.specs;
    zip().ZipFilename = c.archive;
    zip().Cancel = true;  // lowered by every Add
    zip().Add();
    EXPECT_EQ(zip().ErrCode(), c.err_code) << c.archive;
    EXPECT_EQ(zip().SuccessCount(), c.success_count) << c.archive;
    EXPECT_TRUE(zip().FSpecArgs.empty());
    EXPECT_FALSE(zip().Busy());
  }
}

// --- compression at the end of a generation run ----------------------------------

class CompressAfterGenerateTest : public GenerateTest {
 protected:
  void SetUp() override {
    GenerateTest::SetUp();
    WriteFile(MusicFile("Artist Name - Song Title.mp3"), UntaggedStereoSong(300000));
    Configure();
    ASSERT_EQ(Call(ZOQ_SetCompress, "1"), "200 OK __ZOQ_SetCompress__ Compress");
    fs::copy_file(BuiltZipEngine(), WorkFile(kZipEngineName));
  }
  std::string ArchiveFile() const { return WorkFile("Bob[06-19-02]-mm.zip"); }
};

TEST_F(CompressAfterGenerateTest, RunPacksItsListWhileANestedRequestGets514) {
  std::vector<std::string> nested;
  env_.on_pump = [&] {
    if (engine().fZipMaster1->Busy() && nested.empty()) nested.push_back(Call(ZOQ_Compress));
  };
  EXPECT_EQ(Generate(), "200 OK __ZOQ_StartGenerate__");
  EXPECT_EQ(nested, std::vector<std::string>{kCompressError});
  ZipInfo info = ReadZipDirectory(ArchiveFile());
  ASSERT_EQ(info.problem, "");
  ASSERT_EQ(info.entries.size(), 1u);
  EXPECT_EQ(info.entries[0].name, "Bob[06-19-02]-mm.txt");
  EXPECT_EQ(info.entries[0].crc, Crc32(ReadFile(ListFile())));
  ASSERT_TRUE(engine().form1);
  EXPECT_EQ(engine().form1->ProgressMax(), int32_t(ReadFile(ListFile()).size()));
}

TEST_F(CompressAfterGenerateTest, StopDuringTheRunsCompressionGives514) {
  env_.on_pump = [&] {
    if (engine().fZipMaster1->Busy() && !engine().fterminated) Call(ZOQ_StopGenerate);
  };
  EXPECT_EQ(Generate(), "514 Compress error __ZOQ_StartGenerate__");
  EXPECT_FALSE(Exists(ArchiveFile()));
  EXPECT_FALSE(Exists(ArchiveFile() + ".tmp"));
  EXPECT_TRUE(Exists(ListFile()));
}

}  // namespace
}  // namespace quorbel::test
