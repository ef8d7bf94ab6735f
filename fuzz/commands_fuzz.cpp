// Command sequences as a script might send them, with further commands,
// LoadDll and UnloadDll among them, nested in the library's message pumping.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

#include "harness.h"

using namespace quorbel::fuzz;

namespace {

constexpr int kMaxSteps = 24;
constexpr int kMaxNesting = 3;

struct Entry {
  const char* name;
  QuorbelCommand command;
  std::initializer_list<int> codes;
};

const Entry kCommands[] = {
    {"ZOQ_Status", ZOQ_Status, codes::kStatus},
    {"ZOQ_Show", ZOQ_Show, codes::kPlain},
    {"ZOQ_Hide", ZOQ_Hide, codes::kPlain},
    {"ZOQ_CountFiles", ZOQ_CountFiles, codes::kCountFiles},
    {"ZOQ_SetDirectory", ZOQ_SetDirectory, codes::kSetDirectory},
    {"ZOQ_StopGenerate", ZOQ_StopGenerate, codes::kPlain},
    {"ZOQ_SetEGSong", ZOQ_SetEGSong, codes::kPlain},
    {"ZOQ_SetIniFile", ZOQ_SetIniFile, codes::kSetIniFile},
    {"ZOQ_SetAutoRenameBadFiles", ZOQ_SetAutoRenameBadFiles, codes::kSetting},
    {"ZOQ_SetCompress", ZOQ_SetCompress, codes::kSetting},
    {"ZOQ_BadListCount", ZOQ_BadListCount, codes::kBadListCount},
    {"ZOQ_BadListGet", ZOQ_BadListGet, codes::kBadListGet},
    {"ZOQ_StartUpdateChart", ZOQ_StartUpdateChart, codes::kStartUpdateChart},
    {"ZOQ_StartGenerate", ZOQ_StartGenerate, codes::kStartGenerate},
    {"ZOQ_SearchFile", ZOQ_SearchFile, codes::kSearchFile},
    {"ZOQ_At_Find", ZOQ_At_Find, codes::kAtFind},
    {"ZOQ_Dump", ZOQ_Dump, codes::kDump},
    {"ZOQ_Compress", ZOQ_Compress, codes::kCompress},
    {"ZOQ_GetMPEGInfo", ZOQ_GetMPEGInfo, codes::kGetMPEGInfo},
    {"ZOQ_GetDLLVersion", ZOQ_GetDLLVersion, codes::kVersion},
};
constexpr int kCommandCount = int(sizeof kCommands / sizeof kCommands[0]);
// Two more choices beyond the commands: LoadDll and UnloadDll.
constexpr int kLoad = kCommandCount;
constexpr int kUnload = kCommandCount + 1;

struct Run {
  FuzzedDataProvider* input = nullptr;
  int depth = 0;
  bool pumping = false;
};
Run g_run;

std::string Argument(FuzzedDataProvider& input) {
  static const std::vector<std::string> kChoices = {
      "", "Files", "ActFile", "1", "0", "999", "*", "a*", "a.mp3",
      Scratch(), ScratchPath("q.ini"), ScratchPath("tree/a.mp3"), ScratchPath("missing")};
  const size_t pick = input.ConsumeIntegralInRange<size_t>(0, kChoices.size());
  if (pick < kChoices.size()) return kChoices[pick];
  return input.ConsumeRandomLengthString(100);
}

void Step(FuzzedDataProvider& input) {
  const int what = input.ConsumeIntegralInRange(0, kUnload);
  ++g_run.depth;
  if (what == kLoad) {
    LOADINFO info{};
    LoadDll(&info);
  } else if (what == kUnload) {
    const int code = input.ConsumeIntegralInRange(0, 2);
    const int result = UnloadDll(code);
    if (result != (code == 1 ? 1 : 0)) Breach("UnloadDll", std::to_string(result));
  } else {
    const Entry& e = kCommands[what];
    GuardedBuffer parms;
    CallChecked(e.command, e.name, Argument(input), e.codes, &parms);
  }
  --g_run.depth;
}

// The host's message pump: now and then it delivers one more call.
void Pump(void*) {
  FuzzedDataProvider* input = g_run.input;
  if (input == nullptr || g_run.depth >= kMaxNesting || input->remaining_bytes() == 0) return;
  if (input->ConsumeIntegralInRange(0, 3) != 0) return;
  Step(*input);
}

void PrepareFiles() {
  EmptyFolder(Scratch());
  MakeFolder(ScratchPath("tree/sub"));
  WriteBytes(ScratchPath("tree/a.mp3"), "\xFF\xFB\x90\x64" + std::string(400, '\0'));
  WriteBytes(ScratchPath("tree/sub/b  c.mp3"), "TAG");
  WriteBytes(ScratchPath("q.ini"), "[listmake]\r\nmethod=x\r\ngear=1\r\nnick=fz\r\nhitnum=5\r\n"
                                   "[Extension]\r\n1=*.mp3\r\n[drive]\r\n1=" +
                                       ScratchPath("tree") + "\r\n");
  WriteBytes(ScratchPath("ZOQHitData.hdt"), "a.mp3 10\r\nb.mp3 08\r\nc:d 3\r\n");
}

}  // namespace

// Every pump point reaches the pump above, whatever the clock says: an input
// nests its calls at the same points on every run.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QUORBEL_PUMP_INTERVAL_MS", "0", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ConfineToScratch();
  PrepareFiles();
  quorbel_set_message_pump(&Pump, nullptr);
  FuzzedDataProvider input(data, size);
  LOADINFO info{};
  LoadDll(&info);
  // Packing starts switched off: it costs several times a whole sequence,
  // the zip target covers the engine, and ZOQ_SetCompress 1 among the steps
  // still packs the lists a sequence makes.
  CallChecked(ZOQ_SetCompress, "ZOQ_SetCompress", "0", codes::kSetting);
  g_run = Run{&input};
  for (int i = 0; i < kMaxSteps && input.remaining_bytes() > 0; ++i) Step(input);
  g_run = Run{};
  // Nothing nests any more: whatever the sequence left, the library unloads clean.
  UnloadDll(1);
  return 0;
}
