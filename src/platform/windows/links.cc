// Symbolic links as links on Windows: the target text read from the link's reparse data, and
// links made without privilege where the system allows it (developer mode).
#include <vector>

#include "platform/file_system.h"
#include "platform/windows/entry_path.h"

namespace {

// The symbolic link layout of the reparse data (REPARSE_DATA_BUFFER, a driver kit header's).
struct SymbolicLinkData {
  DWORD Tag;
  WORD DataLength, Reserved;
  WORD SubstituteOffset, SubstituteLength, PrintOffset, PrintLength;
  ULONG Flags;
  WCHAR Names[1];
};

}  // namespace

bool ReadLinkAt(const OpenDirectory& directory, const wchar_t* name, std::wstring* target) {
  HANDLE link =
      CreateFileW(EntryPath(directory, name).c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (link == INVALID_HANDLE_VALUE)
    return false;
  std::vector<BYTE> buffer(16 * 1024);  // MAXIMUM_REPARSE_DATA_BUFFER_SIZE
  DWORD bytes = 0;
  BOOL read = DeviceIoControl(link, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &bytes, nullptr);
  DWORD error = GetLastError();
  CloseHandle(link);
  const auto* data = reinterpret_cast<const SymbolicLinkData*>(buffer.data());
  if (!read || bytes < sizeof(SymbolicLinkData) || data->Tag != IO_REPARSE_TAG_SYMLINK) {
    SetLastError(read ? ERROR_NOT_A_REPARSE_POINT : error);
    return false;
  }
  // The name as typed when the link was made; the system's form where there is none.
  bool print = data->PrintLength != 0;
  const WCHAR* text = data->Names + (print ? data->PrintOffset : data->SubstituteOffset) / 2;
  target->assign(text, (print ? data->PrintLength : data->SubstituteLength) / 2);
  return true;
}

bool MakeLinkAt(const OpenDirectory& directory, const wchar_t* name, const std::wstring& target,
                bool directoryLink) {
  const DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  DWORD flags = kUnprivileged | (directoryLink ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
  return CreateSymbolicLinkW(EntryPath(directory, name).c_str(), target.c_str(), flags) != 0;
}
