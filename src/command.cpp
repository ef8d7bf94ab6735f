// The command table and the runner: every command answers through the same
// frame, and work that nested calls ask for waits until the outermost call
// returns.
#include "command.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace quorbel {

namespace {

#define QUORBEL_COMMAND_ENTRY(export_name, body_function, ...) \
  Command{.name = #export_name, .body = body_function __VA_OPT__(, ) __VA_ARGS__},
constexpr Command kCommands[] = {QUORBEL_COMMANDS(QUORBEL_COMMAND_ENTRY)};
#undef QUORBEL_COMMAND_ENTRY

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

std::string CallBody(const Command& command, TZOQ_Quorbel* engine, char* data, char* parms,
                     int show) {
  const std::string argument = command.reads_argument ? data : "";
  return command.body({command, engine, argument, show, parms});
}

// True while a command runs inside another command's message pumping.
bool IsNestedCommand() { return g_depth > 1; }

// The body's reply; in the frame, the internal-error line of whatever it raised.
std::string ReplyLine(const Command& command, char* data, char* parms, int show) {
  if (command.bare) return CallBody(command, nullptr, data, parms, show);
  try {
    TZOQ_Quorbel* engine = ZOQ_Quorbel;
    if (command.needs_engine && engine == nullptr) {
      throw ENoEngine("The library's engine could not be created at load time");
    }
    return CallBody(command, engine, data, parms, show);
  } catch (...) {
    const char* tag_name = command.error_tag_name ? command.error_tag_name : command.name;
    return reply::InternalErrorLine(DescribeCurrentFailure(), reply::Tag(tag_name));
  }
}

}  // namespace

std::span<const Command> AllCommands() { return kCommands; }

const Command& CommandOf(CommandId id) { return kCommands[static_cast<size_t>(id)]; }

CommandDepth::CommandDepth() {
  ++g_depth;
  CommandBegins();
}

CommandDepth::~CommandDepth() {
  if (--g_depth == 0) ApplyDeferred();
}

void ReleaseEngine(TZOQ_Quorbel* engine) {
  g_deferred.engines.emplace_back(engine);
  g_deferred.ini_file.reset();
  g_deferred.directory.reset();
}

void WriteHostBuffer(char* buffer, const std::string& text) {
  if (buffer == nullptr) return;
  size_t n = std::min(text.size(), reply::kBufferCapacity);
  std::memcpy(buffer, text.data(), n);
  // A zero byte inside the text would end the host's string early and cut
  // the reply (and its tag); it is shown like any byte a reply cannot carry.
  std::replace(buffer, buffer + n, '\0', reply::kUnrepresentable);
  buffer[n] = '\0';
}

void SetDirectoryWhenSafe(TZOQ_Quorbel& engine, const std::string& path) {
  if (IsNestedCommand()) {
    g_deferred.directory = path;
  } else {
    engine.SetDirectory(path);
  }
}

void ReadIniFileWhenSafe(TZOQ_Quorbel& engine, const std::string& path) {
  if (IsNestedCommand()) {
    g_deferred.ini_file = path;
  } else {
    engine.ReadIniFile(path);
  }
}

int RunCommand(const Command& command, char* data, char* parms, int show) {
  std::optional<CommandDepth> depth;
  if (command.bare) {
    CommandBegins();
  } else {
    depth.emplace();
  }
  // Without a data buffer there is nowhere to read the argument from, nor
  // to write the "503 Too few arguments!" answer to.
  if (!command.reads_argument || data != nullptr) {
    WriteHostBuffer(data, ReplyLine(command, data, parms, show));
  }
  if (command.pumps_after) CurrentEnv()->PumpMessages();
  return 3;
}

}  // namespace quorbel
