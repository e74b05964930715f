// Fuzz target for the pattern matcher: the input is a pattern, a line feed and a path (up to the
// first zero byte each). The matcher must end on every input (no backtracking blow-up), and the
// filter must keep exactly what the pattern does not match in exclude mode, and exactly what it
// matches in include mode. (What a pattern matches: the filter's unit test.)
#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdlib>

#include "platform/posix/internal.h"
#include "scan/filter.h"

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
  const bool matches = MatchesPattern(path.c_str(), pattern.c_str());
  PatternList.assign(1, pattern.c_str());
  for (bool include : {false, true}) {
    IncludeMode = include;
    if (PathPassesFilter(path.c_str()) != (matches == include))
      std::abort();
  }
  return 0;
}
