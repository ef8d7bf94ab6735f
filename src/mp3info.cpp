// The MPEG audio frame header and ID3v1 tag reader.
//
// A file is opened once per ReadInformation and read through a window of
// whole blocks: the first block usually holds the frame header; the frame
// search continues in larger blocks only when it has to, and the tag comes
// from the window when it already reaches the end of the file, else from
// one read of the last 128 bytes. The decoding works on the bytes alone
// (media_vbr_header, media_id3v2): what the file gives the reader is, in order,
//   - the leading ID3v2 tag's header (10 bytes), whose size tells where
//     the frame search starts;
//   - from there to the first sync, plus kVbrHeaderReach bytes of that
//     frame for its frame-count header;
//   - the last 128 bytes;
//   - with ReadId3v2 and no ID3v1 tag, the whole leading ID3v2 tag.
#include "mp3info.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "engine_text.h"
#include "media_genre.h"
#include "media_id3v2.h"
#include "media_vbr_header.h"

namespace quorbel {

namespace {

constexpr size_t kHeaderSize = 4;
constexpr uint16_t kSyncValue = 0x7FF;  // eleven set bits
// One page: the frame header and its frame-count header at the start, and
// also behind the ID3v2 tag most taggers write (a few frames of text and
// 1-2 KB of padding), with no second read.
constexpr size_t kFirstBlock = 4096;
constexpr size_t kNextBlock = 64 * 1024;  // for searches through long leading data
constexpr size_t kTagSize = 128;

// The most of a leading ID3v2 tag read for its texts; a larger tag is read
// that far (its text frames come first in practice).
constexpr size_t kMostId3v2Read = 16 * 1024 * 1024;

// The most bytes a window is asked to hold at once (the start of the first
// frame, an ID3v2 header); what a new block keeps of the old one is fewer.
constexpr size_t kMostHeld = std::max(id3v2::kHeaderSize, kVbrHeaderReach);

// A forward-moving view of an open file, the only buffer between the reader
// and the system. The first block sits in the window itself, so reading a
// file asks the heap for nothing unless the search needs larger blocks.
class FileWindow {
 public:
  explicit FileWindow(RandomAccessFile& file) : file_(file) {}
  FileWindow(const FileWindow&) = delete;
  FileWindow& operator=(const FileWindow&) = delete;

  // Makes the window hold `count` (at most kMostHeld) bytes from file
  // position `pos` on, never behind the window's start; false when the file
  // ends before that.
  bool Hold(int64_t pos, size_t count);

  const uint8_t* At(int64_t pos) const { return bytes_ + (pos - start_); }
  int64_t Start() const { return start_; }
  int64_t End() const { return start_ + int64_t(size_); }

  // The file's last `count` bytes if the window holds them, else null.
  const uint8_t* Last(size_t count) const {
    return at_eof_ && size_ >= count ? bytes_ + size_ - count : nullptr;
  }

 private:
  // Moves what the window holds into a buffer for the larger blocks.
  void Grow();

  RandomAccessFile& file_;
  uint8_t first_[kFirstBlock + kMostHeld];
  std::unique_ptr<uint8_t[]> large_;
  uint8_t* bytes_ = first_;
  size_t size_ = 0;
  int64_t start_ = 0;     // file position of the first byte held; the file is read up to End()
  bool fresh_ = true;     // the next read is the first since opening or seeking
  bool exhausted_ = false;  // the last read came back short
  bool at_eof_ = false;     // ... because the file ended there
};

void FileWindow::Grow() {
  large_ = std::make_unique<uint8_t[]>(kNextBlock + kMostHeld);
  std::memcpy(large_.get(), first_, size_);
  bytes_ = large_.get();
}

bool FileWindow::Hold(int64_t pos, size_t count) {
  if (pos < start_ || count > kMostHeld) return false;
  if (pos + int64_t(count) <= End()) return true;
  if (exhausted_) return false;
  const int64_t read_at = std::max(pos, End());
  if (pos > End()) fresh_ = true;  // a jump: the block after it starts small again
  const size_t block = fresh_ ? kFirstBlock : kNextBlock;
  if (block == kNextBlock && large_ == nullptr) Grow();
  size_t keep = 0;
  if (pos < End()) {
    keep = size_t(End() - pos);  // fewer than `count`: the rest of the old block
    std::memmove(bytes_, At(pos), keep);
  }
  const int64_t got = file_.Read(read_at, block, bytes_ + keep);
  fresh_ = false;
  start_ = pos;
  size_ = keep + size_t(std::max<int64_t>(got, 0));
  exhausted_ = got < int64_t(block);
  at_eof_ = got >= 0 && exhausted_;
  return size_ >= count;
}

// The size of a well-formed leading ID3v2 tag (header, body, footer); 0
// without one. The frame search starts behind it: its UTF-16 texts and
// pictures would otherwise give false syncs.
int64_t LeadingTagSize(FileWindow& window) {
  if (!window.Hold(0, id3v2::kHeaderSize)) return 0;
  return id3v2::TagSize({window.At(0), id3v2::kHeaderSize}).value_or(0);
}

bool IsSync(const uint8_t* p) { return p[0] == 0xFF && (p[1] & 0xE0) == 0xE0; }

// The position of the first four bytes from `pos` on that begin with the
// sync pattern, tested at every position; none when fewer than four remain.
std::optional<int64_t> FindFrameHeader(FileWindow& window, int64_t pos) {
  while (window.Hold(pos, kHeaderSize)) {
    const uint8_t* p = window.At(pos);
    const uint8_t* last = window.At(window.End() - int64_t(kHeaderSize));
    while (p <= last) {
      p = static_cast<const uint8_t*>(std::memchr(p, 0xFF, size_t(last - p) + 1));
      if (p == nullptr) break;
      if (IsSync(p)) return window.Start() + (p - window.At(window.Start()));
      ++p;
    }
    pos = window.End() - int64_t(kHeaderSize) + 1;
  }
  return std::nullopt;
}

// The start of the frame at `pos`: kVbrHeaderReach bytes, fewer where the
// file ends first (the four header bytes are held already).
std::span<const uint8_t> FrameStart(FileWindow& window, int64_t pos) {
  window.Hold(pos, kVbrHeaderReach);
  size_t held = size_t(std::min<int64_t>(window.End() - pos, int64_t(kVbrHeaderReach)));
  return {window.At(pos), held};
}

// The last 128 bytes of the file; false when the file is shorter or the
// read comes back short.
bool ReadTail(RandomAccessFile& file, const FileWindow& window, int64_t file_size,
              uint8_t (&tail)[kTagSize]) {
  if (const uint8_t* held = window.Last(kTagSize)) {
    std::copy_n(held, kTagSize, tail);
    return true;
  }
  return file_size >= int64_t(kTagSize) &&
         file.Read(file_size - int64_t(kTagSize), kTagSize, tail) == int64_t(kTagSize);
}

// The file's first `count` bytes, from the window while it still holds
// them; empty when the read comes back short.
std::span<const uint8_t> ReadHead(RandomAccessFile& file, const FileWindow& window, size_t count,
                                  std::vector<uint8_t>& storage) {
  if (window.Start() == 0 && window.End() >= int64_t(count)) return {window.At(0), count};
  storage.resize(count);
  if (file.Read(0, count, storage.data()) != int64_t(count)) return {};
  return storage;
}

// ---- the coded header values ----------------------------------------------

struct VersionRow {
  const char* text;
  float number;
};
constexpr VersionRow kVersions[4] = {{"MPEG Version 2.5", 2.5f},
                                     {"reserved", 0},
                                     {"MPEG Version 2 (ISO/IEC 13818-3)", 2},
                                     {"MPEG Version 1 (ISO/IEC 11172-3)", 1}};
constexpr uint8_t kMpeg1Code = 3;

constexpr const char* kLayerTexts[4] = {"reserved", "Layer III", "Layer II", "Layer I"};
constexpr uint8_t kLayerNumbers[4] = {0, 3, 2, 1};

constexpr const char* kChannelModes[4] = {"Stereo", "Joint stereo", "Dual channel",
                                          "Single channel"};
constexpr uint8_t kStereoCode = 0;
constexpr uint8_t kJointStereoCode = 1;

constexpr const char* kEmphases[4] = {"none", "50/15 ms", "reserved", "CCIT J.17"};

constexpr const char* kBandExtensions[4] = {"bands 4 - 31", "bands 8 - 31", "bands 12 - 31",
                                            "bands 16 - 31"};
constexpr const char* kStereoExtensions[4] = {
    "Intensity stereo off - MS stereo off", "Intensity stereo on - MS stereo off",
    "Intensity stereo off - MS stereo on", "Intensity stereo on - MS stereo on"};

// kbit/s for bitrate indices 1 to 14, by MPEG 1 or MPEG 2/2.5 and layer.
constexpr int16_t kBitrates[2][3][14] = {
    {{32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
constexpr uint8_t kFreeBitrateIndex = 0;
constexpr uint8_t kBadBitrateIndex = 15;
constexpr int16_t kBadBitrate = -1;

// Hz by version code and sample-rate index; index 3 is reserved.
constexpr uint16_t kSampleRates[4][4] = {
    {11025, 12000, 8000, 0}, {0, 0, 0, 0}, {22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

// The variable-bitrate estimate: an MPEG 1 Layer III stereo header at
// 48 kbit/s marks it; the time comes from a fixed average rate.
constexpr int16_t kVariableMarkBitrate = 48;
constexpr double kVariableBytesPerSecond = 15876.24752;
constexpr int32_t kVariableExtraSeconds = 10;
constexpr int64_t kBytesPerKbit = 125;

// Samples per frame: Layer I 384, Layer II 1152, Layer III 1152 in MPEG 1
// and 576 in MPEG 2 and 2.5.
constexpr int64_t kLayer1Samples = 384, kLayer2Samples = 1152, kLayer3Mpeg1Samples = 1152,
                  kLayer3Mpeg2Samples = 576;
constexpr int64_t kBitsPerByte = 8;
constexpr uint8_t kSingleChannelCode = 3;
constexpr uint8_t kLowestBitrateIndex = 1;
// A frame count whose frames, each at the smallest size the header allows,
// would take more than this many times the audio bytes is not believed.
constexpr int64_t kMostTimesOver = 4;

int16_t LookUpBitrate(uint8_t version_code, uint8_t layer_number, uint8_t index) {
  if (kVersions[version_code].number == 0 || layer_number == 0) return 0;
  if (index == kFreeBitrateIndex) return 0;
  if (index == kBadBitrateIndex) return kBadBitrate;
  return kBitrates[version_code == kMpeg1Code ? 0 : 1][layer_number - 1][index - 1];
}

std::string ModeExtensionText(uint8_t channel_mode, uint8_t layer_number, uint8_t code) {
  if (channel_mode != kJointStereoCode) return "";
  if (layer_number == 3) return kStereoExtensions[code];
  if (layer_number == 1 || layer_number == 2) return kBandExtensions[code];
  return "";
}

int64_t SamplesPerFrame(uint8_t version_code, uint8_t layer_number) {
  if (layer_number == 1) return kLayer1Samples;
  if (layer_number == 2) return kLayer2Samples;
  return version_code == kMpeg1Code ? kLayer3Mpeg1Samples : kLayer3Mpeg2Samples;
}

int32_t ClampSeconds(int64_t seconds) {
  return int32_t(std::min<int64_t>(seconds, std::numeric_limits<int32_t>::max()));
}

// ---- the tag ---------------------------------------------------------------

constexpr size_t kTitleAt = 3, kArtistAt = 33, kAlbumAt = 63, kYearAt = 93, kCommentAt = 97;
constexpr size_t kTextWidth = 30, kYearWidth = 4;
constexpr size_t kVersionMarkAt = 125, kTrackAt = 126, kGenreAt = 127;

// A field up to its first zero byte, without leading and trailing bytes 0 to 32.
std::string TagText(const uint8_t* block, size_t at, size_t width) {
  const uint8_t* first = block + at;
  const uint8_t* last = std::find(first, first + width, 0);
  return Trim(std::string_view(reinterpret_cast<const char*>(first), size_t(last - first)));
}

}  // namespace

TMP3Information::TMP3Information(Env& env) : env_(env) {}

void TMP3Information::SetFileName(const std::string& path) {
  file_name_ = path;
  try {
    file_size_ = env_.FileSize(path);
  } catch (const std::exception&) {
    Info.Valid = false;
    file_size_ = -1;
  }
}

bool TMP3Information::ReadInformation() {
  std::unique_ptr<RandomAccessFile> file = env_.OpenRegularFile(file_name_, nullptr);
  if (!file) return false;
  return ReadOpenFile(*file);
}

bool TMP3Information::SetFileNameAndRead(const std::string& path) {
  int64_t size = -1;
  std::unique_ptr<RandomAccessFile> file = env_.OpenRegularFile(path, &size);
  if (!file) {
    SetFileName(path);  // measured as ever; there is nothing to read
    return false;
  }
  file_name_ = path;
  // The size comes with the open: asking for it by name would cost the
  // system another path lookup.
  if (size < 0) {
    file_size_ = -1;
    Info.Valid = false;
    return false;
  }
  file_size_ = size;
  return ReadOpenFile(*file);
}

bool TMP3Information::ReadOpenFile(RandomAccessFile& file) {
  FileWindow window(file);
  const bool wants_leading_tag = ReadHeader || (ReadTag && ReadId3v2);
  const int64_t leading_tag = wants_leading_tag ? LeadingTagSize(window) : 0;

  if (ReadHeader) {
    auto at = FindFrameHeader(window, leading_tag);
    if (!at) {
      Info.Valid = false;
      return false;  // the tag stays as it was
    }
    try {
      std::span<const uint8_t> frame = FrameStart(window, *at);
      DecodeHeader(frame.data());
      // The size formulas count audio bytes: the leading tag is no sound.
      if (Info.Valid) WorkOutPlayingTime(frame, std::max<int64_t>(file_size_ - leading_tag, 0));
    } catch (const std::exception&) {
      Info.Valid = false;
    }
  }
  if (ReadTag) {
    uint8_t tail[kTagSize];
    if (ReadTail(file, window, file_size_, tail)) {
      std::copy_n(tail, kTagSize, RawTag);
      Tag.Present = std::memcmp(RawTag, "TAG", 3) == 0;
    } else {
      Tag.Present = false;
    }
    if (Tag.Present) {
      DecodeTag();
    } else if (ReadId3v2 && leading_tag > 0 && leading_tag <= file_size_) {
      // A tag that claims more than the file holds is not read; one that
      // fails to read is as good as none.
      try {
        std::vector<uint8_t> storage;
        const size_t count = size_t(std::min<int64_t>(leading_tag, kMostId3v2Read));
        TakeId3v2Text(ReadHead(file, window, count, storage));
      } catch (const std::exception&) {
      }
    }
    if (!Tag.Present && !ReadHeader) return false;
  }
  return true;
}

void TMP3Information::TakeId3v2Text(std::span<const uint8_t> tag) {
  std::optional<id3v2::Text> text = id3v2::ReadText(tag);
  if (!text) return;
  Tag.TagVersion = text->version;
  Tag.Title = text->title;
  Tag.Artist = text->artist;
  Tag.Album = text->album;
  Tag.Year = text->year;
  Tag.Comment = text->comment;
  Tag.Track = text->track;
  Tag.Genre = text->genre;
  Tag.Present = true;
}

void TMP3Information::DecodeHeader(const uint8_t b[4]) {
  Sync = uint16_t(b[0] << 3 | b[1] >> 5);
  VersionCode = (b[1] >> 3) & 3;
  LayerCode = (b[1] >> 1) & 3;
  ProtectionBit = b[1] & 1;
  BitrateIndex = b[2] >> 4;
  SampleRateIndex = (b[2] >> 2) & 3;
  PaddingBit = (b[2] >> 1) & 1;
  PrivateBit = b[2] & 1;
  ChannelModeCode = b[3] >> 6;
  ModeExtensionCode = (b[3] >> 4) & 3;
  CopyrightBit = (b[3] >> 3) & 1;
  OriginalBit = (b[3] >> 2) & 1;
  EmphasisCode = b[3] & 3;

  Info.Version = kVersions[VersionCode].text;
  Info.VersionNumber = kVersions[VersionCode].number;
  Info.Layer = kLayerTexts[LayerCode];
  Info.LayerNumber = kLayerNumbers[LayerCode];
  Info.CRCProtected = ProtectionBit == 0;
  Info.Bitrate = LookUpBitrate(VersionCode, Info.LayerNumber, BitrateIndex);
  bool reserved = Info.VersionNumber == 0 || Info.LayerNumber == 0;
  Info.SampleRate = reserved ? 0 : kSampleRates[VersionCode][SampleRateIndex];
  Info.Padding = PaddingBit == 1;
  Info.ChannelMode = kChannelModes[ChannelModeCode];
  Info.ModeExtension = ModeExtensionText(ChannelModeCode, Info.LayerNumber, ModeExtensionCode);
  Info.Copyright = CopyrightBit == 1;
  Info.Original = OriginalBit == 1;
  Info.Emphasis = kEmphases[EmphasisCode];

  Info.Valid = Sync == kSyncValue && Info.VersionNumber != 0 && Info.LayerNumber != 0 &&
               Info.SampleRate != 0 && file_size_ != 0;
}

void TMP3Information::WorkOutPlayingTime(std::span<const uint8_t> frame, int64_t audio_bytes) {
  Info.Length = 0;
  Info.VariableBitrate = false;
  if (TimeFromFrameCount(frame, audio_bytes)) return;
  Info.VariableBitrate = Info.Bitrate == kVariableMarkBitrate && VersionCode == kMpeg1Code &&
                         Info.LayerNumber == 3 &&
                         (ChannelModeCode == kStereoCode || ChannelModeCode == kJointStereoCode);
  if (Info.VariableBitrate) {
    Info.Length = ClampSeconds(
        int64_t(double(audio_bytes) / kVariableBytesPerSecond + kVariableExtraSeconds));
  } else if (Info.Bitrate > 0) {
    Info.Length = ClampSeconds(audio_bytes / (Info.Bitrate * kBytesPerKbit));
  }
}

// Xing and VBRI mark a variable bitrate, Info a constant one; either way
// their frame count gives the time. False for a missing or unbelievable count.
bool TMP3Information::TimeFromFrameCount(std::span<const uint8_t> frame, int64_t audio_bytes) {
  if (Info.LayerNumber != 3) return false;
  VbrHeader vbr = FindVbrHeader(frame, VersionCode == kMpeg1Code,
                                ChannelModeCode == kSingleChannelCode);
  if (vbr.kind == VbrKind::kNone || vbr.frames == 0) return false;
  const int64_t samples = SamplesPerFrame(VersionCode, Info.LayerNumber);
  const int64_t smallest_frame = samples / kBitsPerByte *
                                 LookUpBitrate(VersionCode, Info.LayerNumber, kLowestBitrateIndex) *
                                 1000 / Info.SampleRate;
  if (int64_t(vbr.frames) * smallest_frame > audio_bytes * kMostTimesOver) return false;
  Info.Length = ClampSeconds(int64_t(vbr.frames) * samples / Info.SampleRate);
  Info.VariableBitrate = vbr.kind != VbrKind::kInfo;
  return true;
}

void TMP3Information::DecodeTag() {
  Tag.Title = TagText(RawTag, kTitleAt, kTextWidth);
  Tag.Artist = TagText(RawTag, kArtistAt, kTextWidth);
  Tag.Album = TagText(RawTag, kAlbumAt, kTextWidth);
  Tag.Year = TagText(RawTag, kYearAt, kYearWidth);
  Tag.Comment = TagText(RawTag, kCommentAt, kTextWidth);
  // A zero before the last comment byte marks version 1.1 and its track.
  bool v11 = RawTag[kVersionMarkAt] == 0;
  Tag.TagVersion = v11 ? "ID3v1.1" : "ID3v1.0";
  Tag.Track = v11 ? RawTag[kTrackAt] : 0;
  Tag.Genre = GenreName(RawTag[kGenreAt]);
}

}  // namespace quorbel
