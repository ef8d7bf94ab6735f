// What every fuzz target shares: host buffers that end at a guard page, the
// checks on every reply, a scratch folder, and a platform layer that keeps
// the library inside that folder whatever paths the input names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "quorbel_api.h"

namespace quorbel::fuzz {

// The host's buffers hold 900 characters and the closing zero.
inline constexpr size_t kHostBufferSize = 901;

// A host buffer whose last byte is the last one of a page: the page after
// it is inaccessible, so a write past byte 901 faults at once.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(std::string_view text = "");
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  char* data() { return start_; }
  // Refills the buffer as the host would before a call (at most 900
  // characters of the text, then the zero).
  void Fill(std::string_view text);
  // The zero-terminated text; aborts when there is no zero in the buffer.
  std::string Text() const;

 private:
  char* pages_ = nullptr;
  char* start_ = nullptr;
};

// Calls a command as the host does, then checks the contract every reply
// keeps: the result 3, a zero within the buffer, a reply code the command
// may give and the command's tag. Returns the reply; aborts on a breach.
std::string CallChecked(QuorbelCommand command, std::string_view name, std::string_view argument,
                        std::initializer_list<int> codes, GuardedBuffer* parms = nullptr);

// The reply's three-digit code, -1 when it has none.
int ReplyCode(const std::string& reply);

// Reports a breach of the contract and aborts, so the fuzzer keeps the input.
[[noreturn]] void Breach(const std::string& what, const std::string& detail);

// The scratch folder of this process (without a trailing delimiter); made
// on first use and confined to: the library reaches nothing outside it.
const std::string& Scratch();
std::string ScratchPath(std::string_view name);

// Installs the platform layer that holds the scratch folder in memory
// (memenv.h) and confines the library to it (once per process).
void ConfineToScratch();

// Files and folders of the in-memory scratch folder, as the library sees
// them once ConfineToScratch has run.
void WriteBytes(const std::string& path, std::string_view bytes);
// Removes everything inside a folder, keeping the folder.
void EmptyFolder(const std::string& path);
// Makes a folder and those above it; false when a file stands in the way.
bool MakeFolder(const std::string& path);

// The same on disk, for the zip engine, which opens files by path itself.
void WriteRealFile(const std::string& path, std::string_view bytes);
bool ReadRealFile(const std::string& path, std::string* bytes);
void EmptyRealFolder(const std::string& path);
void MakeRealFolder(const std::string& path);

// Loads the library once for the targets that keep one engine.
void LoadOnce();
// LoadOnce, then a working folder and a configuration whose list is named
// "fz" ("fz-mm.txt", "fz-mm.idx"), for the lookup targets.
void ConfigureForLookups();

// Reply codes each command may answer with (500 is every command's
// internal-error line).
namespace codes {
inline constexpr std::initializer_list<int> kSetDirectory = {200, 500, 506};
inline constexpr std::initializer_list<int> kSetIniFile = {200, 500, 506, 507};
inline constexpr std::initializer_list<int> kDump = {200, 500, 506};
inline constexpr std::initializer_list<int> kCountFiles = {200, 500, 505, 506, 508, 509, 510, 511};
inline constexpr std::initializer_list<int> kStartGenerate = {200, 500, 505, 506, 508, 509,
                                                              510, 511, 512, 514};
inline constexpr std::initializer_list<int> kStartUpdateChart = {200, 500, 505, 506, 510, 515};
inline constexpr std::initializer_list<int> kSearchFile = {201, 500, 503, 505, 506, 516};
inline constexpr std::initializer_list<int> kAtFind = {201, 500, 503, 505, 506, 516};
inline constexpr std::initializer_list<int> kCompress = {200, 500, 503, 505, 506, 514};
inline constexpr std::initializer_list<int> kGetMPEGInfo = {201, 500, 503, 506, 507};
inline constexpr std::initializer_list<int> kStatus = {201, 500, 503, 504};
inline constexpr std::initializer_list<int> kSetting = {200, 500, 503, 504};
inline constexpr std::initializer_list<int> kPlain = {200, 500};
inline constexpr std::initializer_list<int> kBadListCount = {201, 500};
inline constexpr std::initializer_list<int> kBadListGet = {201, 500, 503, 504, 513};
inline constexpr std::initializer_list<int> kPlayer = {201, 500, 503, 517};
inline constexpr std::initializer_list<int> kVersion = {201};
}  // namespace codes

}  // namespace quorbel::fuzz
