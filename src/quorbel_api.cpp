// The exported commands: LoadDll, UnloadDll and the ZOQ_ commands.
#include "quorbel_api.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "ZipMstr.h"
#include "command.h"
#include "quorbel_oob.h"
#include "engine_text.h"

namespace quorbel {

namespace {

// Commands running on the host's thread right now: more than one means
// nested calls through message pumping.
int g_depth = 0;

// Work put off until the outermost command returns.
struct Deferred {
  std::vector<std::unique_ptr<TZOQ_Quorbel>> engines;  // unloaded while still in use below
  std::optional<std::string> ini_file;
  std::optional<std::string> directory;
} g_deferred;

void ApplyDeferred() {
  // Taken out of the list before they go, should freeing one release another.
  std::exchange(g_deferred.engines, {}).clear();
  TZOQ_Quorbel* engine = ZOQ_Quorbel;
  if (engine == nullptr) {
    g_deferred = {};
    return;
  }
  if (g_deferred.directory) engine->SetDirectory(*std::exchange(g_deferred.directory, {}));
  if (auto path = std::exchange(g_deferred.ini_file, {})) {
    try {
      engine->ReadIniFile(*path);
    } catch (...) {
      // The command that asked for it has answered already; the fields stay
      // as far as they were read, as after any failed read.
    }
  }
}

// Destroys the engine once the outermost entry point has returned: a
// command, LoadDll or UnloadDll may still be using it further down the stack.
// Settings put off for it die with it.
void ReleaseEngine(TZOQ_Quorbel* engine) {
  g_deferred.engines.emplace_back(engine);
  g_deferred.ini_file.reset();
  g_deferred.directory.reset();
}

// Every LoadDll and UnloadDll takes the next number when it starts; a load
// whose engine is finished after a later one started leaves the state to
// that later call.
uint64_t g_life_cycle_calls = 0;

class DepthScope {
 public:
  DepthScope() { ++g_depth; }
  ~DepthScope() {
    if (--g_depth == 0) ApplyDeferred();
  }
};

}  // namespace

void WriteHostBuffer(char* buffer, const std::string& text) {
  if (buffer == nullptr) return;
  size_t n = std::min(text.size(), reply::kBufferCapacity);
  std::memcpy(buffer, text.data(), n);
  // A zero byte inside the text would end the host's string early and cut
  // the reply (and its tag); it is shown like any byte a reply cannot carry.
  std::replace(buffer, buffer + n, '\0', reply::kUnrepresentable);
  buffer[n] = '\0';
}

bool IsNestedCommand() { return g_depth > 1; }

void DeferIniFile(const std::string& path) { g_deferred.ini_file = path; }

void DeferDirectory(const std::string& path) { g_deferred.directory = path; }

int RunCommand(const Command& command, char* data, const CommandBody& body) {
  DepthScope depth;
  // Without a data buffer there is nowhere to read the argument from, nor
  // to write the "503 Too few arguments!" answer to.
  if (command.reads_argument && data == nullptr) {
    if (command.pumps_after) CurrentEnv()->PumpMessages();
    return 3;
  }
  std::string reply_line;
  try {
    TZOQ_Quorbel* engine = ZOQ_Quorbel;
    if (command.needs_engine && engine == nullptr) {
      throw ENoEngine("The library's engine could not be created at load time");
    }
    std::string argument = (command.reads_argument && data != nullptr) ? data : "";
    reply_line = body(engine, argument);
  } catch (...) {
    reply_line = reply::InternalErrorLine(
        DescribeCurrentFailure(), reply::Tag(command.error_tag ? command.error_tag : command.name));
  }
  WriteHostBuffer(data, reply_line);
  if (command.pumps_after) CurrentEnv()->PumpMessages();
  return 3;
}

}  // namespace quorbel

using namespace quorbel;

namespace {

// The answer of a long operation: its result line and the command's tag.
std::string OperationReply(const TZOQ_Quorbel& engine, const Command& command) {
  return reply::Status(engine.ferror, command.tag());
}

// "1" or "0", compared with the whole argument; nullopt for anything else.
std::optional<bool> OneOrZero(const std::string& argument) {
  if (argument == "1") return true;
  if (argument == "0") return false;
  return std::nullopt;
}

}  // namespace

// --- life cycle -------------------------------------------------------------

// LoadDll and UnloadDll may be called again from inside their own message
// pumping (the engine's constructor and Stop both pump). The rule is that the
// call that started last decides: after the outermost one returns there is
// exactly one engine if that was a LoadDll and none if it was an UnloadDll,
// and every engine replaced on the way is freed once, when nothing runs on it.
extern "C" void QUORBEL_CALL LoadDll(LOADINFO* info) {
  DepthScope depth;
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
  DepthScope depth;
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

extern "C" QUORBEL_COMMAND(ZOQ_SetDirectory) {
  static const Command cmd{"ZOQ_SetDirectory", true};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string& argument) {
    std::string path = argument;
    if (path.empty() || path.back() != kPathDelim) path += kPathDelim;
    if (!engine->env().DirectoryExists(path)) return reply::Status(reply::kNotFound, cmd.tag());
    if (IsNestedCommand()) {
      DeferDirectory(path);
    } else {
      engine->SetDirectory(path);
    }
    return reply::Status(reply::kOk, cmd.tag());
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_SetIniFile) {
  static const Command cmd{"ZOQ_SetIniFile", true};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string& path) {
    if (!engine->env().FileExists(path)) return reply::Status(reply::kNotFound, cmd.tag());
    if (!path.ends_with(".ini")) return reply::Status(reply::kWrongFormat, cmd.tag());
    if (IsNestedCommand()) {
      DeferIniFile(path);
    } else {
      engine->ReadIniFile(path);
    }
    return reply::Status(reply::kOk, cmd.tag());
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_SetEGSong) {
  static const Command cmd{"ZOQ_SetEGSong", true};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string& argument) {
    engine->fstandardfile = argument;
    return reply::Status(reply::kOk, cmd.tag());
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_SetAutoRenameBadFiles) {
  static const Command cmd{"ZOQ_SetAutoRenameBadFiles", true};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string& argument) {
    std::optional<bool> value = OneOrZero(argument);
    if (!value) return reply::Status(reply::kUnknownArgument, cmd.tag());
    engine->frenamebadfiles = *value;
    return reply::Status(reply::kOk, cmd.tag());
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_SetCompress) {
  static const Command cmd{"ZOQ_SetCompress", true};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string& argument) {
    std::optional<bool> value = OneOrZero(argument);
    if (!value) return reply::Status(reply::kUnknownArgument, cmd.tag());
    engine->fcompress = *value;
    return reply::Status(reply::kOk, cmd.tag()) + (*value ? " Compress" : " Do not compress");
  });
}

namespace {
// The host passes a boolean whose meaning lives in its lowest byte alone: a
// value such as 256 is false, whatever the upper bytes hold.
bool ShowFlag(int show) { return (show & 0xFF) != 0; }
}  // namespace

extern "C" QUORBEL_COMMAND(ZOQ_Show) {
  static const Command cmd{"ZOQ_Show"};
  return RunCommand(cmd, data, [show](TZOQ_Quorbel* engine, const std::string&) {
    if (ShowFlag(show)) engine->ShowProgressWindow();
    return reply::Status(reply::kOk, cmd.tag());
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_Hide) {
  static const Command cmd{"ZOQ_Hide"};
  return RunCommand(cmd, data, [show](TZOQ_Quorbel* engine, const std::string&) {
    if (ShowFlag(show)) engine->HideProgressWindow();
    return reply::Status(reply::kOk, cmd.tag());
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_Status) {
  static const Command cmd{"ZOQ_Status", true};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string& argument) {
    if (argument == "Files") return reply::DataTagFirst(cmd.tag(), std::to_string(engine->GetFileCount()));
    if (argument == "ActFile") return reply::DataTagFirst(cmd.tag(), std::to_string(engine->fActFile));
    return reply::Status(reply::kUnknownArgument, cmd.tag());
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_StopGenerate) {
  static const Command cmd{"ZOQ_StopGenerate", false, false, true, "ZOQ_SopGenerate"};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string&) {
    engine->Stop();
    return reply::Status(reply::kOk, cmd.tag());
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_GetDLLVersion) {
  // The only command without a failure handler: nothing here can fail.
  WriteHostBuffer(data, reply::DataTagLast(" " + std::string(kVersion), reply::Tag("ZOQ_GetDLLVersion")));
  CurrentEnv()->PumpMessages();
  return 3;
}

extern "C" QUORBEL_COMMAND(ZOQ_Dump) {
  static const Command cmd{"ZOQ_Dump", false, false};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string&) {
    if (engine->WriteDump()) return reply::Status(reply::kOk, cmd.tag());
    return OperationReply(*engine, cmd);
  });
}

// --- long operations ----------------------------------------------------------

extern "C" QUORBEL_COMMAND(ZOQ_CountFiles) {
  static const Command cmd{"ZOQ_CountFiles"};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string&) {
    if (engine->finprogress) return reply::Status(reply::kAlreadyRunning, cmd.tag());
    if (engine->CountFiles()) return reply::Status(reply::kOk, cmd.tag());
    return OperationReply(*engine, cmd);
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_StartGenerate) {
  static const Command cmd{"ZOQ_StartGenerate", false, false};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string&) {
    if (engine->finprogress) return reply::Status(reply::kAlreadyRunning, cmd.tag());
    if (!engine->fread) return reply::Status(reply::kNoIniFile, cmd.tag());
    engine->GenerateList();
    return OperationReply(*engine, cmd);
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_StartUpdateChart) {
  static const Command cmd{"ZOQ_StartUpdateChart", false, false};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string&) {
    if (engine->finprogress) return reply::Status(reply::kAlreadyRunning, cmd.tag());
    if (!engine->fread) return reply::Status(reply::kNoIniFile, cmd.tag());
    if (engine->UpdateChart()) return reply::Status(reply::kOk, cmd.tag());
    return OperationReply(*engine, cmd);
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_Compress) {
  // Takes no argument, but a data buffer must be present.
  static const Command cmd{"ZOQ_Compress", true};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string&) {
    if (!engine->fread) return reply::Status(reply::kNoIniFile, cmd.tag());
    return reply::Status(engine->CompressList(false), cmd.tag());
  });
}

// --- bad file names -------------------------------------------------------------

extern "C" QUORBEL_COMMAND(ZOQ_BadListCount) {
  static const Command cmd{"ZOQ_BadListCount"};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string&) {
    return reply::DataTagFirst(cmd.tag(), std::to_string(engine->BadFileCount() - 1));
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_BadListGet) {
  static const Command cmd{"ZOQ_BadListGet", true};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string& argument) {
    int32_t index;
    try {
      index = StrToInt(argument);
    } catch (const EConvertError&) {
      return reply::Status(reply::kUnknownArgument, cmd.tag());
    }
    if (index < 0 || index >= engine->BadFileCount()) {
      return reply::Status(reply::kOutOfBounds, cmd.tag());
    }
    return reply::DataTagFirst(cmd.tag(), engine->GetBadFile(index));
  });
}

// --- lookups ------------------------------------------------------------------

extern "C" QUORBEL_COMMAND(ZOQ_SearchFile) {
  static const Command cmd{"ZOQ_SearchFile", true, false};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string& key) {
    return SearchFileReply(*engine, key);
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_At_Find) {
  static const Command cmd{"ZOQ_At_Find", true, false};
  return RunCommand(cmd, data, [parms](TZOQ_Quorbel* engine, const std::string& pattern) {
    FindAnswer answer = AtFindAnswer(*engine, pattern);
    if (answer.second) WriteHostBuffer(parms, *answer.second);
    return answer.data;
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_GetMPEGInfo) {
  static const Command cmd{"ZOQ_GetMPEGInfo", true, true, false};
  return RunCommand(cmd, data, [](TZOQ_Quorbel* engine, const std::string& path) {
    // The one setting it follows is the configuration's id3v2 key.
    return MPEGInfoReply(*CurrentEnv(), path, engine != nullptr && engine->fid3v2);
  });
}

extern "C" QUORBEL_COMMAND(ZOQ_GetPlayerfromRegistry) {
  static const Command cmd{"ZOQ_GetPlayerfromRegistry", true, true, false};
  return RunCommand(cmd, data, [](TZOQ_Quorbel*, const std::string& extension) {
    return PlayerReply(*CurrentEnv(), extension);
  });
}
