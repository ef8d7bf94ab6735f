// Windows-1252 text as UTF-8: every character of the code page lies in the
// Basic Multilingual Plane, so one to three bytes each.
#include "cp1252.h"

namespace quorbel {

void AppendCp1252AsUtf8(std::string* out, unsigned char byte) {
  const char16_t c = Cp1252ToUnicode(byte);
  if (c < 0x80) {
    *out += char(c);
  } else if (c < 0x800) {
    *out += char(0xC0 | (c >> 6));
    *out += char(0x80 | (c & 0x3F));
  } else {
    *out += char(0xE0 | (c >> 12));
    *out += char(0x80 | ((c >> 6) & 0x3F));
    *out += char(0x80 | (c & 0x3F));
  }
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char byte : text) AppendCp1252AsUtf8(&out, byte);
  return out;
}

}  // namespace quorbel
