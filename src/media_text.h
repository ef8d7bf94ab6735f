// The texts of one file's MPEG data and ID3v1 tag that the list lines and
// the MPEG information reply both show: the bitrate, the playing time and
// the tag's fields. Each caller puts its own separators between them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mp3info.h"

namespace quorbel::mediatext {

// "128/44", or "VAR/44" for a variable bitrate: kbit/s and the sample rate
// in whole kHz.
std::string BitrateText(const Tmp3info& info);

// "[3m05s]": minutes only when there are any, seconds always two digits.
std::string PlayingTimeText(int32_t seconds);

// Stands before the tag's fields.
inline constexpr std::string_view kTagMark = "::ID3::";

// One field of the tag: the letter that asks for it in a list method, its
// label in the text and the tag's member.
struct TagField {
  char letter;
  std::string_view label;
  std::string TId3v1::*value;
};

// The fields in the order both texts show them.
inline constexpr TagField kTagFields[] = {{'a', "A", &TId3v1::Artist},
                                          {'i', "T", &TId3v1::Title},
                                          {'m', "Ab", &TId3v1::Album},
                                          {'g', "G", &TId3v1::Genre},
                                          {'c', "C", &TId3v1::Comment}};

// "(A:value)" with the value as it stands, or "(A: N/A)" when it is empty.
std::string TagFieldText(const TagField& field, const TId3v1& tag);

}  // namespace quorbel::mediatext
