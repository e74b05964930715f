#include "sync/paths.h"

wchar_t SourcePath[MAX_PATH];
wchar_t DestinationPath[MAX_PATH];

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
