// The MPEG information command: one file's header and tag in one reply.
#include <algorithm>

#include "command.h"
#include "engine_text.h"
#include "media_text.h"
#include "mp3info.h"
#include "serve_lookup_text.h"

namespace quorbel {

namespace {

constexpr const char* kMpegExtensions[] = {".mp3", ".mp2"};

// The extension from the last dot on, in lower case; empty without a dot.
std::string LowerExtension(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos) return "";
  std::string extension = path.substr(dot);
  LowerAscii(extension.data(), extension.size());
  return extension;
}

bool HasMpegExtension(const std::string& path) {
  std::string extension = LowerExtension(path);
  return std::any_of(std::begin(kMpegExtensions), std::end(kMpegExtensions),
                     [&](const char* known) { return extension == known; });
}

// The groups of a present tag, each after SEP; values go in as they stand,
// unescaped.
std::string TagGroups(const TId3v1& tag) {
  std::string text = kSep + std::string(mediatext::kTagMark);
  for (const mediatext::TagField& field : mediatext::kTagFields) {
    text += kSep + mediatext::TagFieldText(field, tag);
  }
  return text;
}

// " 128/44", S, channel mode, S, time group, then the tag groups.
std::string InformationText(const TMP3Information& mp3) {
  const Tmp3info& info = mp3.Info;
  std::string text = " " + mediatext::BitrateText(info);
  text += kSep + info.ChannelMode;
  text += kSep + mediatext::PlayingTimeText(info.Length);
  if (mp3.Tag.Present) text += TagGroups(mp3.Tag);
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
