#include "advert.h"

#include <algorithm>

#include "shared_names.h"

namespace serve {

std::optional<std::pair<std::string, std::string>> ListTotals(std::string_view tail) {
  const std::string_view start = quorbel::names::kListTotalStart;
  const std::string_view files_end = quorbel::names::kListTotalFiles;
  const size_t at = tail.rfind(start);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = tail.substr(at + start.size());
  const size_t count_end = rest.find(files_end);
  if (count_end == 0 || count_end == std::string_view::npos ||
      !std::all_of(rest.begin(), rest.begin() + long(count_end),
                   [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const std::string_view count = rest.substr(0, count_end);
  rest.remove_prefix(count_end + files_end.size());
  const size_t size_end = rest.find(" - ");
  if (size_end == 0 || size_end == std::string_view::npos) return std::nullopt;
  return std::pair{std::string(count), std::string(rest.substr(0, size_end))};
}

std::string AdvertLine(const Advert& a) {
  const size_t free = a.slots > a.sending ? a.slots - a.sending : 0;
  return "Music list of " + a.nick + ": " + a.files + " files, " + a.size + " | " +
         std::to_string(free) + " of " + std::to_string(a.slots) + " slots free, " +
         std::to_string(a.waiting) + " waiting | list of " + a.list_date + " | @find " +
         (a.find_on ? "on" : "off") + " | type @" + a.nick + " for the list, !" + a.nick +
         " <file> for a file";
}

}  // namespace serve
