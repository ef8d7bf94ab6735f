/* quorbel.h: the library's interface for host authors.
 *
 * The host loads the library (quorbel.dll on 32- and 64-bit Windows,
 * libquorbel.so on Linux), calls LoadDll once with a load record it owns,
 * then calls commands by name, and calls UnloadDll before unloading it.
 *
 * Every command has one signature: main window, active window, data buffer
 * (argument in, zero-terminated reply out), parameter buffer (a second
 * output buffer for ZOQ_At_Find), show flag (only its lowest byte counts),
 * no-pause flag. Every command returns 3. Both buffers must hold at least
 * 901 bytes: the library never writes more than 900 characters plus the
 * terminating zero into either.
 *
 * 32-bit Windows: every export uses __stdcall (the callee removes the
 * arguments) and is exported under its plain, undecorated name; the load
 * record is three 32-bit fields. 64-bit Windows and Linux: the platform's
 * one calling convention; the load record has natural alignment, so the
 * window handle sits at offset 8 and the keep-loaded flag at offset 16.
 */
#ifndef QUORBEL_H
#define QUORBEL_H

#include <stdint.h>

#if defined(_WIN32)
#define QUORBEL_CALL __stdcall
#define QUORBEL_EXPORT
#else
#define QUORBEL_CALL
#define QUORBEL_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The record the host passes to LoadDll. */
typedef struct LOADINFO {
  uint32_t mVersion; /* the host's version; not read */
  void* mHwnd;       /* the host's main window; the progress window's parent */
  int32_t mKeep;     /* keep-loaded flag; LoadDll sets its first byte to 1 */
} LOADINFO;

/* The signatures as pointer types, for hosts that look the exports up. */
typedef int(QUORBEL_CALL* QuorbelCommand)(void* main_window, void* active_window, char* data,
                                          char* parms, int show, int nopause);
typedef void(QUORBEL_CALL* QuorbelLoadDll)(LOADINFO* info);
typedef int(QUORBEL_CALL* QuorbelUnloadDll)(int code);

QUORBEL_EXPORT void QUORBEL_CALL LoadDll(LOADINFO* info);
/* Stops any running work and releases the engine; returns 1 for code 1, else 0. */
QUORBEL_EXPORT int QUORBEL_CALL UnloadDll(int code);

#define QUORBEL_DECLARE_COMMAND(name)                                                          \
  QUORBEL_EXPORT int QUORBEL_CALL name(void* main_window, void* active_window, char* data, \
                                       char* parms, int show, int nopause)
QUORBEL_DECLARE_COMMAND(ZOQ_Status);
QUORBEL_DECLARE_COMMAND(ZOQ_Show);
QUORBEL_DECLARE_COMMAND(ZOQ_Hide);
QUORBEL_DECLARE_COMMAND(ZOQ_CountFiles);
QUORBEL_DECLARE_COMMAND(ZOQ_SetDirectory);
QUORBEL_DECLARE_COMMAND(ZOQ_StopGenerate);
QUORBEL_DECLARE_COMMAND(ZOQ_SetEGSong);
QUORBEL_DECLARE_COMMAND(ZOQ_SetIniFile);
QUORBEL_DECLARE_COMMAND(ZOQ_SetAutoRenameBadFiles);
QUORBEL_DECLARE_COMMAND(ZOQ_SetCompress);
QUORBEL_DECLARE_COMMAND(ZOQ_BadListCount);
QUORBEL_DECLARE_COMMAND(ZOQ_BadListGet);
QUORBEL_DECLARE_COMMAND(ZOQ_StartUpdateChart);
QUORBEL_DECLARE_COMMAND(ZOQ_StartGenerate);
QUORBEL_DECLARE_COMMAND(ZOQ_SearchFile);
QUORBEL_DECLARE_COMMAND(ZOQ_At_Find);
QUORBEL_DECLARE_COMMAND(ZOQ_Dump);
QUORBEL_DECLARE_COMMAND(ZOQ_Compress);
QUORBEL_DECLARE_COMMAND(ZOQ_GetMPEGInfo);
QUORBEL_DECLARE_COMMAND(ZOQ_GetPlayerfromRegistry);
QUORBEL_DECLARE_COMMAND(ZOQ_GetDLLVersion);
#undef QUORBEL_DECLARE_COMMAND

#if !defined(_WIN32)
/* Linux has no window message queue: the host installs the function that
 * the library calls wherever it lets the host process pending messages. */
QUORBEL_EXPORT void quorbel_set_message_pump(void (*pump)(void* context), void* context);
#endif

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORBEL_H */
