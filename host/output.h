// How the library's text reaches the user. The library's special bytes
// (NBSP 0xA0 padding, the separator 0xFF) are single-byte code page text;
// a terminal gets them as UTF-8, a pipe or file gets the bytes unchanged.
#pragma once

#include <string>

#include "library.h"

namespace host {

enum class Encoding { kBytes, kUtf8 };

// Valid UTF-8 sequences (file names from the file system) pass unchanged;
// every other byte is read as Windows-1252 and written as UTF-8.
std::string ToUtf8(const std::string& text);

std::string ForDisplay(const std::string& text, Encoding encoding);

// The reply line and, when the command wrote it, the parameter buffer's
// continuation, each on a line of its own.
void PrintReply(const Reply& reply, Encoding encoding);

}  // namespace host
