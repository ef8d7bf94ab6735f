#include "mp3_fixtures.h"

#include <algorithm>

namespace quorbel::test {

std::string HeaderBytes(const FrameHeader& h) {
  std::string b(4, '\0');
  b[0] = char(0xFF);
  b[1] = char(0xE0 | (h.version_code & 3) << 3 | (h.layer_code & 3) << 1 | (h.protection_bit & 1));
  b[2] = char((h.bitrate_index & 15) << 4 | (h.sample_rate_index & 3) << 2 |
              (h.padding_bit & 1) << 1 | (h.private_bit & 1));
  b[3] = char((h.channel_mode & 3) << 6 | (h.mode_extension & 3) << 4 | (h.copyright_bit & 1) << 3 |
              (h.original_bit & 1) << 2 | (h.emphasis & 3));
  return b;
}

std::string Id3v1Bytes(const Id3v1& tag) {
  std::string b(128, '\0');
  auto put = [&b](size_t at, const std::string& text, size_t width) {
    std::copy_n(text.begin(), std::min(text.size(), width), b.begin() + long(at));
  };
  put(0, "TAG", 3);
  put(3, tag.title, 30);
  put(33, tag.artist, 30);
  put(63, tag.album, 30);
  put(93, tag.year, 4);
  put(97, tag.comment, tag.track ? 28 : 30);
  if (tag.track) {
    b[125] = '\0';
    b[126] = char(*tag.track);
  }
  b[127] = char(tag.genre);
  return b;
}

std::string Id3v2Bytes(const std::string& payload, bool footer) {
  uint32_t size = uint32_t(payload.size());
  std::string head = "ID3";
  head += char(3);
  head += char(0);
  head += char(footer ? 0x10 : 0);
  for (int shift = 21; shift >= 0; shift -= 7) head += char((size >> shift) & 0x7F);
  std::string tag = head + payload;
  if (footer) tag += "3DI" + head.substr(3);
  return tag;
}

std::string MpegFile(int64_t size, const FrameHeader& header, const std::optional<Id3v1>& tag,
                     const std::string& leading) {
  std::string body = leading + HeaderBytes(header);
  std::string tail = tag ? Id3v1Bytes(*tag) : "";
  int64_t fill = size - int64_t(body.size()) - int64_t(tail.size());
  if (fill > 0) body.append(size_t(fill), '\0');
  body += tail;
  body.resize(size_t(size));
  return body;
}

}  // namespace quorbel::test
