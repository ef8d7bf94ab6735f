// Locale-aware, case-insensitive text ordering through ICU: the user's
// collation at secondary strength (accents count, case does not), root
// collation when the locale is C or POSIX. Text is Windows-1252.
#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <dlfcn.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/env_posix_internal.h"
#include "cp1252.h"

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

}  // namespace

int CompareText(const std::string& a, const std::string& b) {
  std::u16string ua = Cp1252ToUtf16(a), ub = Cp1252ToUtf16(b);
  return int(ucol_strcoll(Collator(), reinterpret_cast<const UChar*>(ua.data()),
                          int32_t(ua.size()), reinterpret_cast<const UChar*>(ub.data()),
                          int32_t(ub.size())));
}

// Called for every ordering line of a run: the text and the key are built
// on the stack where they fit, and the key returned is exactly as long as
// it is (held at a first guess of four bytes a character, a large
// collection's keys would take four times the memory).
std::string SortKey(const std::string& text) {
  constexpr size_t kTextOnStack = 512;
  constexpr size_t kKeyOnStack = 2048;
  UChar text_on_stack[kTextOnStack];
  std::vector<UChar> long_text;
  UChar* source = text_on_stack;
  if (text.size() > kTextOnStack) {
    long_text.resize(text.size());
    source = long_text.data();
  }
  for (size_t i = 0; i < text.size(); ++i) source[i] = Cp1252ToUnicode(uint8_t(text[i]));
  const int32_t length = int32_t(text.size());
  uint8_t key_on_stack[kKeyOnStack];
  int32_t n = ucol_getSortKey(Collator(), source, length, key_on_stack, int32_t(kKeyOnStack));
  // The count includes the key's closing zero, which the key returned drops.
  if (n <= int32_t(kKeyOnStack)) {
    return std::string(reinterpret_cast<const char*>(key_on_stack), n > 0 ? size_t(n - 1) : 0);
  }
  std::string key(size_t(n), '\0');
  n = ucol_getSortKey(Collator(), source, length, reinterpret_cast<uint8_t*>(key.data()), n);
  key.resize(n > 0 ? size_t(n - 1) : 0);
  return key;
}

}  // namespace quorbel::posix
