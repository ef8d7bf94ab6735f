// The configuration file as the library reads it: section and key names
// without regard to case, the first section and the first key of a name win,
// names and values trimmed, one pair of enclosing quotes removed, lines
// starting with ";" are comments. Read here to check it before a run and to
// learn the nick; what the library would pass over silently is recorded.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace host {

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

IniFile ParseIni(std::string bytes);

bool SameName(const std::string& a, const std::string& b);

}  // namespace host
