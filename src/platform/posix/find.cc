// FindFirstFileW of the POSIX build, over the directory's descriptor: each entry is examined as
// the listing of an open directory examines it (listing.cc). "." and ".." are listed.
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/internal.h"

namespace {

struct PosixSearch {
  DIR* dir;
};

// Fills the record from the next visible entry. False at the end (ERROR_NO_MORE_FILES) or
// when the enumeration broke off (the error of the failure).
bool NextEntry(PosixSearch* search, WIN32_FIND_DATAW* data) {
  for (;;) {
    errno = 0;
    struct dirent* entry = readdir(search->dir);
    if (entry == nullptr) {
      if (errno != 0)
        SetLastErrorFromErrno(errno);
      else
        SetLastErrorCode(ERROR_NO_MORE_FILES);
      return false;
    }
    const char* n = entry->d_name;
    if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) {
      // "." and "..": listed as directories, with nothing the program reads looked up.
      std::memset(data, 0, sizeof *data);
      data->cFileName[0] = data->cFileName[1] = L'.';
      data->cFileName[n[1] == 0 ? 1 : 2] = 0;
      data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
      return true;
    }
    ExaminedEntry examined;
    Examined result = ExamineEntry(dirfd(search->dir), entry->d_name, &examined);
    if (result == Examined::kFailed)
      return false;
    if (result == Examined::kLeftOut)
      continue;
    std::wstring name = FromBytes(entry->d_name, std::strlen(entry->d_name));
    std::memset(data, 0, sizeof *data);
    if (name.size() >= FIND_NAME_CHARS) {
      continue;  // cannot happen with NAME_MAX names; never cut a name
    }
    name.copy(data->cFileName, name.size());
    const struct stat& target = examined.target;
    data->dwFileAttributes = examined.attributes;
    data->posixAttributesUnknown = !examined.attributesKnown;
    data->ftLastWriteTime = ToFileTime(target.st_mtim);
    data->ftLastAccessTime = ToFileTime(target.st_atim);
    data->ftCreationTime = ToFileTime(target.st_ctim);
    // A link whose target cannot be reached has its own size, the length of its text.
    unsigned long long size =
        S_ISDIR(target.st_mode) ? 0 : static_cast<unsigned long long>(target.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    data->posixVolume = VolumeSerial(target.st_dev);
    data->posixIndex = target.st_ino;
    data->posixOwner = target.st_uid;
    data->posixGroup = target.st_gid;
    data->posixMode = examined.mode;
    return true;
  }
}

}  // namespace

// The pattern is a directory joined with "*"; only that form is supported.
HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
  std::string directory = ToBytes(pattern);
  if (directory.empty() || directory.back() != '*') {
    SetLastErrorCode(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  directory.pop_back();
  if (directory.empty())
    directory = "./";
  int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    SetLastErrorFromErrno(errno == ENOTDIR ? ENOTDIR : errno);
    return INVALID_HANDLE_VALUE;
  }
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    SetLastErrorFromErrno(errno);
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  PosixSearch* search = new PosixSearch{dir};
  if (!NextEntry(search, data)) {
    if (GetLastError() == ERROR_NO_MORE_FILES)
      SetLastErrorCode(ERROR_FILE_NOT_FOUND);
    closedir(dir);
    delete search;
    return INVALID_HANDLE_VALUE;
  }
  return search;
}

HANDLE FindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS, WIN32_FIND_DATAW* data,
                        FINDEX_SEARCH_OPS, void*, DWORD) {
  return FindFirstFileW(pattern, data);
}

BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data) {
  return NextEntry(static_cast<PosixSearch*>(search), data) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE search) {
  PosixSearch* s = static_cast<PosixSearch*>(search);
  closedir(s->dir);
  delete s;
  return TRUE;
}
