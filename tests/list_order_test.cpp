// The ordering files: the sort agrees with the locale's caseless
// comparison, keeps every line, and writes CR LF; each kind has its file.
#include <algorithm>
#include <cctype>

#include "command_failure.h"
#include "engine_text.h"
#include "list_order_keys.h"
#include "support/test_support.h"

namespace quorbel::test {

class OrderFileTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    engine().SetDirectory(work_.path());
  }
  TempDir work_;
};

// Once and twenty times over: a large file's keys are made on two threads.
class OrderFileSortTest : public OrderFileTest, public ::testing::WithParamInterface<int> {};

TEST_P(OrderFileSortTest, SortAgreesWithTheLocaleComparisonKeepsEveryLineAndEqualLinesInOrder) {
  const std::string sep(1, kSep);
  const std::vector<std::string> some = {
      "b.mp3" + sep + "C:\\X\\", "B.mp3" + sep + "C:\\Y\\", "a-b.mp3", "ab.mp3", "A b.mp3",
      "\xC4pfel.mp3",  "apfel.mp3", "Zebra.mp3", "zebra.mp3", "10.mp3", "9.mp3", "",
      "\xE9t\xE9.mp3", "ete.mp3",   "x" + sep,   "x.mp3",     "same", "SAME", "Same"};
  std::vector<std::string> lines;
  for (int copy = 0; copy < GetParam(); ++copy) {
    lines.insert(lines.end(), some.begin(), some.end());
    for (int i = 0; i < 300; ++i) lines.push_back("n" + std::to_string(i * 7919 % 1000) + ".mp3");
  }
  std::string content;
  for (const std::string& line : lines) content += line + "\r\n";
  WriteFile(work_ / "bydirs.tmp", content);

  engine().SortOrderFile(OrderKind::kByDirs);

  std::vector<std::string> sorted = ReadLines(work_ / "bydirs.tmp");
  std::string rebuilt;
  for (const std::string& line : sorted) rebuilt += line + "\r\n";
  EXPECT_EQ(ReadFile(work_ / "bydirs.tmp"), rebuilt);
  Env& env = *Env::Default();
  for (size_t i = 1; i < sorted.size(); ++i) {
    ASSERT_LE(env.CompareText(sorted[i - 1], sorted[i]), 0) << sorted[i - 1] << " / " << sorted[i];
  }
  // Lines that differ only in case compare equal and keep the walk's order.
  auto sames = [&](const std::vector<std::string>& of) {
    std::vector<std::string> found;
    for (const std::string& line : of) {
      if (env.CompareText(line, "same") == 0) found.push_back(line);
    }
    return found;
  };
  EXPECT_EQ(sames(sorted), sames(lines));
  std::vector<std::string> before = lines, after = sorted;
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(Copies, OrderFileSortTest, ::testing::Values(1, 20));

// The order itself, written out rather than taken from the collation code
// under test: letters first, then accents, and case only where nothing else
// differs, where lines keep the walk's order. The root and English orders
// agree here (LANG=C.UTF-8 on Linux, the Wine prefix's en-US); a locale that
// sorts an accented letter as a letter of its own (Swedish \xE4) would not.
TEST_F(OrderFileTest, AccentsAndCaseSortInTheLocalesOrder) {
  if (engine().env().CompareText("\xF6", "z") > 0) GTEST_SKIP() << "\xF6 is a letter of its own here";
  const std::vector<std::string> walked = {
      "etf", "B", "\xC9t\xE9", "a", "\xC1", "ete", "z", "\xE1", "A", "\xE9t\xE9", "b", "Ete", "o",
      "\xD6", "O", "\xF6"};
  std::string content;
  for (const std::string& line : walked) content += line + "\r\n";
  WriteFile(work_ / "bydirs.tmp", content);
  engine().SortOrderFile(OrderKind::kByDirs);
  EXPECT_EQ(ReadLines(work_ / "bydirs.tmp"),
            (std::vector<std::string>{"a", "A", "\xC1", "\xE1", "B", "b", "ete", "Ete", "\xC9t\xE9",
                                      "\xE9t\xE9", "etf", "o", "O", "\xD6", "\xF6", "z"}));
}

// Keys made while the walk goes on stand for the ordering file only when it
// holds exactly the lines keyed; with fewer lines than a batch no thread starts.
struct KeysCase {
  const char* what;
  int lines;
  bool line_break;    // one line holds a CR of its own
  bool file_differs;  // the file changed after the lines were written
  bool stands;
};

class OrderKeysTest : public OrderFileTest, public ::testing::WithParamInterface<KeysCase> {};

TEST_P(OrderKeysTest, KeysStandForTheFileOnlyWhenItHoldsExactlyTheLinesKeyed) {
  const KeysCase& c = GetParam();
  Env& env = *Env::Default();
  std::vector<std::string> lines;
  for (int i = 0; i < c.lines; ++i) {
    lines.push_back("C:\\Music\\" + std::to_string(i * 7919 % c.lines) + (i % 2 ? " \xE9t\xE9" : " Ete"));
  }
  if (c.line_break) lines[c.lines / 2] += "\rx";
  std::string content;
  for (const std::string& line : lines) content += line + "\r\n";
  if (c.file_differs) content[content.size() / 2] ^= 1;
  WriteFile(work_ / "bydirs.tmp", content);

  OrderKeys keys(env);
  for (const std::string& line : lines) keys.Add(line);
  ASSERT_EQ(keys.Finish(work_ / "bydirs.tmp"), c.stands);
  if (!c.stands) return;
  EXPECT_EQ(std::vector<std::string>(keys.lines().begin(), keys.lines().end()), lines);
  const std::vector<std::string_view> views(lines.begin(), lines.end());
  std::string expected;
  std::vector<size_t> starts;
  env.AppendSortKeys(views, &expected, &starts);
  EXPECT_EQ(keys.keys(), expected);
  EXPECT_EQ(keys.starts(), starts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OrderKeysTest,
    ::testing::Values(KeysCase{"few lines, no thread", 10, false, false, true},
                      KeysCase{"three batches and a part on the thread", 3500, false, false, true},
                      KeysCase{"a line with a break", 3500, true, false, false},
                      KeysCase{"the file changed since", 3500, false, true, false},
                      KeysCase{"few lines, the file changed", 10, false, true, false}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& ch : name) ch = std::isalnum(uint8_t(ch)) ? ch : '_';
      return name;
    });

TEST_F(OrderFileTest, EachKindWritesAndReadsItsOwnFile) {
  EXPECT_EQ(engine().OrderPath(OrderKind::kByDirs), work_ / "bydirs.tmp");
  ASSERT_TRUE(engine().fbyfilesfile.Rewrite(engine().env(), work_ / "byfiles.tmp"));
  engine().WriteOrderLine(OrderKind::kByFiles, "one");
  engine().fbyfilesfile.Close();
  EXPECT_EQ(ReadFile(work_ / "byfiles.tmp"), "one\r\n");
  EXPECT_FALSE(Exists(work_ / "bydirs.tmp"));

  ASSERT_TRUE(engine().fbyfilesfile.Reset(engine().env(), work_ / "byfiles.tmp"));
  std::string line = "stale";
  engine().ReadOrderLine(OrderKind::kByFiles, &line);
  EXPECT_EQ(line, "one");
  engine().ReadOrderLine(OrderKind::kByFiles, &line);
  EXPECT_EQ(line, "");
  engine().fbyfilesfile.Close();
  // Reading a file that is not open is a read error.
  EXPECT_THROW(engine().ReadOrderLine(OrderKind::kByFiles, &line), EInOutError);
}

}  // namespace quorbel::test
