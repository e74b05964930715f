#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/windows/entry_path.h"

OpenDirectory::OpenDirectory(OpenDirectory&& other) noexcept : Path(std::move(other.Path)) {
  other.Path.clear();
}

OpenDirectory& OpenDirectory::operator=(OpenDirectory&& other) noexcept {
  if (this != &other) {
    Path = std::move(other.Path);
    other.Path.clear();
  }
  return *this;
}

// An open directory is its path: there is no handle to close.
OpenDirectory::~OpenDirectory() = default;

bool OpenDirectory::IsOpen() const {
  return !Path.empty();
}

namespace {

// The full path that a typed root means, in the "\\?\" form: "D:" and "D:dir" are taken from
// that drive's current directory, "." and ".." are resolved, "\\server\share\..." becomes
// "\\?\UNC\server\share\...". A path already in the "\\?\" form is taken as it is.
bool LongFullPath(const wchar_t* typed, std::wstring* path) {
  std::wstring full;
  if (lstrlenW(typed) >= 4 && std::wstring(typed, 4) == L"\\\\?\\") {
    full = typed;
  } else {
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD length = 0;
    // The length asked for, terminator included, when the buffer is short; the current
    // directory may change in between, so it is asked again.
    for (int attempt = 0; attempt < 3; attempt++) {
      length = GetFullPathNameW(typed, static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
      if (length < buffer.size())
        break;
      buffer.resize(length + 1);
    }
    if (length == 0)
      return false;
    if (length >= buffer.size()) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return false;
    }
    full.assign(buffer.data(), length);
  }
  if (full.rfind(L"\\\\?\\", 0) == 0)
    *path = full;
  else if (full.rfind(L"\\\\.\\", 0) == 0)
    *path = L"\\\\?\\" + full.substr(4);
  else if (full.rfind(L"\\\\", 0) == 0)
    *path = L"\\\\?\\UNC\\" + full.substr(2);
  else
    *path = L"\\\\?\\" + full;
  // No separator at the end, except at a root, which always ends in one.
  size_t root = RootLength(*path);
  while (path->size() > root && path->back() == L'\\') path->pop_back();
  if (path->size() <= root && path->back() != L'\\')
    *path += L'\\';
  return true;
}

// Checks that path, whose own attribute word is given, leads to a directory: a link by what it
// points to (failing with the system's error where that cannot be opened), anything else by
// its own word (ERROR_DIRECTORY for a file).
bool LeadsToDirectory(const std::wstring& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    HANDLE target = OpenObject(path.c_str());
    if (target == INVALID_HANDLE_VALUE)
      return false;
    BY_HANDLE_FILE_INFORMATION information;
    bool known = GetFileInformationByHandle(target, &information) != 0;
    DWORD error = GetLastError();
    CloseHandle(target);
    SetLastError(error);
    if (!known)
      return false;
    attributes = information.dwFileAttributes;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  return true;
}

}  // namespace

bool OpenRootDirectory(const wchar_t* path, OpenDirectory* directory) {
  std::wstring full;
  if (!LongFullPath(path, &full))
    return false;
  DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !LeadsToDirectory(full, attributes))
    return false;
  directory->Path = std::move(full);
  return true;
}

// A path within the short limit as the system's shell functions judge it; a longer one (under
// long-paths) in its "\\?\" form.
bool IsDirectoryPath(const wchar_t* path) {
  if (lstrlenW(path) < MAX_PATH)
    return PathIsDirectoryW(path) != 0;
  std::wstring full;
  if (!LongFullPath(path, &full))
    return false;
  DWORD attributes = GetFileAttributesW(full.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool OpenChildDirectory(const OpenDirectory& parent, const wchar_t* name, bool followLink,
                        OpenDirectory* child) {
  std::wstring path = EntryPath(parent, name);
  DWORD attributes = OwnAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return false;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !followLink) {
    SetLastError(ERROR_CANT_RESOLVE_FILENAME);
    return false;
  }
  if (!LeadsToDirectory(path, attributes))
    return false;
  child->Path = std::move(path);
  return true;
}
