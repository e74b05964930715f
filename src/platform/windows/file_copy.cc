#include <atomic>

#include "platform/file_system.h"
#include "platform/windows/entry_path.h"

namespace {

// A temporary name in the destination directory: ".tandrel-" and eight hexadecimal digits that
// differ from run to run and from try to try. Copies run on several threads at once: each
// takes the next state in one step.
std::wstring TemporaryName() {
  static std::atomic<DWORD> next{GetTickCount() ^ (GetCurrentProcessId() << 16)};
  DWORD state = next.load(), following;
  do {
    following = state * 1664525 + 1013904223;
  } while (!next.compare_exchange_weak(state, following));
  state = following;
  std::wstring name(L".tandrel-");
  for (int i = 0; i < 8; i++) name += L"0123456789abcdef"[(state >> (28 - 4 * i)) & 15];
  return name;
}

// Removes a temporary file whatever attributes the copy gave it, keeping the last error.
void RemoveTemporaryFile(const std::wstring& path) {
  DWORD error = GetLastError();
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
  SetLastError(error);
}

// A move refused because something holds the fresh file for a moment (a virus scanner, an
// indexer) is tried again a few times.
bool MoveIntoPlace(const std::wstring& temporary, const std::wstring& destination, bool replace) {
  for (int attempt = 0;; attempt++) {
    if (MoveFileExW(temporary.c_str(), destination.c_str(),
                    replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
      return true;
    }
    DWORD error = GetLastError();
    bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                error == ERROR_LOCK_VIOLATION;
    if (!held || attempt == 3)
      return false;
    Sleep(50);
    SetLastError(error);
  }
}

// The copy goes to a temporary file in the destination directory, made exclusively (a name
// another file holds is never written or removed), then moves into place in one step.
bool CopyIntoPlace(const std::wstring& source, const OpenDirectory& to, const std::wstring& target,
                   bool replace) {
  std::wstring temporary;
  for (int attempt = 0;; attempt++) {
    temporary = EntryPath(to, TemporaryName().c_str());
    if (CopyFileW(source.c_str(), temporary.c_str(), TRUE))
      break;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      if (attempt == 100)
        return false;  // the name is another's: never removed
      continue;
    }
    RemoveTemporaryFile(temporary);  // a copy that failed part-way
    return false;
  }
  if (MoveIntoPlace(temporary, target, replace))
    return true;
  RemoveTemporaryFile(temporary);
  return false;
}

}  // namespace

bool CopyFileAt(const OpenDirectory& from, const wchar_t* fromName, const OpenDirectory& to,
                const wchar_t* toName, bool replace, DWORD replacedAttributes) {
  std::wstring source = EntryPath(from, fromName), target = EntryPath(to, toName);
  if (!replace)
    return CopyIntoPlace(source, to, target, false);
  // The old file's protective attributes go before it is replaced; its other names (hard links)
  // get them back, and so does the old file itself when the copy fails.
  std::wstring kept = UnprotectForReplace(target.c_str(), replacedAttributes);
  bool copied = CopyIntoPlace(source, to, target, true);
  ReprotectAfterReplace(kept, target.c_str(), replacedAttributes, copied);
  return copied;
}
