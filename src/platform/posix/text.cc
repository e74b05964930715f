// Text conversions and string functions of the POSIX platform layer.
#include <climits>
#include <cwctype>

#include "platform/posix/internal.h"

namespace {

const wchar_t kEscapeBase = 0xDC80;  // a lone byte 0x80..0xFF is carried as U+DC80..U+DCFF

// Length of the valid UTF-8 sequence at bytes[0..count), or 0 when it is not valid.
size_t ValidSequence(const unsigned char* bytes, size_t count, wchar_t* out) {
  unsigned char b = bytes[0];
  size_t length;
  uint32_t code;
  uint32_t minimum;
  if (b < 0x80) {
    *out = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    length = 2, code = b & 0x1F, minimum = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3, code = b & 0x0F, minimum = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4, code = b & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (count < length)
    return 0;
  for (size_t i = 1; i < length; i++) {
    if ((bytes[i] & 0xC0) != 0x80)
      return 0;
    code = (code << 6) | (bytes[i] & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return 0;
  *out = static_cast<wchar_t>(code);
  return length;
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code >= 0xDC80 && code <= 0xDCFF) {
    out += static_cast<char>(code - 0xDC00);
  } else if (code >= 0xD800 && code <= 0xDFFF) {
    out += "\xEF\xBF\xBD";  // a lone surrogate has no bytes of its own
  } else if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Case folding by the C library (the entry point selects a UTF-8 character type); ASCII without
// asking it (a fifth of a large directory's sort went to towlower).
wint_t Fold(wchar_t c) {
  if (c < 0x80)
    return static_cast<wint_t>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return std::towlower(static_cast<wint_t>(c));
}

}  // namespace

std::string ToBytes(LPCWSTR text, size_t chars) {
  std::string out;
  out.reserve(chars);
  for (size_t i = 0; i < chars; i++) AppendUtf8(out, static_cast<uint32_t>(text[i]));
  return out;
}

std::string ToBytes(LPCWSTR text) {
  return ToBytes(text, static_cast<size_t>(lstrlenW(text)));
}

std::wstring FromBytes(const char* bytes, size_t count) {
  std::wstring out;
  out.reserve(count);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  while (i < count) {
    wchar_t c;
    size_t length = ValidSequence(p + i, count - i, &c);
    if (length == 0) {
      out += static_cast<wchar_t>(kEscapeBase + (p[i] - 0x80));
      i++;
    } else {
      out += c;
      i += length;
    }
  }
  return out;
}

int MultiByteToWideChar(UINT, DWORD, LPCSTR text, int bytes, LPWSTR out, int outChars) {
  size_t count = bytes < 0 ? std::char_traits<char>::length(text) + 1 : static_cast<size_t>(bytes);
  std::wstring wide = FromBytes(text, count);
  if (outChars == 0)
    return static_cast<int>(wide.size());
  if (wide.size() > static_cast<size_t>(outChars)) {
    SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  wide.copy(out, wide.size());
  return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT, DWORD, LPCWSTR text, int chars, LPSTR out, int outBytes, LPCSTR,
                        BOOL* usedDefault) {
  size_t count = chars < 0 ? static_cast<size_t>(lstrlenW(text)) + 1 : static_cast<size_t>(chars);
  std::string bytes = ToBytes(text, count);
  if (usedDefault)
    *usedDefault = FALSE;
  if (outBytes == 0)
    return static_cast<int>(bytes.size());
  if (bytes.size() > static_cast<size_t>(outBytes)) {
    SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  bytes.copy(out, bytes.size());
  return static_cast<int>(bytes.size());
}

// Characters compared as the C library folds them; equal characters without folding.
int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  for (;; a++, b++) {
    wchar_t c = *a, d = *b;
    if (c == d) {
      if (c == 0)
        return 0;
      continue;
    }
    wint_t x = Fold(c), y = Fold(d);
    if (x != y)
      return x < y ? -1 : 1;
  }
}

int lstrcmpW(LPCWSTR a, LPCWSTR b) {
  for (;; a++, b++) {
    if (*a != *b)
      return static_cast<uint32_t>(*a) < static_cast<uint32_t>(*b) ? -1 : 1;
    if (*a == 0)
      return 0;
  }
}

int lstrlenW(LPCWSTR text) {
  if (text == nullptr)
    return 0;
  int n = 0;
  while (text[n] != 0) n++;
  return n;
}

LPWSTR lstrcpyW(LPWSTR to, LPCWSTR from) {
  LPWSTR p = to;
  while ((*p++ = *from++) != 0) {
  }
  return to;
}

LPWSTR StrChrW(LPCWSTR text, WCHAR c) {
  for (; *text != 0; text++) {
    if (*text == c)
      return const_cast<LPWSTR>(text);
  }
  return nullptr;
}

// Optional white space, an optional sign, then decimal digits up to the first other
// character; no digits gives 0. A value beyond 32 bits saturates at INT_MIN or INT_MAX.
int StrToIntW(LPCWSTR text) {
  while (*text != 0 && std::iswspace(*text)) text++;
  bool negative = false;
  if (*text == L'+' || *text == L'-')
    negative = *text++ == L'-';
  long long value = 0;
  for (; *text >= L'0' && *text <= L'9'; text++) {
    value = value * 10 + (*text - L'0');
    if (value > static_cast<long long>(INT_MAX) + 1)
      value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative)
    return static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}
