// The MPEG audio header and ID3 reader: through the command the script
// calls and through the reader class the generation run uses.
#include "harness.h"
#include "mp3info.h"

using namespace quorbel;
using namespace quorbel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LoadOnce();
  const std::string path = ScratchPath("in.mp3");
  WriteBytes(path, std::string_view(reinterpret_cast<const char*>(data), size));
  CallChecked(ZOQ_GetMPEGInfo, "ZOQ_GetMPEGInfo", path, codes::kGetMPEGInfo);

  // The reader as the generation run uses it, with each part switched off
  // in turn by the input's first byte.
  TMP3Information reader;
  reader.ReadHeader = size == 0 || (data[0] & 1) != 0;
  reader.ReadTag = size == 0 || (data[0] & 2) != 0;
  if (reader.SetFileNameAndRead(path) && reader.Info.Valid && reader.Info.Length < 0) {
    Breach("negative playing time", std::to_string(reader.Info.Length));
  }
  return 0;
}
