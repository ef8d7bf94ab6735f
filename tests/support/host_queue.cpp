#include "support/host_queue.h"

#include <mutex>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/env.h"
#endif

namespace quorbel::test {

#ifdef _WIN32

namespace {

constexpr UINT kTaskMessage = WM_APP + 7;
constexpr const char* kClassName = "quorbel test host queue";

LRESULT CALLBACK QueueWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != kTaskMessage) return DefWindowProcA(hwnd, message, wparam, lparam);
  std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lparam));
  (*task)();
  return 0;
}

}  // namespace

// A message-only window: it receives posted messages and shows nothing.
struct HostQueue::Impl {
  HWND window = nullptr;
};

HostQueue::HostQueue() : impl_(std::make_unique<Impl>()) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = QueueWindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = kClassName;
  RegisterClassA(&window_class);  // fails harmlessly when registered before
  impl_->window = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  window_class.hInstance, nullptr);
}

HostQueue::~HostQueue() {
  MSG msg;  // tasks never run are freed with their messages
  while (PeekMessageA(&msg, impl_->window, kTaskMessage, kTaskMessage, PM_REMOVE)) {
    delete reinterpret_cast<std::function<void()>*>(msg.lParam);
  }
  DestroyWindow(impl_->window);
}

void HostQueue::Post(std::function<void()> task) {
  auto* held = new std::function<void()>(std::move(task));
  if (!PostMessageA(impl_->window, kTaskMessage, 0, reinterpret_cast<LPARAM>(held))) delete held;
}

#else

struct HostQueue::Impl {
  std::mutex mutex;
  std::vector<std::function<void()>> tasks;

  static void Pump(void* self) {
    Impl& impl = *static_cast<Impl*>(self);
    std::vector<std::function<void()>> due;
    {
      std::lock_guard lock(impl.mutex);
      due.swap(impl.tasks);
    }
    for (auto& task : due) task();
  }
};

HostQueue::HostQueue() : impl_(std::make_unique<Impl>()) {
  SetHostMessagePump(&Impl::Pump, impl_.get());
}

HostQueue::~HostQueue() { SetHostMessagePump(nullptr, nullptr); }

void HostQueue::Post(std::function<void()> task) {
  std::lock_guard lock(impl_->mutex);
  impl_->tasks.push_back(std::move(task));
}

#endif

}  // namespace quorbel::test
