// Locale-aware, case-insensitive text ordering through ICU: the user's
// collation at secondary strength (accents count, case does not), root
// collation when the locale is C or POSIX. Text is Windows-1252.
#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <dlfcn.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "cp1252.h"
#include "platform/env_posix_internal.h"

namespace quorbel::posix {

namespace {

std::string UserLocale() {
  for (const char* var : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') {
      std::string_view v(value);
      if (v == "C" || v == "POSIX" || v.starts_with("C.")) return "";  // root
      return std::string(v.substr(0, v.find_first_of(".@")));
    }
  }
  return "";
}

// ICU keeps the data behind every collator in caches of its own that only a
// process-wide cleanup frees, which nobody may call while another part of
// the host's process may use ICU. Unloaded with this library, ICU would drop
// those caches unfreed on every unload. Kept loaded, it reuses them when the
// library is loaded again.
void KeepIcuLoaded() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&ucol_open), &info) != 0 && info.dli_fname != nullptr) {
    // Only raises the library's reference for good; it is loaded already.
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  }
}

// The user's collator, opened on first use and closed when the library is
// unloaded (a host may load and unload it many times).
class CollatorHolder {
 public:
  CollatorHolder() {
    KeepIcuLoaded();
    UErrorCode status = U_ZERO_ERROR;
    collator_ = ucol_open(UserLocale().c_str(), &status);
    if (U_FAILURE(status)) {
      status = U_ZERO_ERROR;
      collator_ = ucol_open("", &status);
    }
    ucol_setStrength(collator_, UCOL_SECONDARY);
  }
  ~CollatorHolder() { ucol_close(collator_); }
  CollatorHolder(const CollatorHolder&) = delete;
  CollatorHolder& operator=(const CollatorHolder&) = delete;
  UCollator* get() const { return collator_; }

 private:
  UCollator* collator_ = nullptr;
};

UCollator* Collator() {
  static CollatorHolder holder;
  return holder.get();
}

// Windows-1252 text as ICU's UTF-16 (one unit a character), on the stack
// where it fits: comparisons and keys are made for every line of a list.
class Utf16Text {
 public:
  explicit Utf16Text(std::string_view text) {
    if (text.size() > kOnStack) {
      long_.resize(text.size());
      data_ = long_.data();
    }
    for (size_t i = 0; i < text.size(); ++i) data_[i] = Cp1252ToUnicode(uint8_t(text[i]));
    size_ = int32_t(text.size());
  }
  Utf16Text(const Utf16Text&) = delete;
  Utf16Text& operator=(const Utf16Text&) = delete;
  const UChar* data() const { return data_; }
  int32_t size() const { return size_; }

 private:
  static constexpr size_t kOnStack = 512;
  UChar on_stack_[kOnStack];
  std::vector<UChar> long_;
  UChar* data_ = on_stack_;
  int32_t size_ = 0;
};

}  // namespace

int CompareText(const std::string& a, const std::string& b) {
  const Utf16Text ua(a), ub(b);
  return int(ucol_strcoll(Collator(), ua.data(), ua.size(), ub.data(), ub.size()));
}

namespace {

// Called for every ordering line of a run: the text and the key are built
// on the stack where they fit, and only the key's own bytes are appended
// (a buffer sized at a first guess of four bytes a character would hold a
// large collection's keys at four times their size).
void AppendSortKey(UCollator* collator, std::string_view text, std::string* keys) {
  constexpr size_t kKeyOnStack = 2048;
  const Utf16Text source(text);
  uint8_t key_on_stack[kKeyOnStack];
  int32_t n = ucol_getSortKey(collator, source.data(), source.size(), key_on_stack,
                              int32_t(kKeyOnStack));
  // The count includes the key's closing zero, which is not appended.
  if (n <= int32_t(kKeyOnStack)) {
    keys->append(reinterpret_cast<const char*>(key_on_stack), n > 0 ? size_t(n - 1) : 0);
    return;
  }
  const size_t at = keys->size();
  keys->resize(at + size_t(n));
  n = ucol_getSortKey(collator, source.data(), source.size(),
                      reinterpret_cast<uint8_t*>(keys->data() + at), n);
  keys->resize(at + (n > 0 ? size_t(n - 1) : 0));
}

// Keys of plain text run to about one and a half bytes a character: room
// for twice the text spares copying the block as it grows.
void ReserveFor(const std::vector<std::string_view>& texts, size_t begin, size_t end,
                std::string* keys, std::vector<size_t>* starts) {
  size_t text_bytes = 0;
  for (size_t i = begin; i < end; ++i) text_bytes += texts[i].size();
  keys->reserve(keys->size() + 2 * text_bytes);
  starts->reserve(starts->size() + (end - begin) + 1);
}

// Keys [begin, end) of `texts`, appended with their starts.
void KeyRange(UCollator* collator, const std::vector<std::string_view>& texts, size_t begin,
              size_t end, std::string* keys, std::vector<size_t>* starts) {
  ReserveFor(texts, begin, end, keys, starts);
  for (size_t i = begin; i < end; ++i) {
    starts->push_back(keys->size());
    AppendSortKey(collator, texts[i], keys);
  }
}

// Below this many texts a second thread costs more than it saves.
constexpr size_t kSplitFrom = 4096;

}  // namespace

// A large batch (the ordering lines of a big collection) is keyed in two
// halves at once, the second on a thread of its own with a copy of the
// collator: one collator is not to be used by two threads. The thread is
// joined before the call returns, however it returns; without a thread the
// whole batch is keyed here.
void AppendSortKeys(const std::vector<std::string_view>& texts, std::string* keys,
                    std::vector<size_t>* starts) {
  struct SecondHalf {
    UCollator* collator = nullptr;
    std::thread thread;
    std::string keys;
    std::vector<size_t> starts;
    std::exception_ptr failure;
    ~SecondHalf() {
      if (thread.joinable()) thread.join();
      if (collator != nullptr) ucol_close(collator);
    }
  } second;
  size_t half = texts.size();
  if (texts.size() >= kSplitFrom && std::thread::hardware_concurrency() > 1) {
    UErrorCode status = U_ZERO_ERROR;
    second.collator = ucol_clone(Collator(), &status);
    if (U_SUCCESS(status) && second.collator != nullptr) {
      const size_t split = texts.size() / 2;
      try {
        second.thread = std::thread([&second, &texts, split] {
          try {
            KeyRange(second.collator, texts, split, texts.size(), &second.keys, &second.starts);
          } catch (...) {
            second.failure = std::current_exception();
          }
        });
        half = split;
      } catch (const std::system_error&) {  // no thread to be had: all here
      }
    }
  }
  ReserveFor(texts, 0, texts.size(), keys, starts);  // the second half joins the first
  KeyRange(Collator(), texts, 0, half, keys, starts);
  if (second.thread.joinable()) second.thread.join();
  if (second.failure) std::rethrow_exception(second.failure);
  const size_t offset = keys->size();
  for (size_t start : second.starts) starts->push_back(offset + start);
  keys->append(second.keys);
  starts->push_back(keys->size());
}

namespace {

// A copy of the user's collator for the one thread it serves.
class IcuSortKeyMaker : public SortKeyMaker {
 public:
  explicit IcuSortKeyMaker(UCollator* collator) : collator_(collator) {}
  ~IcuSortKeyMaker() override { ucol_close(collator_); }
  IcuSortKeyMaker(const IcuSortKeyMaker&) = delete;
  IcuSortKeyMaker& operator=(const IcuSortKeyMaker&) = delete;

  void AppendSortKey(std::string_view text, std::string* keys) override {
    posix::AppendSortKey(collator_, text, keys);
  }

 private:
  UCollator* collator_;
};

}  // namespace

std::unique_ptr<SortKeyMaker> NewSortKeyMaker() {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* copy = ucol_clone(Collator(), &status);
  if (U_FAILURE(status) || copy == nullptr) return nullptr;
  return std::make_unique<IcuSortKeyMaker>(copy);
}

}  // namespace quorbel::posix
