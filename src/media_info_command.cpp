// The MPEG information command: one file's header and tag in one reply.
#include <algorithm>
#include <cctype>

#include "command.h"
#include "mp3info.h"
#include "engine_text.h"

namespace quorbel {

namespace {

constexpr const char* kMpegExtensions[] = {".mp3", ".mp2"};
constexpr int32_t kSecondsPerMinute = 60;

// The extension from the last dot on, in lower case; empty without a dot.
std::string LowerExtension(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos) return "";
  std::string extension = path.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return extension;
}

bool HasMpegExtension(const std::string& path) {
  std::string extension = LowerExtension(path);
  return std::any_of(std::begin(kMpegExtensions), std::end(kMpegExtensions),
                     [&](const char* known) { return extension == known; });
}

// "[3m05s]": minutes only when there are any, seconds always two digits.
std::string PlayingTime(int32_t length) {
  std::string text = "[";
  if (length / kSecondsPerMinute != 0) text += std::to_string(length / kSecondsPerMinute) + "m";
  int32_t seconds = length % kSecondsPerMinute;
  text += (seconds < 10 ? "0" : "") + std::to_string(seconds) + "s]";
  return text;
}

struct TagGroup {
  std::string TId3v1::*value;
  const char* opening;
  const char* when_empty;
};
constexpr TagGroup kTagGroups[] = {{&TId3v1::Artist, "(A:", "(A: N/A)"},
                                   {&TId3v1::Title, "(T:", "(T: N/A)"},
                                   {&TId3v1::Album, "(Ab:", "(Ab: N/A)"},
                                   {&TId3v1::Genre, "(G:", "(G: N/A)"},
                                   {&TId3v1::Comment, "(C:", "(C: N/A)"}};

// The groups of a present tag; values go in as they stand, unescaped.
std::string TagText(const TId3v1& tag) {
  std::string text = std::string(1, kSep) + "::ID3::";
  for (const TagGroup& group : kTagGroups) {
    const std::string& value = tag.*group.value;
    text += kSep;
    text += value.empty() ? std::string(group.when_empty) : group.opening + value + ")";
  }
  return text;
}

// " 128/44", S, channel mode, S, time group, then the tag groups.
std::string InformationText(const TMP3Information& mp3) {
  const Tmp3info& info = mp3.Info;
  std::string text = info.VariableBitrate ? " VAR" : " " + std::to_string(info.Bitrate);
  text += "/" + std::to_string(info.SampleRate / 1000);
  text += kSep + info.ChannelMode;
  text += kSep + PlayingTime(info.Length);
  if (mp3.Tag.Present) text += TagText(mp3.Tag);
  return text;
}

}  // namespace

std::string MPEGInfoReply(Env& env, const std::string& path, bool id3v2) {
  const std::string tag = CommandTag(CommandId::ZOQ_GetMPEGInfo);
  if (!env.FileExists(path)) return reply::Status(reply::kNotFound, tag);
  if (!HasMpegExtension(path)) return reply::Status(reply::kWrongFormat, tag);
  TMP3Information mp3(env);
  mp3.ReadId3v2 = id3v2;
  mp3.SetFileName(path);
  mp3.ReadInformation();  // Valid alone decides
  if (!mp3.Info.Valid) return reply::Status(reply::kWrongFormat, tag);
  return reply::DataTagLast(InformationText(mp3), tag);
}

}  // namespace quorbel
