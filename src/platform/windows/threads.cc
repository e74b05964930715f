#include "platform/windows/entry_path.h"

// The 32-bit program on 64-bit Windows: the system hands it SysWOW64 wherever a path names
// System32 (file-system redirection) unless the thread turns that off. The call is looked up at
// run time, since a system without WOW64 may lack it; where it is there but there is nothing to
// turn off, it fails harmlessly. Every module the program needs is loaded by then.
void PrepareThreadForFiles() {
#ifndef _WIN64
  using Disable = BOOL(WINAPI*)(PVOID*);
  static const Disable disable = reinterpret_cast<Disable>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "Wow64DisableWow64FsRedirection")));
  DWORD error = GetLastError();
  PVOID previous = nullptr;
  if (disable != nullptr)
    disable(&previous);
  SetLastError(error);
#endif
}
