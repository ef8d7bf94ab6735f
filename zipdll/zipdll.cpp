// The zip engine: packs files into a standard ZIP archive (deflate through
// zlib), one entry per file under its bare name, reporting progress to the
// caller's callback and stopping when the callback asks it to.
#include "zipdll.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#define ZIPDLL_EXPORT
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#define ZIPDLL_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// --- the archive format -----------------------------------------------------
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndOfCentralSignature = 0x06054b50;
constexpr uint16_t kVersion20 = 20;  // deflate; "made by" MS-DOS, format 2.0
constexpr uint16_t kMethodDeflate = 8;
constexpr uint32_t kDosArchiveAttribute = 0x20;
constexpr uint64_t kFormatLimit = 0xFFFFFFFFu;  // sizes and offsets are 32-bit
constexpr int32_t kMaxEntries = 0xFFFF;
constexpr int kMaxLevel = 9;
// Deflate option bits of the general purpose flags, by compression level.
constexpr uint16_t kFlagsMaximum = 0x0002, kFlagsFast = 0x0004, kFlagsSuperFast = 0x0006;
// The earliest time a DOS date can hold: 1980-01-01 00:00:00.
constexpr uint32_t kEarliestDosTime = (1u << 5 | 1u) << 16;

constexpr const char* kTempSuffix = ".tmp";
#ifdef _WIN32
constexpr const char* kPathSeparators = "\\/:";
#else
constexpr const char* kPathSeparators = "/";
#endif

// A failed run: reported as a message, and nothing is added.
struct RunError {
  int32_t code;
  std::string text;
};

// A run the caller asked to end through its callback.
struct Aborted {};

// --- the file system ----------------------------------------------------------
struct FileFacts {
  uint64_t size = 0;
  uint32_t dos_time = kEarliestDosTime;  // date in the high word, time in the low
};

uint32_t DosTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980) return kEarliestDosTime;
  uint32_t date = uint32_t(year - 1980) << 9 | uint32_t(month) << 5 | uint32_t(day);
  uint32_t time = uint32_t(hour) << 11 | uint32_t(minute) << 5 | uint32_t(second / 2);
  return date << 16 | time;
}

#ifdef _WIN32
bool ReadFileFacts(const std::string& path, FileFacts* facts) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  facts->size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  FILETIME local;
  SYSTEMTIME t;
  if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &t)) {
    facts->dos_time = DosTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  }
  return true;
}

// An archive is renamed over the old one only once its bytes are on the
// disk, and the move itself is written through: after a power cut the name
// holds the old archive or the new one whole.
bool FlushToDisk(std::FILE* file) {
  return std::fflush(file) == 0 &&
         FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != 0;
}

bool ReplaceWith(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
#else
bool ReadFileFacts(const std::string& path, FileFacts* facts) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  facts->size = uint64_t(st.st_size);
  struct tm t;
  if (localtime_r(&st.st_mtime, &t) != nullptr) {
    facts->dos_time =
        DosTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  }
  return true;
}

bool FlushToDisk(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

// The rename is on the disk once the folder's entries are.
bool ReplaceWith(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return false;
  const size_t cut = to.find_last_of('/');
  const std::string folder = cut == std::string::npos ? "." : to.substr(0, cut == 0 ? 1 : cut);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  return close(fd) == 0 && synced;
}
#endif

std::string BareName(const std::string& path) {
  size_t cut = path.find_last_of(kPathSeparators);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// --- little-endian records ----------------------------------------------------
class Record {
 public:
  Record& U16(uint16_t v) {
    bytes_ += char(v & 0xFF);
    bytes_ += char(v >> 8);
    return *this;
  }
  Record& U32(uint32_t v) { return U16(uint16_t(v & 0xFFFF)).U16(uint16_t(v >> 16)); }
  Record& Text(const std::string& s) {
    bytes_ += s;
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

struct Entry {
  std::string name;
  uint16_t flags = 0;
  uint32_t dos_time = 0;
  uint32_t crc = 0;
  uint64_t packed = 0;
  uint64_t size = 0;
  uint64_t offset = 0;
};

Record LocalHeader(const Entry& e) {
  Record r;
  r.U32(kLocalHeaderSignature).U16(kVersion20).U16(e.flags).U16(kMethodDeflate);
  r.U32(e.dos_time).U32(e.crc).U32(uint32_t(e.packed)).U32(uint32_t(e.size));
  r.U16(uint16_t(e.name.size())).U16(0).Text(e.name);
  return r;
}

Record CentralHeader(const Entry& e) {
  Record r;
  r.U32(kCentralHeaderSignature).U16(kVersion20).U16(kVersion20).U16(e.flags).U16(kMethodDeflate);
  r.U32(e.dos_time).U32(e.crc).U32(uint32_t(e.packed)).U32(uint32_t(e.size));
  r.U16(uint16_t(e.name.size())).U16(0).U16(0);  // extra field, comment
  r.U16(0).U16(0).U32(kDosArchiveAttribute);     // disk, internal and external attributes
  r.U32(uint32_t(e.offset)).Text(e.name);
  return r;
}

Record EndOfCentralDirectory(size_t entries, uint64_t size, uint64_t offset) {
  Record r;
  r.U32(kEndOfCentralSignature).U16(0).U16(0);
  r.U16(uint16_t(entries)).U16(uint16_t(entries));
  r.U32(uint32_t(size)).U32(uint32_t(offset)).U16(0);
  return r;
}

uint16_t DeflateFlags(int level) {
  if (level >= 8) return kFlagsMaximum;
  if (level == 2) return kFlagsFast;
  if (level == 1) return kFlagsSuperFast;
  return 0;
}

void CheckFormatLimit(uint64_t value, const std::string& what) {
  if (value > kFormatLimit) throw RunError{ZIPDLL_ERR_TOO_LARGE, what + " exceeds 4 GiB"};
}

// --- the caller's callback ----------------------------------------------------
class Reporter {
 public:
  explicit Reporter(const ZipParams& params) : params_(params) {}

  // Reports an event; ends the run when the caller asks for it.
  void Notify(int32_t action, int64_t size, const std::string& text = "") {
    if (Call(action, 0, size, text) != 0) throw Aborted{};
  }
  // Reports a failure; the run ends anyway, so the answer does not matter.
  void Message(int32_t code, const std::string& text) { Call(ZIPDLL_MESSAGE, code, 0, text); }

 private:
  int32_t Call(int32_t action, int32_t code, int64_t size, const std::string& text) {
    if (params_.callback == nullptr) return 0;
    ZipCallbackData data{params_.caller, action, code, size, text.c_str()};
    return params_.callback(&data);
  }
  const ZipParams& params_;
};

// --- the temporary archive ----------------------------------------------------
// Written beside the archive and renamed over it when complete; removed
// whenever the run ends before that.
class TempArchive {
 public:
  explicit TempArchive(const std::string& archive) : archive_(archive), path_(archive + kTempSuffix) {
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr) throw RunError{ZIPDLL_ERR_CREATE, "Cannot create " + path_};
  }
  ~TempArchive() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_) std::remove(path_.c_str());
  }
  TempArchive(const TempArchive&) = delete;
  TempArchive& operator=(const TempArchive&) = delete;

  uint64_t Position() const { return written_; }

  void Write(const void* data, size_t size) {
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) Fail();
    written_ += size;
  }
  void Write(const Record& r) { Write(r.bytes().data(), r.bytes().size()); }

  // Rewrites the local header at its place once the entry's sizes are known.
  void Rewrite(const fpos_t& at, const Record& r) {
    fpos_t end;
    if (std::fgetpos(file_, &end) != 0 || std::fsetpos(file_, &at) != 0) Fail();
    if (std::fwrite(r.bytes().data(), 1, r.bytes().size(), file_) != r.bytes().size()) Fail();
    if (std::fsetpos(file_, &end) != 0) Fail();
  }
  fpos_t Here() {
    fpos_t pos;
    if (std::fgetpos(file_, &pos) != 0) Fail();
    return pos;
  }

  void Commit() {
    if (!FlushToDisk(file_)) Fail();
    int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) Fail();
    if (!ReplaceWith(path_, archive_)) {
      throw RunError{ZIPDLL_ERR_RENAME, "Cannot rename " + path_ + " to " + archive_};
    }
    committed_ = true;
  }

 private:
  [[noreturn]] void Fail() { throw RunError{ZIPDLL_ERR_WRITE, "Cannot write " + path_}; }

  std::string archive_;
  std::string path_;
  std::FILE* file_ = nullptr;
  uint64_t written_ = 0;
  bool committed_ = false;
};

// --- deflate --------------------------------------------------------------------
// zlib's own default: its tables (64 KB each) come from the heap's reused
// memory, where the largest level's (128 KB) are fresh pages mapped and
// cleared for every archive; the packing is the same to within a few bytes.
constexpr int kMemLevel = 8;

class Deflater {
 public:
  explicit Deflater(int level) : buffer_(ZIPDLL_STEP_BYTES) {
    // Raw deflate (no zlib wrapper), the largest window.
    int rc = deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, kMemLevel, Z_DEFAULT_STRATEGY);
    if (rc == Z_MEM_ERROR) throw std::bad_alloc();
    if (rc != Z_OK) throw RunError{ZIPDLL_ERR_DEFLATE, "Cannot start deflate"};
  }
  ~Deflater() { deflateEnd(&z_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Packs `size` bytes (or finishes the stream) and writes what comes out.
  // Returns the number of packed bytes written.
  uint64_t Pack(const unsigned char* data, size_t size, bool finish, TempArchive& out) {
    z_.next_in = const_cast<unsigned char*>(data);
    z_.avail_in = uInt(size);
    uint64_t produced = 0;
    int rc;
    do {
      z_.next_out = buffer_.data();
      z_.avail_out = uInt(buffer_.size());
      rc = deflate(&z_, finish ? Z_FINISH : Z_NO_FLUSH);
      if (rc == Z_STREAM_ERROR) throw RunError{ZIPDLL_ERR_DEFLATE, "Deflate failed"};
      size_t n = buffer_.size() - z_.avail_out;
      out.Write(buffer_.data(), n);
      produced += n;
    } while (z_.avail_out == 0 || (finish && rc != Z_STREAM_END));
    return produced;
  }

 private:
  z_stream z_{};
  std::vector<unsigned char> buffer_;
};

// --- one run --------------------------------------------------------------------
class Run {
 public:
  explicit Run(const ZipParams& params) : params_(params), reporter_(params) {}

  int32_t Execute() {
    std::vector<FileFacts> facts = Survey();
    TempArchive out(params_.archive);
    std::vector<Entry> entries;
    for (int32_t i = 0; i < params_.file_count; ++i) {
      entries.push_back(Pack(params_.files[i].path, facts[i], out));
    }
    WriteCentralDirectory(entries, out);
    reporter_.Notify(ZIPDLL_END_BATCH, 0);
    out.Commit();
    return int32_t(entries.size());
  }

 private:
  // Reads every file's size and time and announces the totals.
  std::vector<FileFacts> Survey() {
    std::vector<FileFacts> facts(params_.file_count);
    uint64_t total = 0;
    for (int32_t i = 0; i < params_.file_count; ++i) {
      const char* path = params_.files[i].path;
      if (path == nullptr || !ReadFileFacts(path, &facts[i])) {
        throw RunError{ZIPDLL_ERR_OPEN_INPUT, std::string("Cannot open ") + (path ? path : "")};
      }
      total += facts[i].size;
    }
    reporter_.Notify(ZIPDLL_TOTAL_FILES, params_.file_count);
    reporter_.Notify(ZIPDLL_TOTAL_SIZE, int64_t(total));
    return facts;
  }

  Entry Pack(const std::string& path, const FileFacts& facts, TempArchive& out) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) throw RunError{ZIPDLL_ERR_OPEN_INPUT, "Cannot open " + path};
    try {
      Entry e = PackOpen(path, in, facts, out);
      std::fclose(in);
      return e;
    } catch (...) {
      std::fclose(in);
      throw;
    }
  }

  Entry PackOpen(const std::string& path, std::FILE* in, const FileFacts& facts, TempArchive& out) {
    Entry e;
    e.name = BareName(path);
    e.flags = DeflateFlags(params_.level);
    e.dos_time = facts.dos_time;
    e.offset = out.Position();
    CheckFormatLimit(e.offset, "The archive");
    fpos_t header_at = out.Here();
    out.Write(LocalHeader(e));  // rewritten below with the sizes and checksum
    reporter_.Notify(ZIPDLL_NEW_FILE, int64_t(facts.size), e.name);

    Deflater deflater(params_.level);
    std::vector<unsigned char> chunk(ZIPDLL_STEP_BYTES);
    for (;;) {
      size_t n = std::fread(chunk.data(), 1, chunk.size(), in);
      if (n < chunk.size() && std::ferror(in)) {
        throw RunError{ZIPDLL_ERR_READ_INPUT, "Cannot read " + path};
      }
      if (n == 0) break;
      e.crc = uint32_t(crc32(e.crc, chunk.data(), uInt(n)));
      e.size += n;
      e.packed += deflater.Pack(chunk.data(), n, false, out);
      CheckFormatLimit(e.size, path);
      reporter_.Notify(ZIPDLL_STEP, int64_t(n));
    }
    e.packed += deflater.Pack(nullptr, 0, true, out);
    CheckFormatLimit(e.packed, "The packed " + path);
    out.Rewrite(header_at, LocalHeader(e));
    return e;
  }

  void WriteCentralDirectory(const std::vector<Entry>& entries, TempArchive& out) {
    uint64_t start = out.Position();
    for (const Entry& e : entries) out.Write(CentralHeader(e));
    uint64_t size = out.Position() - start;
    CheckFormatLimit(out.Position(), "The archive");
    out.Write(EndOfCentralDirectory(entries.size(), size, start));
  }

  const ZipParams& params_;
  Reporter reporter_;
};

bool IsSet(int32_t flag) { return flag != ZIPDLL_FALSE; }

void Validate(const ZipParams& p) {
  if (p.version <= ZIPDLL_OLD_LAYOUT_LAST) {
    throw RunError{ZIPDLL_ERR_LAYOUT, "The caller's parameter layout is not supported"};
  }
  if (p.archive == nullptr || *p.archive == '\0') throw RunError{ZIPDLL_ERR_PARAMETERS, "No archive name"};
  if (p.file_count < 1 || p.files == nullptr) throw RunError{ZIPDLL_ERR_PARAMETERS, "Nothing to add"};
  if (p.file_count > kMaxEntries) throw RunError{ZIPDLL_ERR_TOO_LARGE, "Too many files"};
  if (p.level < 0 || p.level > kMaxLevel) throw RunError{ZIPDLL_ERR_PARAMETERS, "Bad compression level"};
  for (int32_t option : {p.store_dir_names, p.dir_entries, p.recurse, p.move, p.update, p.freshen,
                         p.force_dos, p.zip_time, p.hidden_files, p.encrypt}) {
    if (IsSet(option)) throw RunError{ZIPDLL_ERR_OPTION, "Option not supported"};
  }
}

}  // namespace

extern "C" {

ZIPDLL_EXPORT int32_t ZIPDLL_CALL GetZipDllVersion(void) { return ZIPDLL_VERSION; }

ZIPDLL_EXPORT int32_t ZIPDLL_CALL ZipDllExec(const ZipParams* params) {
  if (params == nullptr) return 0;
  Reporter reporter(*params);
  try {
    Validate(*params);
    return Run(*params).Execute();
  } catch (const Aborted&) {
  } catch (const RunError& e) {
    reporter.Message(e.code, e.text);
  } catch (const std::bad_alloc&) {
    reporter.Message(ZIPDLL_ERR_MEMORY, "Out of memory");
  } catch (...) {
    // Nothing may cross the library's border; the run simply adds nothing.
  }
  return 0;
}

}  // extern "C"
