#include "output.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <langinfo.h>

#include "cp1252.h"
#include "utf8_text.h"

namespace host {

namespace {

constexpr char32_t kSurrogateEscape = 0xDC00;  // + byte, for 0x80..0xFF

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

std::string Hex(unsigned char c) {
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", c);
  return text;
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
