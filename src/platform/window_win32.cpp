// The progress window as a real dialog-style child of the host's main
// window: progress bar, Abort button, simple status bar, memo and labels.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "platform/env_win32_internal.h"

namespace quorbel::win32 {

namespace {

constexpr const char* kClassName = "TForm1";
constexpr int kAbortId = 1;
constexpr WPARAM kSimplePanel = 255;  // SB_SIMPLEID

struct Control {
  const char* window_class;
  const char* text;
  DWORD style;
  int left, top, width, height;
  int id;
};

// In creation order, as laid out at 96 pixels per inch.
const Control kControls[] = {
    {"STATIC", "0%", 0, 0, 24, 14, 13, 0},
    {"STATIC", "50%", 0, 216, 24, 20, 13, 0},
    {"STATIC", "100%", 0, 432, 24, 26, 13, 0},
    {PROGRESS_CLASSA, "", WS_TABSTOP, 0, 0, 457, 17, 0},
    {"BUTTON", "Abort", WS_TABSTOP | BS_PUSHBUTTON, 0, 40, 457, 17, kAbortId},
    {STATUSCLASSNAMEA, "", 0, 0, 186, 458, 19, 0},
    {"EDIT", "Memo1", WS_TABSTOP | WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL, 0, 64, 457, 121, 0},
};
enum { kLabel1, kLabel2, kLabel3, kProgressBar, kAbortButton, kStatusBar, kMemo, kControlCount };

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* events = reinterpret_cast<ProgressWindowEvents*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == kAbortId && HIWORD(wparam) == BN_CLICKED && events != nullptr) {
        events->AbortClicked();
        return 0;
      }
      break;
    case WM_CLOSE:
      ShowWindow(hwnd, SW_HIDE);  // closing hides; the window lives on
      return 0;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&WindowProc), &module);
  return module;
}

void RegisterOnce() {
  static bool registered = [] {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_ACTIVEBORDER + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassA(&wc) != 0;
  }();
  (void)registered;
}

class Win32ProgressWindow : public NativeProgressWindow {
 public:
  Win32ProgressWindow(HWND parent, const ProgressWindowLook& look, ProgressWindowEvents* events) {
    RegisterOnce();
    // A dialog frame without system menu or size buttons; a child of the
    // host's window, or a pop-up where the host gave none.
    DWORD style = WS_CAPTION | WS_DLGFRAME | WS_CLIPCHILDREN | (parent ? WS_CHILD : WS_POPUP);
    DWORD ex_style = WS_EX_DLGMODALFRAME;
    RECT r{0, 0, look.client_width, look.client_height};
    AdjustWindowRectEx(&r, style, FALSE, ex_style);
    int x = parent ? 0 : CW_USEDEFAULT, y = parent ? 0 : CW_USEDEFAULT;
    hwnd_ = CreateWindowExA(ex_style, kClassName, look.caption.c_str(), style, x, y, r.right - r.left,
                            r.bottom - r.top, parent, nullptr, ThisModule(), nullptr);
    if (hwnd_ == nullptr) return;
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(events));
    font_ = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
    for (int i = 0; i < kControlCount; ++i) {
      const Control& c = kControls[i];
      controls_[i] = CreateWindowExA(0, c.window_class, c.text, WS_CHILD | WS_VISIBLE | c.style,
                                     c.left, c.top, c.width, c.height, hwnd_,
                                     reinterpret_cast<HMENU>(INT_PTR(c.id)), ThisModule(), nullptr);
      if (font_ != nullptr) SendMessageA(controls_[i], WM_SETFONT, WPARAM(font_), FALSE);
    }
    SendMessageA(controls_[kStatusBar], SB_SIMPLE, TRUE, 0);
    SendMessageA(controls_[kProgressBar], PBM_SETRANGE32, 0, 100);
    if (parent != nullptr) SetActiveWindow(parent);
  }

  ~Win32ProgressWindow() override {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    if (font_ != nullptr) DeleteObject(font_);
  }

  void SetVisible(bool visible) override {
    if (hwnd_ != nullptr) ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
  }
  // The window's own visible state, also while the host's window is hidden.
  bool IsVisible() const override {
    return hwnd_ != nullptr && (GetWindowLongA(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
  }
  bool IsActive() const override { return hwnd_ != nullptr && GetActiveWindow() == hwnd_; }

  void SetStatusText(const std::string& text) override {
    SendMessageA(controls_[kStatusBar], SB_SETTEXTA, kSimplePanel, LPARAM(text.c_str()));
  }
  void SetProgressRange(int32_t minimum, int32_t maximum) override {
    SendMessageA(controls_[kProgressBar], PBM_SETRANGE32, WPARAM(minimum), LPARAM(maximum));
  }
  void SetProgressPosition(int32_t position) override {
    SendMessageA(controls_[kProgressBar], PBM_SETPOS, WPARAM(position), 0);
  }
  // The button's notification, as a click delivers it.
  void ClickAbort() override {
    SendMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(kAbortId, BN_CLICKED),
                 LPARAM(controls_[kAbortButton]));
  }

 private:
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  HWND controls_[kControlCount] = {};
};

}  // namespace

std::unique_ptr<NativeProgressWindow> CreateProgressWindow(WindowHandle parent,
                                                           const ProgressWindowLook& look,
                                                           ProgressWindowEvents* events) {
  return std::make_unique<Win32ProgressWindow>(static_cast<HWND>(parent), look, events);
}

}  // namespace quorbel::win32
