// Profile (INI) files with the observable rules of the Windows reader:
// section and key names match without regard to case, the first section and
// the first key of a name win, a value is the text after the first "=" of
// its line (at most 2047 characters), names and values are trimmed of
// blanks, a value's one pair of enclosing quotes is removed, and lines
// starting with ";" are comments. The library reads its configuration this
// way where the system has no such reader (Linux); the host reads it the
// same way to check it before a run, so what a reader passes over silently
// is recorded too.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorbel {

struct IniEntry {
  size_t line = 0;  // from 1
  std::string key;
  std::string value;
};

struct IniSection {
  size_t line = 0;
  size_t body_offset = 0;  // byte offset just after the header line's text
  std::string name;
  std::vector<IniEntry> entries;
};

struct IniFile {
  std::string bytes;
  bool bom = false;  // a UTF-8 byte-order mark hides the first header
  std::vector<IniSection> sections;  // every header, in file order
  std::vector<size_t> stray_lines;   // neither header, key=value, comment nor blank
  std::vector<size_t> orphan_lines;  // key=value before any section

  // The first section of that name, as the library reads it.
  const IniSection* Find(const std::string& name) const;
  // The first value of `key` in the section; nullopt when either is missing.
  std::optional<std::string> Value(const std::string& section, const std::string& key) const;
};

// The most characters of a value that a reader returns.
inline constexpr size_t kIniValueLimit = 2047;  // a 2048-character buffer with its zero

IniFile ParseIni(std::string bytes);

// Equal names, ASCII letters compared without regard to case.
bool SameName(std::string_view a, std::string_view b);

}  // namespace quorbel
