#include "sync/paths.h"

#include "output/console.h"

wchar_t SourcePath[MAX_PATH];
wchar_t DestinationPath[MAX_PATH];

bool CombinePath(wchar_t* out, const wchar_t* directory, const wchar_t* name) {
  if (PathCombineW(out, directory, name) != nullptr)
    return true;
  WriteError(L"Error: path too long: %s" PATH_SEPARATOR_TEXT L"%s\n", directory, name);
  return false;
}

bool ExtendPath(wchar_t* buffer, const wchar_t* name) {
  PathBuffer extended;
  if (!CombinePath(extended.get(), buffer, name))
    return false;
  lstrcpyW(buffer, extended.get());
  return true;
}

bool ExtendPathPair(const wchar_t* name) {
  PathBuffer source, destination;
  if (!CombinePath(source.get(), SourcePath, name))
    return false;
  if (!CombinePath(destination.get(), DestinationPath, name))
    return false;
  lstrcpyW(SourcePath, source.get());
  lstrcpyW(DestinationPath, destination.get());
  return true;
}

void StripPath(wchar_t* buffer) {
  PathRemoveFileSpecW(buffer);
}
