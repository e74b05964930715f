#include "platform/file_system.h"
#include "platform/windows/entry_path.h"

// The final path keeps its long form ("\\?\"), whatever its length: a mapped drive or a deep
// root may have one far longer than the path typed, and the buffer is as large as it asks.
std::vector<FileIdentity> IdentityChainAt(const OpenDirectory& directory, const wchar_t* name) {
  std::vector<FileIdentity> chain;
  HANDLE file = OpenObject(EntryPath(directory, name).c_str());
  if (file == INVALID_HANDLE_VALUE)
    return chain;
  std::vector<wchar_t> final(MAX_PATH);
  DWORD length = 0;
  for (int attempt = 0; attempt < 2; attempt++) {
    length = GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()),
                                       FILE_NAME_NORMALIZED);
    if (length < final.size())
      break;
    final.resize(length + 1);  // the length asked for, terminator included
  }
  DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(length >= final.size() ? ERROR_FILENAME_EXCED_RANGE : error);
  if (length == 0 || length >= final.size())
    return chain;
  std::wstring path(final.data(), length);
  size_t root = RootLength(path);
  for (;;) {
    FileIdentity identity;
    if (!OpenedIdentity(path.c_str(), &identity))
      break;
    chain.push_back(identity);
    if (path.size() <= root)
      break;
    size_t cut = path.find_last_of(L'\\');
    path.resize(cut == std::wstring::npos || cut < root ? root : cut);
  }
  return chain;
}

bool IdentityAt(const OpenDirectory& directory, const wchar_t* name, FileIdentity* identity) {
  return OpenedIdentity(EntryPath(directory, name).c_str(), identity);
}
