// Profile files by the library's rules, as the library and the host both
// read them: what a key's value is, and which lines a reader passes over.
#include "ini_file.h"
#include "support/test_support.h"

namespace quorbel::test {

TEST(IniFileTest, ReadsByTheLibrarysRulesAndRecordsWhatItIgnores) {
  struct Case {
    std::string text;
    std::optional<std::string> nick;
    bool bom;
    std::vector<size_t> stray, orphan;
  } cases[] = {
      {"[listmake]\r\nnick=Bob\r\n", "Bob", false, {}, {}},
      {"[ListMake]\n  NICK = 'Bob' \n", "Bob", false, {}, {}},            // case, blanks, quotes
      {"[listmake]\nnick=Bob\n[listmake]\nnick=Al\n", "Bob", false, {}, {}},  // the first section wins
      {"[listmake]\nnick=\nnick=Al\n", "", false, {}, {}},                  // the first key wins
      {"; comment\n[listmake]\r\n\r\nC:\\Music\r\nnick=Bob\r\n", "Bob", false, {4}, {}},
      {"\xEF\xBB\xBF[listmake]\nnick=Bob\n", std::nullopt, true, {1}, {2}},
      {"nick=Bob\n[drive]\n", std::nullopt, false, {}, {1}},
  };
  for (const Case& c : cases) {
    const IniFile ini = ParseIni(c.text);
    EXPECT_EQ(ini.Value("listmake", "nick"), c.nick) << c.text;
    EXPECT_EQ(ini.bom, c.bom) << c.text;
    EXPECT_EQ(ini.stray_lines, c.stray) << c.text;
    EXPECT_EQ(ini.orphan_lines, c.orphan) << c.text;
  }
}

}  // namespace quorbel::test
