// LoadDll and UnloadDll called again from inside their own message pumping:
// the call that started last decides whether an engine remains, and every
// engine made on the way is freed exactly once.
#include "support/test_support.h"

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

// Makes one nested LoadDll or UnloadDll at a chosen pump; an engine the
// nested load makes is given a window at once.
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
    if (!armed || ++pumps != nest_at_pump) return;
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

}  // namespace

}  // namespace quorbel::test
