// The byte operations under the lookups: lower-casing whole buffers eight
// bytes at a time and the substring search over a whole list.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "serve_lookup_text.h"

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
    const Literal literal(needle);
    for (size_t from : {size_t(0), size_t(rng() % 50), hay.size(), hay.size() + 1}) {
      ASSERT_EQ(literal.FindIn(hay, from), from > hay.size() ? std::string::npos : hay.find(needle, from))
          << ::testing::PrintToString(hay) << " " << ::testing::PrintToString(needle) << " " << from;
    }
  }
}

}  // namespace

}  // namespace quorbel
