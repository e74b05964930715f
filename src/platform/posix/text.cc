// Text of the POSIX build: UTF-8 bytes, case folding by the C library, patterns.
#include <cstring>
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

// The next character of a name's wide text (as FromBytes decodes it), past its bytes. The
// terminating zero is a character too; a sequence cut short by it is not valid.
wchar_t NextNameChar(const unsigned char*& p) {
  wchar_t c;
  size_t length = *p < 0x80 ? (c = *p, 1) : ValidSequence(p, 4, &c);
  if (length == 0) {
    c = static_cast<wchar_t>(kEscapeBase + (*p - 0x80));
    length = 1;
  }
  p += length;
  return c;
}

}  // namespace

std::string ToBytes(const wchar_t* text, size_t chars) {
  std::string out;
  out.reserve(chars);
  for (size_t i = 0; i < chars; i++) AppendUtf8(out, static_cast<uint32_t>(text[i]));
  return out;
}

std::string ToBytes(const wchar_t* text) {
  return ToBytes(text, wcslen(text));
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

std::string ToConsoleCodePage(const wchar_t* text, size_t chars) {
  return ToBytes(text, chars);
}

// Characters compared as the C library folds them; equal characters without folding. next
// takes a text's next character.
template <typename Char, typename Next>
int CompareFolded(const Char* a, const Char* b, Next next) {
  for (;;) {
    wchar_t c = next(a), d = next(b);
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

int CompareIgnoringCase(const wchar_t* a, const wchar_t* b) {
  return CompareFolded(a, b, [](const wchar_t*& p) { return *p++; });
}

int CompareIgnoringCase(const char* a, const char* b) {
  return CompareFolded(reinterpret_cast<const unsigned char*>(a),
                       reinterpret_cast<const unsigned char*>(b), NextNameChar);
}

int CompareNameCodes(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  for (;;) {
    wchar_t c = NextNameChar(x), d = NextNameChar(y);
    if (c != d)
      return c < d ? -1 : 1;
    if (c == 0)
      return 0;
  }
}

std::wstring NameText(const char* name) {
  return FromBytes(name, std::strlen(name));
}

// The whole path must match; '*' matches any run of characters (none included, separators
// included), '?' exactly one. Greedy matching that returns only to the most recent '*' takes
// at most path length times pattern length steps, whatever the pattern.
bool MatchesPattern(const wchar_t* path, const wchar_t* pattern) {
  const wchar_t* star = nullptr;    // the last '*' seen in the pattern
  const wchar_t* resume = nullptr;  // where in the path that '*' match would grow next
  while (*path != 0) {
    if (*pattern == L'*') {
      star = pattern++;
      resume = path;
    } else if (*pattern != 0 && (*pattern == L'?' || Fold(*pattern) == Fold(*path))) {
      pattern++;
      path++;
    } else if (star != nullptr) {
      pattern = star + 1;
      path = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == L'*') pattern++;
  return *pattern == 0;
}

// Joins with one '/'.
bool JoinPathText(const std::wstring& directory, const wchar_t* name, std::wstring* out) {
  *out = directory;
  if (!out->empty() && *name != 0 && out->back() != L'/')
    *out += L'/';
  *out += name;
  return true;
}
