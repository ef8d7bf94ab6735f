// Reading a list into memory: whatever size the reader was told, it reads
// the file whole, in as many pieces as it takes, and lower-cases on request.
#include "serve_lookup_snapshot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace quorbel {

namespace {

struct HintCase {
  const char* what;
  int64_t hint_change;  // added to the true size; kNoHint gives no size
};
constexpr int64_t kNoHint = INT64_MIN;

class SnapshotReaderHints : public ::testing::TestWithParam<HintCase> {};

// A file that grew or shrank after its size was taken is still read to its
// real end.
TEST_P(SnapshotReaderHints, ReadsTheWholeFile) {
  for (size_t size : {size_t(0), size_t(1), size_t(5000), size_t(100000)}) {
    std::string content;
    for (size_t i = 0; i < size; ++i) content += "Ab\r\n"[i % 4];
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fwrite(content.data(), 1, content.size(), file);
    std::rewind(file);
    const int64_t change = GetParam().hint_change;
    const int64_t hint = change == kNoHint ? -1 : std::max<int64_t>(int64_t(size) + change, 0);
    SnapshotReader reader(file, "list.txt", Folding::kLowerAscii, hint, true);
    int pieces = 0;
    while (reader.ReadMore()) ASSERT_LT(++pieces, 100) << "read a byte at a time";
    std::fclose(file);
    std::string lowered = content;
    for (char& c : lowered) c = (c == 'A') ? 'a' : c;
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.bytes_read(), int64_t(size)) << size;
    EXPECT_EQ(reader.snapshot().text, lowered) << size;
  }
}

INSTANTIATE_TEST_SUITE_P(Hints, SnapshotReaderHints,
                         ::testing::Values(HintCase{"exact", 0}, HintCase{"grown", -3000},
                                           HintCase{"shrunk", 3000}, HintCase{"unknown", kNoHint}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace

}  // namespace quorbel
