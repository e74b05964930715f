#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>

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

// A change refused because something holds the fresh file for a moment (a virus scanner, an
// indexer: access denied, sharing or lock violation) is tried again a few times.
template <typename Change>
bool Retried(Change change) {
  for (int attempt = 0;; attempt++) {
    if (change())
      return true;
    DWORD error = GetLastError();
    bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                error == ERROR_LOCK_VIOLATION;
    if (!held || attempt == 3)
      return false;
    Sleep(50);
    SetLastError(error);
  }
}

// Removes a temporary file whatever attributes the copy gave it, keeping the last error.
void RemoveTemporaryFile(const std::wstring& path) {
  DWORD error = GetLastError();
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  Retried([&] { return DeleteFileW(path.c_str()) != 0; });
  SetLastError(error);
}

// The temporary files in flight, removed when the console ends the program (Ctrl+C, Ctrl+Break,
// the window closed): copies under way are cancelled first, which removes their files too, and
// their threads wait for the end; whatever is left after a short wait is removed here.
std::mutex inFlightLock;
std::set<std::wstring> inFlight;
std::atomic<bool> ending{false};

// Runs on a thread of its own, which the system starts for it.
BOOL WINAPI OnConsoleEnd(DWORD) {
  PrepareThreadForFiles();
  ending = true;
  for (int wait = 0; wait < 100; wait++) {
    {
      std::lock_guard<std::mutex> lock(inFlightLock);
      if (inFlight.empty())
        break;
    }
    Sleep(20);
  }
  std::lock_guard<std::mutex> lock(inFlightLock);
  for (const std::wstring& path : inFlight) RemoveTemporaryFile(path);
  return FALSE;  // the system's own handler then ends the process
}

DWORD CALLBACK CopyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD,
                            DWORD, HANDLE, HANDLE, LPVOID) {
  return ending ? PROGRESS_CANCEL : PROGRESS_CONTINUE;  // a cancelled copy removes its file
}

// Makes the temporary file: a new file, never an entry already there, and never through a link
// planted at the name (its reparse point is not followed). ERROR_FILE_EXISTS when the name is
// taken.
bool MakeTemporaryFile(const std::wstring& path) {
  HANDLE made = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (made == INVALID_HANDLE_VALUE)
    return false;
  CloseHandle(made);
  std::lock_guard<std::mutex> lock(inFlightLock);
  inFlight.insert(path);
  return true;
}

void ForgetTemporaryFile(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(inFlightLock);
  inFlight.erase(path);
}

// Copies source over the temporary file made for it, with the source's modelled attributes
// (some systems keep the replaced file's).
bool CopyOverTemporary(const std::wstring& source, const std::wstring& temporary) {
  static const BOOL handled = SetConsoleCtrlHandler(OnConsoleEnd, TRUE);
  (void)handled;
  if (ending) {
    SetLastError(ERROR_OPERATION_ABORTED);
    return false;
  }
  if (!CopyFileExW(source.c_str(), temporary.c_str(), CopyProgress, nullptr, nullptr, 0))
    return false;
  // The attributes of what the source leads to, a link followed, as the copy is of that.
  BY_HANDLE_FILE_INFORMATION information;
  HANDLE file = OpenObject(source.c_str());
  bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &information);
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  DWORD made = known ? GetFileAttributesW(temporary.c_str()) : INVALID_FILE_ATTRIBUTES;
  if (made == INVALID_FILE_ATTRIBUTES)
    return false;
  DWORD word = CorrectedAttributeWord(made, information.dwFileAttributes);
  return word == made || SetFileAttributesW(temporary.c_str(), word);
}

// The copy goes to a temporary file in the destination directory, made exclusively (a name
// another entry holds is never written, followed or removed), then moves into place in one step.
bool CopyIntoPlace(const std::wstring& source, const OpenDirectory& to, const std::wstring& target,
                   bool replace) {
  std::wstring temporary;
  for (int attempt = 0;; attempt++) {
    std::wstring name = TemporaryName();
#ifdef TANDREL_TEST_HOOKS
    // Test builds: the first name tried may be given, so that a test can plant an entry there.
    const wchar_t* given = _wgetenv(L"TANDREL_TEMPORARY_NAME");
    if (attempt == 0 && given != nullptr && *given != 0)
      name = given;
#endif
    temporary = EntryPath(to, name.c_str());
    if (MakeTemporaryFile(temporary))
      break;
    DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100)
      return false;  // the name is another's: never removed
  }
  bool copied = CopyOverTemporary(source, temporary) && Retried([&] {
                  return MoveFileExW(temporary.c_str(), target.c_str(),
                                     replace ? MOVEFILE_REPLACE_EXISTING : 0);
                });
  if (!copied)
    RemoveTemporaryFile(temporary);
  ForgetTemporaryFile(temporary);
  // The console is ending the program: this thread does nothing more until it ends.
  if (ending)
    Sleep(INFINITE);
  return copied;
}

}  // namespace

bool CopyFileAt(const OpenDirectory& from, const wchar_t* fromName, const OpenDirectory& to,
                const wchar_t* toName, bool replace, AttributeWord replacedAttributes) {
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
