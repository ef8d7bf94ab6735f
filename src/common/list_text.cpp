// Blank squeezing and double blanks, as the list, the renames, find
// answering and the host all see them.
#include "list_text.h"

namespace quorbel {

namespace {
constexpr char kSpace = ' ';

bool IsBlank(char c) { return c == kSpace || c == kNbsp; }
}  // namespace

// The character that ends a run is copied without being looked at, so a
// space followed by two NBSPs keeps all three: the list, the renames and
// find answering all depend on exactly this result.
std::string SqueezeBlanks(const std::string& text) {
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

bool HasDoubleBlank(const std::string& text) { return text.find(kDoubleBlank) != std::string::npos; }

}  // namespace quorbel
