// Index search: an index file and a key.
#include <fuzzer/FuzzedDataProvider.h>

#include "harness.h"

using namespace quorbel::fuzz;

namespace {

void Configure() {
  static bool done = [] {
    LoadOnce();
    WriteBytes(ScratchPath("q.ini"), "[listmake]\r\nnick=fz\r\nname=fz\r\nhitnum=30\r\n");
    CallChecked(ZOQ_SetDirectory, "ZOQ_SetDirectory", Scratch(), codes::kSetDirectory);
    CallChecked(ZOQ_SetIniFile, "ZOQ_SetIniFile", ScratchPath("q.ini"), codes::kSetIniFile);
    return true;
  }();
  (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Configure();
  FuzzedDataProvider input(data, size);
  const std::string key = input.ConsumeRandomLengthString(1000);
  WriteBytes(ScratchPath("fz-mm.idx"), input.ConsumeRemainingBytesAsString());
  GuardedBuffer parms("untouched");
  CallChecked(ZOQ_SearchFile, "ZOQ_SearchFile", key, codes::kSearchFile, &parms);
  if (parms.Text() != "untouched") Breach("search wrote the second buffer", parms.Text());
  return 0;
}
