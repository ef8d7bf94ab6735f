// Checks made before the library is asked to touch anything: the
// configuration file and the folders it names, and the folder the lists
// live in. Each problem comes back as "what: why" with the system's reason.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ini_file.h"
#include "report.h"

namespace host {

// The configuration is read by the library's own rules.
using quorbel::IniEntry;
using quorbel::IniFile;
using quorbel::IniSection;
using quorbel::ParseIni;
using quorbel::SameName;

// What the coming job needs from the configuration.
enum class Need {
  kRun,     // a generation or counting: nick, extensions, readable folders
  kLookup,  // find and search: a nick (or a list name)
  kChart,   // the chart: a configuration the library accepts
};

// The parsed configuration, with every problem for `need` in `problems`.
// Without a readable file there is nothing to parse: nullopt.
std::optional<IniFile> CheckConfiguration(const std::string& path, Need need,
                                          std::vector<Problem>* problems);

// The list folder: it must exist, and for writing be writable.
std::optional<Problem> CheckListFolder(const std::string& directory, bool for_writing);

// Why a path is not what is wanted; nullopt when it is.
enum class Want { kReadableFolder, kWritableFolder, kReadableFile };
std::optional<std::string> PathProblem(const std::string& path, Want want);

// "~" and "~/..." as the shell would expand them; nullopt for "~user".
std::optional<std::string> ExpandHome(const std::string& path);

}  // namespace host
