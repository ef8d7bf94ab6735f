// Pieces of the POSIX Env that live in files of their own.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace quorbel::posix {

std::vector<std::string> ProfileKeys(const std::string& path, const std::string& section);
std::string ProfileString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& fallback);
// The same rules over a file's text already in memory (a missing file reads
// as empty text).
std::vector<std::string> ProfileKeysInText(std::string_view content, const std::string& section);
std::string ProfileStringInText(std::string_view content, const std::string& section,
                                const std::string& key, const std::string& fallback);

int CompareText(const std::string& a, const std::string& b);
void AppendSortKeys(const std::vector<std::string_view>& texts, std::string* keys,
                    std::vector<size_t>* starts);
std::unique_ptr<SortKeyMaker> NewSortKeyMaker();

std::unique_ptr<NativeProgressWindow> CreateHeadlessProgressWindow(ProgressWindowEvents* events);

std::optional<std::string> PlayerForExtension(const std::string& extension);

}  // namespace quorbel::posix
