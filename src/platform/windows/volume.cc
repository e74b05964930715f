#include "platform/file_system.h"
#include "platform/windows/entry_path.h"

namespace {

bool AskVolume(const std::wstring& path, std::wstring* name) {
  wchar_t fileSystem[MAX_PATH + 1];
  if (!GetVolumeInformationW(path.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                             MAX_PATH + 1)) {
    return false;
  }
  *name = fileSystem;
  return true;
}

// A root in its usual form ("C:\", "\\server\share\"), for a system that does not take the
// "\\?\" form there; empty for a root that has no other form.
std::wstring ShortRoot(const std::wstring& root) {
  if (root.rfind(L"\\\\?\\UNC\\", 0) == 0)
    return L"\\" + root.substr(7);
  if (root.size() == 7 && root[5] == L':')
    return root.substr(4);
  return std::wstring();
}

}  // namespace

// The volume that holds a directory answers for its root, or for the mount point it is mounted
// on: the directory's path is walked up to the first path that answers (Wine answers only at
// "Z:\").
bool FileSystemNameOf(const OpenDirectory& directory, std::wstring* name) {
  std::wstring path = directory.Path;
  if (path.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  size_t root = RootLength(path);
  for (;;) {
    if (path.back() != L'\\')
      path += L'\\';
    if (AskVolume(path, name))
      return true;
    if (path.size() <= root) {
      DWORD error = GetLastError();
      std::wstring usual = ShortRoot(path);
      if (!usual.empty() && AskVolume(usual, name))
        return true;
      SetLastError(error);
      return false;
    }
    path.pop_back();
    size_t cut = path.find_last_of(L'\\');
    path.resize(cut == std::wstring::npos || cut < root ? root : cut);
  }
}
