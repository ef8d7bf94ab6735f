#include "command_failure.h"

#include <new>

namespace quorbel {

FailureInfo DescribeCurrentFailure() {
  try {
    throw;
  } catch (const Failure& f) {
    return {f.help_context(), f.message(), f.class_name()};
  } catch (const std::bad_alloc&) {
    return {0, "Out of memory", "EOutOfMemory"};
  } catch (const std::exception& e) {
    return {0, e.what(), "Exception"};
  } catch (...) {
    return {0, "Unknown failure", "Exception"};
  }
}

int32_t StrToInt(const std::string& text) {
  auto fail = [&]() -> int32_t {
    throw EConvertError("'" + text + "' is not a valid integer value");
  };
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;  // leading blanks are allowed
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return fail();
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit = (c >= '0' && c <= '9')               ? c - '0'
                : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                       : -1;
    if (digit < 0) return fail();
    value = value * base + digit;
    if (value > int64_t(INT32_MAX) + 1) return fail();
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return fail();
  return int32_t(value);
}

}  // namespace quorbel
