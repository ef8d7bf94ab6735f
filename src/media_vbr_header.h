// The frame-count headers an encoder puts into the first frame of a
// Layer III stream: Xing (variable bitrate), Info (the same layout, written
// for constant bitrate) and VBRI. Parsed from the bytes of the frame alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorbel {

enum class VbrKind { kNone, kXing, kInfo, kVbri };

struct VbrHeader {
  VbrKind kind = VbrKind::kNone;
  uint32_t frames = 0;  // the frame count; 0 when the header carries none
};

// Bytes from the start of a frame that reach every frame count: VBRI's
// count ends 54 bytes in, Xing's at most 48.
inline constexpr size_t kVbrHeaderReach = 54;

// The header in `frame`, which starts with the four header bytes and holds
// as much of the first frame as the caller has (up to kVbrHeaderReach).
// Xing and Info stand right after the side information, whose size follows
// from the version and the channel count; VBRI stands 32 bytes in.
VbrHeader FindVbrHeader(std::span<const uint8_t> frame, bool mpeg1, bool mono);

}  // namespace quorbel
