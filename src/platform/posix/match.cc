// PathMatchSpecW for the POSIX build: the whole path must match; '*' matches any run of
// characters (none included, separators included), '?' exactly one; letters match regardless
// of case. Greedy matching that returns only to the most recent '*' takes at most
// path length times pattern length steps, whatever the pattern.
#include <cwctype>

#include "platform/posix/internal.h"

namespace {
bool SameLetter(wchar_t a, wchar_t b) {
  return a == b || std::towlower(static_cast<wint_t>(a)) == std::towlower(static_cast<wint_t>(b));
}
}  // namespace

BOOL PathMatchSpecW(LPCWSTR path, LPCWSTR pattern) {
  const wchar_t* star = nullptr;    // the last '*' seen in the pattern
  const wchar_t* resume = nullptr;  // where in the path that '*' match would grow next
  while (*path != 0) {
    if (*pattern == L'*') {
      star = pattern++;
      resume = path;
    } else if (*pattern != 0 && (*pattern == L'?' || SameLetter(*pattern, *path))) {
      pattern++;
      path++;
    } else if (star != nullptr) {
      pattern = star + 1;
      path = ++resume;
    } else {
      return FALSE;
    }
  }
  while (*pattern == L'*') pattern++;
  return *pattern == 0;
}
