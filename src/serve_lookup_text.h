// Byte-level text operations of the lookups: ASCII lower-casing of whole
// buffers and a substring search fast enough to run over a whole list.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorbel {

// A to Z only; other bytes (0xC9 and the like) stay as they are.
void LowerAscii(char* text, size_t size);

// How often each byte occurs in a text, estimated from every 16th byte of
// it: enough to tell the common letters of a list from its rare ones, at a
// sixteenth of the cost of counting them all.
class ByteCounts {
 public:
  // Adds the bytes of the text's next piece, which starts `offset` bytes
  // into the whole text.
  void Add(std::string_view piece, uint64_t offset);
  uint32_t operator[](char byte) const { return counts_[static_cast<unsigned char>(byte)]; }
  uint64_t total() const { return total_; }

 private:
  std::array<uint32_t, 256> counts_{};
  uint64_t total_ = 0;
};

// A literal prepared for repeated searching. The search looks for the
// literal's byte that the counted text holds least often, with memchr where
// that byte is rare; where even that byte is common, for its two least
// common bytes at once, sixteen places at a time. It compares the whole
// literal only there.
class Literal {
 public:
  // `text` must not be empty and must outlive the Literal.
  Literal(std::string_view text, const ByteCounts& counts);
  // Offset of the first occurrence in `hay` at or after `from`, or npos.
  size_t FindIn(std::string_view hay, size_t from) const;
  size_t size() const { return text_.size(); }
  // How often the least common byte occurs in the counted text.
  uint32_t candidates() const { return candidates_; }

 private:
  // Both look at the starts from `from` to `last`.
  size_t FindByRareByte(std::string_view hay, size_t from, size_t last) const;
  size_t FindByPairs(std::string_view hay, size_t from, size_t last) const;

  std::string_view text_;
  size_t rare_at_;    // index of the least common byte
  size_t second_at_;  // index of the next least common one; npos for a single byte
  uint32_t candidates_;
  bool in_pairs_;
};

}  // namespace quorbel
