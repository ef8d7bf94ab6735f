// The command-line host, run as a user runs it: replies on standard output,
// exit status 0 only for 2xx replies. The host exists only on Linux.
#ifndef _WIN32
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "test_support.h"

namespace quorbel::test {
namespace {

constexpr const char* kHost = "./quorbel";  // beside the test program

struct Outcome {
  std::string output;
  int status;
};

// Runs the host through the shell with standard error merged into standard output.
Outcome RunHost(const std::string& arguments, const std::string& input = "") {
  std::string command = std::string(kHost) + " " + arguments + " 2>&1";
  if (!input.empty()) command = "printf '%b' '" + input + "' | " + command;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {"", -1};
  std::string output;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kHost)) GTEST_SKIP() << "the host is not built beside the tests";
  }
};

TEST_F(HostTest, ExitStatusFollowsTheReplyCode) {
  struct Case {
    const char* arguments;
    int status;
    const char* output_start;
  } cases[] = {
      {"version", 0, "201 OK-DATA 0.7.8 __ZOQ_GetDLLVersion__\n"},
      {"raw ZOQ_Status Files", 0, "201 OK-DATA __ZOQ_Status__ 0\n"},
      {"raw ZOQ_Status Nothing", 1, "504 Unknown argument __ZOQ_Status__\n"},
      {"raw ZOQ_SetIniFile /nonexistent.ini", 1, "506 File or directory not found"},
      {"raw ZOQ_NoSuchCommand", 2, "quorbel: the library has no command ZOQ_NoSuchCommand"},
      {"generate", 2, "quorbel generate: wrong number of arguments"},
      {"generate --frobnicate x.ini", 2, "quorbel generate: unknown option --frobnicate"},
      {"nosuchsubcommand", 2, "quorbel: unknown subcommand"},
      {"--library /nonexistent/libquorbel.so version", 2, "quorbel: cannot load the library"},
      {"generate --help", 0, "usage: quorbel generate"},
      {"help find", 0, "usage: quorbel find"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = RunHost(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.arguments << "\n" << outcome.output;
    EXPECT_EQ(outcome.output.rfind(c.output_start, 0), 0u) << c.arguments << "\n" << outcome.output;
  }
}

TEST_F(HostTest, ScriptModePrintsEachReplyInOrder) {
  TempDir dir;
  const Outcome outcome = RunHost(
      "--bytes script",
      "# settings\\nZOQ_SetDirectory " + dir.path() + "\\n\\nZOQ_SetEGSong  two blanks\\n"
      "ZOQ_Status ActFile\\nZOQ_BadListGet 0\\n");
  EXPECT_EQ(outcome.output,
            "200 OK __ZOQ_SetDirectory__\n200 OK __ZOQ_SetEGSong__\n"
            "201 OK-DATA __ZOQ_Status__ 0\n513 Out of bounds __ZOQ_BadListGet__\n");
  EXPECT_EQ(outcome.status, 1);  // one reply was not 2xx
}

TEST_F(HostTest, GenerateMakesTheListAndNamesBadFiles) {
  TempDir dir;
  MakeDir(dir / "Music");
  MakeDir(dir / "lists");
  WriteFile(dir / "Music" + kPathDelim + "a  b.mp3", "");
  WriteFile(dir / "list.ini", "[listmake]\nnick=Bob\n[Extension]\n1=*.mp3\n[drive]\n1=" +
                                  (dir / "Music") + "\n");
  const std::string args = "--no-progress generate --no-compress --no-rename " + (dir / "list.ini") +
                           " " + (dir / "lists");
  const std::string entry = (dir / "Music") + kPathDelim + "a";
  for (const auto& [encoding, nbsp] : {std::pair{"--bytes", std::string("\xA0\xA0")},
                                       std::pair{"--utf8", std::string("\xC2\xA0\xC2\xA0")}}) {
    const Outcome outcome = RunHost(std::string(encoding) + " " + args);
    EXPECT_EQ(outcome.output,
              "200 OK __ZOQ_StartGenerate__\nbad name: " + entry + nbsp + "b.mp3\n");
    EXPECT_EQ(outcome.status, 0);
  }
  size_t lists = 0;
  for (const auto& file : std::filesystem::directory_iterator(dir / "lists")) {
    if (file.path().string().ends_with("-mm.txt")) ++lists;
  }
  EXPECT_EQ(lists, 1u);
  EXPECT_TRUE(Exists(dir / "Music" + kPathDelim + "a  b.mp3"));  // --no-rename
}

}  // namespace
}  // namespace quorbel::test
#endif  // _WIN32
