#include "serve_lookup_text.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace quorbel {

namespace {

constexpr unsigned char kLetters = 'Z' - 'A' + 1;
constexpr unsigned char kLowerBit = 'a' - 'A';

unsigned char LowerByte(unsigned char c) {
  return static_cast<unsigned char>(c - 'A') < kLetters ? (c | kLowerBit) : c;
}

// Eight bytes at a time: a byte's top bit ends up set in `upper` exactly
// when it is one of A to Z. No addition carries into the next byte, as
// every byte is cut to seven bits first.
uint64_t LowerWord(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kTopBits = 0x8080808080808080ull;
  const uint64_t low7 = word & ~kTopBits;
  const uint64_t above_z = low7 + (0x7F - 'Z') * kOnes;
  const uint64_t from_a = low7 + (0x80 - 'A') * kOnes;
  const uint64_t upper = (from_a ^ above_z) & ~word & kTopBits;
  return word | (upper >> 2);  // the top bit moved onto 0x20
}

}  // namespace

void LowerAscii(char* text, size_t size) {
  size_t i = 0;
  for (; i + sizeof(uint64_t) <= size; i += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, text + i, sizeof word);
    word = LowerWord(word);
    std::memcpy(text + i, &word, sizeof word);
  }
  for (; i < size; ++i) text[i] = char(LowerByte(static_cast<unsigned char>(text[i])));
}

namespace {

// How common a byte is in lower-cased lists of file names, most common
// first; bytes not named here count as rare. Only the order matters.
constexpr std::string_view kCommonBytes =
    " \xA0" "eaoitnrslhdmucgypbkwf.v0123456789-_()\xFF" "jxzq!";

constexpr std::array<unsigned char, 256> CommonnessTable() {
  std::array<unsigned char, 256> table{};
  for (size_t i = 0; i < kCommonBytes.size(); ++i) {
    unsigned char& slot = table[static_cast<unsigned char>(kCommonBytes[i])];
    if (slot == 0) slot = static_cast<unsigned char>(kCommonBytes.size() - i);
  }
  return table;
}

constexpr std::array<unsigned char, 256> kCommonness = CommonnessTable();

size_t RarestByte(std::string_view text) {
  size_t rarest = 0;
  for (size_t i = 1; i < text.size(); ++i) {
    if (kCommonness[static_cast<unsigned char>(text[i])] <
        kCommonness[static_cast<unsigned char>(text[rarest])]) {
      rarest = i;
    }
  }
  return rarest;
}

}  // namespace

Literal::Literal(std::string_view text) : text_(text), rare_at_(RarestByte(text)) {}

size_t Literal::FindIn(std::string_view hay, size_t from) const {
  const size_t m = text_.size();
  if (from > hay.size() || hay.size() - from < m) return std::string_view::npos;
  const char rare = text_[rare_at_];
  // Candidate starts run from `from` to the last start that leaves room.
  const char* const base = hay.data();
  const char* next = base + from + rare_at_;
  const char* const stop = base + (hay.size() - m) + rare_at_ + 1;
  while (next < stop) {
    const char* at = static_cast<const char*>(std::memchr(next, rare, size_t(stop - next)));
    if (at == nullptr) break;
    const char* start = at - rare_at_;
    if (std::memcmp(start, text_.data(), m) == 0) return size_t(start - base);
    next = at + 1;
  }
  return std::string_view::npos;
}

}  // namespace quorbel
