#include "base/strings/stringprintf.h"

#include <stdio.h>

#include <memory>

namespace base {

namespace {

int FormatInto(char* buffer, size_t size, const char* format,
               va_list arguments) {
  return base::vsnprintf(buffer, size, format, arguments);
}

int FormatInto(char16_t* buffer, size_t size, const char16_t* format,
               va_list arguments) {
  return base::vswprintf(buffer, size, format, arguments);
}

// Short texts are formatted once on the stack. A longer one costs one more
// pass into a buffer of exactly the reported size; the loop only repeats when
// an argument changed length between the passes.
template <typename StringT>
void AppendFormatted(StringT* dst, const typename StringT::value_type* format,
                     va_list arguments) {
  using CharT = typename StringT::value_type;
  CharT stack_buffer[kFormatStackBufferSize];
  va_list copy;
  va_copy(copy, arguments);
  int result = FormatInto(stack_buffer, kFormatStackBufferSize, format, copy);
  va_end(copy);
  if (result >= 0 && static_cast<size_t>(result) < kFormatStackBufferSize) {
    dst->append(stack_buffer, result);
    return;
  }
  while (result >= 0) {
    const size_t size = static_cast<size_t>(result) + 1;
    if (size > kMaxFormattedSize) return;
    std::unique_ptr<CharT[]> heap_buffer(new CharT[size]());
    va_copy(copy, arguments);
    result = FormatInto(heap_buffer.get(), size, format, copy);
    va_end(copy);
    if (result >= 0 && static_cast<size_t>(result) < size) {
      dst->append(heap_buffer.get(), result);
      return;
    }
  }
}

}  // namespace

int vsnprintf(char* buffer, size_t size, const char* format,
              va_list arguments) {
  // Both runtimes we build with (glibc, and mingw-w64's C99 formatter) report
  // the full length of a text that does not fit, so no measuring pass is
  // needed.
  return ::vsnprintf(buffer, size, format, arguments);
}

std::string StringPrintf(const char* format, ...) {
  std::string result;
  va_list arguments;
  va_start(arguments, format);
  StringAppendV(&result, format, arguments);
  va_end(arguments);
  return result;
}

std::u16string StringPrintfWide(const char16_t* format, ...) {
  std::u16string result;
  va_list arguments;
  va_start(arguments, format);
  StringAppendVWide(&result, format, arguments);
  va_end(arguments);
  return result;
}

const std::string& SStringPrintf(std::string* dst, const char* format, ...) {
  dst->clear();
  va_list arguments;
  va_start(arguments, format);
  StringAppendV(dst, format, arguments);
  va_end(arguments);
  return *dst;
}

void StringAppendF(std::string* dst, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  StringAppendV(dst, format, arguments);
  va_end(arguments);
}

void StringAppendV(std::string* dst, const char* format, va_list arguments) {
  AppendFormatted(dst, format, arguments);
}

void StringAppendVWide(std::u16string* dst, const char16_t* format,
                       va_list arguments) {
  AppendFormatted(dst, format, arguments);
}

}  // namespace base
