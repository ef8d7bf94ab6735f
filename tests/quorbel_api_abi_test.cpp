// The built library, loaded at run time and called by name as the IRC
// client does: the exports exist undecorated and answer through the host's
// calling convention.
#if defined(__linux__)
#include <malloc.h>
#endif

#include "command.h"
#include "platform/env.h"
#include "support/test_support.h"

namespace quorbel::test {

namespace {
#ifdef _WIN32
constexpr const char* kLibrary = "quorbel.dll";
#else
constexpr const char* kLibrary = "./libquorbel.so";
#endif
}  // namespace

class AbiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = Env::Default()->LoadLibrary(kLibrary);
    ASSERT_NE(library_, nullptr) << "run the tests in the folder of the built library";
  }
  template <class T>
  T Symbol(const char* name) {
    return reinterpret_cast<T>(library_->Symbol(name));
  }
  std::unique_ptr<DynamicLibrary> library_;
};

TEST_F(AbiTest, EveryExportIsThereUnderItsPlainName) {
  EXPECT_NE(Symbol<void*>("LoadDll"), nullptr);
  EXPECT_NE(Symbol<void*>("UnloadDll"), nullptr);
  for (const Command& command : AllCommands()) {
    EXPECT_NE(Symbol<void*>(command.name), nullptr) << command.name;
  }
}

TEST_F(AbiTest, ALoadedLibraryAnswersLikeTheHostExpects) {
  auto load = Symbol<QuorbelLoadDll>("LoadDll");
  auto unload = Symbol<QuorbelUnloadDll>("UnloadDll");
  auto version = Symbol<QuorbelCommand>("ZOQ_GetDLLVersion");
  auto status = Symbol<QuorbelCommand>("ZOQ_Status");
  ASSERT_TRUE(load && unload && version && status);
  LOADINFO info{0, nullptr, 0};
  load(&info);
  EXPECT_EQ(info.mKeep & 0xFF, 1);
  HostBuffer data("anything"), parms;
  EXPECT_EQ(version(nullptr, nullptr, data.bytes, parms.bytes, 1, 0), 3);
  EXPECT_EQ(data.str(), "201 OK-DATA 0.7.8 __ZOQ_GetDLLVersion__");
  HostBuffer files("Files");
  EXPECT_EQ(status(nullptr, nullptr, files.bytes, parms.bytes, 1, 0), 3);
  EXPECT_EQ(files.str(), "201 OK-DATA __ZOQ_Status__ 0");
  EXPECT_EQ(unload(1), 1);
  // The library's engine is its own: the one linked into this program is untouched.
  EXPECT_EQ(ZOQ_Quorbel, nullptr);
}

#if defined(__linux__)
// A host may load and unload the library many times; each time it must give
// back what it took, also the locale collation a chart update sets up.
TEST(AbiUnloadTest, LoadingAndUnloadingAgainAndAgainLosesNoMemory) {
  TempDir dir;
  WriteFile(dir / "q.ini", "[listmake]\r\nnick=me\r\nhitnum=30\r\n");
  WriteFile(dir / "ZOQHitData.hdt", "a.mp3 10\r\nb.mp3 08\r\n");
  auto cycle = [&] {
    std::unique_ptr<DynamicLibrary> library = Env::Default()->LoadLibrary(kLibrary);
    ASSERT_NE(library, nullptr);
    auto command = [&](const char* name, const std::string& argument) {
      HostBuffer data(argument), parms;
      reinterpret_cast<QuorbelCommand>(library->Symbol(name))(nullptr, nullptr, data.bytes,
                                                               parms.bytes, 1, 0);
      return data.str();
    };
    LOADINFO info{};
    reinterpret_cast<QuorbelLoadDll>(library->Symbol("LoadDll"))(&info);
    ASSERT_EQ(command("ZOQ_SetDirectory", dir.path()), "200 OK __ZOQ_SetDirectory__");
    ASSERT_EQ(command("ZOQ_SetIniFile", dir / "q.ini"), "200 OK __ZOQ_SetIniFile__");
    ASSERT_EQ(command("ZOQ_StartUpdateChart", ""), "200 OK __ZOQ_StartUpdateChart__");
    reinterpret_cast<QuorbelUnloadDll>(library->Symbol("UnloadDll"))(1);
  };
  // The first loads set up what the process keeps for good (the loader's
  // own tables settle after a few).
  for (int i = 0; i < 5; ++i) cycle();
  const size_t before = mallinfo2().uordblks;
  constexpr int kCycles = 20;
  for (int i = 0; i < kCycles; ++i) cycle();
  const size_t after = mallinfo2().uordblks;
  // Some slack for the allocator's own bookkeeping, far below one lost
  // collator per cycle.
  EXPECT_LT(after, before + 1024 * 2) << (after - before) / kCycles << " bytes lost per cycle";
}
#endif

}  // namespace quorbel::test
