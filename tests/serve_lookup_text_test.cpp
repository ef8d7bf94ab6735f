// The byte operations under the lookups: lower-casing whole buffers eight
// bytes at a time and the substring search over a whole list.
#include "serve_lookup_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace quorbel {

namespace {

TEST(LowerAsciiTest, FoldsAToZOnlyAtEveryOffset) {
  std::string all;
  for (int round = 0; round < 3; ++round) {
    for (int c = 0; c < 256; ++c) all += char(c);
  }
  for (size_t offset = 0; offset < 9; ++offset) {
    std::string text = all.substr(offset);
    LowerAscii(text.data(), text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      const unsigned char was = static_cast<unsigned char>(all[offset + i]);
      const unsigned char want = (was >= 'A' && was <= 'Z') ? was + 32 : was;
      ASSERT_EQ(static_cast<unsigned char>(text[i]), want) << "byte " << int(was);
    }
  }
}

// Random texts over a small alphabet (many near misses), including the
// bytes a list holds: NBSP, SEP, NUL and line ends.
TEST(LiteralTest, FindsWhatStringFindFinds) {
  const std::string alphabet = std::string("aab q!\r\n\xA0\xFF") + '\0';
  std::mt19937 rng(16);
  auto random_text = [&](size_t size) {
    std::string text;
    for (size_t i = 0; i < size; ++i) text += alphabet[rng() % alphabet.size()];
    return text;
  };
  for (int round = 0; round < 3000; ++round) {
    const std::string hay = random_text(rng() % 200);
    const std::string needle = random_text(1 + rng() % 4);
    ByteCounts counts;  // of the hay: the byte looked for changes from round to round
    counts.Add(hay, 0);
    const Literal literal(needle, counts);
    for (size_t from : {size_t(0), size_t(rng() % 50), hay.size(), hay.size() + 1}) {
      ASSERT_EQ(literal.FindIn(hay, from), from > hay.size() ? std::string::npos : hay.find(needle, from))
          << ::testing::PrintToString(hay) << " " << ::testing::PrintToString(needle) << " " << from;
    }
  }
}

// The counts are the same however the text arrives in pieces: every 16th
// byte of the whole text, counted once.
TEST(ByteCountsTest, SampleTheWholeTextWhateverItsPieces) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += char('a' + i % 7);
  ByteCounts whole;
  whole.Add(text, 0);
  for (size_t piece : {size_t(1), size_t(5), size_t(16), size_t(17), size_t(999)}) {
    ByteCounts pieces;
    for (size_t at = 0; at < text.size(); at += piece) pieces.Add(text.substr(at, piece), at);
    for (char c = 'a'; c < 'h'; ++c) ASSERT_EQ(pieces[c], whole[c]) << "pieces of " << piece;
  }
  size_t sampled_a = 0;
  for (size_t i = 0; i < text.size(); i += 16) sampled_a += text[i] == 'a';
  EXPECT_EQ(whole['a'], sampled_a);
}

// The byte looked for is the literal's least common one in the counted
// text, whatever the language: the same literal looks for another byte in
// another list.
TEST(LiteralTest, LooksForTheBytesTheCountedTextHoldsLeast) {
  struct Case {
    std::string text, literal;
    char expected;
  };
  for (const Case& c : {Case{std::string(4000, 'e') + std::string(400, 'q'), "eqe", 'q'},
                        Case{std::string(4000, 'q') + std::string(400, 'e'), "qeq", 'e'},
                        Case{std::string(4000, 'a') + std::string(800, 'b'), "abcab", 'c'}}) {
    ByteCounts counts;
    counts.Add(c.text, 0);
    EXPECT_EQ(Literal(c.literal, counts).candidates(), counts[c.expected]) << c.literal;
  }
}

}  // namespace

}  // namespace quorbel
