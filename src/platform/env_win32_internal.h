// Pieces of the Win32 Env that live in files of their own.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/env.h"

namespace quorbel::win32 {

// The default value of <file type>\shell\open\command for the file type
// registered for `dotted_extension` under HKEY_CLASSES_ROOT; nullopt when a
// key or value on the way is missing, empty or unreadable.
std::optional<std::string> OpenCommandForExtension(const std::string& dotted_extension);

std::unique_ptr<NativeProgressWindow> CreateProgressWindow(WindowHandle parent,
                                                           const ProgressWindowLook& look,
                                                           ProgressWindowEvents* events);

}  // namespace quorbel::win32
