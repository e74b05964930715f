#include <string>

#include "platform/windows/entry_path.h"

namespace {

// Read-only, hidden and system: Windows refuses to delete or replace a file that has them.
const DWORD kProtective = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// The bits a file's basic information may set.
const DWORD kSettable = kProtective | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                        FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

HANDLE OpenForAttributes(const wchar_t* path) {
  return CreateFileW(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The number of names the file has; 0 when it cannot be opened.
DWORD LinkCount(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &information))
    return 0;
  return information.nNumberOfLinks;
}

// Gives the file behind the handle its protective attributes back, keeping its other bits.
void RestoreThroughHandle(HANDLE file, DWORD attributes) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information))
    return;
  FILE_BASIC_INFO basic = {};  // times of zero are left as they are
  basic.FileAttributes = (information.dwFileAttributes & kSettable) | (attributes & kProtective);
  SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
}

}  // namespace

// The attributes belong to the file, not to the name: a file with other names (hard links) is
// held open across the deletion, and its other names get them back through the handle.
bool DeleteProtectedFile(const wchar_t* path, DWORD attributes) {
  if (!(attributes & kProtective))
    return DeleteFileW(path) != 0;
  HANDLE file = OpenForAttributes(path);
  if (LinkCount(file) < 2 && file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
  }
  SetFileAttributesW(path, attributes & ~kProtective);
  bool deleted = DeleteFileW(path) != 0;
  DWORD error = GetLastError();
  if (!deleted)
    SetFileAttributesW(path, attributes);  // the file stays, protected as it was
  else if (file != INVALID_HANDLE_VALUE)
    RestoreThroughHandle(file, attributes);
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  SetLastError(error);
  return deleted;
}

// Windows refuses to replace a file that is open, so the file's other names are kept reachable
// by one more name in the same directory instead, removed once they have their attributes back.
std::wstring UnprotectForReplace(const wchar_t* path, DWORD attributes) {
  std::wstring kept;
  if (!(attributes & kProtective))
    return kept;
  HANDLE file = OpenForAttributes(path);
  DWORD links = LinkCount(file);
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  if (links > 1) {
    kept = path;
    kept += L".tandrel-kept";
    if (!CreateHardLinkW(kept.c_str(), path, nullptr))
      kept.clear();
  }
  SetFileAttributesW(path, attributes & ~kProtective);
  return kept;
}

void ReprotectAfterReplace(const std::wstring& kept, const wchar_t* path, DWORD attributes,
                           bool replaced) {
  DWORD error = GetLastError();
  if (!replaced && (attributes & kProtective))
    SetFileAttributesW(path, attributes);  // the file stays, protected as it was
  if (!kept.empty())
    DeleteProtectedFile(kept.c_str(), attributes);
  SetLastError(error);
}

uint32_t CountNamesAt(const OpenDirectory& directory, const wchar_t* name) {
  HANDLE file = OpenForAttributes(EntryPath(directory, name).c_str());
  DWORD links = LinkCount(file);
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  return links;
}
