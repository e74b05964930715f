#include "scan/path_text.h"

#include "output/console.h"
#include "settings/options.h"

size_t PathTextLimit() {
  if (!OptionSet(kLongPaths))
    return kShortPathLimit - 1;
  return kNamesIgnoreCase ? 32767 : static_cast<size_t>(-1);
}

bool JoinWithinLimit(std::wstring* out, const std::wstring& directory, const wchar_t* name) {
  bool separator = !directory.empty() && directory.back() != PATH_SEPARATOR_TEXT[0];
  size_t length = directory.size() + (separator ? 1 : 0) + wcslen(name);
  if (length < kShortPathLimit)
    return JoinPathText(directory, name, out);  // the system's join, so texts read as always
  if (length > PathTextLimit())
    return false;
  *out = directory;
  if (separator)
    *out += PATH_SEPARATOR_TEXT;
  *out += name;
  return true;
}

bool CombinePath(std::wstring* out, const std::wstring& directory, const wchar_t* name) {
  if (JoinWithinLimit(out, directory, name))
    return true;
  WriteError(L"Error: path too long: %s" PATH_SEPARATOR_TEXT L"%s\n", directory.c_str(), name);
  return false;
}
