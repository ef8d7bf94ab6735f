#include "sample/mpeg_builder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace quorbel::sample {

namespace {

constexpr uint8_t kFooterFlag = 0x10;
constexpr size_t kId3v2IdSize = 3;  // "ID3", or "3DI" in the footer
constexpr size_t kId3v2HeaderSize = 10;

std::string Syncsafe(uint32_t n) {
  std::string b;
  for (int shift = 21; shift >= 0; shift -= 7) b += char((n >> shift) & 0x7F);
  return b;
}

std::string BigEndian(uint32_t n, int bytes) {
  std::string b;
  for (int i = bytes - 1; i >= 0; --i) b += char((n >> (8 * i)) & 0xFF);
  return b;
}

}  // namespace

FrameHeader HeaderOf(int version_code, int layer_code, int bitrate_index, int sample_rate_index,
                     int channel_mode) {
  return FrameHeader{.version_code = version_code,
                     .layer_code = layer_code,
                     .bitrate_index = bitrate_index,
                     .sample_rate_index = sample_rate_index,
                     .channel_mode = channel_mode};
}

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

std::string Id3v2Tag(int major, const std::string& body, uint8_t flags) {
  return std::string("ID3") + char(major) + '\0' + char(flags) + Syncsafe(uint32_t(body.size())) +
         body;
}

// The footer repeats the header after "3DI" in place of "ID3".
std::string Id3v2Bytes(const std::string& payload, bool footer) {
  const std::string tag = Id3v2Tag(3, payload, footer ? kFooterFlag : 0);
  if (!footer) return tag;
  return tag + "3DI" + tag.substr(kId3v2IdSize, kId3v2HeaderSize - kId3v2IdSize);
}

std::string Id3v2Frame(int major, const std::string& id, const std::string& data,
                       uint8_t format_flags) {
  const uint32_t size = uint32_t(data.size());
  if (major == 2) return id + BigEndian(size, 3) + data;
  return id + (major == 4 ? Syncsafe(size) : BigEndian(size, 4)) + '\0' + char(format_flags) +
         data;
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

namespace {
// kbit/s by [MPEG 1 or MPEG 2/2.5][layer I, II, III][index 1..14]. The
// reader has the same table; this one is typed apart from it on purpose, so
// that the tests' frame lengths do not take a wrong entry from the reader.
constexpr int kKbits[2][3][14] = {
    {{32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
// Hz by version code (2.5, reserved, 2, 1) and sample-rate index.
constexpr int kHertz[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000},
                              {44100, 48000, 32000}};
}  // namespace

int FrameLength(const FrameHeader& h) {
  if (h.version_code == 1 || h.layer_code == 0 || h.sample_rate_index == 3 ||
      h.bitrate_index == 0 || h.bitrate_index == 15) {
    return 0;
  }
  bool mpeg1 = h.version_code == 3;
  int layer = 4 - h.layer_code;  // 1, 2 or 3
  int bits_per_second = kKbits[mpeg1 ? 0 : 1][layer - 1][h.bitrate_index - 1] * 1000;
  int hertz = kHertz[h.version_code][h.sample_rate_index];
  if (layer == 1) return (12 * bits_per_second / hertz + h.padding_bit) * 4;
  // Layer III of MPEG 2 and 2.5 carries half the samples per frame.
  int factor = (layer == 3 && !mpeg1) ? 72 : 144;
  return factor * bits_per_second / hertz + h.padding_bit;
}

std::string Frames(const FrameHeader& header, int count) {
  std::string frame = HeaderBytes(header);
  frame.resize(size_t(std::max(FrameLength(header), 4)), '\0');
  std::string frames;
  for (int i = 0; i < count; ++i) frames += frame;
  return frames;
}

bool WriteSparseFile(const std::string& path, const std::string& head, const std::string& tail,
                     int64_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(head.data(), 1, head.size(), file) == head.size();
  ok = std::fclose(file) == 0 && ok;
  std::error_code error;
  std::filesystem::resize_file(path, uint64_t(size - int64_t(tail.size())), error);
  if (!ok || error) return false;
  file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return false;
  ok = std::fwrite(tail.data(), 1, tail.size(), file) == tail.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace quorbel::sample
