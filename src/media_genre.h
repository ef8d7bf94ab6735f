// The ID3v1 genre table: the names of the genre numbers, which the ID3v1
// tag stores as one byte and ID3v2 tags write as "(17)" or "17".
#pragma once

#include <cstdint>
#include <string>

namespace quorbel {

// The ID3v1 genre name of a genre byte; "Nothing" above 115.
const std::string& GenreName(uint8_t genre);

}  // namespace quorbel
