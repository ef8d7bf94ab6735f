// A profile (INI) file reader with the observable rules of the Windows one:
// section and key names match without regard to case, keys are listed in
// file order, a value is the text after the first "=" of its line, at most
// 2047 characters. Names and values are trimmed of blanks, a value's one
// pair of enclosing quotes is removed, and lines starting with ";" are
// comments. The first section and the first key of a name win.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

#include "platform/env_posix_internal.h"

namespace quorbel::posix {

namespace {

constexpr size_t kValueLimit = 2047;  // a 2048-character buffer with its zero
constexpr size_t kKeyListLimit = 16384;

std::string_view Trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

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

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

// Calls `visit` with the key lines of the first section of that name, in
// file order, until it returns false. Nothing is copied: reading a value
// list asks for every key in turn, each time over the whole file.
template <class Visit>
void ForEachKeyLine(std::string_view content, const std::string& section, Visit visit) {
  enum { kBefore, kInside, kAfter } state = kBefore;
  size_t pos = 0;
  while (pos < content.size() && state != kAfter) {
    size_t end = content.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = content.size();
    std::string_view line = Trim(content.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
      if (state == kInside) state = kAfter;
      else if (SameName(name, section)) state = kInside;
      continue;
    }
    if (state != kInside) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kValueLimit) value = value.substr(0, kValueLimit);
    if (!visit(KeyLine{Trim(line.substr(0, eq)), value})) return;
  }
}

std::string ReadWhole(const std::string& path) {
  std::string content;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return content;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
  std::fclose(f);
  return content;
}

}  // namespace

std::vector<std::string> ProfileKeys(const std::string& path, const std::string& section) {
  return ProfileKeysInText(ReadWhole(path), section);
}

std::string ProfileString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& fallback) {
  return ProfileStringInText(ReadWhole(path), section, key, fallback);
}

std::vector<std::string> ProfileKeysInText(std::string_view content, const std::string& section) {
  std::vector<std::string> keys;
  size_t used = 1;  // the list's closing zero
  ForEachKeyLine(content, section, [&](const KeyLine& line) {
    if (used + line.key.size() + 1 > kKeyListLimit) return false;
    used += line.key.size() + 1;
    keys.emplace_back(line.key);
    return true;
  });
  return keys;
}

std::string ProfileStringInText(std::string_view content, const std::string& section,
                                const std::string& key, const std::string& fallback) {
  std::optional<std::string> found;
  ForEachKeyLine(content, section, [&](const KeyLine& line) {
    if (SameName(line.key, key)) found.emplace(line.value);
    return !found;
  });
  return found ? *found : fallback.substr(0, std::min(fallback.size(), kValueLimit));
}

}  // namespace quorbel::posix
