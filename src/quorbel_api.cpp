// The exports: LoadDll, UnloadDll, the host's message pump and the commands,
// with the commands' bodies.
#include "quorbel_api.h"

#include <optional>
#include <string_view>
#include <utility>

#include "command.h"
#include "engine_text.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {

// Every LoadDll and UnloadDll takes the next number when it starts; a load
// whose engine is finished after a later one started leaves the state to
// that later call.
uint64_t g_life_cycle_calls = 0;

// The answer of a long operation: its result line and the command's tag.
std::string OperationReply(const CommandCall& call) {
  return reply::Status(call.engine->ferror, call.command.tag());
}

// A fixed answer with the command's tag.
std::string StatusLine(const CommandCall& call, std::string_view text) {
  return reply::Status(text, call.command.tag());
}

// "1" or "0", compared with the whole argument; nullopt for anything else.
std::optional<bool> OneOrZero(const std::string& argument) {
  if (argument == "1") return true;
  if (argument == "0") return false;
  return std::nullopt;
}

// The host passes a boolean whose meaning lives in its lowest byte alone: a
// value such as 256 is false, whatever the upper bytes hold.
bool ShowFlag(int show) { return (show & 0xFF) != 0; }

}  // namespace

}  // namespace quorbel

using namespace quorbel;

// --- life cycle -------------------------------------------------------------

// LoadDll and UnloadDll may be called again from inside their own message
// pumping (the engine's constructor and Stop both pump). The rule is that the
// call that started last decides: after the outermost one returns there is
// exactly one engine if that was a LoadDll and none if it was an UnloadDll,
// and every engine replaced on the way is freed once, when nothing runs on it.
extern "C" void QUORBEL_CALL LoadDll(LOADINFO* info) {
  CommandDepth depth;
  const uint64_t this_call = ++g_life_cycle_calls;
  WindowHandle parent = nullptr;
  if (info != nullptr) {
    reinterpret_cast<unsigned char*>(&info->mKeep)[0] = 1;
    parent = info->mHwnd;
  }
  // A second load without an unload would otherwise leave the first engine
  // and its window behind.
  if (TZOQ_Quorbel* old = std::exchange(ZOQ_Quorbel, nullptr)) ReleaseEngine(old);
  TZOQ_Quorbel* engine = nullptr;
  try {
    engine = new TZOQ_Quorbel(parent);
  } catch (...) {
    engine = nullptr;  // the commands answer with the internal-error line
  }
  if (this_call == g_life_cycle_calls) {
    ZOQ_Quorbel = engine;
  } else if (engine != nullptr) {
    ReleaseEngine(engine);  // a later load or unload ran inside the constructor
  }
  CurrentEnv()->PumpMessages();
}

extern "C" int QUORBEL_CALL UnloadDll(int code) {
  CommandDepth depth;
  ++g_life_cycle_calls;
  // Taken out first, so that an unload nested in Stop's pumping finds nothing
  // left to free.
  if (TZOQ_Quorbel* engine = std::exchange(ZOQ_Quorbel, nullptr)) {
    try {
      engine->Stop();
    } catch (...) {
    }
    ReleaseEngine(engine);
  }
  return code == 1 ? 1 : 0;
}

// The Linux host's pump; defined everywhere, exported only where the
// public header declares it (Windows hosts pump their own queue).
extern "C" QUORBEL_EXPORT void quorbel_set_message_pump(void (*pump)(void*), void* context) {
  SetHostMessagePump(pump, context);
}

// --- setting and status commands --------------------------------------------

namespace quorbel {

std::string SetDirectoryBody(const CommandCall& call) {
  std::string path = call.argument;
  if (path.empty() || path.back() != kPathDelim) path += kPathDelim;
  if (!call.engine->env().DirectoryExists(path)) return StatusLine(call, reply::kNotFound);
  SetDirectoryWhenSafe(*call.engine, path);
  return StatusLine(call, reply::kOk);
}

std::string SetIniFileBody(const CommandCall& call) {
  const std::string& path = call.argument;
  if (!call.engine->env().FileExists(path)) return StatusLine(call, reply::kNotFound);
  if (!path.ends_with(".ini")) return StatusLine(call, reply::kWrongFormat);
  ReadIniFileWhenSafe(*call.engine, path);
  return StatusLine(call, reply::kOk);
}

std::string SetEGSongBody(const CommandCall& call) {
  call.engine->fstandardfile = call.argument;
  return StatusLine(call, reply::kOk);
}

std::string SetAutoRenameBadFilesBody(const CommandCall& call) {
  std::optional<bool> value = OneOrZero(call.argument);
  if (!value) return StatusLine(call, reply::kUnknownArgument);
  call.engine->frenamebadfiles = *value;
  return StatusLine(call, reply::kOk);
}

std::string SetCompressBody(const CommandCall& call) {
  std::optional<bool> value = OneOrZero(call.argument);
  if (!value) return StatusLine(call, reply::kUnknownArgument);
  call.engine->fcompress = *value;
  return StatusLine(call, reply::kOk) + (*value ? " Compress" : " Do not compress");
}

std::string ShowBody(const CommandCall& call) {
  if (ShowFlag(call.show)) call.engine->ShowProgressWindow();
  return StatusLine(call, reply::kOk);
}

std::string HideBody(const CommandCall& call) {
  if (ShowFlag(call.show)) call.engine->HideProgressWindow();
  return StatusLine(call, reply::kOk);
}

std::string StatusBody(const CommandCall& call) {
  const std::string tag = call.command.tag();
  if (call.argument == "Files") return reply::DataTagFirst(tag, std::to_string(call.engine->GetFileCount()));
  if (call.argument == "ActFile") return reply::DataTagFirst(tag, std::to_string(call.engine->fActFile));
  return StatusLine(call, reply::kUnknownArgument);
}

std::string StopGenerateBody(const CommandCall& call) {
  call.engine->Stop();
  return StatusLine(call, reply::kOk);
}

// Nothing here can fail, so the version runs bare.
std::string GetDLLVersionBody(const CommandCall& call) {
  return reply::DataTagLast(" " + std::string(kVersion), call.command.tag());
}

std::string DumpBody(const CommandCall& call) {
  if (call.engine->WriteDump()) return StatusLine(call, reply::kOk);
  return OperationReply(call);
}

// --- long operations ----------------------------------------------------------

std::string CountFilesBody(const CommandCall& call) {
  if (call.engine->finprogress) return StatusLine(call, reply::kAlreadyRunning);
  if (call.engine->CountFiles()) return StatusLine(call, reply::kOk);
  return OperationReply(call);
}

std::string StartGenerateBody(const CommandCall& call) {
  if (call.engine->finprogress) return StatusLine(call, reply::kAlreadyRunning);
  if (!call.engine->fread) return StatusLine(call, reply::kNoIniFile);
  call.engine->GenerateList();
  return OperationReply(call);
}

std::string StartUpdateChartBody(const CommandCall& call) {
  if (call.engine->finprogress) return StatusLine(call, reply::kAlreadyRunning);
  if (!call.engine->fread) return StatusLine(call, reply::kNoIniFile);
  if (call.engine->UpdateChart()) return StatusLine(call, reply::kOk);
  return OperationReply(call);
}

std::string CompressBody(const CommandCall& call) {
  if (!call.engine->fread) return StatusLine(call, reply::kNoIniFile);
  return StatusLine(call, call.engine->CompressList(false));
}

// --- bad file names -------------------------------------------------------------

std::string BadListCountBody(const CommandCall& call) {
  return reply::DataTagFirst(call.command.tag(), std::to_string(call.engine->BadFileCount() - 1));
}

std::string BadListGetBody(const CommandCall& call) {
  int32_t index;
  try {
    index = StrToInt(call.argument);
  } catch (const EConvertError&) {
    return StatusLine(call, reply::kUnknownArgument);
  }
  if (index < 0 || index >= call.engine->BadFileCount()) return StatusLine(call, reply::kOutOfBounds);
  return reply::DataTagFirst(call.command.tag(), call.engine->GetBadFile(index));
}

// --- lookups ------------------------------------------------------------------

std::string SearchFileBody(const CommandCall& call) {
  return SearchFileReply(*call.engine, call.argument);
}

std::string AtFindBody(const CommandCall& call) {
  FindAnswer answer = AtFindAnswer(*call.engine, call.argument);
  if (answer.second) WriteHostBuffer(call.parms, *answer.second);
  return answer.data;
}

std::string GetMPEGInfoBody(const CommandCall& call) {
  // The one setting it follows is the configuration's id3v2 key.
  return MPEGInfoReply(*CurrentEnv(), call.argument, call.engine != nullptr && call.engine->fid3v2);
}

std::string GetPlayerBody(const CommandCall& call) {
  return PlayerReply(*CurrentEnv(), call.argument);
}

}  // namespace quorbel

// --- the exports ----------------------------------------------------------------

// Each command's export hands the host's call to the runner with its table
// entry; most commands read neither window handle nor the no-pause flag.
#define QUORBEL_DEFINE_EXPORT(name, ...)                                                  \
  extern "C" QUORBEL_EXPORT int QUORBEL_CALL name(void*, void*, char* data, char* parms, \
                                                  int show, int) {                       \
    return RunCommand(CommandOf(CommandId::name), data, parms, show);                     \
  }
QUORBEL_COMMANDS(QUORBEL_DEFINE_EXPORT)
#undef QUORBEL_DEFINE_EXPORT
