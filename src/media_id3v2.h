// The leading ID3v2 tag (versions 2.2, 2.3 and 2.4): its size, so that the
// frame search can start behind it, and its text frames, taken into the
// single-byte code page of the list. Parsed from bytes alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quorbel::id3v2 {

inline constexpr size_t kHeaderSize = 10;

// The bytes a well-formed leading tag takes: header, body and footer. None
// when `head` (its first ten bytes at least) does not begin with one.
std::optional<int64_t> TagSize(std::span<const uint8_t> head);

// The texts the list shows, as ID3v1 holds them.
struct Text {
  std::string version;  // "ID3v2.3"
  std::string title, artist, album, year, comment, genre;
  uint8_t track = 0;
};

// Longest text kept per field; five of them stay well inside a reply.
inline constexpr size_t kMostTextBytes = 150;

// The texts of the tag that `tag` begins with; none when the tag is of
// another version, compressed as a whole, or holds none of the frames.
// `tag` may end before the tag does: frames past its end are not read.
std::optional<Text> ReadText(std::span<const uint8_t> tag);

}  // namespace quorbel::id3v2
