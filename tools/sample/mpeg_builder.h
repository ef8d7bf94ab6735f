// Builders of MPEG audio files: a frame header, ID3v1 and ID3v2 tags, and
// whole files of a chosen size made from them, in memory or on disk (sparse
// between the head and the tag, so that large files cost little disk). The
// tests, the benchmarks and the sample-tree maker build their files here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorbel::sample {

// The coded fields of a four-byte MPEG audio frame header. The defaults
// give MPEG 1 Layer III, 128 kbit/s, 44100 Hz, joint stereo.
struct FrameHeader {
  int version_code = 3;      // 0 = 2.5, 1 = reserved, 2 = MPEG 2, 3 = MPEG 1
  int layer_code = 1;        // 0 = reserved, 1 = III, 2 = II, 3 = I
  int protection_bit = 1;    // 1 = no CRC
  int bitrate_index = 9;
  int sample_rate_index = 0;
  int padding_bit = 0;
  int private_bit = 0;
  int channel_mode = 1;      // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  int mode_extension = 0;
  int copyright_bit = 0;
  int original_bit = 0;
  int emphasis = 0;
};

// The header of a version, layer, bitrate, sample rate and channel mode
// (all as coded), the other fields at their defaults.
FrameHeader HeaderOf(int version_code, int layer_code, int bitrate_index,
                     int sample_rate_index = 0, int channel_mode = 1);

std::string HeaderBytes(const FrameHeader& header);

struct Id3v1 {
  std::string title, artist, album, year, comment;
  std::optional<uint8_t> track;  // set: an ID3v1.1 tag (byte 125 zero, byte 126 the track)
  uint8_t genre = 255;
};

// The 128-byte tag block, "TAG" first; texts are cut to their widths.
std::string Id3v1Bytes(const Id3v1& tag);

// A well-formed ID3v2.3 tag with `payload` bytes after its 10-byte header;
// `footer` sets the footer flag and appends the 10-byte footer.
std::string Id3v2Bytes(const std::string& payload, bool footer = false);

// An ID3v2.`major` tag around `body` (an extended header, frames, padding)
// with the tag header's flag byte `flags`.
std::string Id3v2Tag(int major, const std::string& body, uint8_t flags = 0);

// One frame of an ID3v2.`major` tag: 2.2 has three-letter ids and three
// size bytes, 2.3 four plain size bytes, 2.4 four syncsafe ones; the second
// flag byte of 2.3 and 2.4 is `format_flags`.
std::string Id3v2Frame(int major, const std::string& id, const std::string& data,
                       uint8_t format_flags = 0);

// A file of exactly `size` bytes: `leading` bytes, the header, zero filling,
// and the ID3v1 tag at the end when given.
std::string MpegFile(int64_t size, const FrameHeader& header = {},
                     const std::optional<Id3v1>& tag = std::nullopt,
                     const std::string& leading = "");

// The length in bytes of a frame with this header, as a decoder steps from
// frame to frame (the padding bit adds a slot); 0 for the free and bad
// bitrate indices and the reserved codes.
int FrameLength(const FrameHeader& header);

// `count` frames of that length, each the header and zero bytes: a stream
// that decoders accept.
std::string Frames(const FrameHeader& header, int count);

// Writes a file of `size` bytes: `head` at its start, `tail` at its very
// end and zero bytes between, left as a hole where the file system can.
// False when the file cannot be written.
bool WriteSparseFile(const std::string& path, const std::string& head, const std::string& tail,
                     int64_t size);

}  // namespace quorbel::sample
