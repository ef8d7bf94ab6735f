// The open command registered for an extension: a read-only walk under
// HKEY_CLASSES_ROOT from the extension to its file type and down to
// <type>\shell\open\command.
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/env_win32_internal.h"

namespace quorbel::win32 {

namespace {

// The key path below the file type; opened one level at a time, each
// relative to the one before (key names ignore case).
constexpr const char* kOpenCommandPath[] = {"shell", "open", "command"};

// An open registry key, closed when it goes out of scope.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // Opens `name` below `parent` for reading only.
  bool Open(HKEY parent, const std::string& name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = opened;
    return true;
  }

  // Moves one level down, to `name` below this key.
  bool Descend(const std::string& name) { return Open(key_, name); }

  // The unnamed value as text; empty when it is missing, not a string or
  // cannot be read.
  std::string DefaultValue() const {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key_, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
    std::vector<char> bytes(size_t(size) + 1, '\0');  // room for a missing closing zero
    if (RegQueryValueExA(key_, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()),
                         &size) != ERROR_SUCCESS) {
      return {};
    }
    // Stored strings need not be zero-terminated, and may hold more than one.
    return std::string(bytes.data(), strnlen(bytes.data(), size));
  }

 private:
  HKEY key_ = nullptr;
};

// A key name must not walk further down the tree than the one level meant.
bool IsSingleKeyName(const std::string& name) {
  return !name.empty() && name.find('\\') == std::string::npos;
}

}  // namespace

std::optional<std::string> OpenCommandForExtension(const std::string& dotted_extension) {
  if (!IsSingleKeyName(dotted_extension)) return std::nullopt;
  std::string file_type;
  {
    RegKey extension;
    if (!extension.Open(HKEY_CLASSES_ROOT, dotted_extension)) return std::nullopt;
    file_type = extension.DefaultValue();
  }
  if (file_type.empty()) return std::nullopt;
  RegKey key;
  if (!key.Open(HKEY_CLASSES_ROOT, file_type)) return std::nullopt;
  for (const char* level : kOpenCommandPath) {
    if (!key.Descend(level)) return std::nullopt;
  }
  std::string command = key.DefaultValue();
  if (command.empty()) return std::nullopt;
  return command;
}

}  // namespace quorbel::win32
