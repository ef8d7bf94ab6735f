// The zip engine on its own: files of any content and any parameter record
// the caller could hand it.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "harness.h"
#include "zipdll.h"

using namespace quorbel::fuzz;

extern "C" int32_t ZIPDLL_CALL ZipDllExec(const ZipParams* params);

namespace {

int32_t AbortAfter(const ZipCallbackData* data) {
  auto* budget = static_cast<int*>(data->caller);
  if (data->text == nullptr) Breach("callback text", "null");
  return --*budget < 0 ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  EmptyRealFolder(Scratch());
  const int count = input.ConsumeIntegralInRange(0, 3);
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    paths.push_back(ScratchPath("f" + std::to_string(i) + ".txt"));
    if (input.ConsumeBool()) WriteRealFile(paths.back(), input.ConsumeRandomLengthString(4000));
  }
  std::vector<ZipFileData> files;
  for (const std::string& p : paths) files.push_back(ZipFileData{p.c_str()});

  int budget = input.ConsumeIntegralInRange(0, 40);
  ZipParams params{};
  params.caller = &budget;
  params.version = input.ConsumeBool() ? ZIPDLL_CALLER_VERSION : input.ConsumeIntegral<int32_t>();
  params.callback = input.ConsumeBool() ? &AbortAfter : nullptr;
  params.level = input.ConsumeIntegralInRange(-2, 11);
  params.recurse = input.ConsumeBool() ? ZIPDLL_TRUE : ZIPDLL_FALSE;
  params.encrypt = input.ConsumeBool() ? ZIPDLL_TRUE : ZIPDLL_FALSE;
  const std::string archive = ScratchPath("out.zip");
  params.archive = input.ConsumeBool() ? archive.c_str() : nullptr;
  params.file_count = int32_t(files.size());
  params.files = files.empty() ? nullptr : files.data();
  const int32_t added = ZipDllExec(&params);
  if (added < 0 || added > params.file_count) {
    Breach("files added", std::to_string(added) + " of " + std::to_string(params.file_count));
  }
  return 0;
}
