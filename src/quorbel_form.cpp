#include "quorbel_form.h"

#include "quorbel_oob.h"

namespace quorbel {

TForm1::TForm1(TZOQ_Quorbel& owner, WindowHandle parent)
    : owner_(owner), native_(owner.env().CreateProgressWindow(parent, this)) {}

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
