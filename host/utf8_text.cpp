#include "utf8_text.h"

#include "cp1252.h"

namespace host {

// Length of the valid UTF-8 sequence starting at `pos` (1 for ASCII), or 0.
size_t Utf8Length(const std::string& text, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return 1;
  size_t length = 0;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    value = value << 6 | (byte(pos + i) & 0x3F);
  }
  const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
  const bool invalid = (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF;
  return overlong || invalid ? 0 : length;
}

std::string ToUtf8(const std::string& text) {
  return Convert(
      text, [](std::string* out, unsigned char c) { *out += char(c); },
      [](std::string* out, const std::string& seq) { *out += seq; },
      quorbel::AppendCp1252AsUtf8);
}

}  // namespace host
