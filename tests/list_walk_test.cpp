// Counting through ZOQ_CountFiles: pruning, extension filter, breadth-first
// order, line forms, stop and nested commands, the coded outcomes. Most
// cases run on a fake directory tree served by the platform layer, so they
// behave the same on both builds; a few run on the real file system.
#include <algorithm>
#include <filesystem>
#include <map>

#include "engine_sort.h"
#include "engine_text.h"
#include "quorbel_form.h"
#include "support/test_support.h"
#include "support/vector_listing.h"

namespace quorbel::test {

namespace {

const std::string kCounting = "Counting files...";
const std::string kCountingAlt = kCounting + " {B-\xDE";

std::string P(const std::string& a, const std::string& b) { return a + kPathDelim + b; }
DirEntry Dir(const std::string& name) { return {name, attr::kDirectory}; }
DirEntry File(const std::string& name) { return {name, attr::kArchive}; }
std::string ByFiles(const std::string& dir, const std::string& name) {
  return name + kSep + dir + kPathDelim;
}

// Serves directory listings from a map; everything else is the real system.
// The pump hook runs only while a counting is in progress.
struct FakeTree : HookEnv {
  using HookEnv::HookEnv;
  std::map<std::string, std::vector<DirEntry>> dirs;
  std::map<std::string, std::string> identities;
  std::vector<std::string> listed, status_at_listing;

  std::unique_ptr<DirListing> ListDirectory(const std::string& d) override {
    listed.push_back(d);
    status_at_listing.push_back(ZOQ_Quorbel->form1->StatusText());
    auto it = dirs.find(d);
    return it == dirs.end() ? nullptr : std::make_unique<VectorListing>(it->second);
  }
  std::string DirectoryIdentity(const std::string& d) override {
    auto it = identities.find(d);
    return it == identities.end() ? std::string() : it->second;
  }
  void PumpMessages() override {
    if (ZOQ_Quorbel != nullptr && ZOQ_Quorbel->finprogress) HookEnv::PumpMessages();
  }
};

class WalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvForTesting(&tree_);
    LoadDll(&info_);
  }
  void TearDown() override {
    UnloadDll(0);
    SetEnvForTesting(nullptr);
  }
  std::string WriteIni(const std::string& gear, const std::vector<std::string>& extensions,
                       const std::vector<std::string>& drives, const std::string& name = "q.ini") {
    std::string ini = "[listmake]\r\ngear=" + gear + "\r\n[Extension]\r\n";
    for (size_t i = 0; i < extensions.size(); ++i) ini += std::to_string(i) + "=" + extensions[i] + "\r\n";
    ini += "[drive]\r\n";
    for (size_t i = 0; i < drives.size(); ++i) ini += std::to_string(i) + "=" + drives[i] + "\r\n";
    WriteFile(work_ / name, ini);
    return work_ / name;
  }
  void Configure(const std::string& gear, const std::vector<std::string>& extensions,
                 const std::vector<std::string>& drives) {
    ASSERT_EQ(Call(ZOQ_SetIniFile, WriteIni(gear, extensions, drives)), "200 OK __ZOQ_SetIniFile__");
    ASSERT_EQ(Call(ZOQ_SetDirectory, work_.path()), "200 OK __ZOQ_SetDirectory__");
  }
  std::vector<std::string> Lines(const std::string& kind) { return ReadLines(work_ / (kind + ".tmp")); }
  TZOQ_Quorbel& engine() { return *ZOQ_Quorbel; }

  FakeTree tree_{Env::Default()};
  TempDir work_;
  LOADINFO info_{};
};

const std::string kOk = "200 OK __ZOQ_CountFiles__";

}  // namespace

TEST(MatchExtensionTest, FollowsThePatternRules) {
  struct Case { const char* extension; const char* pattern; bool match; };
  for (const Case& c : std::vector<Case>{
           {".mp3", ".mp3", true},   {".MP3", ".mp3", false}, {".mp3", "mp3", false},
           {"", "", true},           {".mp3", "", false},     {"", ".*", true},
           {"", ".?", true},         {"", ".mp?", false},     {".mp3", ".mp?", true},
           {".mp3x", ".mp?", true},  {".mp", ".mp?", false},  {".ogg", ".mp*", false},
           {".mp3", ".*", true},     {".mp3", ".*3", true},   {".a?", ".*?", true},
           // After a star "?" is literal.
           {".ab", ".*?", false},
           // Stars left over match the empty rest.
           {".", ".*", true},        {".mp3", ".mp3*", true}}) {
    EXPECT_EQ(TZOQ_Quorbel::MatchExtension(c.extension, c.pattern), c.match)
        << c.extension << " vs " << c.pattern;
  }
}

TEST_F(WalkTest, ExtensionEntriesSelectFilesAndCountEveryMatch) {
  tree_.dirs["R"] = {File("a.mp3"), File("b.MP3"), File("c"), File("d.b.mp3"), File("e.mp3x"),
                     File("f.ogg")};
  struct Case { std::vector<std::string> extensions; std::vector<std::string> kept; };
  for (const Case& c : std::vector<Case>{
           {{"*.mp3"}, {"a.mp3", "d.b.mp3"}},
           {{".mp3"}, {"a.mp3", "d.b.mp3"}},
           {{"mp3"}, {}},
           {{""}, {"c"}},
           {{"*.mp?"}, {"a.mp3", "d.b.mp3", "e.mp3x"}},
           {{"*.*"}, {"a.mp3", "b.MP3", "c", "d.b.mp3", "e.mp3x", "f.ogg"}},
           {{".mp3", ".*"}, {"a.mp3", "a.mp3", "b.MP3", "c", "d.b.mp3", "d.b.mp3", "e.mp3x", "f.ogg"}}}) {
    Configure("1", c.extensions, {"R"});
    ASSERT_EQ(Call(ZOQ_CountFiles), kOk);
    std::vector<std::string> names;
    for (const std::string& line : Lines("byfiles")) names.push_back(line.substr(0, line.find(kSep)));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.kept) << c.extensions[0];
    EXPECT_EQ(engine().fcount, int32_t(c.kept.size()));
    EXPECT_EQ(Lines("bydirs").size(), c.kept.size());
  }
}

TEST_F(WalkTest, WalksBreadthFirstAndWritesBothLineForms) {
  tree_.dirs["R"] = {Dir("."), Dir(".."), Dir("sub1"), File("a.mp3"), Dir("sub2")};
  tree_.dirs["S"] = {File(" lead.mp3"), File("x\xFFy.mp3")};
  tree_.dirs[P("R", "sub1")] = {Dir("deep"), File("b.mp3")};
  tree_.dirs[P("R", "sub2")] = {File("c.mp3"), {"vol", attr::kVolumeLabel}};
  tree_.dirs[P(P("R", "sub1"), "deep")] = {File("d.mp3")};
  tree_.dirs[P(P("R", "sub2"), "vol")] = {File("v.mp3")};
  Configure("1", {"*.mp3"}, {"R", "S", "Missing"});
  ASSERT_EQ(Call(ZOQ_CountFiles), kOk);
  EXPECT_EQ(tree_.listed, (std::vector<std::string>{"Missing", "R", "S", P("R", "sub1"), P("R", "sub2"),
                                                    P(P("R", "sub1"), "deep"), P(P("R", "sub2"), "vol")}));
  // "byfiles.tmp" keeps the walk's order in this mode; blanks are trimmed
  // off the line's ends only, and a name holding SEP is written as it is.
  EXPECT_EQ(Lines("byfiles"),
            (std::vector<std::string>{ByFiles("R", "a.mp3"), ByFiles("S", "lead.mp3"), ByFiles("S", "x\xFFy.mp3"),
                                      ByFiles(P("R", "sub1"), "b.mp3"), ByFiles(P("R", "sub2"), "c.mp3"),
                                      ByFiles(P(P("R", "sub1"), "deep"), "d.mp3"),
                                      ByFiles(P(P("R", "sub2"), "vol"), "v.mp3")}));
  std::vector<std::string> bydirs = Lines("bydirs");
  EXPECT_EQ(bydirs.size(), 7u);
  EXPECT_NE(std::find(bydirs.begin(), bydirs.end(), P("S", " lead.mp3")), bydirs.end());
  EXPECT_EQ(engine().fcount, 7);
  EXPECT_TRUE(engine().fcounted);
  // The status text alternates once per directory and is emptied at the end.
  for (size_t i = 0; i < tree_.status_at_listing.size(); ++i) {
    EXPECT_EQ(tree_.status_at_listing[i], i % 2 ? kCountingAlt : kCounting) << i;
  }
  EXPECT_EQ(engine().form1->StatusText(), "");
  EXPECT_EQ(engine().form1->ProgressMax(), 7);
}

// Beyond a thousand lines the keys are made on a thread while the walk goes
// on: the sorted file is what sorting the walk's lines gives, and a stop
// midway ends the thread with the walk.
TEST_F(WalkTest, LargeWalkSortsAsItsLinesSortAndAStopEndsTheKeying) {
  std::vector<std::string> walked;
  for (const std::string& dir : {std::string("R"), P("R", "b"), P("R", "A")}) {
    if (dir == "R") tree_.dirs[dir] = {Dir("b"), Dir("A")};
    for (int i = 0; i < 1200; ++i) {
      const std::string name = std::to_string(i * 7919 % 1200) + (i % 3 ? " \xE9t\xE9.mp3" : " ETE.mp3");
      tree_.dirs[dir].push_back(File(name));
      walked.push_back(P(dir, name));
    }
  }
  Configure("1", {"*.mp3"}, {"R"});
  ASSERT_EQ(Call(ZOQ_CountFiles), kOk);
  std::vector<std::string> expected = walked;
  SortByCollation(engine().env(), &expected);
  EXPECT_EQ(Lines("bydirs"), expected);

  tree_.on_pump = [&] {
    if (engine().fcount == 2000) engine().form1->ClickAbort();
  };
  EXPECT_EQ(Call(ZOQ_CountFiles), "511 Operation is terminated __ZOQ_CountFiles__");
  tree_.on_pump = nullptr;
  EXPECT_EQ(Call(ZOQ_CountFiles), kOk);
  EXPECT_EQ(Lines("bydirs"), expected);
}

TEST_F(WalkTest, PrunesDrivesWhoseTextHoldsAnotherOrIsHeldByOne) {
  struct Case { std::vector<std::string> drives, walked; };
  for (const Case& c : std::vector<Case>{{{"C", P("C", "Music"), "D"}, {"C", "D"}},
                                         {{P("M", "Music"), P("M", "Music2")}, {P("M", "Music")}},
                                         {{"X", "X"}, {"X"}},
                                         {{"", "E"}, {"", "E"}}}) {
    Configure("2", {"*.mp3"}, c.drives);
    tree_.listed.clear();
    ASSERT_EQ(Call(ZOQ_CountFiles), kOk);
    EXPECT_EQ(engine().fdrive, c.walked);
    EXPECT_EQ(tree_.listed, c.walked);
  }
}

TEST_F(WalkTest, PassesOverLinkLoopsAndNamesThatWouldSplitALine) {
  tree_.dirs["R"] = {Dir("loop"), File("a.mp3"), File("bad\nname.mp3"), Dir("bad\rdir")};
  tree_.dirs[P("R", "loop")] = tree_.dirs["R"];
  tree_.identities = {{"R", "7:1"}, {P("R", "loop"), "7:1"}};
  Configure("2", {"*.mp3"}, {"R"});
  ASSERT_EQ(Call(ZOQ_CountFiles), kOk);
  EXPECT_EQ(Lines("byfiles"), std::vector<std::string>{ByFiles("R", "a.mp3")});
  EXPECT_EQ(tree_.listed, std::vector<std::string>{"R"});
}

TEST_F(WalkTest, StopDuringTheWalkEndsWith511AndNestedCommandsBehave) {
  for (const bool by_button : {false, true}) {
    tree_.dirs["R"] = {File("1.mp3"), File("2.mp3"), File("3.mp3")};
    Configure("1", {"*.mp3"}, {"R"});
    std::vector<std::string> nested;
    tree_.on_pump = [&] {
      if (engine().fcount != 1 || !nested.empty()) return;
      nested.push_back(Call(ZOQ_CountFiles));
      nested.push_back(Call(ZOQ_Status, "Files"));
      if (by_button) engine().form1->ClickAbort();
      else nested.push_back(Call(ZOQ_StopGenerate));
    };
    EXPECT_EQ(Call(ZOQ_CountFiles), "511 Operation is terminated __ZOQ_CountFiles__");
    tree_.on_pump = nullptr;
    EXPECT_EQ(nested[0], "510 Selected operation is just running __ZOQ_CountFiles__");
    EXPECT_EQ(nested[1], "201 OK-DATA __ZOQ_Status__ 1");
    EXPECT_FALSE(engine().fcounted);
    EXPECT_FALSE(engine().finprogress);
    EXPECT_FALSE(engine().fbydirsfile.IsOpen() || engine().fbyfilesfile.IsOpen());
    EXPECT_EQ(Lines("byfiles"), std::vector<std::string>{ByFiles("R", "1.mp3")});
    // The stop is cleared by the next counting.
    EXPECT_EQ(Call(ZOQ_CountFiles), kOk);
    EXPECT_EQ(engine().fcount, 3);
  }
  // A stop while nothing runs does not reach the next counting.
  EXPECT_EQ(Call(ZOQ_StopGenerate), "200 OK __ZOQ_StopGenerate__");
  EXPECT_EQ(Call(ZOQ_CountFiles), kOk);
}

TEST_F(WalkTest, NestedConfigurationTakesEffectOnlyAfterTheWalk) {
  tree_.dirs["R"] = {File("1.mp3"), File("2.mp3")};
  Configure("2", {"*.mp3"}, {"R"});
  const std::string other = WriteIni("2", {}, {}, "other.ini");
  tree_.on_pump = [&] {
    if (engine().fcount == 1) {
      EXPECT_EQ(Call(ZOQ_SetIniFile, other), "200 OK __ZOQ_SetIniFile__");
    }
  };
  EXPECT_EQ(Call(ZOQ_CountFiles), kOk);
  EXPECT_EQ(engine().fcount, 2);
  EXPECT_TRUE(engine().fdrive.empty() && engine().fextension.empty());
}

TEST_F(WalkTest, CodedOutcomesLeaveTheExpectedState) {
  ASSERT_EQ(Call(ZOQ_SetDirectory, work_.path()), "200 OK __ZOQ_SetDirectory__");
  EXPECT_EQ(Call(ZOQ_CountFiles), "505 No ini file set __ZOQ_CountFiles__");
  EXPECT_FALSE(Exists(work_ / "byfiles.tmp"));
  tree_.dirs["R"] = {File("1.mp3")};
  struct Case { std::vector<std::string> extensions, drives; std::string reply; };
  for (const Case& c : std::vector<Case>{{{"*.mp3"}, {}, "508 Too few drives __ZOQ_CountFiles__"},
                                         {{}, {"R"}, "509 Too few Extensions __ZOQ_CountFiles__"}}) {
    Configure("1", {"*.mp3"}, {"R"});
    ASSERT_EQ(Call(ZOQ_CountFiles), kOk);
    Configure("1", c.extensions, c.drives);
    EXPECT_EQ(Call(ZOQ_CountFiles), c.reply);
    EXPECT_EQ(engine().fcount, 0);
    EXPECT_FALSE(engine().fcounted) << "the ordering files of the earlier counting are gone";
    EXPECT_TRUE(Exists(work_ / "bydirs.tmp") && Lines("bydirs").empty());
    EXPECT_TRUE(Exists(work_ / "byfiles.tmp") && Lines("byfiles").empty());
    EXPECT_FALSE(engine().finprogress);
  }
}

TEST_F(WalkTest, VanishedWorkingDirectoryGivesTheInternalErrorLine) {
  tree_.dirs["R"] = {File("1.mp3")};
  Configure("1", {"*.mp3"}, {"R"});
  MakeDir(work_ / "gone");
  ASSERT_EQ(Call(ZOQ_SetDirectory, work_ / "gone"), "200 OK __ZOQ_SetDirectory__");
  std::filesystem::remove(work_ / "gone");
  std::string line = Call(ZOQ_CountFiles);
  EXPECT_TRUE(line.starts_with("500 Internal Error->")) << line;
  EXPECT_TRUE(line.ends_with("__ZOQ_CountFiles__")) << line;
  EXPECT_FALSE(engine().finprogress || engine().fcounted);
  ASSERT_EQ(Call(ZOQ_SetDirectory, work_.path()), "200 OK __ZOQ_SetDirectory__");
  EXPECT_EQ(Call(ZOQ_CountFiles), kOk);
}

TEST_F(WalkTest, SortsTheRunsFileIgnoringCaseAndLeavesItOpenAtItsFirstLine) {
  tree_.dirs["R"] = {Dir("Y"), Dir("X"), File("Cherry.mp3"), File("apple.mp3"), File("Banana.mp3")};
  tree_.dirs[P("R", "Y")] = {File("A.mp3")};
  tree_.dirs[P("R", "X")] = {File("a.mp3")};
  Configure("2", {"*.mp3"}, {"R"});
  ASSERT_EQ(Call(ZOQ_CountFiles), kOk);
  const std::vector<std::string> sorted{ByFiles(P("R", "X"), "a.mp3"), ByFiles(P("R", "Y"), "A.mp3"),
                                        ByFiles("R", "apple.mp3"), ByFiles("R", "Banana.mp3"),
                                        ByFiles("R", "Cherry.mp3")};
  EXPECT_EQ(Lines("byfiles"), sorted);
  EXPECT_FALSE(Exists(work_ / "bydirs.tmp"));
  std::string line;
  for (const std::string& expected : sorted) {
    engine().ReadOrderLine(OrderKind::kByFiles, &line);
    EXPECT_EQ(line, expected);
  }
  engine().ReadOrderLine(OrderKind::kByFiles, &line);
  EXPECT_EQ(line, "");
}

// The real directory listing of each platform.
TEST_F(WalkTest, WalksTheRealFileSystem) {
  TempDir music;
  MakeDir(music / "Sub");
  WriteFile(music / "a.mp3", "x");
  WriteFile(P(music / "Sub", "b.mp3"), "x");
  WriteFile(music / "c.txt", "x");
#ifndef _WIN32
  // A link back to the top must not make the walk endless.
  std::filesystem::create_directory_symlink(music.path(), music / "Sub" + kPathDelim + "up");
#endif
  SetEnvForTesting(nullptr);
  UnloadDll(0);
  LoadDll(&info_);
  Configure("1", {"*.mp3"}, {music.path()});
  ASSERT_EQ(Call(ZOQ_CountFiles), kOk);
  EXPECT_EQ(Lines("bydirs"), (std::vector<std::string>{music / "a.mp3", P(music / "Sub", "b.mp3")}));
  EXPECT_EQ(Lines("byfiles"), (std::vector<std::string>{ByFiles(music.path(), "a.mp3"),
                                                        ByFiles(music / "Sub", "b.mp3")}));
}

}  // namespace quorbel::test
