// Byte-level text operations of the lookups: ASCII lower-casing of whole
// buffers and a substring search fast enough to run over a whole list.
#pragma once

#include <cstddef>
#include <string_view>

namespace quorbel {

// A to Z only; other bytes (0xC9 and the like) stay as they are.
void LowerAscii(char* text, size_t size);

// A literal prepared for repeated searching: the search looks for its
// least common byte with memchr and compares the whole literal only there.
class Literal {
 public:
  // `text` must not be empty and must outlive the Literal.
  explicit Literal(std::string_view text);
  // Offset of the first occurrence in `hay` at or after `from`, or npos.
  size_t FindIn(std::string_view hay, size_t from) const;
  size_t size() const { return text_.size(); }

 private:
  std::string_view text_;
  size_t rare_at_;  // index of the byte memchr looks for
};

}  // namespace quorbel
