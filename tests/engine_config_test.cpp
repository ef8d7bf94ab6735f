// The configuration file: what ZOQ_SetIniFile accepts and what it reads.
#include "support/test_support.h"

namespace quorbel::test {

class ConfigTest : public EngineTest {
 protected:
  std::string Ini(const std::string& content, const std::string& name = "list.ini") {
    std::string path = dir_ / name;
    WriteFile(path, content);
    return path;
  }
  TempDir dir_;
};

TEST_F(ConfigTest, ReadsListmakeAndTheValueLists) {
  std::string path = Ini(
      "[listmake]\r\nmethod=sbq\r\ngear=2\r\nnick=Bob\r\nname=Bob[01-01-02]\r\nhitnum=12\r\n"
      "[Preface]\r\n3=third\r\n1=first\r\n2=second\r\n"
      "[Extension]\r\n1=*.mp3\r\n2=.mp2\r\n"
      "[drive]\r\n1=D:\\\r\n2=c:\\\r\n3=\r\n");
  ASSERT_EQ(Call(ZOQ_SetIniFile, path), "200 OK __ZOQ_SetIniFile__");
  TZOQ_Quorbel& e = engine();
  EXPECT_TRUE(e.fread);
  EXPECT_EQ(e.fmethod, "sbq");
  EXPECT_EQ(e.fgear, "2");
  EXPECT_EQ(e.fnick, "Bob");
  EXPECT_EQ(e.fname, "Bob[01-01-02]");
  EXPECT_EQ(e.fhitnum, "12");
  EXPECT_EQ(e.fpreface, (TStringList{"third", "first", "second"}));  // file order, not key order
  EXPECT_EQ(e.fextension, (TStringList{"*.mp3", ".mp2"}));
  // One trailing backslash removed, sorted without regard to case; the
  // empty value stays.
  EXPECT_EQ(e.fdrive, (TStringList{"", "c:", "D:"}));
}

TEST_F(ConfigTest, DefaultsApplyOnlyInsideAnExistingListmakeSection) {
  ASSERT_EQ(Call(ZOQ_SetIniFile, Ini("[listmake]\r\nnick=Bob\r\n")), "200 OK __ZOQ_SetIniFile__");
  EXPECT_EQ(engine().fmethod, "s");
  EXPECT_EQ(engine().fgear, "1");
  EXPECT_EQ(engine().fhitnum, "30");
  EXPECT_EQ(engine().fname, "");

  ASSERT_EQ(Call(ZOQ_SetIniFile, Ini("[Extension]\r\n1=.mp3\r\n", "other.ini")),
            "200 OK __ZOQ_SetIniFile__");
  EXPECT_TRUE(engine().fread);
  EXPECT_EQ(engine().fmethod, "");
  EXPECT_EQ(engine().fgear, "");
  EXPECT_EQ(engine().fhitnum, "");
  EXPECT_EQ(engine().fnick, "");  // the second file replaced everything
  EXPECT_EQ(engine().fextension, (TStringList{".mp3"}));
}

TEST_F(ConfigTest, SectionAndKeyNamesIgnoreCaseAndValuesKeep2047Characters) {
  std::string long_value(3000, 'v');
  ASSERT_EQ(Call(ZOQ_SetIniFile, Ini("[LISTMAKE]\r\nNick=Al\r\n[preface]\r\n1=" + long_value + "\r\n")),
            "200 OK __ZOQ_SetIniFile__");
  EXPECT_EQ(engine().fnick, "Al");
  ASSERT_EQ(engine().fpreface.size(), 1u);
  EXPECT_EQ(engine().fpreface[0], std::string(2047, 'v'));
}

struct RefusedPath {
  const char* name;
  bool create;
  const char* reply;
};

class ConfigRefusalTest : public ConfigTest, public ::testing::WithParamInterface<RefusedPath> {};

TEST_P(ConfigRefusalTest, LeavesTheEngineUnread) {
  std::string path = dir_ / GetParam().name;
  if (GetParam().create) WriteFile(path, "[listmake]\r\nnick=Bob\r\n");
  EXPECT_EQ(Call(ZOQ_SetIniFile, path), GetParam().reply);
  EXPECT_FALSE(engine().fread);
  EXPECT_EQ(engine().fnick, "");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ConfigRefusalTest,
    ::testing::Values(RefusedPath{"missing.ini", false, "506 File or directory not found __ZOQ_SetIniFile__"},
                      RefusedPath{"capitals.INI", true, "507 Wrong format __ZOQ_SetIniFile__"},
                      RefusedPath{"list.txt", true, "507 Wrong format __ZOQ_SetIniFile__"},
                      RefusedPath{"ini", true, "507 Wrong format __ZOQ_SetIniFile__"}));

TEST_F(ConfigTest, AFolderIsNotAConfigurationFile) {
  MakeDir(dir_ / "folder.ini");
  EXPECT_EQ(Call(ZOQ_SetIniFile, dir_ / "folder.ini"), "506 File or directory not found __ZOQ_SetIniFile__");
}

// A configuration change asked for from inside another command's message
// pumping waits until that command has returned.
TEST(NestedConfigTest, SetIniFileInsideAPumpTakesEffectAfterTheOuterCommand) {
  TempDir dir;
  std::string path = dir / "nested.ini";
  WriteFile(path, "[listmake]\r\nnick=Nested\r\n");
  HookEnv pump;
  SetEnvForTesting(&pump);
  LOADINFO info{};
  LoadDll(&info);
  std::string reply, nick_seen;
  pump.on_pump = [&] {
    pump.on_pump = nullptr;  // once
    reply = Call(ZOQ_SetIniFile, path);
    nick_seen = ZOQ_Quorbel->fnick;
  };
  std::string outer = Call(ZOQ_Status, "Files");  // pumps inside its work
  SetEnvForTesting(nullptr);
  EXPECT_EQ(outer, "201 OK-DATA __ZOQ_Status__ 0");
  EXPECT_EQ(reply, "200 OK __ZOQ_SetIniFile__");
  EXPECT_EQ(nick_seen, "");  // not yet while the outer command ran
  EXPECT_EQ(ZOQ_Quorbel->fnick, "Nested");
  EXPECT_TRUE(ZOQ_Quorbel->fread);
  UnloadDll(0);
}

}  // namespace quorbel::test
