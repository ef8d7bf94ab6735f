// The progress window: a progress bar, a status line and an Abort button,
// shown inside the host's main window while the long operations run.
//
// TForm1 keeps the state of its controls itself (the dump and the tests
// read it from here) and mirrors every change into the native window the
// platform provides: a real dialog on Windows, none on Linux.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/env.h"

namespace quorbel {

class TZOQ_Quorbel;

class TForm1 : private ProgressWindowEvents {
 public:
  TForm1(TZOQ_Quorbel& owner, WindowHandle parent);
  ~TForm1() override;

  void Show();
  void Hide();
  // Closing hides the window; it stays in existence.
  void Close() { Hide(); }
  bool Visible() const { return native_->IsVisible(); }
  bool Active() const { return native_->IsActive(); }

  // StatusBar1's simple text.
  void SetStatusText(const std::string& text);
  const std::string& StatusText() const { return status_text_; }

  // ProgressBar1.
  void SetProgressMin(int32_t value);
  void SetProgressMax(int32_t value);
  void SetProgressPosition(int32_t value);
  int32_t ProgressMin() const { return bar_min_; }
  int32_t ProgressMax() const { return bar_max_; }
  int32_t ProgressPosition() const { return bar_position_; }

  // The Abort button's click handler.
  void BitBtn1Click();
  // Presses Abort through the native window, as a user's click arrives.
  void ClickAbort() { native_->ClickAbort(); }

 private:
  void AbortClicked() override { BitBtn1Click(); }

  TZOQ_Quorbel& owner_;
  std::unique_ptr<NativeProgressWindow> native_;
  std::string status_text_;
  int32_t bar_min_ = 0;
  int32_t bar_max_ = 100;
  int32_t bar_position_ = 0;
};

}  // namespace quorbel
