// How text reaches the user. Two kinds of text pass through here: the
// library's text (single-byte code page: NBSP padding, tag values) and file
// system paths (bytes as the system stores them). Both are shown as the
// locale's encoding allows, and a control byte in a name never reaches the
// terminal as such.
#pragma once

#include <string>

#include "utf8_text.h"

namespace host {

enum class Encoding {
  kBytes,    // unchanged (--bytes)
  kUtf8,     // a UTF-8 locale, or --utf8
  kEscaped,  // any other locale: bytes above 0x7F as \xNN
};

// The encoding of the user's locale (LC_ALL, LC_CTYPE, LANG).
Encoding LocaleEncoding();

class Display {
 public:
  explicit Display(Encoding encoding) : encoding_(encoding) {}
  Encoding encoding() const { return encoding_; }
  // The library's text: bytes that are not UTF-8 are code page characters.
  std::string Text(const std::string& text) const;
  // A path: bytes that are not UTF-8 cannot be shown as what they are, so
  // they appear as \xNN, which a shell's $'...' turns back into the name.
  std::string Path(const std::string& path) const;

 private:
  Encoding encoding_;
};

// JSON strings must be UTF-8. Library text is converted as ToUtf8 does; a
// path's stray bytes become U+DC80 + byte, the form Python's
// os.fsencode() turns back into the exact bytes.
std::string JsonText(const std::string& text);
std::string JsonPath(const std::string& path);

}  // namespace host
