// TMP3Information: one file's size, first MPEG audio frame header and
// ID3v1 tag. One object serves many files: set FileName, then
// ReadInformation. Files are only read, never written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "platform/env.h"

namespace quorbel {

struct Tmp3info {
  std::string Version;
  float VersionNumber = 0;  // 1, 2 or 2.5; 0 for the reserved code
  std::string Layer;
  uint8_t LayerNumber = 0;  // 1, 2 or 3; 0 for the reserved code
  bool CRCProtected = false;
  int16_t Bitrate = 0;      // kbit/s; 0 free, -1 bad index
  uint16_t SampleRate = 0;  // Hz; 0 reserved
  bool Padding = false;
  std::string ChannelMode;
  std::string ModeExtension;
  bool Copyright = false;
  bool Original = false;
  std::string Emphasis;
  int32_t Length = 0;  // playing time in whole seconds
  bool VariableBitrate = false;
  bool Valid = false;
};

struct TId3v1 {
  std::string TagVersion;  // "ID3v1.0" or "ID3v1.1"
  std::string Title, Artist, Album, Year, Comment;
  uint8_t Track = 0;
  std::string Genre;
  bool Present = false;
};

class TMP3Information {
 public:
  explicit TMP3Information(Env& env = *CurrentEnv());

  // Options; both true after creation.
  bool ReadHeader = true;
  bool ReadTag = true;
  // With ReadTag: a file without an ID3v1 tag takes its tag texts from a
  // leading ID3v2 tag. Off after creation.
  bool ReadId3v2 = false;

  // Stores the path and measures the file's size at once (-1 when it
  // cannot be opened). Sizes are 64-bit: files of 2 GiB and more are real.
  void SetFileName(const std::string& path);
  const std::string& FileName() const { return file_name_; }
  int64_t FileSize() const { return file_size_; }

  // Reads header and tag as the options say; see Info.Valid and Tag.Present.
  bool ReadInformation();

  // SetFileName and ReadInformation with one open of the file: the size is
  // taken from the open file rather than by a second open. Same results.
  bool SetFileNameAndRead(const std::string& path);

  Tmp3info Info;
  TId3v1 Tag;
  uint8_t RawTag[128] = {};

  // The raw header fields, as cut out of the four header bytes.
  uint16_t Sync = 0;
  uint8_t VersionCode = 0, LayerCode = 0, ProtectionBit = 0, BitrateIndex = 0,
          SampleRateIndex = 0, PaddingBit = 0, PrivateBit = 0, ChannelModeCode = 0,
          ModeExtensionCode = 0, CopyrightBit = 0, OriginalBit = 0, EmphasisCode = 0;

 private:
  bool ReadOpenFile(RandomAccessFile& file);
  void DecodeHeader(const uint8_t bytes[4]);
  // `frame`: the first frame's start; `audio_bytes`: the file without its
  // leading ID3v2 tag.
  void WorkOutPlayingTime(std::span<const uint8_t> frame, int64_t audio_bytes);
  bool TimeFromFrameCount(std::span<const uint8_t> frame, int64_t audio_bytes);
  void DecodeTag();
  // Fills the tag from the texts of an ID3v2 tag; Present when it has any.
  void TakeId3v2Text(std::span<const uint8_t> tag);

  Env& env_;
  std::string file_name_;
  int64_t file_size_ = 0;
};

}  // namespace quorbel
