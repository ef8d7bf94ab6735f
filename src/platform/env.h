// The platform layer: everything the engine needs from the operating system.
//
// The engine never includes <windows.h> or POSIX headers; it talks to the
// system only through this interface, and takes what is fixed at compile
// time from port.h. There is one implementation per OS (env_win32.cpp,
// env_posix.cpp); Env::Default() returns the one built in. Tests may wrap it
// (EnvWrapper) to inject a fixed clock or failing calls.
//
// What the system cannot do or does not have is answered with a value, the
// same kind for every call: false from a call that did not happen, -1 for a
// size or byte count it cannot give, nullptr for a file, listing or library
// it cannot open (null below), nullopt for something nothing is registered
// for, and an empty string or list for a text or list it does not have.
// Each call below names only which of them it uses.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/port.h"

// <windows.h> defines these as macros; the Env's methods keep their names.
#undef LoadLibrary
#undef ReplaceFile

namespace quorbel {

// The host's window handle: HWND on Windows, an opaque pointer on Linux.
using WindowHandle = void*;

// Attribute bits of a directory entry, as the Windows file system gives them
// (POSIX reports the directory and hidden bits; the walk needs no other).
namespace attr {
inline constexpr uint32_t kReadOnly = 0x01;
inline constexpr uint32_t kHidden = 0x02;
inline constexpr uint32_t kSystem = 0x04;
inline constexpr uint32_t kVolumeLabel = 0x08;
inline constexpr uint32_t kDirectory = 0x10;
inline constexpr uint32_t kArchive = 0x20;
}  // namespace attr

struct DirEntry {
  std::string name;
  uint32_t attributes = 0;
};

// One open directory listing; yields the entries in the system's order.
class DirListing {
 public:
  virtual ~DirListing() = default;
  virtual bool Next(DirEntry* entry) = 0;
};

// What identifies one version of a file on disk: which file it is (device
// and inode, or volume and file index), its size and its times. Two equal
// stamps of the same path mean the file was not replaced or rewritten,
// unless the rewrite fell within the time stamps' granularity.
struct FileStamp {
  uint64_t volume = 0;
  uint64_t file = 0;
  int64_t size = -1;
  int64_t modified = 0;  // nanoseconds since 1970, the FileClockNow() clock
  int64_t changed = 0;   // status change time where the system keeps one, else 0
  bool operator==(const FileStamp&) const = default;
};

// Local calendar time, taken once per generation run.
struct LocalTime {
  int year = 0, month = 0, day = 0;  // month 1..12
  int hour = 0, minute = 0, second = 0;
  int weekday = 0;  // 0 = Sunday
};

// What the engine decides of the progress window: its caption and the size
// of its inside, in pixels at 96 per inch.
struct ProgressWindowLook {
  std::string caption;
  int client_width = 0;
  int client_height = 0;
};

// Callbacks of the native progress window into its owner.
class ProgressWindowEvents {
 public:
  virtual ~ProgressWindowEvents() = default;
  virtual void AbortClicked() = 0;
};

// The native side of the progress window: a real dialog on Windows, a
// state-only stand-in where there is no display.
class NativeProgressWindow {
 public:
  virtual ~NativeProgressWindow() = default;
  virtual void SetVisible(bool visible) = 0;
  virtual bool IsVisible() const = 0;
  virtual bool IsActive() const = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetProgressRange(int32_t minimum, int32_t maximum) = 0;
  virtual void SetProgressPosition(int32_t position) = 0;
  // Presses the Abort button as a user would (tests and the headless build).
  virtual void ClickAbort() = 0;
};

// An open file read at explicit positions: no shared file position, so a
// read is one system call and several threads may each hold their own.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  // Reads up to `count` bytes from `offset` on into `into`: the number read,
  // fewer than `count` only where the file ends, -1 on a failure.
  virtual int64_t Read(int64_t offset, size_t count, void* into) = 0;
};

// A library loaded at run time.
class DynamicLibrary {
 public:
  virtual ~DynamicLibrary() = default;
  virtual void* Symbol(const char* name) = 0;
};

// Makes sort keys on one thread other than the caller's while the Env goes
// on serving others: it keys with a collator of its own.
class SortKeyMaker {
 public:
  virtual ~SortKeyMaker() = default;
  // Appends the key of `text` to `keys`, as Env::AppendSortKeys keys it.
  virtual void AppendSortKey(std::string_view text, std::string* keys) = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // The implementation for this operating system; lives until the library
  // is unloaded.
  static Env* Default();

  // --- files and directories ----------------------------------------------
  virtual bool FileExists(const std::string& path) = 0;  // a file, not a directory
  virtual bool DirectoryExists(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // Renames; refuses when a file of the new name exists.
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  // Puts `from` in place of `to` in one step, replacing an existing `to`;
  // on Windows the move is on the disk when the call returns.
  virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;
  // Puts a closed file's data on the disk. Before a file is renamed over
  // another, so that after a power cut its new name never holds an empty
  // or partial file.
  virtual bool SyncFile(const std::string& path) = 0;
  // Puts a folder's entries (a rename just done in it) on the disk; true at
  // once where the rename itself was written through (Windows).
  virtual bool SyncDirectory(const std::string& directory) = 0;
  // Opens a file as fopen() does, with the system's single-byte file names.
  virtual std::FILE* OpenFile(const std::string& path, const char* mode) = 0;
  // The two calls of the media reader. The generation run's readers make
  // them from several threads at once: implementations keep no state.
  // Opens an existing regular file for reading; null for anything else: a
  // missing file, a folder, a device or a pipe (never waits on one). `size`,
  // when not null, receives the file's size, taken from the open file (-1
  // when the system cannot tell).
  virtual std::unique_ptr<RandomAccessFile> OpenRegularFile(const std::string& path,
                                                            int64_t* size) = 0;
  // Size of an existing file in bytes, -1 when it cannot be opened.
  virtual int64_t FileSize(const std::string& path) = 0;
  // The stamp of a file opened by OpenFile; false when the system cannot
  // tell (the caller then treats the file as new every time).
  virtual bool StampFile(std::FILE* file, FileStamp* stamp) = 0;
  // The clock that file modification times are taken from, in the units of
  // FileStamp::modified.
  virtual int64_t FileClockNow() = 0;
  // Lists `directory` (given without a trailing delimiter); null when it
  // cannot be listed. The special entries "." and ".." may be returned.
  virtual std::unique_ptr<DirListing> ListDirectory(const std::string& directory) = 0;
  // An identity of a directory that is the same for every path reaching it
  // (device and inode on POSIX); empty when the system offers none, in which
  // case the walk cannot loop through links anyway.
  virtual std::string DirectoryIdentity(const std::string& directory) = 0;

  // --- profile (INI) files ------------------------------------------------
  // Key names of a section in file order; empty when the section is missing.
  virtual std::vector<std::string> ProfileKeys(const std::string& path,
                                               const std::string& section) = 0;
  // One value (at most 2047 characters) or `fallback` when the key is missing.
  virtual std::string ProfileString(const std::string& path, const std::string& section,
                                    const std::string& key, const std::string& fallback) = 0;

  // --- text ordering ------------------------------------------------------
  // The user's locale comparison ignoring case: <0, 0, >0.
  virtual int CompareText(const std::string& a, const std::string& b) = 0;
  // Appends a key for each text to `keys` and where each key starts to
  // `starts`, then the end of the last. Keys compared byte by byte (a
  // shorter key first when one begins the other) order as CompareText does.
  virtual void AppendSortKeys(const std::vector<std::string_view>& texts, std::string* keys,
                              std::vector<size_t>* starts) = 0;
  // A key maker for another thread; null when none can be had.
  virtual std::unique_ptr<SortKeyMaker> NewSortKeyMaker() = 0;

  // --- time ---------------------------------------------------------------
  virtual LocalTime Now() = 0;

  // --- windows and messages -----------------------------------------------
  // A pump point: processes every message waiting for the calling thread,
  // then returns; the system's Env does so only at the pace of
  // platform/pump_pace.h and otherwise returns at once.
  virtual void PumpMessages() = 0;
  virtual std::unique_ptr<NativeProgressWindow> CreateProgressWindow(
      WindowHandle parent, const ProgressWindowLook& look, ProgressWindowEvents* events) = 0;

  // --- run-time libraries -------------------------------------------------
  // Loads a library by path or by bare name (system search); null on failure.
  // System error dialogs stay off while loading.
  virtual std::unique_ptr<DynamicLibrary> LoadLibrary(const std::string& name_or_path) = 0;
  // A modal error box for a user at the desktop; nothing where nobody could
  // press OK (a service, no visible window station) and on systems without
  // message boxes.
  virtual void ShowErrorBox(const std::string& caption, const std::string& text) = 0;

  // --- places -------------------------------------------------------------
  // Directory used for the dump when no working directory is set, with a
  // trailing delimiter.
  virtual std::string FallbackDirectory() = 0;

  // The executable of the program this system opens files of the extension
  // (with its leading dot) with; nullopt when none is registered.
  virtual std::optional<std::string> PlayerForExtension(const std::string& extension) = 0;
};

// Forwards every call to another Env; tests override what they need.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  bool FileExists(const std::string& p) override { return target_->FileExists(p); }
  bool DirectoryExists(const std::string& p) override { return target_->DirectoryExists(p); }
  bool RemoveFile(const std::string& p) override { return target_->RemoveFile(p); }
  bool RenameFile(const std::string& f, const std::string& t) override {
    return target_->RenameFile(f, t);
  }
  bool ReplaceFile(const std::string& f, const std::string& t) override {
    return target_->ReplaceFile(f, t);
  }
  bool SyncFile(const std::string& p) override { return target_->SyncFile(p); }
  bool SyncDirectory(const std::string& d) override { return target_->SyncDirectory(d); }
  std::FILE* OpenFile(const std::string& p, const char* m) override {
    return target_->OpenFile(p, m);
  }
  std::unique_ptr<RandomAccessFile> OpenRegularFile(const std::string& p, int64_t* size) override {
    return target_->OpenRegularFile(p, size);
  }
  int64_t FileSize(const std::string& p) override { return target_->FileSize(p); }
  bool StampFile(std::FILE* f, FileStamp* s) override { return target_->StampFile(f, s); }
  int64_t FileClockNow() override { return target_->FileClockNow(); }
  std::unique_ptr<DirListing> ListDirectory(const std::string& d) override {
    return target_->ListDirectory(d);
  }
  std::string DirectoryIdentity(const std::string& d) override {
    return target_->DirectoryIdentity(d);
  }
  std::vector<std::string> ProfileKeys(const std::string& p, const std::string& s) override {
    return target_->ProfileKeys(p, s);
  }
  std::string ProfileString(const std::string& p, const std::string& s, const std::string& k,
                            const std::string& f) override {
    return target_->ProfileString(p, s, k, f);
  }
  int CompareText(const std::string& a, const std::string& b) override {
    return target_->CompareText(a, b);
  }
  void AppendSortKeys(const std::vector<std::string_view>& t, std::string* k,
                      std::vector<size_t>* s) override {
    target_->AppendSortKeys(t, k, s);
  }
  std::unique_ptr<SortKeyMaker> NewSortKeyMaker() override { return target_->NewSortKeyMaker(); }
  LocalTime Now() override { return target_->Now(); }
  void PumpMessages() override { target_->PumpMessages(); }
  std::unique_ptr<NativeProgressWindow> CreateProgressWindow(WindowHandle p,
                                                             const ProgressWindowLook& l,
                                                             ProgressWindowEvents* e) override {
    return target_->CreateProgressWindow(p, l, e);
  }
  void ShowErrorBox(const std::string& c, const std::string& t) override {
    target_->ShowErrorBox(c, t);
  }
  std::unique_ptr<DynamicLibrary> LoadLibrary(const std::string& n) override {
    return target_->LoadLibrary(n);
  }
  std::string FallbackDirectory() override { return target_->FallbackDirectory(); }
  std::optional<std::string> PlayerForExtension(const std::string& e) override {
    return target_->PlayerForExtension(e);
  }

 private:
  Env* target_;
};

// The Env the library uses. Tests may install another one; nullptr restores
// the default.
Env* CurrentEnv();
void SetEnvForTesting(Env* env);

// The message pump that the Linux host installs (quorbel_set_message_pump);
// the POSIX Env calls it wherever the library pumps.
void SetHostMessagePump(void (*pump)(void* context), void* context);

// A command, LoadDll or UnloadDll begins on the host's thread: its first
// pump point reaches the host's queue, and the pace is read again from the
// environment.
void CommandBegins();

}  // namespace quorbel
