#include "output.h"

#include <cstdio>

#include "platform/text_1252.h"

namespace host {

namespace {

void AppendUtf8(std::string* out, char32_t c) {
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

}  // namespace

std::string ToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t pos = 0; pos < text.size();) {
    if (size_t length = Utf8Length(text, pos)) {
      out.append(text, pos, length);
      pos += length;
    } else {
      AppendUtf8(&out, quorbel::Cp1252ToUnicode(static_cast<unsigned char>(text[pos++])));
    }
  }
  return out;
}

std::string ForDisplay(const std::string& text, Encoding encoding) {
  return encoding == Encoding::kUtf8 ? ToUtf8(text) : text;
}

void PrintReply(const Reply& reply, Encoding encoding) {
  std::string text = ForDisplay(reply.data, encoding) + "\n";
  if (!reply.second.empty()) text += ForDisplay(reply.second, encoding) + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace host
