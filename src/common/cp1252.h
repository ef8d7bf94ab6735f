// Windows-1252, the single-byte code page the library's text is taken in
// where the system offers no such code page of its own (Linux), and that the
// host shows as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace quorbel {

// The Unicode code point of one Windows-1252 byte. The five bytes the code
// page leaves undefined map to the C1 control of the same value.
inline char16_t Cp1252ToUnicode(unsigned char byte) {
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  return (byte >= 0x80 && byte < 0xA0) ? kHigh[byte - 0x80] : char16_t(byte);
}

// Appends one byte's character to `out` in UTF-8.
void AppendCp1252AsUtf8(std::string* out, unsigned char byte);

std::string Cp1252ToUtf8(std::string_view text);

}  // namespace quorbel
