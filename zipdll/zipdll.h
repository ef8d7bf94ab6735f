/* The zip engine's interface, shared by the engine library and its caller.
 *
 * The engine (ZIPDLL.DLL on Windows, libzipdll.so on Linux) is loaded at run
 * time and exports two functions:
 *   GetZipDllVersion()        the engine's version (ZIPDLL_VERSION)
 *   ZipDllExec(parameters)    writes a ZIP archive; returns the number of
 *                             files added, 0 when nothing was added
 *
 * While it runs, the engine reports through the caller's callback; a
 * non-zero return from the callback asks it to abort. An aborted or failed
 * run adds nothing and leaves no archive behind: the archive is written
 * under a temporary name beside its final place and renamed at the end.
 *
 * Flags are 32-bit values, -1 (ZIPDLL_TRUE) for true and 0 for false.
 * On Windows every function, the callback included, uses the standard
 * calling convention. */
#ifndef QUORBEL_ZIPDLL_H
#define QUORBEL_ZIPDLL_H

#include <stdint.h>

#ifdef _WIN32
#define ZIPDLL_CALL __stdcall
#else
#define ZIPDLL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
  ZIPDLL_VERSION = 160,          /* GetZipDllVersion's answer */
  ZIPDLL_CALLER_VERSION = 158,   /* the parameter layout below */
  ZIPDLL_OLD_LAYOUT_LAST = 150,  /* engines up to this version took an array of names */
  ZIPDLL_PASSWORD_SIZE = 80,
  ZIPDLL_STEP_BYTES = 65536,     /* input read between two progress steps */
  ZIPDLL_TRUE = -1,
  ZIPDLL_FALSE = 0
};

/* Callback action codes. */
enum {
  ZIPDLL_NEW_FILE = 1,     /* text: the entry's name, size: the file's size */
  ZIPDLL_STEP = 2,         /* size: input bytes packed since the last step */
  ZIPDLL_END_BATCH = 3,    /* all files are in the archive */
  ZIPDLL_MESSAGE = 4,      /* error_code and text */
  ZIPDLL_TOTAL_FILES = 5,  /* size: number of files to add */
  ZIPDLL_TOTAL_SIZE = 6    /* size: bytes to pack in all */
};

/* Error codes of ZIPDLL_MESSAGE; each is non-zero in its low 8 bits. */
enum {
  ZIPDLL_ERR_PARAMETERS = 1,   /* no record, no archive name, no files, bad level */
  ZIPDLL_ERR_LAYOUT = 2,       /* the caller's version is not one the engine reads */
  ZIPDLL_ERR_OPTION = 3,       /* an option this engine does not offer */
  ZIPDLL_ERR_OPEN_INPUT = 4,   /* a file to add cannot be opened */
  ZIPDLL_ERR_READ_INPUT = 5,
  ZIPDLL_ERR_CREATE = 6,       /* the temporary archive cannot be created */
  ZIPDLL_ERR_WRITE = 7,
  ZIPDLL_ERR_TOO_LARGE = 8,    /* beyond the 4 GiB limits of the archive format */
  ZIPDLL_ERR_MEMORY = 9,
  ZIPDLL_ERR_DEFLATE = 10,
  ZIPDLL_ERR_RENAME = 11       /* the finished archive cannot be put in place */
};

typedef struct ZipCallbackData {
  void* caller;          /* the caller field of the parameter record */
  int32_t action;        /* ZIPDLL_NEW_FILE ... ZIPDLL_TOTAL_SIZE */
  int32_t error_code;    /* ZIPDLL_MESSAGE only */
  int64_t size;          /* see the action codes */
  const char* text;      /* NEW_FILE and MESSAGE; never null */
} ZipCallbackData;

/* Returns non-zero to abort the run. */
typedef int32_t(ZIPDLL_CALL* ZipCallback)(const ZipCallbackData* data);

/* One file to add: its full path. The entry gets the bare file name. */
typedef struct ZipFileData {
  const char* path;
} ZipFileData;

typedef struct ZipParams {
  void* owner_window;    /* for the engine's dialogs; this engine shows none */
  void* caller;          /* handed back in every callback */
  int32_t version;       /* ZIPDLL_CALLER_VERSION */
  ZipCallback callback;  /* may be null */
  int32_t trace;
  int32_t verbose;
  int32_t level;         /* 0..9 */
  /* Options; this engine offers none of them and refuses a set one. */
  int32_t store_dir_names;
  int32_t dir_entries;
  int32_t recurse;
  int32_t move;
  int32_t update;
  int32_t freshen;
  int32_t force_dos;
  int32_t zip_time;
  int32_t hidden_files;
  int32_t encrypt;
  char password[ZIPDLL_PASSWORD_SIZE];
  const char* archive;   /* full path of the archive to write */
  const char* temp_dir;  /* ignored: the temporary archive lives beside the archive */
  int32_t file_count;
  const ZipFileData* files;
} ZipParams;

typedef int32_t(ZIPDLL_CALL* GetZipDllVersionFn)(void);
typedef int32_t(ZIPDLL_CALL* ZipDllExecFn)(const ZipParams* params);

#ifdef __cplusplus
}
#endif

#endif
