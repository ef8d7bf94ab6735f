#include "serve_lookup_text.h"

#include <bit>
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

constexpr uint64_t kSampleStride = 16;
// A byte seen less often than once in this many is looked for alone, with
// memchr; a literal of commoner bytes by two of them at once.
constexpr uint64_t kRareEnough = 256;

// The position of the literal's byte that the counts hold least, other
// than `skip`.
size_t RarestByte(std::string_view text, const ByteCounts& counts, size_t skip) {
  size_t rarest = text.npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i != skip && (rarest == text.npos || counts[text[i]] < counts[text[rarest]])) rarest = i;
  }
  return rarest;
}

// Sixteen candidate starts at a time, as the compiler's vector extension
// gives them (SSE2 or NEON where there is one, plain words elsewhere).
using Block = unsigned char __attribute__((vector_size(16)));
constexpr size_t kBlock = sizeof(Block);
// Byte i of a block is byte i of its words as numbers read low byte first.
static_assert(std::endian::native == std::endian::little);

Block Load(const char* at) {
  Block block;
  std::memcpy(&block, at, kBlock);
  return block;
}

bool IsZero(Block block) {
  using Words = uint64_t __attribute__((vector_size(16)));
  const Words words = reinterpret_cast<Words>(block);
  return (words[0] | words[1]) == 0;
}

// The bytes of the block that are `byte`: 0xFF there, 0 elsewhere.
Block Equal(Block block, unsigned char byte) {
  return reinterpret_cast<Block>(block == (Block{} + byte));
}

// The first of the block's candidates (its 0xFF bytes) where the whole
// literal stands, or npos.
size_t CompareWhole(std::string_view hay, std::string_view literal, size_t block_start,
                    Block candidates) {
  uint64_t halves[2];
  std::memcpy(halves, &candidates, sizeof halves);
  for (size_t half = 0; half < 2; ++half) {
    for (uint64_t bits = halves[half]; bits != 0;) {
      const size_t byte = size_t(std::countr_zero(bits)) / 8;
      const size_t at = block_start + half * 8 + byte;
      if (std::memcmp(hay.data() + at, literal.data(), literal.size()) == 0) return at;
      bits &= ~(uint64_t(0xFF) << (8 * byte));
    }
  }
  return std::string_view::npos;
}

}  // namespace

void ByteCounts::Add(std::string_view piece, uint64_t offset) {
  const uint64_t first = (kSampleStride - offset % kSampleStride) % kSampleStride;
  for (uint64_t i = first; i < piece.size(); i += kSampleStride) {
    ++counts_[static_cast<unsigned char>(piece[i])];
    ++total_;
  }
}

Literal::Literal(std::string_view text, const ByteCounts& counts)
    : text_(text),
      rare_at_(RarestByte(text, counts, text.npos)),
      second_at_(RarestByte(text, counts, rare_at_)),
      candidates_(counts[text[rare_at_]]),
      in_pairs_(second_at_ != text.npos && uint64_t(candidates_) * kRareEnough > counts.total()) {}

size_t Literal::FindIn(std::string_view hay, size_t from) const {
  const size_t m = text_.size();
  if (from > hay.size() || hay.size() - from < m) return std::string_view::npos;
  // Candidate starts run from `from` to the last start that leaves room.
  const size_t last = hay.size() - m;
  return in_pairs_ ? FindByPairs(hay, from, last) : FindByRareByte(hay, from, last);
}

size_t Literal::FindByRareByte(std::string_view hay, size_t from, size_t last) const {
  const char rare = text_[rare_at_];
  const char* const base = hay.data();
  const char* next = base + from + rare_at_;
  const char* const stop = base + last + rare_at_ + 1;
  while (next < stop) {
    const char* at = static_cast<const char*>(std::memchr(next, rare, size_t(stop - next)));
    if (at == nullptr) break;
    const char* start = at - rare_at_;
    if (std::memcmp(start, text_.data(), size_t(text_.size())) == 0) return size_t(start - base);
    next = at + 1;
  }
  return std::string_view::npos;
}

// A start is a candidate when both chosen bytes stand where the literal
// has them; only candidates are compared whole. Four blocks are tested
// together: in most groups no start is a candidate.
size_t Literal::FindByPairs(std::string_view hay, size_t from, size_t last) const {
  constexpr size_t kGroup = 4;
  const char* const base = hay.data();
  const unsigned char first = static_cast<unsigned char>(text_[rare_at_]);
  const unsigned char second = static_cast<unsigned char>(text_[second_at_]);
  size_t start = from;
  for (; start + kGroup * kBlock <= last + 1; start += kGroup * kBlock) {
    Block group[kGroup];
    Block any{};
    for (size_t b = 0; b < kGroup; ++b) {
      const char* at = base + start + b * kBlock;
      group[b] = Equal(Load(at + rare_at_), first) & Equal(Load(at + second_at_), second);
      any |= group[b];
    }
    if (IsZero(any)) continue;
    for (size_t b = 0; b < kGroup; ++b) {
      const size_t found = CompareWhole(hay, text_, start + b * kBlock, group[b]);
      if (found != std::string_view::npos) return found;
    }
  }
  return FindByRareByte(hay, start, last);
}

}  // namespace quorbel
