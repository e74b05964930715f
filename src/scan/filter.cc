#include "scan/filter.h"

#include "scan/path_text.h"

std::vector<const wchar_t*> PatternList;
bool IncludeMode = false;

bool EntryPassesFilter(const std::wstring& directory, const DirectoryEntry& entry, bool* tooLong) {
  std::wstring path;
  if (!CombinePath(&path, directory, WideName(entry.Name))) {
    if (tooLong)
      *tooLong = true;
    return false;
  }
  if (IncludeMode && (entry.Attributes & kAttributeDirectory))
    return true;
  return PathPassesFilter(path.c_str());
}

bool PathPassesFilter(const wchar_t* path) {
  for (const wchar_t* pattern : PatternList) {
    if (MatchesPattern(path, pattern))
      return IncludeMode;
  }
  return !IncludeMode;
}
