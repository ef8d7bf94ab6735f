// LoadDll and UnloadDll called again from inside their own message pumping,
// and from inside a long operation's: the call that started last decides
// whether an engine remains, every engine made on the way is freed exactly
// once, and the operation below still answers with a coded line.
#include <algorithm>
#include <filesystem>
#include <functional>

#include "ZipMstr.h"
#include "support/test_support.h"
#include "support/zip_check.h"

namespace quorbel::test {

namespace {

enum class Entry { kLoad, kUnload };

// Counts the progress windows alive: each engine that got one frees it
// when the engine goes, so a window left over is an engine leaked.
class CountedWindow : public NativeProgressWindow {
 public:
  CountedWindow(std::unique_ptr<NativeProgressWindow> inner, int* alive)
      : inner_(std::move(inner)), alive_(alive) {
    ++*alive_;
  }
  ~CountedWindow() override { --*alive_; }
  void SetVisible(bool v) override { inner_->SetVisible(v); }
  bool IsVisible() const override { return inner_->IsVisible(); }
  bool IsActive() const override { return inner_->IsActive(); }
  void SetStatusText(const std::string& t) override { inner_->SetStatusText(t); }
  void SetProgressRange(int32_t a, int32_t b) override { inner_->SetProgressRange(a, b); }
  void SetProgressPosition(int32_t p) override { inner_->SetProgressPosition(p); }
  void ClickAbort() override { inner_->ClickAbort(); }

 private:
  std::unique_ptr<NativeProgressWindow> inner_;
  int* alive_;
};

// Makes one nested LoadDll or UnloadDll at a chosen pump, or at the first
// pump where `ready` holds; an engine the nested load makes is given a
// window at once.
class NestingEnv : public EnvWrapper {
 public:
  NestingEnv() : EnvWrapper(Env::Default()) {}
  std::unique_ptr<NativeProgressWindow> CreateProgressWindow(WindowHandle parent,
                                                             const ProgressWindowLook& look,
                                                             ProgressWindowEvents* e) override {
    return std::make_unique<CountedWindow>(EnvWrapper::CreateProgressWindow(parent, look, e),
                                           &windows_alive);
  }
  void PumpMessages() override {
    if (!armed) return;
    ++pumps;
    if (ready ? !ready() : pumps != nest_at_pump) return;
    armed = false;
    if (nested == Entry::kUnload) {
      UnloadDll(1);
      return;
    }
    LOADINFO info{};
    LoadDll(&info);
    GiveWindow();
  }
  static void GiveWindow() {
    HostBuffer data;
    ZOQ_Show(nullptr, nullptr, data.bytes, nullptr, 1, 0);
  }

  bool armed = false;
  int pumps = 0;
  int nest_at_pump = 0;
  std::function<bool()> ready;
  Entry nested = Entry::kLoad;
  int windows_alive = 0;
};

struct Nesting {
  const char* what;
  Entry outer;
  int at_pump;  // LoadDll: 1 in the constructor, 2 after it; UnloadDll: 1 in Stop
  Entry nested;
  bool engine_after;
};

class ReentryTest : public ::testing::TestWithParam<Nesting> {
 protected:
  void SetUp() override { SetEnvForTesting(&env_); }
  void TearDown() override {
    UnloadDll(0);
    SetEnvForTesting(nullptr);
  }
  NestingEnv env_;
};

INSTANTIATE_TEST_SUITE_P(
    LifeCycle, ReentryTest,
    ::testing::Values(Nesting{"unload in unload", Entry::kUnload, 1, Entry::kUnload, false},
                      Nesting{"load in unload", Entry::kUnload, 1, Entry::kLoad, true},
                      Nesting{"load in construction", Entry::kLoad, 1, Entry::kLoad, true},
                      Nesting{"unload in construction", Entry::kLoad, 1, Entry::kUnload, false},
                      Nesting{"load after construction", Entry::kLoad, 2, Entry::kLoad, true},
                      Nesting{"unload after construction", Entry::kLoad, 2, Entry::kUnload,
                              false}));

TEST_P(ReentryTest, TheLaterCallDecidesAndEveryEngineIsFreedOnce) {
  const Nesting& n = GetParam();
  LOADINFO info{};
  if (n.outer == Entry::kUnload) {
    LoadDll(&info);
    NestingEnv::GiveWindow();
    ASSERT_EQ(env_.windows_alive, 1);
  }
  env_.nest_at_pump = n.at_pump;
  env_.nested = n.nested;
  env_.armed = true;
  if (n.outer == Entry::kLoad) {
    LoadDll(&info);
  } else {
    EXPECT_EQ(UnloadDll(1), 1);
  }
  EXPECT_FALSE(env_.armed) << "the nested call was never made";
  ASSERT_EQ(ZOQ_Quorbel != nullptr, n.engine_after);
  // The engine left is the one the nested load made and gave a window.
  EXPECT_EQ(env_.windows_alive, n.engine_after ? 1 : 0);
  UnloadDll(0);
  EXPECT_EQ(env_.windows_alive, 0);
}


// --- inside the long operations ---------------------------------------------------

struct InOperation {
  const char* what;
  QuorbelCommand command;
  const char* tag;
  Entry nested;
  const char* reply;  // the stop that an unload makes ends what can be stopped
};

class OperationReentryTest : public ::testing::TestWithParam<InOperation> {
 protected:
  void SetUp() override {
    SetEnvForTesting(&env_);
    LOADINFO info{};
    LoadDll(&info);
    NestingEnv::GiveWindow();
    const std::filesystem::path music = std::filesystem::path(dir_.path()) / "Music";
    std::filesystem::create_directory(music);
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) WriteFile((music / name).string(), "");
    WriteFile(dir_ / "q.ini", "[listmake]\r\nnick=nick\r\nname=nick\r\n[Extension]\r\n1=*.mp3\r\n2=*.mp2\r\n"
                              "[drive]\r\n1=" + music.string() + "\r\n");
    // Large enough that packing it pumps several times.
    std::string list;
    while (list.size() < 600000) list += "!nick Band " + std::to_string(list.size() % 997) + ".mp3\r\n";
    WriteFile(dir_ / "nick-mm.txt", list);
    std::filesystem::copy_file(BuiltZipEngine(), dir_ / kZipEngineName);
    ASSERT_EQ(Call(ZOQ_SetDirectory, dir_.path()), "200 OK __ZOQ_SetDirectory__");
    ASSERT_EQ(Call(ZOQ_SetIniFile, dir_ / "q.ini"), "200 OK __ZOQ_SetIniFile__");
  }
  void TearDown() override {
    UnloadDll(0);
    SetEnvForTesting(nullptr);
  }
  NestingEnv env_;
  TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(
    Operations, OperationReentryTest,
    ::testing::Values(
        InOperation{"load while packing", ZOQ_Compress, "__ZOQ_Compress__", Entry::kLoad,
                    "200 OK __ZOQ_Compress__"},
        InOperation{"unload while packing", ZOQ_Compress, "__ZOQ_Compress__", Entry::kUnload,
                    "514 Compress error __ZOQ_Compress__"},
        InOperation{"load while dumping", ZOQ_Dump, "__ZOQ_Dump__", Entry::kLoad,
                    "200 OK __ZOQ_Dump__"},
        InOperation{"unload while dumping", ZOQ_Dump, "__ZOQ_Dump__", Entry::kUnload,
                    "200 OK __ZOQ_Dump__"},
        InOperation{"load while counting", ZOQ_CountFiles, "__ZOQ_CountFiles__", Entry::kLoad,
                    "200 OK __ZOQ_CountFiles__"},
        InOperation{"unload while counting", ZOQ_CountFiles, "__ZOQ_CountFiles__",
                    Entry::kUnload, "511 Operation is terminated __ZOQ_CountFiles__"}),
    [](const auto& info) {
      std::string name = info.param.what;
      std::replace(name.begin(), name.end(), ' ', '_');
      return name;
    });

TEST_P(OperationReentryTest, TheOperationAnswersCodedAndEveryEngineIsFreedOnce) {
  const InOperation& c = GetParam();
  TZOQ_Quorbel* outer = ZOQ_Quorbel;
  ASSERT_EQ(env_.windows_alive, 1);
  // Midway: the zip engine has the list, the dump is past its first lines,
  // the walk has found a file.
  if (c.command == ZOQ_Compress) env_.ready = [outer] { return outer->fZipMaster1->Busy(); };
  if (c.command == ZOQ_Dump) env_.nest_at_pump = 2;
  if (c.command == ZOQ_CountFiles) env_.ready = [outer] { return outer->fcount == 1; };
  env_.nested = c.nested;
  env_.armed = true;
  EXPECT_EQ(Call(c.command), c.reply) << c.what;
  EXPECT_FALSE(env_.armed) << c.what << ": the nested call was never made";
  ASSERT_EQ(ZOQ_Quorbel != nullptr, c.nested == Entry::kLoad);
  // Only the engine the nested load made is left, with its window.
  EXPECT_EQ(env_.windows_alive, c.nested == Entry::kLoad ? 1 : 0) << c.what;
  UnloadDll(0);
  EXPECT_EQ(env_.windows_alive, 0) << c.what;
}

}  // namespace

}  // namespace quorbel::test
