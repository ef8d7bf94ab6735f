// The profile (INI) reader where the system has none: the shared reader's
// rules (common/ini_file.h), with the Windows reader's limits on what one
// call returns.
#include <algorithm>
#include <cstdio>

#include "ini_file.h"
#include "platform/env_posix_internal.h"

namespace quorbel::posix {

namespace {

constexpr size_t kKeyListLimit = 16384;

// The file's bytes; empty when it cannot be read.
std::string ReadBytes(const std::string& path) {
  std::string content;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return content;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
  std::fclose(f);
  return content;
}

// The configuration is read a value at a time, dozens of values from one
// file: the last parse is kept (per thread) while the bytes stay the same.
const IniFile& Parsed(std::string_view content) {
  thread_local IniFile last;
  if (last.bytes != content) last = ParseIni(std::string(content));
  return last;
}

// The key lines of the first section of that name, in file order.
const std::vector<IniEntry>& ReadSection(std::string_view content, const std::string& section) {
  static const std::vector<IniEntry> kNone;
  const IniSection* found = Parsed(content).Find(section);
  return found != nullptr ? found->entries : kNone;
}

}  // namespace

std::vector<std::string> ProfileKeys(const std::string& path, const std::string& section) {
  return ProfileKeysInText(ReadBytes(path), section);
}

std::string ProfileString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& fallback) {
  return ProfileStringInText(ReadBytes(path), section, key, fallback);
}

std::vector<std::string> ProfileKeysInText(std::string_view content, const std::string& section) {
  std::vector<std::string> keys;
  size_t used = 1;  // the list's closing zero
  for (const IniEntry& line : ReadSection(content, section)) {
    if (used + line.key.size() + 1 > kKeyListLimit) break;
    used += line.key.size() + 1;
    keys.push_back(line.key);
  }
  return keys;
}

std::string ProfileStringInText(std::string_view content, const std::string& section,
                                const std::string& key, const std::string& fallback) {
  for (const IniEntry& line : ReadSection(content, section)) {
    if (SameName(line.key, key)) return line.value;
  }
  return fallback.substr(0, std::min(fallback.size(), kIniValueLimit));
}

}  // namespace quorbel::posix
