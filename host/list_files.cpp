#include "list_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "config_sections.h"

namespace host {

namespace {

constexpr const char* kOrderFile = "byfiles.tmp";
constexpr size_t kDateLength = 10;  // "[MM-DD-YY]"

bool Digits(const std::string& s, size_t at, size_t count) {
  for (size_t i = at; i < at + count; ++i) {
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

// YYMMDD of "[MM-DD-YY]", or nullopt for any other text.
std::optional<int> DateKey(const std::string& date) {
  if (date.size() != kDateLength || date[0] != '[' || date[3] != '-' || date[6] != '-' ||
      date[9] != ']' || !Digits(date, 1, 2) || !Digits(date, 4, 2) || !Digits(date, 7, 2)) {
    return std::nullopt;
  }
  return std::stoi(date.substr(7, 2)) * 10000 + std::stoi(date.substr(1, 2)) * 100 +
         std::stoi(date.substr(4, 2));
}

}  // namespace

std::string NamingCopy(const quorbel::IniFile& ini, const std::string& name) {
  const quorbel::IniSection* section = ini.Find(quorbel::config::kListMake);
  const size_t at = section->body_offset;
  return ini.bytes.substr(0, at) + "\nname=\"" + name + "\"" + ini.bytes.substr(at);
}

std::string InFolder(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

std::optional<std::string> NewestListName(const std::string& directory, const std::string& nick,
                                          const std::string& suffix) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> best;
  std::tuple<int, int64_t, int64_t> best_key{};
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() != nick.size() + kDateLength + suffix.size() || name.rfind(nick, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    const std::optional<int> date = DateKey(name.substr(nick.size(), kDateLength));
    struct stat info {};
    if (!date || stat(InFolder(directory, name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const std::tuple<int, int64_t, int64_t> key{*date, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
    if (!best || key > best_key) {
      best = name.substr(0, name.size() - suffix.size());
      best_key = key;
    }
  }
  closedir(dir);
  return best;
}

bool ForEachLine(const std::string& path, const std::function<bool(const std::string&)>& line) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char* buffer = nullptr;
  size_t capacity = 0;
  ssize_t length;
  bool going = true;
  while (going && (length = getline(&buffer, &capacity, file)) >= 0) {
    std::string text(buffer, size_t(length));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    going = line(text);
  }
  std::free(buffer);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

std::vector<std::string> CountedDoubleBlankFiles(const std::string& directory) {
  std::vector<std::string> paths;
  ForEachLine(InFolder(directory, kOrderFile), [&](const std::string& line) {
    const size_t sep = line.find(kSep);
    if (sep != std::string::npos && HasDoubleBlank(line)) {
      paths.push_back(line.substr(sep + 1) + line.substr(0, sep));
    }
    return true;
  });
  return paths;
}

}  // namespace host
