#include "platform/file_system.h"
#include "platform/windows/entry_path.h"

// The volume that holds a directory answers for its root, or for the mount point it is mounted
// on: the directory's path is walked up to the first path that answers (Wine answers only at
// "Z:\").
bool FileSystemNameOf(const OpenDirectory& directory, std::wstring* name) {
  std::wstring path = directory.Path;
  size_t root = RootLength(path);
  for (;;) {
    if (path.empty() || path.back() != L'\\')
      path += L'\\';
    wchar_t fileSystem[MAX_PATH + 1];
    if (GetVolumeInformationW(path.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                              MAX_PATH + 1)) {
      *name = fileSystem;
      return true;
    }
    if (path.size() <= root)
      return false;
    path.pop_back();
    size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos)
      return false;
    path.resize(cut < root ? root : cut);
  }
}
