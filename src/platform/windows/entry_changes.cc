#include "platform/file_system.h"
#include "platform/windows/entry_path.h"

namespace {

const DWORD kProtective = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Gives path the modelled bits of attributes in place of its own, keeping its other bits. The
// word is read from and written to the entry itself, never through a link.
bool ReplaceModelledBits(const std::wstring& path, DWORD attributes) {
  DWORD current = GetFileAttributesW(path.c_str());
  if (current == INVALID_FILE_ATTRIBUTES)
    return false;
  return SetFileAttributesW(path.c_str(), CorrectedAttributeWord(current, attributes)) != 0;
}

}  // namespace

AttributeWord ReadAttributesAt(const OpenDirectory& directory, const wchar_t* name) {
  return OwnAttributes(EntryPath(directory, name));
}

bool SetAttributesAt(const OpenDirectory& directory, const wchar_t* name,
                     AttributeWord attributes) {
  return ReplaceModelledBits(EntryPath(directory, name), attributes);
}

// Windows keeps no permission bits.
bool SetPermissionsAt(const OpenDirectory&, const wchar_t*, uint32_t) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool SetWriteTimeAt(const OpenDirectory& directory, const wchar_t* name, const FileTime& time) {
  std::wstring path = EntryPath(directory, name);
  HANDLE file = CreateFileW(
      path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  FILETIME written = {time.Low, time.High};
  bool set = SetFileTime(file, nullptr, nullptr, &written) != 0;
  DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
  return set;
}

// A move to the same name in another letter case renames the entry in place.
bool RenameToCaseAt(const OpenDirectory& directory, const wchar_t* name) {
  std::wstring path = EntryPath(directory, name);
  return MoveFileW(path.c_str(), path.c_str()) != 0;
}

// A plain directory, never a copy of the template's reparse point (a junction's backup would
// be a junction to the live data), then given the template's modelled attributes.
bool MakeDirectoryAt(const OpenDirectory& templateParent, const wchar_t* templateName,
                     const OpenDirectory& parent, const wchar_t* name) {
  std::wstring path = EntryPath(parent, name);
  if (!CreateDirectoryW(path.c_str(), nullptr))
    return false;
  DWORD attributes = GetFileAttributesW(EntryPath(templateParent, templateName).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (!(attributes & kProtective) || ReplaceModelledBits(path, attributes))) {
    return true;
  }
  // Without its attributes the directory is not the template's copy: the creation failed.
  DWORD error = GetLastError();
  RemoveDirectoryW(path.c_str());
  SetLastError(error);
  return false;
}

// A directory link is removed as itself, never what it points to.
bool RemoveDirectoryAt(const OpenDirectory& parent, const wchar_t* name) {
  return RemoveDirectoryW(EntryPath(parent, name).c_str()) != 0;
}

bool DeleteFileAt(const OpenDirectory& directory, const wchar_t* name, AttributeWord attributes) {
  return DeleteProtectedFile(EntryPath(directory, name).c_str(), attributes);
}
