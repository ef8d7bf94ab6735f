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

// Built in place: every tag field of every list line passes here.
std::string TagFieldText(const TagField& field, const TId3v1& tag) {
  const std::string& value = tag.*field.value;
  const std::string_view label(field.label);
  std::string text;
  text.reserve(label.size() + value.size() + 8);
  text += '(';
  text += label;
  if (value.empty()) {
    text += ": N/A)";
  } else {
    text += ':';
    text += value;
    text += ')';
  }
  return text;
}

}  // namespace quorbel::mediatext
