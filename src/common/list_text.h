// The list's special bytes and its rules for blanks, which the host applies
// to the same file names as the library.
#pragma once

#include <string>
#include <string_view>

namespace quorbel {

inline constexpr char kSep = char(0xFF);   // separates name and directory, entries, fields
inline constexpr char kNbsp = char(0xA0);  // pads list lines and chart lines

// Two spaces in a row: the mark of a bad file name.
inline constexpr std::string_view kDoubleBlank = "  ";

// Each run of equal blanks (space or NBSP) shrunk to its first blank.
std::string SqueezeBlanks(const std::string& text);

bool HasDoubleBlank(const std::string& text);

}  // namespace quorbel
