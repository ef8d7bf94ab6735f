#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace host {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kWideBar = 30;
constexpr int kNarrowestBar = 10;
constexpr int kDefaultColumns = 80;
constexpr const char* kClearLine = "\r\x1b[K";

volatile std::sig_atomic_t g_interrupts = 0;

// The first Ctrl-C asks the running operation to stop; a second one ends
// the host the usual way.
void OnInterrupt(int) {
  g_interrupts = g_interrupts + 1;
  std::signal(SIGINT, SIG_DFL);
}

std::string Bar(int done, int total, int width) {
  const int filled = total > 0 ? int(int64_t(std::min(done, total)) * width / total) : 0;
  return "[" + std::string(size_t(filled), '#') + std::string(size_t(width - filled), '-') + "]";
}

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kDefaultColumns;
}

}  // namespace

Progress::Progress(Library& library, bool draw) : library_(library), draw_(draw) {
  std::signal(SIGINT, OnInterrupt);
  library_.SetMessagePump(&Progress::Pump, this);
}

Progress::~Progress() {
  library_.SetMessagePump(nullptr, nullptr);
  Clear();
  if (!Interrupted()) std::signal(SIGINT, SIG_DFL);
}

bool Progress::Interrupted() { return g_interrupts > 0; }

void Progress::SetPhase(Phase phase) {
  phase_ = phase;
  last_files_ = -1;
  if (phase == Phase::kIdle) Clear();
}

void Progress::Pump(void* self) { static_cast<Progress*>(self)->OnPump(); }

void Progress::OnPump() {
  if (in_pump_) return;
  in_pump_ = true;
  if (Interrupted() && !stop_sent_) {
    stop_sent_ = true;  // a nested stop, as the client's script would send it
    library_.Call("ZOQ_StopGenerate");
    if (draw_) std::fprintf(stderr, "%sstopping...\n", kClearLine);
  }
  // The clock is read only where there is a line to redraw: a find pumps
  // through here for nothing else.
  if (draw_ && phase_ != Phase::kIdle) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= next_draw_) {
      next_draw_ = now + kRedrawInterval;
      Draw();
    }
  }
  in_pump_ = false;
}

std::string Progress::Fit(Phase phase, int files, int at, int columns) {
  const size_t room = size_t(std::max(columns - 1, 1));
  std::string text;
  if (phase == Phase::kCounting) {
    text = "Counting files... " + std::to_string(files) + " found";
  } else {
    const std::string percent = std::to_string(files > 0 ? int(int64_t(at) * 100 / files) : 0) + "%";
    const std::string counts = std::to_string(at) + " of " + std::to_string(files);
    // The long words give way to short ones first, then the bar goes.
    for (const std::string& words : {" " + percent + "  Processing File " + counts + " files.",
                                     " " + percent + " " + counts, " " + percent}) {
      const int bar = std::min<int>(kWideBar, int(room) - int(words.size()) - 2);
      if (bar >= kNarrowestBar) {
        text = Bar(at, files, bar) + words;
        break;
      }
      text = words.substr(1);
    }
  }
  if (text.size() > room) text.resize(room);
  return text;
}

void Progress::Draw() {
  const int files = library_.Call("ZOQ_Status", "Files").Number();
  const bool growing = last_files_ >= 0 && files != last_files_;
  last_files_ = files;
  const Phase shown = growing ? Phase::kCounting : phase_;
  const int at = shown == Phase::kProcessing ? library_.Call("ZOQ_Status", "ActFile").Number() : 0;
  const std::string text = Fit(shown, files, at, TerminalColumns());
  std::fprintf(stderr, "%s%s", kClearLine, text.c_str());
  std::fflush(stderr);
  line_shown_ = true;
}

void Progress::Clear() {
  if (!line_shown_) return;
  std::fputs(kClearLine, stderr);
  std::fflush(stderr);
  line_shown_ = false;
}

}  // namespace host
