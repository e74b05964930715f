// wvsprintfW for the POSIX build: the formats the program uses, %s, %-Ns (left-aligned in
// a field of N), %lu (an unsigned 32-bit value), %% and literal text.
#include "platform/posix/internal.h"

int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list arguments) {
  const int limit = FORMAT_BUFFER_CHARS - 1;
  int n = 0;
  auto put = [&](wchar_t c) {
    if (n < limit)
      buffer[n++] = c;
  };
  for (const wchar_t* f = format; *f != 0; f++) {
    if (*f != L'%') {
      put(*f);
      continue;
    }
    f++;
    if (*f == L'%') {
      put(L'%');
      continue;
    }
    bool left = false;
    if (*f == L'-')
      left = true, f++;
    int width = 0;
    for (; *f >= L'0' && *f <= L'9'; f++) width = width * 10 + (*f - L'0');
    bool isLong = false;
    if (*f == L'l')
      isLong = true, f++;
    if (*f == L's') {
      const wchar_t* text = va_arg(arguments, const wchar_t*);
      if (text == nullptr)
        text = L"(null)";
      int length = lstrlenW(text);
      if (!left)
        for (int i = length; i < width; i++) put(L' ');
      for (int i = 0; i < length; i++) put(text[i]);
      if (left)
        for (int i = length; i < width; i++) put(L' ');
    } else if (*f == L'u' && isLong) {
      unsigned int value = va_arg(arguments, unsigned int);
      wchar_t digits[16];
      int count = 0;
      do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
      } while (value != 0);
      if (!left)
        for (int i = count; i < width; i++) put(L' ');
      while (count > 0) put(digits[--count]);
    } else if (*f == 0) {
      break;
    } else {
      put(*f);  // an unknown conversion is written as its letter
    }
  }
  buffer[n] = 0;
  return n;
}
