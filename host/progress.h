// What the host does while the library pumps messages: draws the progress
// of the running operation on the terminal and turns Ctrl-C into a stop.
#pragma once

#include <chrono>
#include <string>

#include "library.h"

namespace host {

class Progress {
 public:
  // Draws only when `draw` is set (standard error is a terminal); Ctrl-C is
  // turned into a stop request either way.
  Progress(Library& library, bool draw);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // The phase shown beside the bar: counting shows the files found so far,
  // processing the file reached out of all.
  enum class Phase { kIdle, kCounting, kProcessing };
  void SetPhase(Phase phase);
  // True once Ctrl-C has been pressed.
  static bool Interrupted();

  // The line for a terminal `columns` wide: never wider than columns - 1,
  // so that it is redrawn in place instead of wrapping.
  static std::string Fit(Phase phase, int files, int at, int columns);

 private:
  static void Pump(void* self);
  void OnPump();
  void Draw();
  void Clear();

  Library& library_;
  bool draw_;
  Phase phase_ = Phase::kIdle;
  bool in_pump_ = false;  // commands called from here pump too
  bool stop_sent_ = false;
  bool line_shown_ = false;
  int last_files_ = -1;  // a growing count means the run is still counting
  std::chrono::steady_clock::time_point next_draw_{};
};

}  // namespace host
