// Reading a profile file in one pass, every section kept with its line numbers.
#include "ini_file.h"

#include <string_view>

namespace quorbel {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, kIniValueLimit));
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

IniFile ParseIni(std::string bytes) {
  IniFile ini;
  ini.bytes = std::move(bytes);
  ini.bom = std::string_view(ini.bytes).substr(0, kBom.size()) == kBom;
  const std::string_view text = ini.bytes;
  size_t number = 0;
  // Lines end at CR or LF, as in the library; a CR LF pair gives an empty
  // line between, which is not counted.
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    if (!(pos > 0 && text[pos - 1] == '\r' && pos == end && end < text.size() && text[end] == '\n')) {
      ++number;
    }
    const std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      IniSection section;
      section.line = number;
      section.body_offset = end;
      section.name = std::string(Trim(line.substr(1, close == line.npos ? line.npos : close - 1)));
      ini.sections.push_back(std::move(section));
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      ini.stray_lines.push_back(number);
    } else if (ini.sections.empty()) {
      ini.orphan_lines.push_back(number);
    } else {
      ini.sections.back().entries.push_back(
          {number, std::string(Trim(line.substr(0, eq))), Unquoted(Trim(line.substr(eq + 1)))});
    }
  }
  return ini;
}

const IniSection* IniFile::Find(const std::string& name) const {
  for (const IniSection& section : sections) {
    if (SameName(section.name, name)) return &section;
  }
  return nullptr;
}

std::optional<std::string> IniFile::Value(const std::string& section, const std::string& key) const {
  const IniSection* found = Find(section);
  if (found == nullptr) return std::nullopt;
  for (const IniEntry& entry : found->entries) {
    if (SameName(entry.key, key)) return entry.value;
  }
  return std::nullopt;
}

}  // namespace quorbel
