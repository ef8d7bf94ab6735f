// Text from the library as UTF-8: its bytes are the file system's names
// and Windows-1252 text, so valid UTF-8 sequences stay as they are and every
// other byte is taken as Windows-1252 (the list's padding 0xA0 becomes a
// no-break space). The command-line host prints it; the WeeChat plug-in
// sends it to IRC, which takes UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace host {

// Length of the valid UTF-8 sequence starting at `pos` (1 for ASCII), or 0.
size_t Utf8Length(const std::string& text, size_t pos);

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

// Valid UTF-8 as it is, every other byte as Windows-1252.
std::string ToUtf8(const std::string& text);

}  // namespace host
