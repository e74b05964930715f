// Fuzz target for the pattern matcher: the input is a pattern, a line feed and a path (up to the
// first zero byte each). The matcher and the filter in both modes must agree with a plain
// dynamic-programming matcher: '*' any run of characters, '?' one, letters regardless of case.
#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cwctype>

#include "platform/posix/internal.h"
#include "scan/filter.h"

namespace {
bool ReferenceMatch(const std::wstring& pattern, const std::wstring& path) {
  // matches[j]: the pattern read so far matches the path's first j characters.
  std::vector<char> matches(path.size() + 1, 0), next(path.size() + 1);
  matches[0] = 1;
  for (wchar_t p : pattern) {
    next[0] = p == L'*' && matches[0];
    for (size_t j = 1; j <= path.size(); j++) {
      wchar_t c = path[j - 1];
      next[j] = p == L'*' ? matches[j] || next[j - 1]
                          : matches[j - 1] &&
                                (p == L'?' || p == c || std::towlower(p) == std::towlower(c));
    }
    matches.swap(next);
  }
  return matches[path.size()];
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_CTYPE, "C.UTF-8");  // as the program's entry sets it
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const size_t split = static_cast<size_t>(std::find(text, text + size, '\n') - text);
  const std::wstring
      pattern = FromBytes(text, split).c_str(),
      path = FromBytes(text + std::min(split + 1, size), size - std::min(split + 1, size)).c_str();
  const bool expected = ReferenceMatch(pattern, path);
  if ((PathMatchSpecW(path.c_str(), pattern.c_str()) != 0) != expected)
    std::abort();
  PatternList.assign(1, pattern.c_str());
  for (bool include : {false, true}) {
    IncludeMode = include;
    if (PathPassesFilter(path.c_str()) != (expected == include))
      std::abort();
  }
  return 0;
}
