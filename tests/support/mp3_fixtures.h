// The sample-tree maker's MPEG file builders (tools/sample/mpeg_builder.h)
// under the short names the tests use.
#pragma once

#include "sample/mpeg_builder.h"

namespace quorbel::test {

using sample::FrameHeader;
using sample::FrameLength;
using sample::Frames;
using sample::HeaderBytes;
using sample::HeaderOf;
using sample::Id3v1;
using sample::Id3v1Bytes;
using sample::Id3v2Bytes;
using sample::Id3v2Frame;
using sample::Id3v2Tag;
using sample::MpegFile;

}  // namespace quorbel::test
