// The command-line host, run as a user runs it: answers on standard output,
// "quorbel: what: why" on standard error, exit statuses 0/1/2/3/130, and no
// file changed by a lookup, a dry run or a failed check. The host exists
// only on Linux, and so do these tests.
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace quorbel::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHost = "./quorbel";  // beside the test program
constexpr const char* kUtf8Locale = "LC_ALL=C.UTF-8";

struct Outcome {
  std::string out;
  std::string err;
  int status;
};

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs the host through the shell: `env` before it, `input` on its
// standard input, standard error kept apart.
Outcome RunHost(const std::string& arguments, const std::string& env = kUtf8Locale,
                const std::string& input = "", const std::string& host = kHost) {
  TempDir scratch;
  const std::string err = scratch / "err";
  std::string command = env + " " + host + " " + arguments + " 2>" + Quoted(err);
  if (!input.empty()) command = "printf '%s' " + Quoted(input) + " | " + command;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {"", "", -1};
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  return {out, ReadFile(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// Every file below `root` with its bytes and change time; with
// `without_work_files` the library's own work files (*.tmp) are left out.
std::map<std::string, std::string> Snapshot(const std::string& root, bool without_work_files = false) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (without_work_files && entry.path().extension() == ".tmp") continue;
    struct stat info {};
    lstat(entry.path().c_str(), &info);
    const std::string stamp = std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
    files[entry.path().string()] = entry.is_regular_file() ? stamp + ReadFile(entry.path()) : stamp;
  }
  return files;
}

bool HasPython() { return std::system("python3 -c '' >/dev/null 2>&1") == 0; }

// A music folder, a list folder and a configuration naming them.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kHost)) GTEST_SKIP() << "the host is not built beside the tests";
    MakeDir(music_);
    MakeDir(lists_);
    WriteIni(std::string("[listmake]\nnick=Bob\n[Extension]\n1=*.mp3\n[drive]\n1=") +
             music_ + "\n");
  }
  void WriteIni(const std::string& content) { WriteFile(ini_, content); }
  void Song(const std::string& name, int64_t size = 4096) {
    WriteFile(music_ + "/" + name, MpegFile(size));
  }
  std::string Paths() const { return Quoted(ini_) + " " + Quoted(lists_); }
  Outcome Generate(const std::string& options = "--no-compress") {
    return RunHost("--no-progress generate " + options + " " + Paths());
  }

  TempDir dir_;
  const std::string music_ = dir_ / "Music";
  const std::string lists_ = dir_ / "lists";
  const std::string ini_ = dir_ / "list.ini";
};

TEST_F(HostTest, ExitStatusAndErrorForm) {
  TempDir dir;
  WriteFile(dir / "notes.mp3", "not audio at all");
  struct Case {
    std::string arguments;
    int status;
    std::string out_start;
    std::string err_start;
  } cases[] = {
      {"version", 0, "quorbel 0.7.8\nlibrary 0.7.8 (", ""},
      {"--version", 0, "quorbel 0.7.8\n", ""},
      {"-h", 0, "usage: quorbel [OPTIONS] SUBCOMMAND", ""},
      {"generate -h", 0, "usage: quorbel generate", ""},
      {"help find", 0, "usage: quorbel find", ""},
      {"gneerate x.ini", 2, "", "quorbel: unknown subcommand 'gneerate'\nDid you mean 'quorbel generate'?"},
      {"generate", 2, "", "quorbel: generate: missing arguments\nusage: quorbel generate"},
      {"generate --frobnicate x.ini", 2, "", "quorbel: generate: unknown option --frobnicate"},
      {"--library /nonexistent/libquorbel.so version", 3, "", "quorbel: cannot load the library: "},
      {"raw ZOQ_Status Files", 0, "201 OK-DATA __ZOQ_Status__ 0\n", ""},
      {"raw ZOQ_Status Nothing", 1, "", "quorbel: ZOQ_Status: 504 Unknown argument __ZOQ_Status__\n"},
      {"raw ZOQ_NoSuchCommand", 2, "", "quorbel: ZOQ_NoSuchCommand: the library has no such command"},
      {"info " + (dir / "none.mp3"), 1, "", "quorbel: " + (dir / "none.mp3") + ": No such file or directory\n"},
      {"info " + dir.path(), 1, "", "quorbel: " + dir.path() + ": Is a directory\n"},
      {"info " + (dir / "notes.mp3"), 1, "", "quorbel: " + (dir / "notes.mp3") + ": not MPEG audio"},
      {"find " + (dir / "none.ini") + " " + dir.path() + " x", 1, "",
       "quorbel: " + (dir / "none.ini") + ": No such file or directory\n"},
  };
  for (const Case& c : cases) {
    const Outcome o = RunHost(c.arguments);
    EXPECT_EQ(o.status, c.status) << c.arguments << "\n" << o.err;
    EXPECT_EQ(o.out.rfind(c.out_start, 0), 0u) << c.arguments << "\n" << o.out;
    EXPECT_EQ(o.err.rfind(c.err_start, 0), 0u) << c.arguments << "\n" << o.err;
    if (c.status != 0 && c.status != 2) {
      EXPECT_EQ(o.out, "") << c.arguments;  // failures never on stdout
    }
  }
}

TEST_F(HostTest, ScriptModePrintsEachReplyInOrder) {
  TempDir dir;
  const Outcome outcome = RunHost(
      "--bytes script", "",
      "# settings\nZOQ_SetDirectory " + dir.path() + "\n\nZOQ_SetEGSong  two blanks\n"
      "ZOQ_Status ActFile\nZOQ_BadListGet 0\n");
  EXPECT_EQ(outcome.out,
            "200 OK __ZOQ_SetDirectory__\n200 OK __ZOQ_SetEGSong__\n"
            "201 OK-DATA __ZOQ_Status__ 0\n513 Out of bounds __ZOQ_BadListGet__\n");
  EXPECT_EQ(outcome.status, 1);  // one reply was not 2xx
}

// Each broken configuration is reported with its path and reason before
// anything is written; the previous list, index and ZIP stay as they were.
TEST_F(HostTest, FailedChecksLeaveTheListsUntouched) {
  Song("a.mp3");
  ASSERT_EQ(Generate("").status, 0);
  const auto before = Snapshot(lists_, true);
  const std::string drive = "[drive]\n1=" + music_ + "\n";
  struct Case {
    std::string ini;
    std::string reason;
  } cases[] = {
      {"[listmake]\nnick=Bob\n[Extension]\n1=*.mp3\n[drvie]\n1=" + music_ + "\n",
       "unknown section [drvie]; did you mean [drive]?"},
      {"[listmake]\nnick=Bob\n" + drive, "no file type in [Extension]"},
      {"[Extension]\n1=*.mp3\n" + drive, "no [listmake] section"},
      {"[listmake]\nmethod=s\n[Extension]\n1=*.mp3\n" + drive, "[listmake] has no nick"},
      {"\xEF\xBB\xBF[listmake]\nnick=Bob\n[Extension]\n1=*.mp3\n" + drive, "starts with a UTF-8 byte-order mark"},
      {"[listmake]\nnick=Bob ; my nick\n[Extension]\n1=*.mp3\n" + drive, "holds a ';' comment"},
      {"[listmake]\nnick=Bob\n[Extension]\n1=*.mp3\n[drive]\n1=~/Music\n", "'~' is not expanded"},
      {"[listmake]\nnick=Bob\n[Extension]\n1=*.mp3\n[drive]\n1=C:\\Music\\\n",
       "No such file or directory, a Windows path"},
      {"[listmake]\nnick=Bob\n[Extension]\n1=*.mp3\n[drive]\n1=" + ini_ + "\n", "Not a directory"},
      {"[listmake]\nnick=Bob\n[Extension]\n1=*.mp4\n" + drive, "no file in the [drive] folders matches"},
  };
  for (const Case& c : cases) {
    WriteIni(c.ini);
    const Outcome o = Generate("");
    EXPECT_EQ(o.status, 1) << c.ini;
    EXPECT_NE(o.err.find(c.reason), std::string::npos) << c.ini << "\n" << o.err;
    EXPECT_EQ(o.err.rfind("quorbel: ", 0), 0u) << o.err;
    EXPECT_EQ(Snapshot(lists_, true), before) << c.ini;
  }
  // The library reads only "*.ini" names; a missing folder is named as such.
  WriteFile(dir_ / "list.INI", "[listmake]\nnick=Bob\n");
  for (const auto& [arguments, reason] :
       {std::pair{Quoted(dir_ / "list.INI") + " " + Quoted(lists_), "ends in .ini"},
        std::pair{Quoted(ini_) + " " + Quoted(dir_ / "gone"), "gone: No such file or directory"}}) {
    const Outcome o = RunHost("generate " + arguments);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find(reason), std::string::npos) << o.err;
  }
  EXPECT_EQ(Snapshot(lists_, true), before);
}

// find, search and a dry run read the newest list and write nothing, in the
// list folder or among the music files.
TEST_F(HostTest, LookupsAndDryRunsWriteNothing) {
  for (const char* name : {"Night Drive.mp3", "Day  Drive.mp3", "c.mp3", "d.mp3", "e.mp3", "f.mp3"}) Song(name);
  const Outcome none = RunHost("find " + Paths() + " '*drive*'");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("no list for the nick Bob yet; make one with: quorbel generate"), std::string::npos)
      << none.err;
  ASSERT_EQ(Generate().status, 0);
  const auto lists = Snapshot(lists_), music = Snapshot(music_);
  struct Case {
    std::string arguments;
    int status;
    std::string out;  // exact, or the start when it ends in "..."
  } cases[] = {
      {"find " + Paths() + " '*night*'", 0, "Night Drive.mp3\xC2\xA0 ::INFO:: 0.1MB\n"},
      {"find " + Paths() + " '*drive*'", 0, "Day Drive.mp3\xC2\xA0 ::INFO:: 0.1MB\nNight Drive.mp3\xC2\xA0 ::INFO:: 0.1MB\n"},
      {"find " + Paths() + " nothing", 1, ""},
      {"search " + Paths() + " 'Night Drive.mp3'", 0, music_ + "/Night Drive.mp3\n"},
      {"search " + Paths() + " 'night drive.mp3'", 1, ""},
      {"generate --dry-run --rename " + Paths(), 0,
       "would rename: " + music_ + "/Day  Drive.mp3 -> " + music_ + "/Day Drive.mp3\n..."},
  };
  for (const Case& c : cases) {
    const Outcome o = RunHost("--no-progress " + c.arguments);
    EXPECT_EQ(o.status, c.status) << c.arguments << "\n" << o.err;
    if (c.out.ends_with("...")) {
      EXPECT_EQ(o.out.rfind(c.out.substr(0, c.out.size() - 3), 0), 0u) << o.out;
    } else {
      EXPECT_EQ(o.out, c.out) << c.arguments;
    }
    EXPECT_EQ(Snapshot(lists_), lists) << c.arguments;
    EXPECT_EQ(Snapshot(music_), music) << c.arguments;
  }
  // Six matches: five are shown, one per line, and a note says so.
  const Outcome all = RunHost("find " + Paths() + " '*'");
  EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 5);
  EXPECT_NE(all.err.find("more than 5 entries match"), std::string::npos);
}

TEST_F(HostTest, RenamesOnlyWhenAskedAndSaysSo) {
  Song("a  b.mp3");
  Song("keep.mp3");
  const Outcome plain = Generate();
  EXPECT_EQ(plain.status, 0);
  EXPECT_TRUE(Exists(music_ + "/a  b.mp3"));
  EXPECT_EQ(plain.err, "quorbel: " + music_ + "/a  b.mp3: the name holds double blanks; --rename renames the file\n");

  const Outcome renamed = Generate("--no-compress --rename");
  EXPECT_EQ(renamed.status, 0) << renamed.err;
  EXPECT_EQ(renamed.out.rfind("renamed: " + music_ + "/a  b.mp3 -> " + music_ + "/a b.mp3\nlist: ", 0), 0u)
      << renamed.out;
  EXPECT_TRUE(Exists(music_ + "/a b.mp3"));
  EXPECT_FALSE(Exists(music_ + "/a  b.mp3"));
  // The files were renamed before the run, so the index knows the new name.
  EXPECT_EQ(RunHost("search " + Paths() + " 'a b.mp3'").out, music_ + "/a b.mp3\n");

  // A rename never replaces a file: both stay, and the run says why.
  Song("x  y.mp3");
  Song("x y.mp3", 999);
  const Outcome foreseen = Generate("--dry-run --rename");
  EXPECT_NE(foreseen.err.find("x  y.mp3: would not be renamed to x y.mp3: File exists"), std::string::npos)
      << foreseen.err;
  const Outcome clash = Generate("--no-compress --rename");
  EXPECT_EQ(clash.status, 1);
  EXPECT_NE(clash.err.find("x  y.mp3: not renamed to x y.mp3: File exists"), std::string::npos) << clash.err;
  EXPECT_EQ(fs::file_size(music_ + "/x y.mp3"), 999u);
}

// The locale decides how bytes reach the terminal; --bytes and --utf8 force.
TEST_F(HostTest, OutputFollowsTheLocale) {
  Song("caf\xE9 \xC3\xA9t\xC3\xA9  \x1B[31m.mp3");  // Latin-1, UTF-8, an escape sequence
  ASSERT_EQ(Generate().status, 0);
  struct Case {
    const char* env;
    const char* flag;
    std::string name;
  } cases[] = {
      {"LC_ALL=C", "", "caf\\xE9 \\xC3\\xA9t\\xC3\\xA9  \\x1B[31m.mp3"},
      {kUtf8Locale, "", "caf\\xE9 \xC3\xA9t\xC3\xA9  \\x1B[31m.mp3"},
      {"LC_ALL=C", "--utf8", "caf\\xE9 \xC3\xA9t\xC3\xA9  \\x1B[31m.mp3"},
      {kUtf8Locale, "--bytes", "caf\xE9 \xC3\xA9t\xC3\xA9  \x1B[31m.mp3"},
  };
  for (const Case& c : cases) {
    const Outcome o = RunHost(std::string(c.flag) + " --no-progress generate -n " + Paths(), c.env);
    EXPECT_EQ(o.err, "quorbel: " + music_ + "/" + c.name + ": the name holds double blanks; --rename renames the file\n")
        << c.env << " " << c.flag;
  }
}

// Jobs that write say where; the chart keeps the old one without hit data;
// a "name" key picks the list that lookups answer from.
TEST_F(HostTest, JobsSayWhatTheyWroteAndNameWins) {
  Song("a.mp3");
  const std::string chart = lists_ + "/ZOQChart.hdt";
  WriteFile(chart, "old chart\n");
  const Outcome kept = RunHost("chart " + Paths());
  EXPECT_EQ(kept.status, 1);
  EXPECT_EQ(kept.err, "quorbel: " + lists_ + "/ZOQHitData.hdt: No such file or directory; the chart is left as it is\n");
  EXPECT_EQ(ReadFile(chart), "old chart\n");
  WriteFile(lists_ + "/ZOQHitData.hdt", "a.mp3 2\n");
  struct Case {
    std::string arguments;
    std::string out;
    std::string written;
  } cases[] = {
      {"chart " + Paths(), "chart: " + chart + "\n", chart},
      {"dump " + Quoted(lists_), "dump: " + lists_ + "/core\n", lists_ + "/core"},
      {"count " + Paths(), "1\n", ""},
  };
  for (const Case& c : cases) {
    const Outcome o = RunHost(c.arguments);
    EXPECT_EQ(o.status, 0) << c.arguments << o.err;
    EXPECT_EQ(o.out, c.out);
    EXPECT_TRUE(c.written.empty() || Exists(c.written)) << c.written;
  }
  // An older list named in the configuration is the one find answers from.
  WriteFile(lists_ + "/Bob[01-01-01]-mm.txt", "!Bob old.mp3 ::INFO:: 1MB\r\n");
  ASSERT_EQ(Generate().status, 0);
  EXPECT_EQ(RunHost("find " + Paths() + " '*.mp3'").out, "a.mp3\xC2\xA0 ::INFO:: 0.1MB\n");
  WriteIni("[listmake]\nnick=Bob\nname=Bob[01-01-01]\n");
  EXPECT_EQ(RunHost("find " + Paths() + " '*.mp3'").out, "old.mp3 ::INFO:: 1MB\n");
  WriteIni("[listmake]\nnick=Bob\nname=Bob[02-02-02]\n");
  EXPECT_NE(RunHost("find " + Paths() + " '*.mp3'").err.find("Bob[02-02-02]-mm.txt: no such list"),
            std::string::npos);
}

TEST_F(HostTest, OneWriterPerListFolder) {
  Song("a.mp3");
  const std::string lock = lists_ + "/.quorbel.lock";
  const int fd = open(lock.c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  for (const char* job : {"generate", "count", "chart"}) {
    if (std::string(job) == "chart") WriteFile(lists_ + "/ZOQHitData.hdt", "a.mp3 1\n");
    const Outcome o = RunHost(std::string(job) + " " + Paths());
    EXPECT_EQ(o.status, 1) << job;
    EXPECT_EQ(o.err.rfind("quorbel: " + lists_ + ": already running", 0), 0u) << o.err;
  }
  close(fd);  // released: the next run goes ahead and leaves no lock file behind
  EXPECT_EQ(Generate().status, 0);
  EXPECT_FALSE(Exists(lock));
}

TEST_F(HostTest, JsonIsOneObjectPerAnswer) {
  if (!HasPython()) GTEST_SKIP() << "python3 checks the JSON";
  Song("Night Drive.mp3");
  WriteFile(music_ + "/tagged.mp3", MpegFile(8192, {}, Id3v1{"Title", "Artist", "", "", "", {}, 17}));
  ASSERT_EQ(Generate().status, 0);
  struct Case {
    std::string arguments;
    std::string expected;  // what python prints from the object
  } cases[] = {
      {"version", "version True 0 201"},
      {"find " + Paths() + " '*night*'", "find True 0 201 ['Night Drive.mp3\\xa0 ::INFO:: 0.1MB']"},
      {"search " + Paths() + " nothing.mp3", "search False 1 516"},
      {"info " + Quoted(music_ + "/tagged.mp3"), "info True 0 201 Artist Title Rock"},
      {"generate --no-compress " + Paths(), "generate True 0 200 2"},
      {"generate " + Quoted(dir_ / "none.ini") + " " + Quoted(lists_), "generate False 1 None 1"},
  };
  const std::string check =
      "import json, sys\n"
      "lines = sys.stdin.read().splitlines()\n"
      "assert len(lines) == 1, lines\n"
      "o = json.loads(lines[0])\n"
      "f = o['fields']\n"
      "extra = {'find': [f.get('hits')], 'info': [f.get('artist'), f.get('title'), f.get('genre')],\n"
      "         'generate': [len(o['files']) if o['ok'] else len(o['errors'])]}.get(o['command'], [])\n"
      "print(' '.join(str(x) for x in [o['command'], o['ok'], o['status'], o['code']] + extra))\n";
  WriteFile(dir_ / "check.py", check);
  for (const Case& c : cases) {
    const Outcome o =
        RunHost("--json --no-progress " + c.arguments + " 2>/dev/null | python3 " + Quoted(dir_ / "check.py"));
    EXPECT_EQ(o.out, c.expected + "\n") << c.arguments << "\n" << o.err;
  }
}

// A host started by a test: waited for at most kPatience, and killed and
// reaped however the test ends, so that a host that never ends fails the
// test rather than hanging the suite.
class ChildHost {
 public:
  static constexpr std::chrono::seconds kPatience{20};
  explicit ChildHost(pid_t pid) : pid_(pid) {}
  ~ChildHost() {
    if (reaped_) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  ChildHost(const ChildHost&) = delete;
  ChildHost& operator=(const ChildHost&) = delete;

  // True once `fd` has something to read (or is at its end) within the patience.
  static bool Readable(int fd) {
    pollfd watched{fd, POLLIN, 0};
    return poll(&watched, 1, int(std::chrono::milliseconds(kPatience).count())) > 0;
  }
  // The host's wait status; false when it has not ended within the patience.
  bool Wait(int* status) {
    const auto give_up = std::chrono::steady_clock::now() + kPatience;
    while (waitpid(pid_, status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > give_up) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reaped_ = true;
    return true;
  }

 private:
  const pid_t pid_;
  bool reaped_ = false;
};

TEST_F(HostTest, CtrlCEndsWithStatus130) {
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
  // ThreadSanitizer holds a signal back until the program's next library
  // call, so the host may meet the end of its input first; the plain and
  // address-sanitized runs of the suite check this.
  GTEST_SKIP() << "signal delivery is deferred under ThreadSanitizer";
#endif
#endif
  int to_host[2], from_host[2];
  ASSERT_EQ(pipe(to_host), 0);
  ASSERT_EQ(pipe(from_host), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(to_host[0], STDIN_FILENO);
    dup2(from_host[1], STDOUT_FILENO);
    for (int fd : {to_host[0], to_host[1], from_host[0], from_host[1]}) close(fd);
    execl(kHost, kHost, "--no-progress", "script", static_cast<char*>(nullptr));
    _exit(127);
  }
  ChildHost host(pid);
  close(to_host[0]);
  close(from_host[1]);
  // A reply shows that the host is running and catching Ctrl-C.
  const std::string command = "ZOQ_GetDLLVersion\n";
  ASSERT_EQ(write(to_host[1], command.data(), command.size()), ssize_t(command.size()));
  char reply[64] = {};
  ASSERT_TRUE(ChildHost::Readable(from_host[0])) << "no reply within the patience";
  ASSERT_GT(read(from_host[0], reply, sizeof reply - 1), 0);
  kill(pid, SIGINT);
  close(to_host[1]);
  int status = 0;
  const bool ended = host.Wait(&status);
  close(from_host[0]);
  ASSERT_TRUE(ended) << "the host did not end within the patience after Ctrl-C";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
}

// The host finds its library through a symlink and in the installed layout.
TEST_F(HostTest, InstalledAndLinkedHostsFindTheirLibrary) {
  Song("a.mp3");
  const fs::path host = fs::canonical(kHost);
  fs::create_symlink(host, dir_ / "quorbel");
  const Outcome linked = RunHost("version", kUtf8Locale, "", Quoted(dir_ / "quorbel"));
  EXPECT_EQ(linked.out, "quorbel 0.7.8\nlibrary 0.7.8 (" + (host.parent_path() / "libquorbel.so").string() + ")\n");

  if (std::system("cmake --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "cmake installs";
  const std::string stage = dir_ / "stage", prefix = "/opt/quorbel";
  const std::string build = Quoted(host.parent_path().parent_path().string());
  ASSERT_EQ(std::system(("DESTDIR=" + Quoted(stage) + " cmake --install " + build + " --prefix " + prefix +
                         " >/dev/null").c_str()),
            0);
  const std::string root = stage + prefix;
  for (const char* file : {"/bin/quorbel", "/lib/quorbel/libquorbel.so", "/lib/quorbel/libzipdll.so",
                           "/share/man/man1/quorbel.1", "/share/bash-completion/completions/quorbel",
                           "/share/zsh/site-functions/_quorbel", "/share/quorbel/sample.ini"}) {
    EXPECT_TRUE(Exists(root + file)) << file;
  }
  const std::string installed = Quoted(root + "/bin/quorbel");
  EXPECT_EQ(RunHost("version", kUtf8Locale, "", installed).out,
            "quorbel 0.7.8\nlibrary 0.7.8 (" + root + "/lib/quorbel/libquorbel.so)\n");
  // A whole run with the ZIP: the zip engine is found beside the library.
  const Outcome run = RunHost("--no-progress generate " + Paths(), kUtf8Locale, "", installed);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("-mm.zip\n"), std::string::npos) << run.out;
  // The sample configuration is checked like any other: its folder is a placeholder.
  const Outcome sample = RunHost("generate -n " + Quoted(root + "/share/quorbel/sample.ini") + " " + Quoted(lists_),
                                 kUtf8Locale, "", installed);
  EXPECT_EQ(sample.status, 1);
  EXPECT_NE(sample.err.find("/home/you/Music: No such file or directory"), std::string::npos) << sample.err;

  // The build's cache names the source tree, which holds the uninstall script.
  const std::string cache = ReadFile(host.parent_path().parent_path() / "CMakeCache.txt");
  const std::string key = "\nCMAKE_HOME_DIRECTORY:INTERNAL=";
  const size_t at = cache.find(key) + key.size();
  const std::string source = cache.substr(at, cache.find('\n', at) - at);
  ASSERT_EQ(std::system(("cmake -DPREFIX=" + prefix + " -DDESTDIR=" + Quoted(stage) + " -P " +
                         Quoted(source + "/host/uninstall.cmake") + " >/dev/null").c_str()),
            0);
  size_t left = 0;
  for (const auto& entry : fs::recursive_directory_iterator(stage)) left += entry.is_directory() ? 0 : 1;
  EXPECT_EQ(left, 0u);
}

}  // namespace
}  // namespace quorbel::test
#endif  // _WIN32
