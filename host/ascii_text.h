// ASCII-only lower-casing for the host's comparisons of names it reads from
// files: A to Z and nothing else, whatever the locale says, since the bytes
// above 0x7F are the list's single-byte code page and not the terminal's.
#pragma once

#include <string>

namespace host {

inline std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return text;
}

}  // namespace host
