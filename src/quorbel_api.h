// The library's exported interface, as the IRC client calls it: the public
// header for host authors, plus the load record's layout the library relies on.
#pragma once

#include <cstddef>

#include "quorbel.h"

// The load record's layout is the host's: three 32-bit fields on 32-bit
// Windows, natural alignment with a pointer-sized handle elsewhere.
static_assert(offsetof(LOADINFO, mHwnd) == (sizeof(void*) == 4 ? 4 : 8));
static_assert(offsetof(LOADINFO, mKeep) == (sizeof(void*) == 4 ? 8 : 16));
static_assert(sizeof(LOADINFO) == (sizeof(void*) == 4 ? 12 : 24));
