#include "output.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <langinfo.h>

#include "cp1252.h"

namespace host {

namespace {

constexpr char32_t kSurrogateEscape = 0xDC00;  // + byte, for 0x80..0xFF

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

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

std::string Hex(unsigned char c) {
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", c);
  return text;
}

// Walks `text`: valid UTF-8 sequences of two bytes or more go to `multi`,
// ASCII to `ascii`, every other byte to `stray`.
template <typename Ascii, typename Multi, typename Stray>
std::string Convert(const std::string& text, Ascii ascii, Multi multi, Stray stray) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t pos = 0; pos < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    const size_t length = Utf8Length(text, pos);
    if (length == 1) {
      ascii(&out, c);
    } else if (length > 1) {
      multi(&out, text.substr(pos, length));
    } else {
      stray(&out, c);
    }
    pos += length > 0 ? length : 1;
  }
  return out;
}

void AsciiShown(std::string* out, unsigned char c) { *out += IsControl(c) ? Hex(c) : std::string(1, char(c)); }

void JsonAscii(std::string* out, unsigned char c) {
  if (c == '"' || c == '\\') {
    *out += '\\';
    *out += char(c);
  } else if (IsControl(c)) {
    char text[8];
    std::snprintf(text, sizeof text, "\\u%04X", c);
    *out += text;
  } else {
    *out += char(c);
  }
}

}  // namespace

Encoding LocaleEncoding() {
  // Only to learn the codeset: the library's own text handling must not see
  // the user's LC_CTYPE, so "C" comes back at once.
  const char* set = std::setlocale(LC_CTYPE, "");
  const bool utf8 = set != nullptr && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  std::setlocale(LC_CTYPE, "C");
  return utf8 ? Encoding::kUtf8 : Encoding::kEscaped;
}

std::string ToUtf8(const std::string& text) {
  return Convert(
      text, [](std::string* out, unsigned char c) { *out += char(c); },
      [](std::string* out, const std::string& seq) { *out += seq; },
      quorbel::AppendCp1252AsUtf8);
}

std::string Display::Text(const std::string& text) const {
  switch (encoding_) {
    case Encoding::kBytes:
      return text;
    case Encoding::kUtf8:
      return Convert(
          text, AsciiShown, [](std::string* out, const std::string& seq) { *out += seq; },
          quorbel::AppendCp1252AsUtf8);
    case Encoding::kEscaped:
      break;
  }
  std::string out;
  for (unsigned char c : text) out += c >= 0x80 || IsControl(c) ? Hex(c) : std::string(1, char(c));
  return out;
}

std::string Display::Path(const std::string& path) const {
  if (encoding_ != Encoding::kUtf8) return Text(path);
  return Convert(
      path, AsciiShown, [](std::string* out, const std::string& seq) { *out += seq; },
      [](std::string* out, unsigned char c) { *out += Hex(c); });
}

std::string JsonText(const std::string& text) {
  const std::string utf8 = ToUtf8(text);
  return "\"" +
         Convert(
             utf8, JsonAscii, [](std::string* out, const std::string& seq) { *out += seq; },
             [](std::string*, unsigned char) {}) +
         "\"";
}

std::string JsonPath(const std::string& path) {
  return "\"" +
         Convert(
             path, JsonAscii, [](std::string* out, const std::string& seq) { *out += seq; },
             [](std::string* out, unsigned char c) {
               char text[8];
               std::snprintf(text, sizeof text, "\\u%04X", unsigned(kSurrogateEscape + c));
               *out += text;  // an escape: the surrogate itself is no UTF-8
             }) +
         "\"";
}

}  // namespace host
