#include "platform/win32.h"

namespace {

// Read-only, hidden and system: Windows refuses to delete or replace a file that has them.
const DWORD kProtective = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// The bits a file's basic information may set.
const DWORD kSettable = kProtective | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                        FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

HANDLE UnprotectFile(const wchar_t* path, DWORD attributes) {
  if (!(attributes & kProtective))
    return INVALID_HANDLE_VALUE;
  // The attributes belong to the file, not to the name: a file with other names (hard links) is
  // held open across the change, so that those names get them back afterwards.
  HANDLE file =
      CreateFileW(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION information;
  if (file != INVALID_HANDLE_VALUE &&
      (!GetFileInformationByHandle(file, &information) || information.nNumberOfLinks < 2)) {
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
  }
  SetFileAttributesW(path, attributes & ~kProtective);
  return file;
}

void ReprotectFile(HANDLE file, const wchar_t* path, DWORD attributes, bool done) {
  DWORD error = GetLastError();
  if (!done) {
    if (attributes & kProtective)
      SetFileAttributesW(path, attributes);  // the file stays, protected as it was
  } else if (file != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(file, &information)) {
      FILE_BASIC_INFO basic = {};  // times of zero are left as they are
      basic.FileAttributes =
          (information.dwFileAttributes & kSettable) | (attributes & kProtective);
      SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
    }
  }
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  SetLastError(error);
}
