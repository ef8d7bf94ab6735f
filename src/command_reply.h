// Reply lines: the codes and texts the library answers with, and the few
// layouts every command builds its one line from.
#pragma once

#include <string>
#include <string_view>

#include "command_failure.h"

namespace quorbel::reply {

// Code and text of every answer the library gives.
inline constexpr std::string_view kOk = "200 OK";
inline constexpr std::string_view kOkData = "201 OK-DATA";
inline constexpr std::string_view kInternalError = "500 Internal Error->";
inline constexpr std::string_view kTooFewArguments = "503 Too few arguments!";
inline constexpr std::string_view kUnknownArgument = "504 Unknown argument";
inline constexpr std::string_view kNoIniFile = "505 No ini file set";
inline constexpr std::string_view kNotFound = "506 File or directory not found";
inline constexpr std::string_view kWrongFormat = "507 Wrong format";
inline constexpr std::string_view kTooFewDrives = "508 Too few drives";
inline constexpr std::string_view kTooFewExtensions = "509 Too few Extensions";
inline constexpr std::string_view kAlreadyRunning = "510 Selected operation is just running";
inline constexpr std::string_view kTerminated = "511 Operation is terminated";
inline constexpr std::string_view kCannotCreate = "512 Cannot create file";
inline constexpr std::string_view kOutOfBounds = "513 Out of bounds";
inline constexpr std::string_view kCompressError = "514 Compress error";
inline constexpr std::string_view kNoDownloader =
    "515 Error: You have no downloader since the last update. Sorry.";
inline constexpr std::string_view kNothingFound = "516 Nothing found";
inline constexpr std::string_view kRegistryKeyNotFound = "517 Registry Key not found";

inline constexpr std::string_view kPleaseReport = "Please report this line to the ZOQ Maintainers";

// The most a reply may put into one host buffer, without the closing zero.
inline constexpr size_t kBufferCapacity = 900;

// "__" + the export name + "__".
inline std::string Tag(std::string_view command) {
  return "__" + std::string(command) + "__";
}

// "200 OK __ZOQ_Show__": a fixed answer (also a long operation's result line
// followed by the command's tag).
inline std::string Status(std::string_view text, std::string_view tag) {
  return std::string(text) + " " + std::string(tag);
}

// "201 OK-DATA __ZOQ_Status__ 12": the tag stands before the data.
inline std::string DataTagFirst(std::string_view tag, std::string_view data) {
  return std::string(kOkData) + " " + std::string(tag) + " " + std::string(data);
}

// "201 OK-DATA 0.7.8 __ZOQ_GetDLLVersion__": `data` brings its own leading blank.
inline std::string DataTagLast(std::string_view data, std::string_view tag) {
  return std::string(kOkData) + std::string(data) + " " + std::string(tag);
}

// Shown in a reply in place of a byte it cannot carry (a zero, a line break).
inline constexpr char kUnrepresentable = '?';

// The most of a failure's message an internal-error line quotes: with the
// fixed pieces and the longest tag the line stays well within the buffer, so
// the tag is never cut off.
inline constexpr size_t kQuotedMessageLimit = 600;
inline constexpr std::string_view kQuoteCut = "...";

// A failure's message as the internal-error line quotes it. Messages may hold
// text read from files; a zero byte would end the host's string early and a
// line break would split the reply, so each such byte is shown as kUnrepresentable.
inline std::string QuotedMessage(std::string_view message) {
  std::string text(message.substr(0, kQuotedMessageLimit));
  for (char& c : text) {
    if (c == '\0' || c == '\r' || c == '\n') c = kUnrepresentable;
  }
  if (message.size() > kQuotedMessageLimit) text += kQuoteCut;
  return text;
}

// Pieces 1 to 6 of every internal-error text: code, help context, message
// and class name. The callers add their own ending.
inline std::string InternalErrorHead(const FailureInfo& f) {
  return std::string(kInternalError) + std::to_string(f.help_context) + " \"" +
         QuotedMessage(f.message) + "<" + f.class_name;
}

// The command's internal-error line.
inline std::string InternalErrorLine(const FailureInfo& f, std::string_view tag) {
  return InternalErrorHead(f) + ">\" " + std::string(kPleaseReport) + " " + std::string(tag);
}

// The engine-level internal-error text (no tag) that the chart update keeps.
inline std::string InternalErrorText(const FailureInfo& f) {
  return InternalErrorHead(f) + ">\" " + std::string(kPleaseReport);
}

}  // namespace quorbel::reply
