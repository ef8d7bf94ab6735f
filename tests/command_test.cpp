// Command entry and replies: the command table against the export lists,
// the life cycle, the reply lines and their bounds, failures turned into the
// internal-error line.
#include "command.h"

#include <regex>
#include <sstream>

#include "support/test_support.h"

namespace quorbel::test {

namespace {

// The first group of every line of a source file that matches `line`.
std::vector<std::string> NamesIn(const std::string& file, const std::string& line) {
  std::istringstream text(ReadFile(std::string(QUORBEL_SOURCE_DIR) + "/" + file));
  const std::regex pattern(line);
  std::vector<std::string> names;
  std::smatch match;
  for (std::string text_line; std::getline(text, text_line);) {
    if (std::regex_match(text_line, match, pattern)) names.push_back(match[1]);
  }
  return names;
}

// The ZOQ_ words of a source file, in order (the shell completions' lists).
std::vector<std::string> CommandWordsIn(const std::string& file) {
  const std::string text = ReadFile(std::string(QUORBEL_SOURCE_DIR) + "/" + file);
  const std::regex word(R"(ZOQ_\w+)");
  std::vector<std::string> names;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), word); it != std::sregex_iterator(); ++it) {
    names.push_back(it->str());
  }
  return names;
}

// The table's names in order, between `before` and `after`.
std::vector<std::string> TableNames(std::vector<std::string> before, std::vector<std::string> after = {}) {
  for (const Command& command : AllCommands()) before.push_back(command.name);
  before.insert(before.end(), after.begin(), after.end());
  return before;
}

}  // namespace

TEST(CommandTableTest, ExportListsAndThePublicHeaderNameExactlyTheTablesCommands) {
  ASSERT_EQ(AllCommands().size(), 21u);  // with LoadDll and UnloadDll, the DLL's 23 exports
  EXPECT_EQ(NamesIn("src/quorbel.def", R"(\s+(\w+)\s*)"), TableNames({"LoadDll", "UnloadDll"}));
  EXPECT_EQ(NamesIn("src/quorbel.map", R"(\s+(\w+);\s*)"),
            TableNames({"LoadDll", "UnloadDll"}, {"quorbel_set_message_pump"}));
  EXPECT_EQ(NamesIn("include/quorbel.h", R"(QUORBEL_DECLARE_COMMAND\((\w+)\);\s*)"), TableNames({}));
  // The host's `raw` subcommand completes the command names in both shells.
  EXPECT_EQ(CommandWordsIn("host/completion/quorbel.bash"), TableNames({}));
  EXPECT_EQ(CommandWordsIn("host/completion/_quorbel"), TableNames({}));
}

TEST(LoadDllTest, SetsOnlyTheFirstByteOfTheKeepFlagAndLeavesTheVersionAlone) {
  LOADINFO info{0xDEADBEEF, nullptr, int32_t(0x12345600)};
  LoadDll(&info);
  ASSERT_NE(ZOQ_Quorbel, nullptr);
  EXPECT_EQ(info.mVersion, 0xDEADBEEFu);
  const auto* keep = reinterpret_cast<const unsigned char*>(&info.mKeep);
  EXPECT_EQ(keep[0], 1);
  EXPECT_EQ(keep[1], 0x56);
  UnloadDll(1);
  EXPECT_EQ(ZOQ_Quorbel, nullptr);
}

TEST(UnloadDllTest, AnswersOneOnlyForCodeOne) {
  for (int code : {1, 0, 2, -1}) {
    LOADINFO info{};
    LoadDll(&info);
    EXPECT_EQ(UnloadDll(code), code == 1 ? 1 : 0) << code;
    EXPECT_EQ(ZOQ_Quorbel, nullptr);
  }
}

TEST(MissingEngineTest, CommandsAnswerTheInternalErrorLineWithTheirTag) {
  ASSERT_EQ(ZOQ_Quorbel, nullptr);
  const std::string head = "500 Internal Error->0 \"";
  const std::string tail = ">\" Please report this line to the ZOQ Maintainers __ZOQ_Status__";
  std::string line = Call(ZOQ_Status, "Files");
  EXPECT_EQ(line.rfind(head, 0), 0u) << line;
  EXPECT_TRUE(line.ends_with(tail)) << line;
  EXPECT_TRUE(Call(ZOQ_StopGenerate).ends_with("__ZOQ_SopGenerate__"));
  EXPECT_EQ(Call(ZOQ_GetDLLVersion), "201 OK-DATA 0.7.8 __ZOQ_GetDLLVersion__");
}

class CommandEntryTest : public EngineTest {};

TEST_F(CommandEntryTest, VersionIgnoresTheBuffer) {
  EXPECT_EQ(Call(ZOQ_GetDLLVersion, std::string(800, 'x')),
            "201 OK-DATA 0.7.8 __ZOQ_GetDLLVersion__");
}

TEST_F(CommandEntryTest, NullDataBufferIsNeverWritten) {
  for (QuorbelCommand command : {ZOQ_Status, ZOQ_SetDirectory, ZOQ_SetEGSong, ZOQ_SetIniFile,
                                 ZOQ_SetAutoRenameBadFiles, ZOQ_SetCompress, ZOQ_BadListGet,
                                 ZOQ_Compress, ZOQ_Show, ZOQ_Hide, ZOQ_BadListCount,
                                 ZOQ_StopGenerate, ZOQ_GetDLLVersion}) {
    HostBuffer parms;
    EXPECT_EQ(command(nullptr, nullptr, nullptr, parms.bytes, 1, 0), 3);
  }
  EXPECT_EQ(engine().fstandardfile, "(artist_name)-title_of_song.mp3");
}

TEST_F(CommandEntryTest, ReplyIsBoundedTo900Characters) {
  std::string song(2000, 's');
  ASSERT_EQ(Call(ZOQ_SetEGSong, song), "200 OK __ZOQ_SetEGSong__");
  ASSERT_EQ(engine().fstandardfile, song);
  // A failure message built from a long argument still fits the buffer.
  HostBuffer data(std::string(3000, '9'));
  EXPECT_EQ(ZOQ_BadListGet(nullptr, nullptr, data.bytes, nullptr, 1, 0), 3);
  EXPECT_EQ(data.str(), "504 Unknown argument __ZOQ_BadListGet__");
  EXPECT_TRUE(data.WithinCapacity());
}

TEST(WriteHostBufferTest, AZeroByteInTheTextDoesNotEndTheReply) {
  const std::string text("201 OK-DATA __ZOQ_SearchFile__ dir/\0x/k.mp3", 43);
  HostBuffer data;
  WriteHostBuffer(data.bytes, text);
  EXPECT_EQ(data.str(), "201 OK-DATA __ZOQ_SearchFile__ dir/?x/k.mp3");
  // Only what fits is looked at; the closing zero stays the first one.
  HostBuffer long_data;
  WriteHostBuffer(long_data.bytes, std::string(899, 'a') + '\0' + "tail");
  EXPECT_EQ(long_data.str(), std::string(899, 'a') + "?");
  EXPECT_TRUE(long_data.WithinCapacity());
}

TEST_F(CommandEntryTest, NestedUnloadIsDeferredUntilTheCommandReturns) {
  // The host unloads from inside the message pumping of a running command.
  HookEnv pump;
  pump.on_pump = [&pump] {
    pump.on_pump = nullptr;
    UnloadDll(1);
  };
  SetEnvForTesting(&pump);
  // Status "Files" pumps inside its work, then reads nothing more.
  std::string line = Call(ZOQ_Status, "Files");
  SetEnvForTesting(nullptr);
  EXPECT_EQ(line, "201 OK-DATA __ZOQ_Status__ 0");
  EXPECT_EQ(ZOQ_Quorbel, nullptr);
  LoadDll(&load_info_);  // TearDown unloads again
}

}  // namespace quorbel::test
