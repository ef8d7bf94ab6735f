// A generation run over a tree whose folder names, file names and file
// contents come from the input, then the lookups over what it wrote.
#include <fuzzer/FuzzedDataProvider.h>

#include "harness.h"

using namespace quorbel::fuzz;

namespace {

constexpr int kMaxEntries = 8;

// A name the file system takes: no delimiter, no zero, not "." or "..",
// never empty; the input's bytes otherwise as they are.
std::string FileName(FuzzedDataProvider& input) {
  std::string name = input.ConsumeRandomLengthString(40);
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name.empty() || name == "." || name == "..") name += "n";
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LoadOnce();
  FuzzedDataProvider input(data, size);
  const std::string work = ScratchPath("work");
  const std::string music = ScratchPath("music");
  EmptyFolder(Scratch());
  MakeFolder(work);
  MakeFolder(music);

  const bool by_dirs = input.ConsumeBool();
  const std::string nick = input.ConsumeRandomLengthString(12);
  std::string folder = music;
  const int entries = input.ConsumeIntegralInRange(0, kMaxEntries);
  for (int i = 0; i < entries; ++i) {
    const std::string name = FileName(input);
    if (input.ConsumeBool()) {  // a folder below the current one, unless a file has its name
      if (MakeFolder(folder + "/" + name)) folder += "/" + name;
      continue;
    }
    const std::string suffix = input.ConsumeBool() ? ".mp3" : ".MP3";
    WriteBytes(folder + "/" + name + suffix, input.ConsumeRandomLengthString(600));
  }
  // Configuration values end at the line's end.
  auto value = [](const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); };
  const std::string preface = value(input.ConsumeRandomLengthString(60));
  WriteBytes(work + "/q.ini", "[listmake]\r\nmethod=x\r\ngear=" + std::string(by_dirs ? "1" : "0") +
                                  "\r\nnick=" + value(nick) + "\r\nhitnum=30\r\n[Preface]\r\n1=" +
                                  preface + "\r\n[Extension]\r\n1=*.mp3\r\n[drive]\r\n1=" + music +
                                  "\r\n");
  CallChecked(ZOQ_SetDirectory, "ZOQ_SetDirectory", work, codes::kSetDirectory);
  CallChecked(ZOQ_SetIniFile, "ZOQ_SetIniFile", work + "/q.ini", codes::kSetIniFile);
  // No packing: it costs several times the rest of a run, and the zip
  // target (fuzzed names) and the commands target (a run that packs) cover it.
  CallChecked(ZOQ_SetCompress, "ZOQ_SetCompress", "0", codes::kSetting);
  CallChecked(ZOQ_StartGenerate, "ZOQ_StartGenerate", "", codes::kStartGenerate);

  // What the run wrote is what the lookups read next.
  GuardedBuffer parms;
  CallChecked(ZOQ_At_Find, "ZOQ_At_Find", input.ConsumeRandomLengthString(30) + "*",
              codes::kAtFind, &parms);
  CallChecked(ZOQ_SearchFile, "ZOQ_SearchFile", input.ConsumeRandomLengthString(40),
              codes::kSearchFile);
  CallChecked(ZOQ_BadListCount, "ZOQ_BadListCount", "", codes::kBadListCount);
  CallChecked(ZOQ_BadListGet, "ZOQ_BadListGet", "0", codes::kBadListGet);
  return 0;
}
