#include "scan/path_text.h"

#include "output/console.h"

bool CombinePath(wchar_t* out, const wchar_t* directory, const wchar_t* name) {
  if (PathCombineW(out, directory, name) != nullptr)
    return true;
  WriteError(L"Error: path too long: %s" PATH_SEPARATOR_TEXT L"%s\n", directory, name);
  return false;
}
