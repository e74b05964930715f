#include "platform/windows/entry_path.h"

#include <cstring>

std::wstring EntryPath(const OpenDirectory& directory, const wchar_t* name) {
  std::wstring path(directory.Path);
  // A directory that is not open names nothing (not the current drive's root): every call
  // on the empty path fails.
  if (name == nullptr || path.empty())
    return path;
  if (path.empty() || path.back() != L'\\')
    path += L'\\';
  return path += name;
}

size_t RootLength(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) != 0)
    return 1;
  size_t at = path.find(L'\\', 4);
  if (path.compare(4, 4, L"UNC\\") == 0)
    for (int skip = 0; skip < 2 && at != std::wstring::npos; skip++) at = path.find(L'\\', at + 1);
  return at == std::wstring::npos ? path.size() : at + 1;
}

DWORD OwnAttributes(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return attributes;
  // The reparse tag is in the find record; where it cannot be read the entry stays a link.
  WIN32_FIND_DATAW data;
  HANDLE search =
      FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE)
    return attributes;
  FindClose(search);
  if (!ReparseTagIsLink(data.dwReserved0))
    attributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes;
}

HANDLE OpenObject(const wchar_t* path) {
  return CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

namespace {

// The 128-bit file id and 64-bit volume serial, where the file system has them: ReFS and cloned
// volumes keep only those unique. A file system without such ids gives zero, which names nothing.
bool LongIdentity(HANDLE file, FileIdentity* identity) {
  FILE_ID_INFO id;
  static const unsigned char kNone[sizeof id.FileId.Identifier] = {};
  if (!GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id) ||
      std::memcmp(id.FileId.Identifier, kNone, sizeof kNone) == 0)
    return false;
  identity->volume = id.VolumeSerialNumber;
  std::memcpy(&identity->index, id.FileId.Identifier, 8);
  std::memcpy(&identity->indexHigh, id.FileId.Identifier + 8, 8);
  return true;
}

}  // namespace

// Else the 32-bit volume serial and the 64-bit file index.
bool OpenedIdentity(const wchar_t* path, FileIdentity* identity) {
  HANDLE file = OpenObject(path);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  BY_HANDLE_FILE_INFORMATION information;
  bool known = LongIdentity(file, identity);
  if (!known && GetFileInformationByHandle(file, &information)) {
    identity->volume = information.dwVolumeSerialNumber;
    identity->index =
        (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    identity->indexHigh = 0;
    known = true;
  }
  DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
  return known;
}
