// Creating, showing and hiding the progress window.
#include "quorbel_form.h"
#include "quorbel_oob.h"

namespace quorbel {

void TZOQ_Quorbel::CreateProgressWindow() {
  form1 = std::make_unique<TForm1>(*this, fParentWindow);
  form1->SetProgressMin(0);
  form1->SetProgressMax(fcount);
  form1->SetProgressPosition(fActFile);
  form1->Hide();  // creation never leaves it visible
}

void TZOQ_Quorbel::ShowProgressWindow() {
  if (!form1) CreateProgressWindow();
  form1->Show();
  PumpMessages();
}

void TZOQ_Quorbel::HideProgressWindow() {
  if (!form1) CreateProgressWindow();
  form1->Hide();
  PumpMessages();
}

void TZOQ_Quorbel::SetStatusText(const std::string& text) {
  if (!form1) CreateProgressWindow();
  form1->SetStatusText(text);
}

}  // namespace quorbel
