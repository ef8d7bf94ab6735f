// The configuration reader: any file read, then dumped and used to count a
// small tree.
#include "harness.h"

using namespace quorbel::fuzz;

namespace {

// A tiny tree for the counting; the input's drive lines may name it.
void PrepareTree() {
  static bool done = [] {
    MakeFolder(ScratchPath("tree/sub"));
    WriteBytes(ScratchPath("tree/a.mp3"), "x");
    WriteBytes(ScratchPath("tree/sub/b  c.mp3"), "y");
    return true;
  }();
  (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LoadOnce();
  PrepareTree();
  CallChecked(ZOQ_SetDirectory, "ZOQ_SetDirectory", Scratch(), codes::kSetDirectory);
  const std::string ini = ScratchPath("q.ini");
  // The scratch tree is reachable as "%TREE%" so that short inputs can name it.
  std::string text(reinterpret_cast<const char*>(data), size);
  for (size_t at; (at = text.find("%TREE%")) != std::string::npos;) {
    text.replace(at, 6, ScratchPath("tree"));
  }
  WriteBytes(ini, text);
  CallChecked(ZOQ_SetIniFile, "ZOQ_SetIniFile", ini, codes::kSetIniFile);
  CallChecked(ZOQ_Dump, "ZOQ_Dump", "", codes::kDump);
  CallChecked(ZOQ_CountFiles, "ZOQ_CountFiles", "", codes::kCountFiles);
  CallChecked(ZOQ_Status, "ZOQ_Status", "Files", codes::kStatus);
  CallChecked(ZOQ_BadListCount, "ZOQ_BadListCount", "", codes::kBadListCount);
  CallChecked(ZOQ_BadListGet, "ZOQ_BadListGet", "0", codes::kBadListGet);
  return 0;
}
