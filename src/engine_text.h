// Texts and special bytes shared by the list, the ordering files, the chart,
// the find answers, the dump and the progress window, and the trimming that
// the ordering lines and the find answers share.
#pragma once

#include <string>
#include <string_view>

#include "list_text.h"  // the separator and NBSP bytes

namespace quorbel {

inline constexpr std::string_view kVersion = "0.7.8";
inline constexpr std::string_view kListGeneratorVersion = "8.6";  // the list generator's banner
// The project's home page, shown in the list and in the progress window.
inline constexpr std::string_view kWeb = "http://www.quorbel.net";

inline constexpr char kTab = '\t';
inline constexpr std::string_view kCrLf = "\r\n";

// "-=" fifty times and a final "-": 101 characters.
inline constexpr std::string_view kRule =
    "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-"
    "=-=-=-=-=-=-";
static_assert(kRule.size() == 101);

// The text without its leading and trailing bytes of codes 0 to 32: the
// controls and the blank, never NBSP.
inline std::string Trim(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace quorbel
