// Texts and special bytes shared by the list, the ordering files, the chart,
// the find answers, the dump and the progress window.
#pragma once

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

}  // namespace quorbel
