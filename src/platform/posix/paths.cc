// Path helpers of the POSIX build: '/' is the separator, MAX_PATH is 4096.
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/posix/internal.h"

BOOL PathIsDirectoryW(LPCWSTR path) {
  struct stat st;
  return stat(ToBytes(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Joins with one '/'. The caller makes sure the result fits MAX_PATH.
LPWSTR PathCombineW(LPWSTR out, LPCWSTR directory, LPCWSTR name) {
  std::wstring joined = directory ? directory : L"";
  std::wstring tail = name ? name : L"";
  if (!joined.empty() && !tail.empty() && joined.back() != L'/')
    joined += L'/';
  joined += tail;
  joined.copy(out, joined.size());
  out[joined.size()] = 0;
  return out;
}
