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

// Joins with one '/'; refuses (returns null, empties out) a result that does not fit MAX_PATH.
LPWSTR PathCombineW(LPWSTR out, LPCWSTR directory, LPCWSTR name) {
  std::wstring joined = directory ? directory : L"";
  std::wstring tail = name ? name : L"";
  if (!joined.empty() && !tail.empty() && joined.back() != L'/')
    joined += L'/';
  joined += tail;
  if (joined.size() >= MAX_PATH) {
    out[0] = 0;
    return nullptr;
  }
  joined.copy(out, joined.size());
  out[joined.size()] = 0;
  return out;
}

// Removes the last component and the separator before it; "/" stays. False when nothing
// could be removed.
BOOL PathRemoveFileSpecW(LPWSTR path) {
  int length = lstrlenW(path);
  if (length == 0 || (length == 1 && path[0] == L'/'))
    return FALSE;
  if (path[length - 1] == L'/') {  // a trailing separator is the last thing removed
    path[length - 1] = 0;
    return TRUE;
  }
  int slash = length - 1;
  while (slash >= 0 && path[slash] != L'/') slash--;
  if (slash < 0) {
    path[0] = 0;
  } else if (slash == 0) {
    path[1] = 0;
  } else {
    path[slash] = 0;
  }
  return TRUE;
}

LPWSTR PathAddBackslashW(LPWSTR path) {
  int length = lstrlenW(path);
  if (length > 0 && path[length - 1] == L'/')
    return path + length;
  if (length + 1 >= MAX_PATH)
    return nullptr;
  path[length] = L'/';
  path[length + 1] = 0;
  return path + length + 1;
}

LPWSTR PathRemoveBackslashW(LPWSTR path) {
  int length = lstrlenW(path);
  if (length > 1 && path[length - 1] == L'/') {
    path[length - 1] = 0;
    return path + length - 1;
  }
  return path + length;
}

// The absolute form of a path against the current directory, with "." and ".." components
// and repeated separators resolved as text.
DWORD GetFullPathNameW(LPCWSTR path, DWORD chars, LPWSTR out, LPWSTR* filePart) {
  std::wstring full;
  if (path[0] != L'/') {
    std::vector<char> cwd(MAX_PATH);
    if (getcwd(cwd.data(), cwd.size()) == nullptr) {
      SetLastErrorFromErrno(errno);
      return 0;
    }
    full = FromBytes(cwd.data(), std::char_traits<char>::length(cwd.data())) + L"/";
  }
  full += path;
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= full.size()) {
    size_t end = full.find(L'/', start);
    if (end == std::wstring::npos)
      end = full.size();
    std::wstring part = full.substr(start, end - start);
    if (part == L"..") {
      if (!parts.empty())
        parts.pop_back();
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::wstring result;
  for (const auto& part : parts) result += L"/" + part;
  if (result.empty())
    result = L"/";
  if (result.size() + 1 > chars)
    return static_cast<DWORD>(result.size() + 1);
  result.copy(out, result.size());
  out[result.size()] = 0;
  if (filePart)
    *filePart = nullptr;
  return static_cast<DWORD>(result.size());
}
