// The genre table keeps the published numbering: tags written elsewhere
// name their genres by these numbers.
#include "media_genre.h"

#include "support/test_support.h"

namespace quorbel::test {

TEST(GenreNameTest, PublishedNumbering) {
  struct Case {
    int genre;
    const char* name;
  } cases[] = {{0, "Blues"},          {1, "Classic Rock"}, {17, "Rock"},
               {40, "AlternRock"},    {83, "Swing"},       {84, "Fast Fusion"},
               {85, "Bebob"},         {115, "Folklore"},   {116, "Nothing"},
               {200, "Nothing"},      {255, "Nothing"}};
  for (const Case& c : cases) EXPECT_EQ(GenreName(uint8_t(c.genre)), c.name) << c.genre;
}

}  // namespace quorbel::test
