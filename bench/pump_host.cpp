// pump_host: a small Windows host for the pump benchmark (bench/pump.sh).
// Like the IRC client, it owns a top-level window (never shown) with a
// window procedure and a GetMessage loop, loads quorbel.dll from beside
// itself, hands LoadDll that window, and calls the commands from its window
// procedure in answer to messages it posts to itself. So every pump the
// library makes meets a real message queue, as it does in the client.
//
//   pump_host find DIR INI PATTERN COUNT   ZOQ_At_Find: one warm-up, then COUNT
//                                          timed requests (median and minimum)
//   pump_host generate DIR INI             one timed ZOQ_StartGenerate, unpacked
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "pump_report.h"
#include "quorbel.h"

namespace {

constexpr UINT kRunStep = WM_APP + 1;  // run the job's next step
constexpr char kWindowClass[] = "quorbel_pump_host";
constexpr char kLibrary[] = "quorbel.dll";
constexpr char kFind[] = "ZOQ_At_Find";
constexpr size_t kBufferSize = 901;
constexpr int kShowFlag = 1;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// quorbel.dll, loaded from the folder of this program.
class Library {
 public:
  bool Load() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string file(path, length);
    file = file.substr(0, file.find_last_of('\\') + 1) + kLibrary;
    module_ = LoadLibraryA(file.c_str());
    if (module_ == nullptr) std::fprintf(stderr, "pump_host: cannot load %s\n", file.c_str());
    return module_ != nullptr;
  }

  void Unload() {
    reinterpret_cast<QuorbelUnloadDll>(Symbol("UnloadDll"))(1);
    FreeLibrary(module_);
  }

  // LoadDll with the host's main window, the progress window's parent.
  void Start(HWND window) {
    info_.mHwnd = window;
    reinterpret_cast<QuorbelLoadDll>(Symbol("LoadDll"))(&info_);
  }

  std::string Call(const char* command, const std::string& argument) {
    char data[kBufferSize] = {};
    char parms[kBufferSize] = {};
    argument.copy(data, kBufferSize - 1);
    reinterpret_cast<QuorbelCommand>(Symbol(command))(info_.mHwnd, nullptr, data, parms,
                                                       kShowFlag, 0);
    return data;
  }

 private:
  // Every symbol asked for is an export of the library.
  void* Symbol(const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

  HMODULE module_ = nullptr;
  LOADINFO info_{};  // the host's record, kept while the library is loaded
};

// The job: steps run one per kRunStep message. The next message is posted
// only once a step has returned, so that the pumps inside a command never
// start another step; between steps the host's own loop runs, as between
// the client's commands. A step that returns false ends the job as failed.
struct Job {
  std::vector<std::function<bool()>> steps;
  size_t next = 0;
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != kRunStep) return DefWindowProcA(window, message, wparam, lparam);
  auto* job = reinterpret_cast<Job*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!job->steps[job->next++]()) {
    PostQuitMessage(kExitFailure);
  } else if (job->next == job->steps.size()) {
    PostQuitMessage(0);
  } else {
    PostMessageA(window, kRunStep, 0, 0);
  }
  return 0;
}

HWND CreateHostWindow(Job* job) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassA(&window_class) == 0) return nullptr;
  HWND window = CreateWindowExA(0, kWindowClass, "pump_host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                window_class.hInstance, nullptr);
  if (window != nullptr) SetWindowLongPtrA(window, GWLP_USERDATA, LONG_PTR(job));
  return window;
}

int RunMessageLoop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return int(msg.wParam);
}

double Now() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return double(count.QuadPart) / double(frequency.QuadPart);
}

bool Expect(bool expected, const char* command, const std::string& reply) {
  if (!expected) {
    std::fprintf(stderr, "pump_host: %s: unexpected reply: %s\n", command, reply.c_str());
  }
  return expected;
}

// A step that calls one command and expects it done.
std::function<bool()> Command(Library& library, const char* command, std::string argument) {
  return [&library, command, argument] {
    const std::string reply = library.Call(command, argument);
    return Expect(pump_bench::Done(reply), command, reply);
  };
}

// The find requests' times (milliseconds) and the last reply.
struct FindSeries {
  std::vector<double> milliseconds;
  std::string reply;
};

// One find request; the warm-up (which reads and keeps the list) is not timed.
std::function<bool()> Find(Library& library, std::string pattern, FindSeries* series, bool timed) {
  return [&library, pattern, series, timed] {
    const double start = Now();
    series->reply = library.Call(kFind, pattern);
    if (timed) series->milliseconds.push_back((Now() - start) * 1000);
    return Expect(pump_bench::FindReplyExpected(series->reply), kFind, series->reply);
  };
}

bool Generate(Library& library) {
  const double start = Now();
  const std::string reply = library.Call("ZOQ_StartGenerate", "");
  std::printf("generate %.3f s  reply %s\n", Now() - start, reply.c_str());
  std::fflush(stdout);
  return Expect(pump_bench::Done(reply), "ZOQ_StartGenerate", reply);
}

// The steps that the arguments ask for; false when they ask for none.
bool PlanJob(const std::vector<std::string>& args, Library& library, Job* job,
             FindSeries* series) {
  const bool find = args.size() == 5 && args[0] == "find" && std::atoi(args[4].c_str()) >= 1;
  const bool generate = args.size() == 3 && args[0] == "generate";
  if (!find && !generate) return false;
  job->steps = {Command(library, "ZOQ_SetDirectory", args[1]),
                Command(library, "ZOQ_SetIniFile", args[2])};
  if (generate) {
    job->steps.push_back(Command(library, "ZOQ_SetCompress", "0"));
    job->steps.push_back([&library] { return Generate(library); });
    return true;
  }
  job->steps.push_back(Find(library, args[3], series, false));
  for (int i = std::atoi(args[4].c_str()); i > 0; --i) {
    job->steps.push_back(Find(library, args[3], series, true));
  }
  job->steps.push_back([series] {
    pump_bench::PrintSeries(series->milliseconds, series->reply);
    return true;
  });
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  Library library;
  Job job;
  FindSeries series;
  if (!PlanJob(args, library, &job, &series)) {
    std::fprintf(stderr, "usage: pump_host find DIR INI PATTERN COUNT | generate DIR INI\n");
    return kExitUsage;
  }
  if (!library.Load()) return kExitFailure;
  HWND window = CreateHostWindow(&job);
  if (window == nullptr) {
    std::fprintf(stderr, "pump_host: cannot create the window\n");
    return kExitFailure;
  }
  library.Start(window);
  PostMessageA(window, kRunStep, 0, 0);
  const int status = RunMessageLoop();
  library.Unload();
  DestroyWindow(window);
  return status;
}
