#include "sync/metadata.h"

#include "settings/options.h"
#include "output/console.h"
#include "sync/paths.h"

namespace {

// The attribute word of the entry at path when its listing could not read it, read again; false,
// reported with the entry's own path, when it still cannot be. A directory is not reported: the
// listing of it that follows fails for the same reason and says so.
bool AttributesReadAgain(const wchar_t* path, const DirectoryEntry& entry, DWORD* attributes) {
  DWORD word = GetFileAttributesW(path);
  if (word == INVALID_FILE_ATTRIBUTES) {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      ReportSystemError(L"Unable to read attributes %s", path);
    return false;
  }
  *attributes = word;
  return true;
}

}  // namespace

void ReportMetaOnce(bool& metaLinePending, const wchar_t* path) {
  if (!metaLinePending)
    return;
  metaLinePending = false;
  WriteLogLine(L"meta", path);
}

void UpdateMetadata(const wchar_t* path, const DirectoryEntry& source,
                    const DirectoryEntry& destination, bool timesEqual) {
  if (OptionSet(kNoMeta))
    return;
  bool metaLinePending = OptionSet(kLogMeta);
  bool change = !OptionSet(kVirtual);

  // Attributes that stay unknown correct nothing and are corrected from nothing: hidden and
  // system are never stripped on a guess.
  DWORD s = source.dwFileAttributes, d = destination.dwFileAttributes;
  bool known = !destination.AttributesUnknown || AttributesReadAgain(path, destination, &d);
  if (known && source.AttributesUnknown) {
    PathBuffer sourcePath;
    known = CombinePath(sourcePath.get(), SourcePath, source.cFileName) &&
            AttributesReadAgain(sourcePath.get(), source, &s);
  }
  // Unknown attributes leave the permission bits alone too.
  bool attributesSet = known;
  if (known && ((s ^ d) & kProtectiveAttributes)) {
    ReportMetaOnce(metaLinePending, path);
    DWORD word = (s & ~FILE_ATTRIBUTE_ARCHIVE) | (d & FILE_ATTRIBUTE_ARCHIVE);
    if (change && !SetFileAttributesW(path, word)) {
      ReportSystemError(L"Unable to set attributes %s", path);
      attributesSet = false;
    }
  }

  // After a failed attribute change the permission bits stay as they are too: their write bits
  // are its read-only half.
  DWORD mode;
  if (attributesSet && PermissionBitsToSet(source.Permissions, destination.Permissions, d, &mode)) {
    ReportMetaOnce(metaLinePending, path);
    if (change && !SetPermissionBits(path, mode))
      ReportSystemError(L"Unable to set attributes %s", path);
  }

  if (OptionSet(kTimeMeta) && !timesEqual) {
    ReportMetaOnce(metaLinePending, path);
    if (change) {
      HANDLE file = CreateFileW(path, FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        if (!SetFileTime(file, nullptr, nullptr, &source.ftLastWriteTime)) {
          ReportSystemError(L"Unable to set modification time %s", path);
        }
        CloseHandle(file);
      }
    }
  }

  if (lstrcmpW(destination.cFileName, source.cFileName) != 0) {
    ReportMetaOnce(metaLinePending, path);
    if (change && !MoveFileW(path, path))
      ReportSystemError(L"Unable to rename %s", path);
  }
}
