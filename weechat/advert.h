// The line a server may post in its channels now and then, telling what it
// offers and how busy it is.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace serve {

struct Advert {
  std::string nick;        // the server's nick
  std::string files;       // files in the list, as its last line tells
  std::string size;        // their total size, as its last line tells ("7.0MB")
  std::string list_date;   // the date in the list's name (MM-DD-YY)
  size_t slots = 0, sending = 0, waiting = 0;
  bool find_on = true;
};

// The totals from the end of a list: files and total size, or nothing when
// `tail` holds no totals line.
std::optional<std::pair<std::string, std::string>> ListTotals(std::string_view tail);

std::string AdvertLine(const Advert& advert);

}  // namespace serve
