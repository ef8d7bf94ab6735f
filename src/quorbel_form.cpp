#include "quorbel_form.h"

#include "engine_text.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {

// The caption names the program and its home page; the inside keeps the
// size the window has always had, which the controls' layout assumes.
constexpr std::string_view kCaptionStart = "ZoQ ListGenerator DLL - ZoQ by Kadrel - ";
constexpr int kClientWidth = 458;
constexpr int kClientHeight = 205;

ProgressWindowLook Look() {
  return {std::string(kCaptionStart) + std::string(kWeb), kClientWidth, kClientHeight};
}

}  // namespace

TForm1::TForm1(TZOQ_Quorbel& owner, WindowHandle parent)
    : owner_(owner), native_(owner.env().CreateProgressWindow(parent, Look(), this)) {}

TForm1::~TForm1() = default;

void TForm1::Show() { native_->SetVisible(true); }

void TForm1::Hide() { native_->SetVisible(false); }

void TForm1::SetStatusText(const std::string& text) {
  status_text_ = text;
  native_->SetStatusText(text);
}

void TForm1::SetProgressMin(int32_t value) {
  bar_min_ = value;
  native_->SetProgressRange(bar_min_, bar_max_);
}

void TForm1::SetProgressMax(int32_t value) {
  bar_max_ = value;
  native_->SetProgressRange(bar_min_, bar_max_);
}

void TForm1::SetProgressPosition(int32_t value) {
  bar_position_ = value;
  native_->SetProgressPosition(value);
}

void TForm1::BitBtn1Click() {
  owner_.PumpMessages();
  owner_.Stop();
  Close();
}

}  // namespace quorbel
