#include "media_vbr_header.h"

#include <cstring>

namespace quorbel {

namespace {

constexpr size_t kFrameHeaderSize = 4;
// Side information of a Layer III frame, by MPEG 1 or not and channel count.
constexpr size_t kSideInfoMpeg1Stereo = 32, kSideInfoMpeg1Mono = 17;
constexpr size_t kSideInfoMpeg2Stereo = 17, kSideInfoMpeg2Mono = 9;
constexpr size_t kVbriAt = kFrameHeaderSize + 32;

constexpr size_t kIdSize = 4;
constexpr uint32_t kXingFramesFlag = 0x1;
constexpr size_t kXingFramesAt = kIdSize + 4;  // after the id and the flags
constexpr size_t kVbriFramesAt = kIdSize + 10;  // after id, version, delay, quality, bytes

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool HasId(std::span<const uint8_t> frame, size_t at, const char* id) {
  return frame.size() >= at + kIdSize && std::memcmp(frame.data() + at, id, kIdSize) == 0;
}

size_t XingOffset(bool mpeg1, bool mono) {
  size_t side_info = mpeg1 ? (mono ? kSideInfoMpeg1Mono : kSideInfoMpeg1Stereo)
                           : (mono ? kSideInfoMpeg2Mono : kSideInfoMpeg2Stereo);
  return kFrameHeaderSize + side_info;
}

// Xing and Info: id, flags, then the frame count when the flags announce it.
VbrHeader ReadXing(std::span<const uint8_t> frame, size_t at, VbrKind kind) {
  VbrHeader header{kind, 0};
  if (frame.size() < at + kXingFramesAt + 4) return header;
  uint32_t flags = BigEndian32(frame.data() + at + kIdSize);
  if (flags & kXingFramesFlag) header.frames = BigEndian32(frame.data() + at + kXingFramesAt);
  return header;
}

}  // namespace

VbrHeader FindVbrHeader(std::span<const uint8_t> frame, bool mpeg1, bool mono) {
  const size_t xing = XingOffset(mpeg1, mono);
  if (HasId(frame, xing, "Xing")) return ReadXing(frame, xing, VbrKind::kXing);
  if (HasId(frame, xing, "Info")) return ReadXing(frame, xing, VbrKind::kInfo);
  if (HasId(frame, kVbriAt, "VBRI")) {
    VbrHeader header{VbrKind::kVbri, 0};
    if (frame.size() >= kVbriAt + kVbriFramesAt + 4) {
      header.frames = BigEndian32(frame.data() + kVbriAt + kVbriFramesAt);
    }
    return header;
  }
  return {};
}

}  // namespace quorbel
