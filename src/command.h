// How a command runs: argument reading, the failure handler, the bounded
// reply, the message pump after it, and what is deferred while commands are
// nested inside another command's message pumping.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/env.h"
#include "quorbel_oob.h"
#include "command_reply.h"

namespace quorbel {

struct Command {
  const char* name;               // the export name; the tag is "__" + name + "__"
  bool reads_argument = false;    // tests the data buffer and reads its text
  bool pumps_after = true;        // pumps messages once after the reply
  bool needs_engine = true;       // works on ZOQ_Quorbel
  const char* error_tag = nullptr;  // tag of the internal-error line, when it differs

  std::string tag() const { return reply::Tag(name); }
};

// The work of one command: gets the engine (null when the command does not
// need one) and the argument text, returns the reply line.
using CommandBody = std::function<std::string(TZOQ_Quorbel* engine, const std::string& argument)>;

// Runs a command the host called; always returns 3.
int RunCommand(const Command& command, char* data, const CommandBody& body);

// Copies a reply into a host buffer: at most 900 characters and the zero.
// A null buffer is never written.
void WriteHostBuffer(char* buffer, const std::string& text);

// True while a command runs inside another command's message pumping.
bool IsNestedCommand();

// Settings that a nested command asks for are applied when the outermost
// command returns, so that they never change under a running operation.
void DeferIniFile(const std::string& path);
void DeferDirectory(const std::string& path);

// The find reply is split over the data and the parameter buffers.
struct FindAnswer {
  std::string data;                  // the reply line, at most 900 characters
  std::optional<std::string> second; // the parameter buffer's new content, if any
};

// Bodies of the commands that live beside their subsystem.
std::string SearchFileReply(TZOQ_Quorbel& engine, const std::string& key);
FindAnswer AtFindAnswer(TZOQ_Quorbel& engine, const std::string& pattern);
// `id3v2`: a file without an ID3v1 tag shows its ID3v2 texts.
std::string MPEGInfoReply(Env& env, const std::string& path, bool id3v2 = false);
std::string PlayerReply(Env& env, const std::string& extension);

}  // namespace quorbel
