// The pace of the host's pump: one real pump per interval and the first
// point of every command, however fast or slow the points come; and,
// through the real pump, a stop from the host's queue still ends a run at
// once.
#include "platform/pump_pace.h"

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "quorbel_form.h"
#include "support/generate_tree.h"
#include "support/host_queue.h"

#ifdef _WIN32
#include <windows.h>

#include <map>
#endif

namespace quorbel::test {
namespace {

// Points at the given clock readings, after a command began.
std::vector<bool> Through(int64_t interval, const std::vector<int64_t>& times) {
  PumpPace pace;
  pace.CommandBegins(interval);
  std::vector<bool> through;
  for (int64_t now : times) through.push_back(pace.Due([now] { return now; }));
  return through;
}

TEST(PumpPaceTest, IntervalZeroLetsEveryPointThrough) {
  EXPECT_EQ(Through(0, {5, 5, 5, 6}), std::vector<bool>(4, true));
}

TEST(PumpPaceTest, TheFirstPointOfACommandGoesThroughThenOnePerInterval) {
  EXPECT_EQ(Through(10, {100, 101, 104, 109, 110, 111, 125}),
            (std::vector<bool>{true, false, false, false, true, false, true}));
  PumpPace pace;
  pace.CommandBegins(10);
  EXPECT_TRUE(pace.Due([] { return int64_t(7); }));
  pace.CommandBegins(10);  // a command nested in that pump
  EXPECT_TRUE(pace.Due([] { return int64_t(7); }));
  EXPECT_FALSE(pace.Due([] { return int64_t(7); }));
}

// Random runs of points: bursts that come faster than the clock moves and
// stretches of slow ones. Real pumps are never closer than the interval,
// and once it has passed, one comes within a stride of points.
TEST(PumpPaceTest, KeepsTheIntervalAndIsLateByAFewPointsAtMost) {
  constexpr int64_t kInterval = 10;
  constexpr int kMostLatePoints = 16;
  std::mt19937 rng(25);
  for (int round = 0; round < 200; ++round) {
    std::vector<int64_t> times;
    int64_t now = 0;
    for (int point = 0; point < 2000; ++point) {
      const bool slow_stretch = (point / 300) % 2 == 1;
      now += slow_stretch ? int64_t(rng() % 4) : int64_t(rng() % 100 == 0);
      times.push_back(now);
    }
    const std::vector<bool> through = Through(kInterval, times);
    ASSERT_TRUE(through[0]);
    size_t last_pump = 0;
    size_t due_since = 0;  // the first point at which the interval had passed
    for (size_t i = 1; i < times.size(); ++i) {
      const bool interval_passed = times[i] - times[last_pump] >= kInterval;
      if (!interval_passed) {
        ASSERT_FALSE(through[i]) << "round " << round << " point " << i;
        continue;
      }
      if (due_since == 0) due_since = i;
      if (through[i]) {
        last_pump = i;
        due_since = 0;
      } else {
        ASSERT_LT(i - due_since, size_t(kMostLatePoints)) << "round " << round << " point " << i;
      }
    }
  }
}

// --- through the real pump ---------------------------------------------------

const std::string kStopped = "511 Operation is terminated __ZOQ_StartGenerate__";
constexpr int kSongs = 150;
constexpr auto kReadTime = std::chrono::milliseconds(2);  // a slow share or USB stick
constexpr auto kStopAfter = std::chrono::milliseconds(150);
constexpr auto kStopWithin = std::chrono::milliseconds(50);

enum class StopBy { kStopCommand, kAbortButton };

class PacedRunTest : public GenerateTest {
 protected:
  // A counted tree whose every file takes kReadTime to read, one at a time
  // on the host's thread.
  void PrepareSlowRun() {
    for (int i = 0; i < kSongs; ++i) {
      WriteFile(MusicFile("song " + std::to_string(i) + ".mp3"), UntaggedStereoSong(5000 + i));
    }
    Configure();
    ASSERT_EQ(Call(ZOQ_CountFiles), "200 OK __ZOQ_CountFiles__");
    engine().freaders = 1;
    env_.before_read = [](const std::string&) {
      std::this_thread::sleep_for(kReadTime);
      return true;
    };
  }
};

class PacedStopTest : public PacedRunTest, public ::testing::WithParamInterface<StopBy> {};

TEST_P(PacedStopTest, AStopFromTheHostsQueueEndsTheRunWithinFiftyMilliseconds) {
  PrepareSlowRun();
  Call(ZOQ_Hide);  // the window, with its Abort button, exists hidden
  HostQueue queue;
  using Clock = std::chrono::steady_clock;
  std::atomic<Clock::time_point> posted{};
  std::thread poster([&] {
    std::this_thread::sleep_for(kStopAfter);
    posted = Clock::now();
    queue.Post([this] {
      if (GetParam() == StopBy::kStopCommand) {
        Call(ZOQ_StopGenerate);
      } else {
        engine().form1->ClickAbort();
      }
    });
  });
  const std::string reply = Generate();
  const Clock::time_point ended = Clock::now();
  poster.join();
  EXPECT_EQ(reply, kStopped);
  EXPECT_LE(ended - posted.load(), kStopWithin);
}

INSTANTIATE_TEST_SUITE_P(StopRequests, PacedStopTest,
                         ::testing::Values(StopBy::kStopCommand, StopBy::kAbortButton));

#ifdef _WIN32
// Windows only: there the progress window is a real one. Another window
// passing over it (here: another thread invalidating it every 20 ms) makes
// it repaint, which only the messages the run pumps can do.
struct PaintCounter {
  static inline std::atomic<int> paints = 0;
  static inline std::map<HWND, WNDPROC> procs;

  static LRESULT CALLBACK Counting(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) ++paints;
    return CallWindowProcA(procs[hwnd], hwnd, message, wparam, lparam);
  }
  static BOOL CALLBACK Watch(HWND hwnd, LPARAM) {
    procs[hwnd] = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Counting)));
    return TRUE;
  }
  PaintCounter() { EnumThreadWindows(GetCurrentThreadId(), &Watch, 0); }
  ~PaintCounter() {
    for (auto [hwnd, proc] : procs) SetWindowLongPtrA(hwnd, GWLP_WNDPROC, LONG_PTR(proc));
    procs.clear();
  }
};

TEST_F(PacedRunTest, TheProgressWindowRepaintsWhileARunGoes) {
  PrepareSlowRun();
  Call(ZOQ_Show);
  PaintCounter counter;
  ASSERT_FALSE(PaintCounter::procs.empty());
  PaintCounter::paints = 0;
  std::atomic<bool> running = true;
  std::thread cover([&running] {
    while (running) {
      for (auto [hwnd, proc] : PaintCounter::procs) InvalidateRect(hwnd, nullptr, FALSE);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  EXPECT_EQ(Generate(), "200 OK __ZOQ_StartGenerate__");
  running = false;
  cover.join();
  // A second or more of run: tens of repaints, not the one of a single pump.
  EXPECT_GE(PaintCounter::paints, 10);
}
#endif

}  // namespace
}  // namespace quorbel::test
