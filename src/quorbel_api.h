// The library's exported interface, as the IRC client calls it.
//
// On Windows every export uses the standard calling convention and is
// exported undecorated (quorbel.def); on Linux the same names are exported
// with the C calling convention and window handles are opaque pointers.
#pragma once

#include <cstdint>

#ifdef _WIN32
#define QUORBEL_CALL __stdcall
#define QUORBEL_EXPORT
#else
#define QUORBEL_CALL
#define QUORBEL_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// The record the host passes to LoadDll. On Windows three 32-bit fields.
struct LOADINFO {
  uint32_t mVersion;  // the host's version; not read
  void* mHwnd;        // the host's main window
  int32_t mKeep;      // keep-loaded flag; LoadDll sets its first byte to 1
};

// Signature shared by every command: main window, active window, data
// buffer (argument in, reply out), parameter buffer, show flag, no-pause
// flag. Every command returns 3.
#define QUORBEL_COMMAND(name)                                                             \
  QUORBEL_EXPORT int QUORBEL_CALL name([[maybe_unused]] void* mWnd, [[maybe_unused]] void* aWnd, \
                                       char* data, [[maybe_unused]] char* parms,                  \
                                       [[maybe_unused]] int show, [[maybe_unused]] int nopause)

QUORBEL_EXPORT void QUORBEL_CALL LoadDll(LOADINFO* info);
QUORBEL_EXPORT int QUORBEL_CALL UnloadDll(int code);

QUORBEL_COMMAND(ZOQ_Status);
QUORBEL_COMMAND(ZOQ_Show);
QUORBEL_COMMAND(ZOQ_Hide);
QUORBEL_COMMAND(ZOQ_CountFiles);
QUORBEL_COMMAND(ZOQ_SetDirectory);
QUORBEL_COMMAND(ZOQ_StopGenerate);
QUORBEL_COMMAND(ZOQ_SetEGSong);
QUORBEL_COMMAND(ZOQ_SetIniFile);
QUORBEL_COMMAND(ZOQ_SetAutoRenameBadFiles);
QUORBEL_COMMAND(ZOQ_SetCompress);
QUORBEL_COMMAND(ZOQ_BadListCount);
QUORBEL_COMMAND(ZOQ_BadListGet);
QUORBEL_COMMAND(ZOQ_StartUpdateChart);
QUORBEL_COMMAND(ZOQ_StartGenerate);
QUORBEL_COMMAND(ZOQ_SearchFile);
QUORBEL_COMMAND(ZOQ_At_Find);
QUORBEL_COMMAND(ZOQ_Dump);
QUORBEL_COMMAND(ZOQ_Compress);
QUORBEL_COMMAND(ZOQ_GetMPEGInfo);
QUORBEL_COMMAND(ZOQ_GetPlayerfromRegistry);
QUORBEL_COMMAND(ZOQ_GetDLLVersion);

#ifndef _WIN32
// The Linux host's stand-in for the Windows message queue: the library
// calls `pump` wherever it lets the host process pending messages.
QUORBEL_EXPORT void quorbel_set_message_pump(void (*pump)(void* context), void* context);
#endif

}  // extern "C"

// The signature as a pointer type, for hosts that load the library.
typedef int(QUORBEL_CALL* QuorbelCommand)(void*, void*, char*, char*, int, int);
typedef void(QUORBEL_CALL* QuorbelLoadDll)(LOADINFO*);
typedef int(QUORBEL_CALL* QuorbelUnloadDll)(int);
