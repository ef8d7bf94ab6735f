// Find answering: a list file and a pattern, the reply split over both
// host buffers.
#include <fuzzer/FuzzedDataProvider.h>

#include "harness.h"

using namespace quorbel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ConfigureForLookups();
  FuzzedDataProvider input(data, size);
  const std::string pattern = input.ConsumeRandomLengthString(1000);
  WriteBytes(ScratchPath("fz-mm.txt"), input.ConsumeRemainingBytesAsString());
  GuardedBuffer parms("untouched");
  const std::string reply = CallChecked(ZOQ_At_Find, "ZOQ_At_Find", pattern, codes::kAtFind, &parms);
  const std::string second = parms.Text();
  if (ReplyCode(reply) != 201 && second != "untouched") {
    Breach("second buffer written without a 201 reply", reply + " / " + second);
  }
  return 0;
}
