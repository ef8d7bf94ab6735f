#include "check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ascii_text.h"
#include "cli.h"
#include "config_sections.h"
#include "files.h"
#include "shared_names.h"

namespace host {

namespace {

using quorbel::config::kDrive;
using quorbel::config::kExtension;
using quorbel::config::kListMake;

constexpr const char* kIniSuffix = ".ini";
constexpr const char* kKnownSections[] = {kListMake, quorbel::config::kPreface, kExtension, kDrive};
constexpr size_t kTypoDistance = 2;  // a section this close to a known one is a typo

std::string Reason(int error) { return std::strerror(error); }

std::string AtLine(size_t line) { return "line " + std::to_string(line) + ": "; }

bool LooksLikeWindowsPath(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

// Problems of the file's shape: what the library would pass over silently.
void CheckShape(const IniFile& ini, std::vector<std::string>* why) {
  if (ini.bom) {
    why->push_back("starts with a UTF-8 byte-order mark, which hides the first section "
                   "from the library; save the file without it");
  }
  for (size_t line : ini.stray_lines) {
    if (ini.bom && line == 1) continue;  // said above
    why->push_back(AtLine(line) + "neither [section], key=value nor ;comment: ignored by the library");
  }
  for (size_t line : ini.orphan_lines) {
    why->push_back(AtLine(line) + "key=value before the first [section]: ignored by the library");
  }
  for (const IniSection& section : ini.sections) {
    for (const IniEntry& entry : section.entries) {
      if (entry.value.find(" ;") != std::string::npos || entry.value.find("\t;") != std::string::npos) {
        why->push_back(AtLine(entry.line) + "the value of " + entry.key +
                       "= holds a ';' comment, which the library reads as part of the value; "
                       "put comments on lines of their own");
      }
    }
  }
  for (size_t i = 0; i < ini.sections.size(); ++i) {
    const IniSection& section = ini.sections[i];
    if (ini.Find(section.name) != &section) {
      why->push_back(AtLine(section.line) + "a second [" + section.name +
                     "]: the library reads only the first; merge them");
      continue;
    }
    bool known = false;
    for (const char* name : kKnownSections) known = known || SameName(section.name, name);
    if (known) continue;
    for (const char* name : kKnownSections) {
      if (EditDistance(LowerAscii(section.name), LowerAscii(name)) <= kTypoDistance) {
        why->push_back(AtLine(section.line) + "unknown section [" + section.name +
                       "]; did you mean [" + name + "]?");
      }
    }
  }
}

std::vector<const IniEntry*> NonEmpty(const IniSection* section) {
  std::vector<const IniEntry*> entries;
  if (section == nullptr) return entries;
  for (const IniEntry& entry : section->entries) {
    if (!entry.value.empty()) entries.push_back(&entry);
  }
  return entries;
}

// Every [drive] entry must be a folder the walk can list.
void CheckDrives(const std::string& ini_path, const IniFile& ini, std::vector<Problem>* problems) {
  const IniSection* drives = ini.Find(kDrive);
  if (NonEmpty(drives).empty()) {
    problems->push_back({ini_path, "no folder to list in [drive] (add 1=/path/to/music)"});
    return;
  }
  for (const IniEntry& entry : drives->entries) {
    const std::string where = " ([drive] " + entry.key + "=, line " + std::to_string(entry.line) + ")";
    if (entry.value.empty()) {
      problems->push_back({ini_path, AtLine(entry.line) + "empty [drive] entry " + entry.key + "="});
      continue;
    }
    if (entry.value[0] == '~') {
      const std::optional<std::string> home = ExpandHome(entry.value);
      problems->push_back({entry.value, "'~' is not expanded in the configuration; write " +
                                            (home ? *home : std::string("the full path")) + where});
      continue;
    }
    if (std::optional<std::string> why = PathProblem(entry.value, Want::kReadableFolder)) {
      if (LooksLikeWindowsPath(entry.value)) *why += ", a Windows path; write a Linux folder";
      problems->push_back({entry.value, *why + where});
    }
  }
}

void CheckSettings(const std::string& path, const IniFile& ini, Need need,
                   std::vector<Problem>* problems) {
  const std::optional<std::string> nick = ini.Value(kListMake, quorbel::names::kNickKey);
  const std::optional<std::string> name = ini.Value(kListMake, "name");
  const bool has_nick = nick && !nick->empty();
  if (ini.Find(kListMake) == nullptr && need != Need::kChart) {
    problems->push_back({path, "no [listmake] section with the nick (add [listmake] and nick=YourNick)"});
  } else if (need == Need::kRun && !has_nick) {
    problems->push_back({path, "[listmake] has no nick (add nick=YourNick)"});
  } else if (need == Need::kLookup && !has_nick && !(name && !name->empty())) {
    problems->push_back({path, "[listmake] has neither nick nor name, so no list can be named"});
  }
  if (need != Need::kRun) return;
  if (NonEmpty(ini.Find(kExtension)).empty()) {
    problems->push_back({path, "no file type in [Extension] (add 1=*.mp3)"});
  }
  CheckDrives(path, ini, problems);
}

}  // namespace

std::optional<std::string> PathProblem(const std::string& path, Want want) {
  struct stat info {};
  if (path.empty()) return std::string("empty path");
  if (stat(path.c_str(), &info) != 0) return Reason(errno);
  const bool folder = S_ISDIR(info.st_mode);
  if (want == Want::kReadableFile) {
    if (folder) return Reason(EISDIR);
    if (access(path.c_str(), R_OK) != 0) return Reason(errno);
    return std::nullopt;
  }
  if (!folder) return Reason(ENOTDIR);
  const int mode = want == Want::kWritableFolder ? (W_OK | X_OK) : (R_OK | X_OK);
  if (access(path.c_str(), mode) != 0) return Reason(errno);
  return std::nullopt;
}

std::optional<std::string> ExpandHome(const std::string& path) {
  if (path.empty() || path[0] != '~' || (path.size() > 1 && path[1] != '/')) return std::nullopt;
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return std::nullopt;
  return home + path.substr(1);
}

std::optional<IniFile> CheckConfiguration(const std::string& path, Need need,
                                          std::vector<Problem>* problems) {
  if (std::optional<std::string> why = PathProblem(path, Want::kReadableFile)) {
    problems->push_back({path, *why});
    return std::nullopt;
  }
  const std::string suffix = kIniSuffix;
  if (path.size() < suffix.size() || path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0) {
    problems->push_back({path, "the library reads only files whose name ends in .ini"});
    return std::nullopt;
  }
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) {
    problems->push_back({path, Reason(errno)});
    return std::nullopt;
  }
  IniFile ini = ParseIni(std::move(*bytes));
  std::vector<std::string> shape;
  CheckShape(ini, &shape);
  for (std::string& why : shape) problems->push_back({path, std::move(why)});
  CheckSettings(path, ini, need, problems);
  return ini;
}

std::optional<Problem> CheckListFolder(const std::string& directory, bool for_writing) {
  const Want want = for_writing ? Want::kWritableFolder : Want::kReadableFolder;
  if (std::optional<std::string> why = PathProblem(directory, want)) return Problem{directory, *why};
  return std::nullopt;
}

}  // namespace host
