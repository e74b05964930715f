#include "scan/path_text.h"

#include <vector>

#include "output/console.h"
#include "settings/options.h"

size_t PathTextLimit() {
  if (!OptionSet(kLongPaths))
    return MAX_PATH - 1;
  return NAMES_IGNORE_CASE ? 32767 : static_cast<size_t>(-1);
}

bool CombinePath(std::wstring* out, const std::wstring& directory, const wchar_t* name) {
  bool separator = !directory.empty() && directory.back() != PATH_SEPARATOR_TEXT[0];
  size_t length = directory.size() + (separator ? 1 : 0) + static_cast<size_t>(lstrlenW(name));
  if (length < MAX_PATH) {
    // The platform's own join where it fits, so texts read exactly as they always have.
    static std::vector<wchar_t> joined(MAX_PATH);
    if (PathCombineW(joined.data(), directory.c_str(), name) != nullptr) {
      out->assign(joined.data());
      return true;
    }
  } else if (length <= PathTextLimit()) {
    *out = directory;
    if (separator)
      *out += PATH_SEPARATOR_TEXT;
    *out += name;
    return true;
  }
  WriteError(L"Error: path too long: %s" PATH_SEPARATOR_TEXT L"%s\n", directory.c_str(), name);
  return false;
}
