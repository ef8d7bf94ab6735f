// Player lookup: the executable the system opens files of an extension
// with. The reduction of an open command to its executable is tested with a
// made-up system; the lookup itself against registrations the tests make:
// registry keys under Wine, a freedesktop tree on Linux.
#include <filesystem>
#include <optional>
#include <vector>

#include "command.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace fs = std::filesystem;

namespace quorbel::test {

namespace {

const std::string kTag = "__ZOQ_GetPlayerfromRegistry__";
const std::string kNotFound = "517 Registry Key not found " + kTag;

std::string Found(const std::string& path) { return "201 OK-DATA " + path + " " + kTag; }

// --- the reduction, with a made-up system ---------------------------------------

// Answers every extension with one fixed open command and records the
// extensions asked for.
class FixedPlayerEnv : public EnvWrapper {
 public:
  explicit FixedPlayerEnv(std::optional<std::string> command)
      : EnvWrapper(Env::Default()), command_(std::move(command)) {}
  std::optional<std::string> PlayerForExtension(const std::string& extension) override {
    asked.push_back(extension);
    return command_;
  }
  std::vector<std::string> asked;

 private:
  std::optional<std::string> command_;
};

struct CommandCase {
  const char* what;
  std::optional<std::string> command;
  std::string reply;
};

class PlayerCommandValues : public ::testing::TestWithParam<CommandCase> {};

INSTANTIATE_TEST_SUITE_P(
    PlayerValues, PlayerCommandValues,
    ::testing::Values(
        CommandCase{"quoted path and argument", "\"C:\\Program Files\\P\\p.exe\" \"%1\"",
                    Found("C:\\Program Files\\P\\p.exe")},
        CommandCase{"quoted path alone", "\"/opt/p/play\"", Found("/opt/p/play")},
        CommandCase{"quote not closed", "\"C:\\P\\p.exe", Found("C:\\P\\p.exe")},
        CommandCase{"leading blanks", "  \"p.exe\" %1", Found("p.exe")},
        CommandCase{"unquoted command line", "C:\\P\\p.exe /play %1", Found("C:\\P\\p.exe")},
        CommandCase{"empty quotes", "\"\" %1", kNotFound},
        CommandCase{"empty", "", kNotFound},
        CommandCase{"nothing registered", std::nullopt, kNotFound}));

TEST_P(PlayerCommandValues, ReduceToTheExecutable) {
  FixedPlayerEnv env(GetParam().command);
  EXPECT_EQ(PlayerReply(env, "mp3"), GetParam().reply);
}

TEST(PlayerCommandValue, UnquotedPathOfAnExistingFileIsTakenWhole) {
  TempDir dir;
  const std::string player = dir / "my player.exe";
  WriteFile(player, "");
  FixedPlayerEnv whole(player);
  EXPECT_EQ(PlayerReply(whole, "mp3"), Found(player));
}

TEST(PlayerExtension, TheDotIsAddedWhenMissing) {
  struct Case {
    std::string argument;
    std::vector<std::string> asked;
  };
  for (const Case& c : {Case{"mp3", {".mp3"}}, Case{".mp3", {".mp3"}}, Case{"..mp3", {"..mp3"}},
                        Case{"", {}}, Case{".", {}}}) {
    FixedPlayerEnv env("\"p.exe\"");
    std::string reply = PlayerReply(env, c.argument);
    EXPECT_EQ(env.asked, c.asked) << c.argument;
    EXPECT_EQ(reply, c.asked.empty() ? kNotFound : Found("p.exe")) << c.argument;
  }
}

// --- the lookup on this system ----------------------------------------------------

// Registrations the lookup tests rely on:
//   .qbt  a file type with an open command: the player
//   .qbo  a file type that nothing opens
// and, on Windows only, .qbe (empty command) and .qbu (unquoted command).
std::string g_player_path;

#ifdef _WIN32

// Keys under HKEY_CURRENT_USER\Software\Classes, which HKEY_CLASSES_ROOT
// shows merged with the machine's on Windows. Wine (8.0) does not merge
// them; there the keys go under HKEY_LOCAL_MACHINE\Software\Classes.
class RegistryPlayers : public ::testing::Environment {
 public:
  void SetUp() override {
    g_player_path = "C:\\Program Files\\Quorbel Player\\player.exe";
    WriteKeys(HKEY_CURRENT_USER);
    if (!VisibleInClassesRoot(".qbt")) {
      TearDown();
      WriteKeys(HKEY_LOCAL_MACHINE);
    }
    ASSERT_TRUE(VisibleInClassesRoot(".qbt"));
  }
  void TearDown() override {
    // Deepest first: a key with subkeys cannot be deleted.
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
      RegDeleteKeyA(root_, it->c_str());
    }
    created_.clear();
  }

 private:
  void WriteKeys(HKEY root) {
    root_ = root;
    Set(".qbt", "QuorbelTest.Audio");
    Set("QuorbelTest.Audio\\Shell\\Open\\Command", "\"" + g_player_path + "\" \"%1\"");
    Set(".qbo", "QuorbelTest.Orphan");
    Set("QuorbelTest.Orphan\\shell\\edit\\command", "\"C:\\Edit\\edit.exe\" \"%1\"");
    Set(".qbe", "QuorbelTest.Empty");
    Set("QuorbelTest.Empty\\shell\\open\\command", "");
    Set(".qbu", "QuorbelTest.Unquoted");
    Set("QuorbelTest.Unquoted\\shell\\open\\command", "C:\\Players\\play.exe %1");
  }
  static bool VisibleInClassesRoot(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  void Set(const std::string& path, const std::string& value) {
    std::string full = "Software\\Classes";
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find('\\', start);
      if (end == std::string::npos) end = path.size();
      full += "\\" + path.substr(start, end - start);
      created_.push_back(full);
      start = end + 1;
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root_, full.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD(value.size() + 1));
    RegCloseKey(key);
  }
  HKEY root_ = HKEY_CURRENT_USER;
  std::vector<std::string> created_;
};

::testing::Environment* const kRegistryPlayers =
    ::testing::AddGlobalTestEnvironment(new RegistryPlayers);

#else

// A freedesktop tree of its own: a MIME database with the test types, two
// applications for .qbt of which mimeapps.list makes the player the
// default. GIO reads the XDG_* variables once, so they are set for the
// whole test program before any lookup.
class XdgPlayers : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_.emplace();
    const fs::path root = dir_->path();
    const fs::path data = root / "data", config = root / "config";
    for (const fs::path& p : {data / "mime", data / "applications", config, root / "sysdata",
                              root / "sysconfig", root / "bin dir"}) {
      fs::create_directories(p);
    }
    WriteFile((data / "mime" / "globs2").string(),
              "# weight:type:glob\n"
              "50:audio/x-quorbel-test:*.qbt\n"
              "50:audio/x-quorbel-orphan:*.qbo\n");
    g_player_path = (root / "bin dir" / "quorbel player").string();
    const std::string other = (root / "bin dir" / "other").string();
    for (const std::string& program : {g_player_path, other}) {
      WriteFile(program, "#!/bin/sh\n");
      fs::permissions(program, fs::perms::owner_all);
    }
    WriteFile((data / "applications" / "quorbel-player.desktop").string(),
              Desktop("Quorbel Player", g_player_path));
    WriteFile((data / "applications" / "quorbel-other.desktop").string(),
              Desktop("Other Player", other));
    WriteFile((config / "mimeapps.list").string(),
              "[Default Applications]\naudio/x-quorbel-test=quorbel-player.desktop\n");
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_DATA_DIRS", (root / "sysdata").c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (root / "sysconfig").c_str(), 1);
    unsetenv("XDG_CURRENT_DESKTOP");
  }
  void TearDown() override { dir_.reset(); }

 private:
  static std::string Desktop(const std::string& name, const std::string& program) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=\"" + program +
           "\" %f\nMimeType=audio/x-quorbel-test;\n";
  }
  std::optional<TempDir> dir_;
};

::testing::Environment* const kXdgPlayers = ::testing::AddGlobalTestEnvironment(new XdgPlayers);

#endif

struct LookupCase {
  std::string extension;
  bool found;
};

class PlayerLookup : public EngineTest, public ::testing::WithParamInterface<LookupCase> {};

INSTANTIATE_TEST_SUITE_P(
    PlayerExtensions, PlayerLookup,
    ::testing::Values(LookupCase{"qbt", true}, LookupCase{".qbt", true}, LookupCase{"QBT", true},
                      LookupCase{".qbo", false}, LookupCase{"qbzz", false},
                      LookupCase{"", false}, LookupCase{".", false}, LookupCase{"q/qbt", false},
                      LookupCase{"qbt\\shell", false}, LookupCase{"\xFF\x80\xE9", false},
                      LookupCase{"\xF0", false}, LookupCase{std::string(900, 'q'), false}));

TEST_P(PlayerLookup, AnswersTheRegisteredPlayer) {
  EXPECT_EQ(Call(ZOQ_GetPlayerfromRegistry, GetParam().extension),
            GetParam().found ? Found(g_player_path) : kNotFound);
}

#ifdef _WIN32
class PlayerRegistry : public EngineTest {};

TEST_F(PlayerRegistry, EmptyAndUnquotedCommands) {
  EXPECT_EQ(Call(ZOQ_GetPlayerfromRegistry, "qbe"), kNotFound);
  EXPECT_EQ(Call(ZOQ_GetPlayerfromRegistry, "qbu"), Found("C:\\Players\\play.exe"));
}
#endif

}  // namespace

}  // namespace quorbel::test
