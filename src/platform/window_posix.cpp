// The progress window where there is no display: the controls' state lives
// here, so the engine, the dump and the tests see the same object model as
// on Windows, and the Abort button can still be pressed.
#include "platform/env_posix_internal.h"

namespace quorbel::posix {

namespace {

class HeadlessProgressWindow : public NativeProgressWindow {
 public:
  explicit HeadlessProgressWindow(ProgressWindowEvents* events) : events_(events) {}

  void SetVisible(bool visible) override { visible_ = visible; }
  bool IsVisible() const override { return visible_; }
  bool IsActive() const override { return false; }  // the host's window stays active
  void SetStatusText(const std::string&) override {}
  void SetProgressRange(int32_t, int32_t) override {}
  void SetProgressPosition(int32_t) override {}
  void ClickAbort() override { events_->AbortClicked(); }

 private:
  ProgressWindowEvents* events_;
  bool visible_ = false;
};

}  // namespace

std::unique_ptr<NativeProgressWindow> CreateHeadlessProgressWindow(ProgressWindowEvents* events) {
  return std::make_unique<HeadlessProgressWindow>(events);
}

}  // namespace quorbel::posix
