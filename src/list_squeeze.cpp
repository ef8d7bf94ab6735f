// Blank squeezing: every run of equal blanks shrinks to its first blank.
#include "quorbel_oob.h"
#include "engine_text.h"

namespace quorbel {

namespace {
constexpr char kSpace = ' ';

bool IsBlank(char c) { return c == kSpace || c == kNbsp; }
}  // namespace

// The character that ends a run is copied without being looked at, so a
// space followed by two NBSPs keeps all three: the list, the renames and
// find answering all depend on exactly this result.
std::string TZOQ_Quorbel::Squeeze(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  size_t p = 0;
  while (p < text.size()) {
    const char c = text[p++];
    result += c;
    if (!IsBlank(c)) continue;
    while (p < text.size() && text[p] == c) ++p;
    if (p < text.size()) result += text[p++];
  }
  return result;
}

}  // namespace quorbel
