// The MPEG audio frame header and ID3v1 tag reader.
#include "mp3info.h"

#include "failure.h"

namespace quorbel {

TMP3Information::TMP3Information(Env& env) : env_(env) {}

void TMP3Information::SetFileName(const std::string& path) {
  file_name_ = path;
  file_size_ = env_.FileSize(path);
}

bool TMP3Information::ReadInformation() { throw ENotAvailable("The MPEG reader is not built yet"); }

const std::string& GenreName(uint8_t) { throw ENotAvailable("The MPEG reader is not built yet"); }

}  // namespace quorbel
