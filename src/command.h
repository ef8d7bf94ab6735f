// The exported commands: one table of every command's name and how it runs,
// the runner that gives each the same frame (argument reading, the failure
// handler, the bounded reply, the message pump after it), and what is
// deferred while commands are nested inside another command's message
// pumping.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "command_reply.h"
#include "platform/env.h"
#include "quorbel_oob.h"

namespace quorbel {

struct Command;

// One call of a command, as its body sees it.
struct CommandCall {
  const Command& command;
  TZOQ_Quorbel* engine;         // null when the command does not need one
  const std::string& argument;  // empty when the command reads none
  int show;                     // the host's show flag
  char* parms;                  // the host's parameter buffer (may be null)
};

// The work of one command: returns the reply line.
using CommandBody = std::string (*)(const CommandCall& call);

struct Command {
  const char* name;  // the export name; the reply tag is "__" + name + "__"
  CommandBody body;
  bool reads_argument = false;  // tests the data buffer and reads its text
  bool pumps_after = true;      // pumps messages once after the reply
  bool needs_engine = true;     // works on ZOQ_Quorbel
  // Answers outside the runner's frame: no failure handler, not counted as
  // a running command. Only for a reply that cannot fail.
  bool bare = false;
  // The name in the internal-error line's tag, when it differs.
  const char* error_tag_name = nullptr;

  std::string tag() const { return reply::Tag(name); }
};

// Every exported command once, in the order of the export lists: the export
// name, its body, then how it runs (Command's fields, by name). The exports,
// the command table, the bodies' declarations and the reply tags all come
// from this list; src/quorbel.def, src/quorbel.map, include/quorbel.h and the
// host's shell completions are checked against it by the test suite.
#define QUORBEL_COMMANDS(X)                                                              \
  X(ZOQ_Status, StatusBody, .reads_argument = true)                                      \
  X(ZOQ_Show, ShowBody)                                                                  \
  X(ZOQ_Hide, HideBody)                                                                  \
  X(ZOQ_CountFiles, CountFilesBody)                                                      \
  X(ZOQ_SetDirectory, SetDirectoryBody, .reads_argument = true)                          \
  /* The internal-error tag lacks the name's "t": deliberate, hosts match on it. */      \
  X(ZOQ_StopGenerate, StopGenerateBody, .pumps_after = false,                            \
    .error_tag_name = "ZOQ_SopGenerate")                                                 \
  X(ZOQ_SetEGSong, SetEGSongBody, .reads_argument = true)                                \
  X(ZOQ_SetIniFile, SetIniFileBody, .reads_argument = true)                              \
  X(ZOQ_SetAutoRenameBadFiles, SetAutoRenameBadFilesBody, .reads_argument = true)       \
  X(ZOQ_SetCompress, SetCompressBody, .reads_argument = true)                            \
  X(ZOQ_BadListCount, BadListCountBody)                                                  \
  X(ZOQ_BadListGet, BadListGetBody, .reads_argument = true)                              \
  X(ZOQ_StartUpdateChart, StartUpdateChartBody, .pumps_after = false)                    \
  X(ZOQ_StartGenerate, StartGenerateBody, .pumps_after = false)                          \
  X(ZOQ_SearchFile, SearchFileBody, .reads_argument = true, .pumps_after = false)        \
  X(ZOQ_At_Find, AtFindBody, .reads_argument = true, .pumps_after = false)               \
  X(ZOQ_Dump, DumpBody, .pumps_after = false)                                            \
  /* Takes no argument, but answers only into a data buffer that is there. */           \
  X(ZOQ_Compress, CompressBody, .reads_argument = true)                                  \
  X(ZOQ_GetMPEGInfo, GetMPEGInfoBody, .reads_argument = true, .needs_engine = false)     \
  X(ZOQ_GetPlayerfromRegistry, GetPlayerBody, .reads_argument = true,                    \
    .needs_engine = false)                                                               \
  X(ZOQ_GetDLLVersion, GetDLLVersionBody, .needs_engine = false, .bare = true)

// Names the commands in code: CommandId::ZOQ_Status and so on.
enum class CommandId {
#define QUORBEL_COMMAND_ID(name, ...) name,
  QUORBEL_COMMANDS(QUORBEL_COMMAND_ID)
#undef QUORBEL_COMMAND_ID
};

// The bodies, defined in quorbel_api.cpp.
#define QUORBEL_COMMAND_BODY(name, body, ...) std::string body(const CommandCall& call);
QUORBEL_COMMANDS(QUORBEL_COMMAND_BODY)
#undef QUORBEL_COMMAND_BODY

// The table, in the order of the list.
std::span<const Command> AllCommands();
const Command& CommandOf(CommandId id);
inline std::string CommandTag(CommandId id) { return CommandOf(id).tag(); }

// Runs a command the host called; always returns 3.
int RunCommand(const Command& command, char* data, char* parms, int show);

// Copies a reply into a host buffer: at most 900 characters and the zero.
// A null buffer is never written.
void WriteHostBuffer(char* buffer, const std::string& text);

// The two settings that a running operation reads: applied at once, or,
// when a command asks for them from inside another command's message
// pumping, when the outermost command returns, so that they never change
// under a running operation.
void SetDirectoryWhenSafe(TZOQ_Quorbel& engine, const std::string& path);
void ReadIniFileWhenSafe(TZOQ_Quorbel& engine, const std::string& path);

// Counts LoadDll, UnloadDll and the commands as running while it lives,
// each one's first pump point reaching the host's queue; when the outermost
// one ends, what was deferred is applied.
class CommandDepth {
 public:
  CommandDepth();
  ~CommandDepth();
  CommandDepth(const CommandDepth&) = delete;
  CommandDepth& operator=(const CommandDepth&) = delete;
};

// Destroys an engine once the outermost entry point has returned: a
// command, LoadDll or UnloadDll may still be using it further down the
// stack. Settings put off for it die with it.
void ReleaseEngine(TZOQ_Quorbel* engine);

// The find reply is split over the data and the parameter buffers.
struct FindAnswer {
  std::string data;                  // the reply line, at most 900 characters
  std::optional<std::string> second; // the parameter buffer's new content, if any
};

// The work of the commands that live beside their subsystem.
std::string SearchFileReply(TZOQ_Quorbel& engine, const std::string& key);
FindAnswer AtFindAnswer(TZOQ_Quorbel& engine, const std::string& pattern);
// `id3v2`: a file without an ID3v1 tag shows its ID3v2 texts.
std::string MPEGInfoReply(Env& env, const std::string& path, bool id3v2 = false);
std::string PlayerReply(Env& env, const std::string& extension);

}  // namespace quorbel
