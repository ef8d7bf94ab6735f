// Index search: an index file and a key.
#include <fuzzer/FuzzedDataProvider.h>

#include "harness.h"

using namespace quorbel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ConfigureForLookups();
  FuzzedDataProvider input(data, size);
  const std::string key = input.ConsumeRandomLengthString(1000);
  WriteBytes(ScratchPath("fz-mm.idx"), input.ConsumeRemainingBytesAsString());
  GuardedBuffer parms("untouched");
  CallChecked(ZOQ_SearchFile, "ZOQ_SearchFile", key, codes::kSearchFile, &parms);
  if (parms.Text() != "untouched") Breach("search wrote the second buffer", parms.Text());
  return 0;
}
