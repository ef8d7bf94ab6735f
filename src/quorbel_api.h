// The library's exported interface, as the IRC client calls it: the public
// header for host authors, plus the form in which the library defines each
// command.
#pragma once

#include <cstddef>

#include "quorbel.h"

// The definition of a command with the shared signature; most commands read
// neither window handle, the parameter buffer nor the two flags.
#define QUORBEL_COMMAND(name)                                                             \
  QUORBEL_EXPORT int QUORBEL_CALL name([[maybe_unused]] void* mWnd, [[maybe_unused]] void* aWnd, \
                                       char* data, [[maybe_unused]] char* parms,                  \
                                       [[maybe_unused]] int show, [[maybe_unused]] int nopause)

// The load record's layout is the host's: three 32-bit fields on 32-bit
// Windows, natural alignment with a pointer-sized handle elsewhere.
static_assert(offsetof(LOADINFO, mHwnd) == (sizeof(void*) == 4 ? 4 : 8));
static_assert(offsetof(LOADINFO, mKeep) == (sizeof(void*) == 4 ? 8 : 16));
static_assert(sizeof(LOADINFO) == (sizeof(void*) == 4 ? 12 : 24));
