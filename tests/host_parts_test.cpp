// The command-line host's parts, one table each: the configuration checks,
// how bytes are shown and put into JSON, the list naming the host relies
// on, the progress line's width and the command line. The host exists only
// on Linux, and so do these tests.
#ifndef _WIN32
#include <sys/stat.h>

#include <cstdlib>

#include "check.h"
#include "cli.h"
#include "list_files.h"
#include "output.h"
#include "progress.h"
#include "report.h"
#include "support/test_support.h"

namespace quorbel::test {
namespace {

using host::Encoding;

TEST(HostCheckTest, NamesEveryProblemBeforeARun) {
  TempDir dir;
  MakeDir(dir / "Music");
  const std::string music = dir / "Music", ini = dir / "list.ini";
  const std::string good = "[listmake]\nnick=Bob\n[Extension]\n1=*.mp3\n[drive]\n1=" + music + "\n";
  const char* home = std::getenv("HOME");
  const std::string saved_home = home != nullptr ? home : "";
  setenv("HOME", "/home/tester", 1);
  struct Case {
    std::string text;
    host::Need need;
    std::vector<std::string> problems;  // each found in one problem, in order
  } cases[] = {
      {good, host::Need::kRun, {}},
      {good + "[drive]\n2=/elsewhere\n", host::Need::kRun, {"line 7: a second [drive]"}},
      {"[listmake]\nnick=Bob\n[extention]\n1=*.mp3\n[drive]\n1=" + music + "\n", host::Need::kRun,
       {"unknown section [extention]; did you mean [Extension]?", "no file type in [Extension]"}},
      {"[listmake]\nnick=Bob\n[Extension]\n1=*.mp3\n[drive]\n1=~/Music\n2=\n", host::Need::kRun,
       {"write /home/tester/Music ([drive] 1=, line 6)", "line 7: empty [drive] entry 2="}},
      {"[listmake]\nname=Bob[01-02-03]\n", host::Need::kLookup, {}},
      {"[listmake]\nmethod=s\n", host::Need::kLookup, {"has neither nick nor name"}},
      {"[Preface]\n1=Hello ; world\n", host::Need::kChart, {"line 2: the value of 1= holds a ';' comment"}},
  };
  for (const Case& c : cases) {
    WriteFile(ini, c.text);
    std::vector<host::Problem> problems;
    EXPECT_TRUE(host::CheckConfiguration(ini, c.need, &problems).has_value());
    ASSERT_EQ(problems.size(), c.problems.size()) << c.text << (problems.empty() ? "" : problems[0].why);
    for (size_t i = 0; i < problems.size(); ++i) {
      EXPECT_NE(problems[i].why.find(c.problems[i]), std::string::npos) << problems[i].why;
    }
  }
  setenv("HOME", saved_home.c_str(), 1);
}

TEST(HostOutputTest, ShowsBytesAsTheEncodingAllows) {
  struct Case {
    Encoding encoding;
    std::string text, shown_text, shown_path;
  } cases[] = {
      {Encoding::kUtf8, "caf\xE9", "caf\xC3\xA9", "caf\\xE9"},           // code page text, a stray byte
      {Encoding::kUtf8, "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
      {Encoding::kUtf8, "a\xA0\xA0" "b", "a\xC2\xA0\xC2\xA0" "b", "a\\xA0\\xA0b"},
      {Encoding::kEscaped, "caf\xE9 \xC3\xA9", "caf\\xE9 \\xC3\\xA9", "caf\\xE9 \\xC3\\xA9"},
      {Encoding::kUtf8, "red\x1B[31m\n", "red\\x1B[31m\\x0A", "red\\x1B[31m\\x0A"},  // never a control byte
      {Encoding::kBytes, "caf\xE9\x1B", "caf\xE9\x1B", "caf\xE9\x1B"},
  };
  for (const Case& c : cases) {
    const host::Display display(c.encoding);
    EXPECT_EQ(display.Text(c.text), c.shown_text);
    EXPECT_EQ(display.Path(c.text), c.shown_path);
  }
}

TEST(HostOutputTest, JsonStringsAreUtf8AndPathsRoundTrip) {
  const std::pair<std::string, std::string> texts[] = {
      {"a\"b\\c\n", "\"a\\\"b\\\\c\\u000A\""},
      {"\xA0\xFF", "\"\xC2\xA0\xC3\xBF\""},  // NBSP and the separator, as code page text
      {"\xC3\xA9", "\"\xC3\xA9\""},
  };
  for (const auto& [text, json] : texts) EXPECT_EQ(host::JsonText(text), json);
  EXPECT_EQ(host::JsonPath("caf\xE9/\xC3\xA9"), "\"caf\\uDCE9/\xC3\xA9\"");
  host::JsonObject object;
  object.Text("a", "x").Number("n", -1).Bool("b", true).Raw("l", host::JsonArray({"1", "2"}));
  EXPECT_EQ(object.str(), "{\"a\":\"x\",\"n\":-1,\"b\":true,\"l\":[1,2]}");
}

TEST(HostListFilesTest, PicksTheNewestListOfTheNick) {
  TempDir dir;
  for (const char* name : {"Bob[12-31-25]-mm.txt", "Bob[01-02-26]-mm.txt", "Bobby[12-31-27]-mm.txt",
                           "Bob[13-xx-26]-mm.txt", "Bob[06-19-27]-mm.idx", "Bob[06-19-27]-mm.txt.bak"}) {
    WriteFile(dir / name, "");
  }
  MakeDir(dir / "Bob[12-31-29]-mm.txt");  // a folder is no list
  EXPECT_EQ(host::NewestListName(dir.path(), "Bob", host::kListSuffix), "Bob[01-02-26]");
  EXPECT_EQ(host::NewestListName(dir.path(), "Bob", host::kIndexSuffix), "Bob[06-19-27]");
  EXPECT_EQ(host::NewestListName(dir.path(), "Al", host::kListSuffix), std::nullopt);
  EXPECT_EQ(host::NewestListName(dir / "gone", "Bob", host::kListSuffix), std::nullopt);
}

TEST(HostProgressTest, LineFitsTheTerminal) {
  using Phase = host::Progress::Phase;
  struct Case {
    Phase phase;
    int files, at, columns;
    std::string line;
  } cases[] = {
      {Phase::kCounting, 12, 0, 80, "Counting files... 12 found"},
      {Phase::kProcessing, 40, 10, 80,
       "[#######-----------------------] 25%  Processing File 10 of 40 files."},
      {Phase::kProcessing, 40, 10, 40, "[######------------------] 25% 10 of 40"},
      {Phase::kProcessing, 40, 10, 12, "25%"},
      {Phase::kProcessing, 0, 0, 80, "[------------------------------] 0%  Processing File 0 of 0 files."},
  };
  for (const Case& c : cases) EXPECT_EQ(host::Progress::Fit(c.phase, c.files, c.at, c.columns), c.line);
  for (int columns = 1; columns <= 120; ++columns) {
    for (Phase phase : {Phase::kCounting, Phase::kProcessing}) {
      const std::string line = host::Progress::Fit(phase, 123456, 65432, columns);
      EXPECT_LE(line.size(), size_t(std::max(columns - 1, 1))) << columns;
    }
  }
}

TEST(HostCliTest, ParsesOptionsAndSuggestsSubcommands) {
  const std::vector<host::OptionSpec> known = {{"--rename", nullptr, nullptr, ""},
                                               {"--dry-run", "-n", nullptr, ""},
                                               {"--example", nullptr, "NAME", ""}};
  struct Case {
    std::vector<std::string> args;
    std::string parsed;  // "option=value ... | positional ...", or the error
  } cases[] = {
      {{"-n", "a.ini", "--example=x y"}, "--dry-run= --example=x y | a.ini"},
      {{"--example", "-n", "--", "--rename", "-"}, "--example=-n | --rename -"},
      {{"--example"}, "--example needs a value"},
      {{"--rename=1"}, "--rename takes no value"},
      {{"--nope"}, "unknown option --nope"},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<host::Arguments> a = host::Parse(c.args, known, &error);
    std::string parsed = error;
    if (a) {
      for (const auto& [name, value] : a->options) parsed += (parsed.empty() ? "" : " ") + name + "=" + value;
      parsed += " |";
      for (const std::string& p : a->positional) parsed += " " + p;
    }
    EXPECT_EQ(parsed, c.parsed);
  }
  for (const auto& [typed, meant] : {std::pair{"gneerate", "generate"}, std::pair{"serch", "search"},
                                     std::pair{"fnd", "find"}}) {
    ASSERT_NE(host::Suggest(typed), nullptr) << typed;
    EXPECT_STREQ(host::Suggest(typed)->name, meant);
  }
  EXPECT_EQ(host::Suggest("frobnicate"), nullptr);
}

TEST(HostReportTest, ReplyTextLeavesCodeTagAndData) {
  const std::pair<std::string, std::string> cases[] = {
      {"200 OK __ZOQ_Show__", "OK"},
      {"201 OK-DATA 0.7.8 __ZOQ_GetDLLVersion__", "OK-DATA"},
      {"201 OK-DATA __ZOQ_Status__ 5", "OK-DATA"},
      {"506 File or directory not found __ZOQ_At_Find__ fileexists /x", "File or directory not found"},
      {"515 Error: You have no downloader since the last update. Sorry. __ZOQ_StartUpdateChart__",
       "Error: You have no downloader since the last update. Sorry."},
  };
  for (const auto& [line, text] : cases) EXPECT_EQ(host::ReplyText({line, ""}), text);
}

}  // namespace
}  // namespace quorbel::test
#endif  // _WIN32
