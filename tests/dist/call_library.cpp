// A minimal Windows host for the packaging test: loads the DLL named on the
// command line the way the IRC client does, runs the given commands in
// order and prints each reply on a line of its own.
//
//   call_library.exe PATH\quorbel.dll COMMAND ARGUMENT [COMMAND ARGUMENT...]
//
// Exit status: 0 when every reply begins with 2, 1 when one does not,
// 2 when the library or a command cannot be found.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "quorbel.h"

namespace {
constexpr int kBufferSize = 901;  // what the library may fill: 900 characters and the zero

template <class T>
T Export(HMODULE library, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc % 2 != 0) {
    std::fprintf(stderr, "usage: call_library DLL [COMMAND ARGUMENT]...\n");
    return 2;
  }
  HMODULE library = LoadLibraryA(argv[1]);
  auto load = Export<QuorbelLoadDll>(library, "LoadDll");
  auto unload = Export<QuorbelUnloadDll>(library, "UnloadDll");
  if (!library || !load || !unload) {
    std::fprintf(stderr, "call_library: cannot load %s (error %lu)\n", argv[1], GetLastError());
    return 2;
  }
  LOADINFO info{0, nullptr, 0};
  load(&info);
  int status = 0;
  for (int i = 2; i + 1 < argc; i += 2) {
    auto command = Export<QuorbelCommand>(library, argv[i]);
    if (!command) {
      std::fprintf(stderr, "call_library: no export %s\n", argv[i]);
      status = 2;
      break;
    }
    static char data[kBufferSize], parms[kBufferSize];
    std::snprintf(data, sizeof data, "%s", argv[i + 1]);
    parms[0] = '\0';
    command(nullptr, nullptr, data, parms, 0, 0);
    std::printf("%s\n", data);
    if (data[0] != '2') status = 1;
  }
  unload(1);
  FreeLibrary(library);
  return status;
}
