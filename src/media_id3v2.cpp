#include "media_id3v2.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "cp1252.h"
#include "media_genre.h"

namespace quorbel::id3v2 {

namespace {

using Bytes = std::span<const uint8_t>;

// Tag header: "ID3", major and revision version, flags, four syncsafe size bytes.
constexpr size_t kVersionAt = 3, kFlagsAt = 5, kSizeAt = 6;
constexpr size_t kFooterSize = 10;
constexpr uint8_t kBadVersionByte = 0xFF;
constexpr uint8_t kSyncsafeLimit = 0x80;
constexpr uint8_t kUnsyncFlag = 0x80;
constexpr uint8_t kExtendedHeaderFlag = 0x40;  // 2.3 and 2.4
constexpr uint8_t kCompressedTagFlag = 0x40;   // 2.2: the tag cannot be read
constexpr uint8_t kFooterFlag = 0x10;          // 2.4

// Frame headers: 2.2 has a three-letter id and three size bytes; 2.3 and 2.4
// a four-letter id, four size bytes and two flag bytes.
constexpr size_t kV22IdSize = 3, kV22SizeBytes = 3, kV22FrameHeaderSize = 6;
constexpr size_t kIdSize = 4, kFrameHeaderSize = 10, kFormatFlagsAt = 9;

// Frame format flags (the frame header's second flag byte).
constexpr uint8_t kV23Compressed = 0x80, kV23Encrypted = 0x40, kV23Grouped = 0x20;
constexpr uint8_t kV24Grouped = 0x40, kV24Compressed = 0x08, kV24Encrypted = 0x04,
                  kV24Unsynchronised = 0x02, kV24DataLength = 0x01;
constexpr size_t kGroupByteSize = 1, kDataLengthSize = 4;

// Text encodings; the first byte of every text frame.
constexpr uint8_t kLatin1 = 0, kUtf16WithBom = 1, kUtf16BigEndian = 2, kUtf8 = 3;
constexpr size_t kLanguageSize = 3;  // a comment's language code
constexpr size_t kYearWidth = 4;
constexpr uint32_t kMostTrack = 255;
constexpr unsigned kNoGenre = 255;
constexpr char32_t kByteOrderMark = 0xFEFF;
constexpr uint16_t kHighSurrogates = 0xD800, kLowSurrogates = 0xDC00, kSurrogatesEnd = 0xE000;
constexpr char32_t kBeyondTheCodePage = 0x10000;
constexpr char kUnrepresentable = '?';

uint32_t BigEndian(const uint8_t* p, size_t n) {
  uint32_t value = 0;
  for (size_t i = 0; i < n; ++i) value = value << 8 | p[i];
  return value;
}

bool IsSyncsafe(const uint8_t* p) {
  return std::all_of(p, p + 4, [](uint8_t b) { return b < kSyncsafeLimit; });
}

uint32_t Syncsafe(const uint8_t* p) {
  return uint32_t(p[0]) << 21 | uint32_t(p[1]) << 14 | uint32_t(p[2]) << 7 | p[3];
}

// Undoes unsynchronisation: every FF 00 pair stands for FF.
std::vector<uint8_t> Resync(Bytes bytes) {
  std::vector<uint8_t> out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    out.push_back(bytes[i]);
    if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0) ++i;
  }
  return out;
}

// ---- texts -------------------------------------------------------------------

// One code point in Windows-1252; "?" where the code page has none.
char ToCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return char(cp);
  if (cp > 0xFF && cp <= 0xFFFF) {
    for (unsigned byte = 0x80; byte < 0xA0; ++byte) {
      if (Cp1252ToUnicode(static_cast<unsigned char>(byte)) == cp) return char(byte);
    }
  }
  return kUnrepresentable;
}

void Append(std::string& out, char32_t cp) {
  if (cp == kByteOrderMark) return;
  out += ToCp1252(cp);
}

// A decoded string and the bytes it took, its terminator included.
struct Decoded {
  std::string text;
  size_t used = 0;
};

// ISO-8859-1 bytes stand as they are, like the texts of an ID3v1 tag.
Decoded DecodeLatin1(Bytes b) {
  size_t n = size_t(std::find(b.begin(), b.end(), 0) - b.begin());
  return {std::string(b.data(), b.data() + n), std::min(n + 1, b.size())};
}

Decoded DecodeUtf16(Bytes b, bool big_endian) {
  Decoded d;
  size_t i = 0;
  auto unit = [&](size_t at) {
    return big_endian ? uint16_t(b[at] << 8 | b[at + 1]) : uint16_t(b[at + 1] << 8 | b[at]);
  };
  if (b.size() >= 2 && (b[0] == 0xFE || b[0] == 0xFF) && b[1] == (b[0] ^ 0x01)) {
    big_endian = b[0] == 0xFE;  // the byte-order mark decides
    i = 2;
  }
  for (; i + 1 < b.size(); i += 2) {
    uint16_t u = unit(i);
    if (u == 0) {
      d.used = i + 2;
      return d;
    }
    bool high = u >= kHighSurrogates && u < kLowSurrogates;
    auto low = [](uint16_t v) { return v >= kLowSurrogates && v < kSurrogatesEnd; };
    if (high && i + 3 < b.size() && low(unit(i + 2))) i += 2;
    // A pair (or half of one) stands for a code point beyond the code page.
    bool surrogate = u >= kHighSurrogates && u < kSurrogatesEnd;
    Append(d.text, surrogate ? kBeyondTheCodePage : char32_t(u));
  }
  d.used = b.size();
  return d;
}

// The length of the UTF-8 sequence a lead byte opens; 0 for a stray byte.
size_t Utf8Length(uint8_t lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

Decoded DecodeUtf8(Bytes b) {
  Decoded d;
  size_t i = 0;
  while (i < b.size() && b[i] != 0) {
    size_t n = Utf8Length(b[i]);
    bool whole = n > 0 && i + n <= b.size() &&
                 std::all_of(b.begin() + long(i) + 1, b.begin() + long(i + n),
                             [](uint8_t c) { return (c & 0xC0) == 0x80; });
    if (!whole) {
      Append(d.text, kUnrepresentable);
      ++i;
      continue;
    }
    char32_t cp = n == 1 ? b[i] : b[i] & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) cp = cp << 6 | (b[i + k] & 0x3F);
    Append(d.text, cp);
    i += n;
  }
  d.used = std::min(i + 1, b.size());
  return d;
}

std::optional<Decoded> DecodeString(uint8_t encoding, Bytes b) {
  switch (encoding) {
    case kLatin1: return DecodeLatin1(b);
    case kUtf16WithBom: return DecodeUtf16(b, false);
    case kUtf16BigEndian: return DecodeUtf16(b, true);
    case kUtf8: return DecodeUtf8(b);
    default: return std::nullopt;
  }
}

// Control characters would break a list line: they become blanks. Then
// leading and trailing blanks go, as in an ID3v1 tag, and long texts are cut.
std::string Clean(std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return uint8_t(c) < ' '; }, ' ');
  auto blank = [](char c) { return c == ' '; };
  text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
  if (text.size() > kMostTextBytes) text.resize(kMostTextBytes);
  while (!text.empty() && blank(text.back())) text.pop_back();
  return text;
}

// ---- frames ------------------------------------------------------------------

bool IsIdCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

enum class Field { kTitle, kArtist, kAlbum, kYear, kGenre, kTrack, kComment };
constexpr size_t kFieldCount = 7;

struct FrameId {
  const char* v22;
  const char* v23;  // also 2.4
  Field field;
};
constexpr FrameId kFrameIds[] = {
    {"TT2", "TIT2", Field::kTitle}, {"TP1", "TPE1", Field::kArtist},
    {"TAL", "TALB", Field::kAlbum}, {"TYE", "TYER", Field::kYear},
    {"TDR", "TDRC", Field::kYear},  {"TCO", "TCON", Field::kGenre},
    {"TRK", "TRCK", Field::kTrack}, {"COM", "COMM", Field::kComment}};

std::optional<Field> FieldOf(const std::string& id, bool v22) {
  for (const FrameId& f : kFrameIds) {
    if (id == (v22 ? f.v22 : f.v23)) return f.field;
  }
  return std::nullopt;
}

// "(17)", "17" and "(17)Rock" are genre numbers; any other text stands.
std::string GenreText(const std::string& text) {
  size_t from = text.size() > 1 && text[0] == '(' ? 1 : 0;
  size_t to = from;
  while (to < text.size() && to - from < 3 && std::isdigit(static_cast<unsigned char>(text[to]))) {
    ++to;
  }
  bool numbered = to > from && (from == 1 ? to < text.size() && text[to] == ')' : to == text.size());
  if (!numbered) return text;
  unsigned number = 0;
  for (size_t i = from; i < to; ++i) number = number * 10 + unsigned(text[i] - '0');
  return GenreName(uint8_t(std::min(number, kNoGenre)));  // 256 to 999: no genre either
}

// "5/12" is track 5.
uint8_t TrackNumber(const std::string& text) {
  uint32_t n = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    n = std::min(n * 10 + uint32_t(c - '0'), kMostTrack + 1);
  }
  return n > kMostTrack ? 0 : uint8_t(n);
}

// iTunes keeps its loudness and gapless data in comments with a description
// "iTunNORM", "iTunSMPB", ...: those are not the user's comment (rank 0).
// A comment without a description is preferred to one with.
int CommentRank(const std::string& description) {
  if (description.empty()) return 2;
  return description.rfind("iTun", 0) == 0 ? 0 : 1;
}

class TextReader {
 public:
  explicit TextReader(uint8_t major) : major_(major) {}
  void ReadFrames(Bytes body, bool all_unsynchronised);
  std::optional<Text> Result();

 private:
  bool v22() const { return major_ == 2; }
  size_t FrameHeaderSize() const { return v22() ? kV22FrameHeaderSize : kFrameHeaderSize; }
  // The frame's content with its additions removed; none for a frame that
  // cannot be read (compressed, encrypted).
  std::optional<Bytes> Content(Bytes frame, uint8_t format_flags, bool unsynchronised,
                               std::vector<uint8_t>& storage) const;
  void Take(Field field, Bytes content);

  uint8_t major_;
  Text text_;
  bool found_[kFieldCount] = {};
  int comment_rank_ = -1;
};

void TextReader::ReadFrames(Bytes body, bool all_unsynchronised) {
  const size_t id_size = v22() ? kV22IdSize : kIdSize;
  size_t at = 0;
  while (at + FrameHeaderSize() <= body.size()) {
    const uint8_t* h = body.data() + at;
    std::string id(h, h + id_size);
    if (!std::all_of(id.begin(), id.end(), IsIdCharacter)) break;  // padding, or garbage
    // 2.4 sizes are syncsafe; one that is not comes from a writer that
    // forgot, and is taken as a plain number.
    const uint8_t* size_bytes = h + id_size;
    uint32_t size = v22() ? BigEndian(size_bytes, kV22SizeBytes)
                    : (major_ == 4 && IsSyncsafe(size_bytes)) ? Syncsafe(size_bytes)
                                                              : BigEndian(size_bytes, 4);
    at += FrameHeaderSize();
    if (size > body.size() - at) break;
    Bytes frame = body.subspan(at, size);
    at += size;
    std::optional<Field> field = FieldOf(id, v22());
    if (!field) continue;
    std::vector<uint8_t> storage;
    uint8_t format_flags = v22() ? 0 : h[kFormatFlagsAt];
    if (auto content = Content(frame, format_flags, all_unsynchronised, storage)) {
      Take(*field, *content);
    }
  }
}

std::optional<Bytes> TextReader::Content(Bytes frame, uint8_t flags, bool unsynchronised,
                                         std::vector<uint8_t>& storage) const {
  size_t skip = 0;
  if (major_ == 3) {
    if (flags & (kV23Compressed | kV23Encrypted)) return std::nullopt;
    if (flags & kV23Grouped) skip += kGroupByteSize;
  } else if (major_ == 4) {
    if (flags & (kV24Compressed | kV24Encrypted)) return std::nullopt;
    if (flags & kV24Grouped) skip += kGroupByteSize;
    if (flags & kV24DataLength) skip += kDataLengthSize;
    unsynchronised = unsynchronised || (flags & kV24Unsynchronised);
  } else {
    unsynchronised = false;  // 2.2 and 2.3 were resynchronised as a whole
  }
  if (skip > frame.size()) return std::nullopt;
  frame = frame.subspan(skip);
  if (!unsynchronised) return frame;
  storage = Resync(frame);
  return Bytes(storage);
}

void TextReader::Take(Field field, Bytes content) {
  if (content.empty()) return;
  const uint8_t encoding = content[0];
  Bytes rest = content.subspan(1);
  std::string description;
  if (field == Field::kComment) {
    if (rest.size() < kLanguageSize) return;
    rest = rest.subspan(kLanguageSize);
    auto d = DecodeString(encoding, rest);
    if (!d) return;
    description = d->text;
    rest = rest.subspan(d->used);
    const int rank = CommentRank(description);
    if (rank == 0 || rank <= comment_rank_) return;
  } else if (found_[int(field)]) {
    return;  // the first frame of a kind counts
  }
  auto decoded = DecodeString(encoding, rest);
  if (!decoded) return;
  std::string value = Clean(decoded->text);
  found_[int(field)] = true;
  switch (field) {
    case Field::kTitle: text_.title = value; break;
    case Field::kArtist: text_.artist = value; break;
    case Field::kAlbum: text_.album = value; break;
    case Field::kYear: text_.year = value.substr(0, kYearWidth); break;
    case Field::kGenre: text_.genre = GenreText(value); break;
    case Field::kTrack: text_.track = TrackNumber(value); break;
    case Field::kComment:
      text_.comment = value;
      comment_rank_ = CommentRank(description);
      break;
  }
}

std::optional<Text> TextReader::Result() {
  if (std::none_of(std::begin(found_), std::end(found_), [](bool f) { return f; })) {
    return std::nullopt;
  }
  text_.version = "ID3v2." + std::to_string(major_);
  return text_;
}

// Where the frames begin behind an extended header; none when it does not fit.
std::optional<size_t> FramesStart(Bytes body, uint8_t major, uint8_t flags) {
  if (major == 2 || !(flags & kExtendedHeaderFlag)) return 0;
  if (body.size() < 4) return std::nullopt;
  // 2.3 counts the bytes after the size field, 2.4 the whole header.
  uint64_t size = major == 3 ? uint64_t(BigEndian(body.data(), 4)) + 4 : Syncsafe(body.data());
  if (size > body.size()) return std::nullopt;
  return size_t(size);
}

}  // namespace

std::optional<int64_t> TagSize(std::span<const uint8_t> head) {
  if (head.size() < kHeaderSize) return std::nullopt;
  const uint8_t* h = head.data();
  bool well_formed = std::memcmp(h, "ID3", 3) == 0 && h[kVersionAt] != kBadVersionByte &&
                     h[kVersionAt + 1] != kBadVersionByte && IsSyncsafe(h + kSizeAt);
  if (!well_formed) return std::nullopt;
  bool footer = (h[kFlagsAt] & kFooterFlag) != 0;
  return int64_t(kHeaderSize) + Syncsafe(h + kSizeAt) + (footer ? int64_t(kFooterSize) : 0);
}

std::optional<Text> ReadText(std::span<const uint8_t> tag) {
  if (!TagSize(tag)) return std::nullopt;
  const uint8_t major = tag[kVersionAt];
  const uint8_t flags = tag[kFlagsAt];
  if (major < 2 || major > 4) return std::nullopt;
  if (major == 2 && (flags & kCompressedTagFlag)) return std::nullopt;
  size_t body_size = std::min<size_t>(Syncsafe(tag.data() + kSizeAt), tag.size() - kHeaderSize);
  Bytes body = tag.subspan(kHeaderSize, body_size);
  std::vector<uint8_t> storage;
  const bool unsynchronised = (flags & kUnsyncFlag) != 0;
  if (unsynchronised && major != 4) {  // 2.4 marks it frame by frame
    storage = Resync(body);
    body = storage;
  }
  auto start = FramesStart(body, major, flags);
  if (!start) return std::nullopt;
  TextReader reader(major);
  reader.ReadFrames(body.subspan(*start), unsynchronised && major == 4);
  return reader.Result();
}

}  // namespace quorbel::id3v2
