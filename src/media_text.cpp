#include "media_text.h"

namespace quorbel::mediatext {

namespace {
constexpr int32_t kSecondsPerMinute = 60;
constexpr int kHertzPerKilohertz = 1000;
}  // namespace

std::string BitrateText(const Tmp3info& info) {
  std::string text = info.VariableBitrate ? "VAR" : std::to_string(info.Bitrate);
  return text + "/" + std::to_string(info.SampleRate / kHertzPerKilohertz);
}

std::string PlayingTimeText(int32_t seconds) {
  std::string text = "[";
  if (seconds / kSecondsPerMinute != 0) text += std::to_string(seconds / kSecondsPerMinute) + "m";
  const int32_t rest = seconds % kSecondsPerMinute;
  return text + (rest >= 0 && rest < 10 ? "0" : "") + std::to_string(rest) + "s]";
}

std::string TagFieldText(const TagField& field, const TId3v1& tag) {
  const std::string& value = tag.*field.value;
  const std::string label(field.label);
  return value.empty() ? "(" + label + ": N/A)" : "(" + label + ":" + value + ")";
}

}  // namespace quorbel::mediatext
