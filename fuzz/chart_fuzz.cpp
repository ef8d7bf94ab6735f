// The download chart: a hitnum value and a hit-data file.
#include <fuzzer/FuzzedDataProvider.h>

#include "harness.h"

using namespace quorbel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LoadOnce();
  static bool directory_set = [] {
    CallChecked(ZOQ_SetDirectory, "ZOQ_SetDirectory", Scratch(), codes::kSetDirectory);
    return true;
  }();
  (void)directory_set;
  FuzzedDataProvider input(data, size);
  // The value as a configuration line carries it: up to the line's end.
  std::string hitnum = input.ConsumeRandomLengthString(64);
  hitnum = hitnum.substr(0, hitnum.find_first_of("\r\n"));
  WriteBytes(ScratchPath("q.ini"), "[listmake]\r\nnick=fz\r\nname=fz\r\nhitnum=" + hitnum + "\r\n");
  CallChecked(ZOQ_SetIniFile, "ZOQ_SetIniFile", ScratchPath("q.ini"), codes::kSetIniFile);
  WriteBytes(ScratchPath("ZOQHitData.hdt"), input.ConsumeRemainingBytesAsString());
  CallChecked(ZOQ_StartUpdateChart, "ZOQ_StartUpdateChart", "", codes::kStartUpdateChart);
  return 0;
}
