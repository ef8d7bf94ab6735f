// The program this system opens files of an extension with, the freedesktop
// way: the extension gives a MIME type through the shared MIME-info
// database, the MIME type gives the default application through
// mimeapps.list and the desktop entries, and the entry's Exec= key gives the
// executable. GIO does all of it and honours the XDG_* variables.
#include <gio/gio.h>

#include <memory>

#include "cp1252.h"
#include "platform/env_posix_internal.h"

namespace quorbel::posix {

namespace {

// What GIO answers for a name that matches no glob of the database.
constexpr const char* kUnknownType = "application/octet-stream";
// The name the extension is put on for the database's glob lookup.
constexpr const char* kProbeName = "file";

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
using GText = std::unique_ptr<char, GFreeDeleter>;

struct UnrefDeleter {
  void operator()(GAppInfo* app) const { g_object_unref(app); }
};
using AppInfo = std::unique_ptr<GAppInfo, UnrefDeleter>;

// The MIME type registered for a dotted extension; empty when none is.
std::string MimeTypeOf(const std::string& dotted_extension) {
  // The database's globs are UTF-8; other bytes could make GIO read past the
  // text's end.
  const std::string name = kProbeName + Cp1252ToUtf8(dotted_extension);
  gboolean uncertain = FALSE;
  GText type(g_content_type_guess(name.c_str(), nullptr, 0, &uncertain));
  if (!type || (uncertain && g_strcmp0(type.get(), kUnknownType) == 0)) return {};
  GText mime(g_content_type_get_mime_type(type.get()));
  return mime ? std::string(mime.get()) : std::string();
}

// The program an application starts: the first word of its command line,
// unquoted. (GIO's own executable name of an entry stops at the first blank
// even inside quotes, so a quoted path with blanks comes out cut.)
std::string ProgramOf(GAppInfo* app) {
  const char* command_line = g_app_info_get_commandline(app);
  if (command_line == nullptr) return {};
  int argc = 0;
  char** argv = nullptr;
  if (!g_shell_parse_argv(command_line, &argc, &argv, nullptr)) return {};
  std::string program = argc > 0 ? argv[0] : "";
  g_strfreev(argv);
  return program;
}

}  // namespace

std::optional<std::string> PlayerForExtension(const std::string& extension) {
  // A separator would turn the probe name into a path to another name.
  if (extension.find('/') != std::string::npos) return std::nullopt;
  const std::string mime = MimeTypeOf(extension);
  if (mime.empty()) return std::nullopt;
  AppInfo app(g_app_info_get_default_for_type(mime.c_str(), FALSE));
  if (!app) return std::nullopt;
  const std::string program = ProgramOf(app.get());
  if (program.empty()) return std::nullopt;
  GText path(g_find_program_in_path(program.c_str()));
  if (!path) return std::nullopt;
  return std::string(path.get());
}

}  // namespace quorbel::posix
