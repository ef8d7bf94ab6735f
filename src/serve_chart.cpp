// The download chart: the hit data the script keeps, ranked and coloured
// for posting to a channel.
#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "command.h"
#include "command_failure.h"
#include "engine_sort.h"
#include "engine_text.h"
#include "quorbel_oob.h"
#include "text_file.h"

namespace quorbel {

namespace {

using names::kChartFile;
using names::kHitDataFile;
// Written whole, then put in the chart's place.
constexpr const char* kTempChart = "tmpchart.tmp";
constexpr char kBlank = ' ';
constexpr char kColon = ':';

// IRC colour codes around the chart's columns: white on black for the
// rank, white on grey for the count, white on light grey for the name and
// light grey on light grey for the fill.
constexpr std::string_view kRankColour = "\x03" "0,1 ";
constexpr std::string_view kCountColour = " \t \x03" "0,14 ";
constexpr std::string_view kNameColour = " \t \x03" "0,15 ";
constexpr std::string_view kFillColour = " \x03" "15,15 ";
// Every line is filled with NBSP to at least this length, so the coloured
// background spans the same width on every line.
constexpr size_t kLineWidth = 164;

// A hit-data line "file count" becomes the entry "count file": the text
// after the first blank, a blank, the text before it.
std::string ChartEntry(const std::string& line) {
  const size_t blank = line.find(kBlank);
  if (blank == std::string::npos) return line + kBlank;
  return line.substr(blank + 1) + kBlank + line.substr(0, blank);
}

// The entry's text before its first blank.
std::string HitField(const std::string& entry) { return entry.substr(0, entry.find(kBlank)); }

// The entry's text after its first blank.
std::string NameField(const std::string& entry) {
  const size_t blank = entry.find(kBlank);
  return blank == std::string::npos ? std::string() : entry.substr(blank + 1);
}

std::string ChartLine(int32_t rank, const std::string& entry) {
  std::string line;
  line.append(kRankColour).append(std::to_string(rank));
  line.append(kCountColour).append(HitField(entry));
  line.append(kNameColour).append(TZOQ_Quorbel::ColonsToBlanks(NameField(entry)));
  line.append(kFillColour);
  if (line.size() < kLineWidth) line.append(kLineWidth - line.size(), kNbsp);
  return line;
}

// Finishes the update whatever way it ends.
class ProgressScope {
 public:
  explicit ProgressScope(bool* inprogress) : inprogress_(inprogress) { *inprogress_ = true; }
  ~ProgressScope() { *inprogress_ = false; }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  bool* inprogress_;
};

// Reads every hit-data line into fchart as a chart entry; false when the
// file cannot be opened.
bool ReadHitData(TZOQ_Quorbel& engine, const std::string& path) {
  TextFile hits;
  if (!hits.Reset(engine.env(), path)) return false;
  engine.fchart.clear();
  std::string line;
  while (hits.ReadLine(&line)) engine.fchart.push_back(ChartEntry(line));
  return true;
}

// Best first, at most fhitnum - 1 lines; equal counts share a rank and the
// ranks leave no gaps. A count that is no number stops the chart, which then
// keeps the lines written before it (the file closes as it goes out of scope).
void WriteChart(TZOQ_Quorbel& engine, TextFile& chart, int32_t greatest) {
  // Nothing is pumped while the chart is written, so fhitnum cannot change
  // between lines: one conversion serves them all.
  const int64_t bound = StrToInt(engine.fhitnum);
  int32_t previous = greatest;
  int32_t rank = 1;
  int64_t written = 0;
  for (auto entry = engine.fchart.rbegin();
       entry != engine.fchart.rend() && written + 1 < bound; ++entry, ++written) {
    const int32_t count = StrToInt(HitField(*entry));
    if (count != previous) {
      ++rank;
      previous = count;
    }
    chart.WriteLine(ChartLine(rank, *entry));
  }
}

bool BuildChart(TZOQ_Quorbel& engine) {
  Env& env = engine.env();
  const std::string chart_path = engine.WorkFile(kChartFile);
  const std::string hit_path = engine.WorkFile(kHitDataFile);
  engine.RemoveIfExists(chart_path);
  if (!env.FileExists(hit_path)) {
    engine.ferror = reply::kNoDownloader;
    return false;
  }
  if (!ReadHitData(engine, hit_path)) {
    engine.ferror = reply::kNotFound;
    return false;
  }
  if (engine.fchart.empty()) {
    engine.ferror = reply::kNoDownloader;
    return false;
  }
  SortByCollation(env, &engine.fchart);
  // The best count is converted before the file is made: a bad one leaves
  // no chart file at all.
  const int32_t greatest = StrToInt(HitField(engine.fchart.back()));
  const std::string temp_path = engine.WorkFile(kTempChart);
  TextFile chart;
  if (!chart.Rewrite(env, temp_path)) {
    engine.ferror = reply::kNotFound;
    return false;
  }
  // A chart cut short by a full disk, or not safely on the disk, would be
  // posted as if complete: a lost write leaves no chart. A count that is
  // no number keeps the lines before it: that chart is cut where the data
  // went wrong.
  try {
    WriteChart(engine, chart, greatest);
  } catch (const EConvertError&) {
    chart.PublishOrRaise(env, chart_path);
    throw;
  } catch (const EInOutError&) {
    chart.Discard(env);
    throw;
  }
  if (!chart.PublishOrRaise(env, chart_path)) {
    engine.ferror = reply::kNotFound;  // as for a chart that cannot be created
    return false;
  }
  engine.fchart.clear();
  return true;
}

}  // namespace

std::string TZOQ_Quorbel::ColonsToBlanks(const std::string& text) {
  std::string result = text;
  std::replace(result.begin(), result.end(), kColon, kBlank);
  return result;
}

bool TZOQ_Quorbel::UpdateChart() {
  fterminated = false;
  ProgressScope progress(&finprogress);
  try {
    return BuildChart(*this);
  } catch (...) {
    ferror = reply::InternalErrorText(DescribeCurrentFailure());
    return false;
  }
}

}  // namespace quorbel
