// The progress window: created hidden on first need with the program's
// caption, shown and hidden by the host, the Abort button stopping the engine.
#include "quorbel_form.h"
#include "support/test_support.h"

namespace quorbel::test {

class ProgressWindowTest : public EngineTest {};

class ShowFlagFalseTest : public ProgressWindowTest, public ::testing::WithParamInterface<int> {};

// Only the lowest byte of the show flag counts.
TEST_P(ShowFlagFalseTest, DoesNothing) {
  EXPECT_EQ(Call(ZOQ_Show, "", GetParam()), "200 OK __ZOQ_Show__");
  EXPECT_EQ(Call(ZOQ_Hide, "", GetParam()), "200 OK __ZOQ_Hide__");
  EXPECT_EQ(engine().form1, nullptr);
}
INSTANTIATE_TEST_SUITE_P(LowByteZero, ShowFlagFalseTest, ::testing::Values(0, 0x100, 0x7F00, -256));

TEST_F(ProgressWindowTest, ShowFlagWithOnlyTheLowByteSetShows) {
  Call(ZOQ_Show, "", 0x101);
  ASSERT_NE(engine().form1, nullptr);
  EXPECT_TRUE(engine().form1->Visible());
}

TEST_F(ProgressWindowTest, HideBeforeAnyWindowCreatesItHidden) {
  EXPECT_EQ(Call(ZOQ_Hide), "200 OK __ZOQ_Hide__");
  ASSERT_NE(engine().form1, nullptr);
  EXPECT_FALSE(engine().form1->Visible());
}

TEST_F(ProgressWindowTest, ShowAndHideToggleTheOneWindow) {
  Call(ZOQ_Show);
  ASSERT_NE(engine().form1, nullptr);
  TForm1* window = engine().form1.get();
  EXPECT_TRUE(window->Visible());
  Call(ZOQ_Hide);
  EXPECT_EQ(engine().form1.get(), window);  // created once per engine
  EXPECT_FALSE(window->Visible());
}

TEST(ProgressWindowLookTest, ThePlatformGetsTheProgramsCaptionAndTheWindowsSize) {
  struct Recorder : EnvWrapper {
    using EnvWrapper::EnvWrapper;
    ProgressWindowLook look;
    std::unique_ptr<NativeProgressWindow> CreateProgressWindow(WindowHandle parent,
                                                               const ProgressWindowLook& l,
                                                               ProgressWindowEvents* e) override {
      look = l;
      return EnvWrapper::CreateProgressWindow(parent, l, e);
    }
  } recorder(Env::Default());
  TZOQ_Quorbel engine(nullptr, &recorder);
  engine.HideProgressWindow();
  EXPECT_EQ(recorder.look.caption, "ZoQ ListGenerator DLL - ZoQ by Kadrel - http://www.quorbel.net");
  EXPECT_EQ(recorder.look.client_width, 458);
  EXPECT_EQ(recorder.look.client_height, 205);
}

TEST_F(ProgressWindowTest, NewWindowTakesItsBarFromTheCount) {
  engine().fcount = 250;
  engine().fActFile = 3;
  Call(ZOQ_Hide);
  EXPECT_EQ(engine().form1->ProgressMin(), 0);
  EXPECT_EQ(engine().form1->ProgressMax(), 250);
  EXPECT_EQ(engine().form1->ProgressPosition(), 3);
}

TEST_F(ProgressWindowTest, AbortWhileIdleStopsAndHides) {
  Call(ZOQ_Show);
  engine().form1->ClickAbort();  // through the native window's button
  EXPECT_TRUE(engine().fterminated);
  EXPECT_FALSE(engine().form1->Visible());
  ASSERT_NE(engine().form1, nullptr);
}

TEST_F(ProgressWindowTest, UnloadWhileShownClosesTheWindow) {
  Call(ZOQ_Show);
  EXPECT_EQ(UnloadDll(1), 1);
  EXPECT_EQ(ZOQ_Quorbel, nullptr);
  LoadDll(&load_info_);  // TearDown unloads again
}

}  // namespace quorbel::test
