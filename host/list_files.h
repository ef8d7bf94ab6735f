// The files the library leaves in the list folder, as the host finds them:
// the dated lists of a nick and the counting's ordering file.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ini_file.h"
#include "list_text.h"
#include "shared_names.h"

namespace host {

// The list's bytes and blank rules, shared with the library.
using quorbel::HasDoubleBlank;
using quorbel::kNbsp;
using quorbel::kSep;
using quorbel::SqueezeBlanks;

using quorbel::names::kIndexSuffix;
using quorbel::names::kListSuffix;
using quorbel::names::kZipSuffix;

// The base name (NICK[MM-DD-YY]) of the newest file NICK[MM-DD-YY]+suffix in
// `directory`: the latest date in the name, then the latest change.
std::optional<std::string> NewestListName(const std::string& directory, const std::string& nick,
                                          const std::string& suffix);

// The configuration with a "name" key that picks the list `name`, placed
// first in [listmake], where the library reads it before any other.
std::string NamingCopy(const quorbel::IniFile& ini, const std::string& name);

// `directory` with one trailing "/".
std::string InFolder(const std::string& directory, const std::string& name);

// The files a counting found whose paths hold double blanks, from its
// ordering file "byfiles.tmp" in `directory` (one "name SEP folder/" line
// each), as full paths. The file is read line by line: it has a line for
// every file of the collection.
std::vector<std::string> CountedDoubleBlankFiles(const std::string& directory);

// Calls `line` with each line of a CR LF text file until it returns false;
// false when the file cannot be read.
bool ForEachLine(const std::string& path, const std::function<bool(const std::string&)>& line);

}  // namespace host
