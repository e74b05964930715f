// File opens, reads, time changes, deletions, renames and directories of the POSIX build.
// Deletions remove a symbolic link itself, never what it points to.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/posix/internal.h"

namespace {
bool Fail(int error) {
  SetLastErrorFromErrno(error);
  return false;
}
}  // namespace

DWORD VolumeSerial(dev_t device) {
  return static_cast<DWORD>((major(device) << 20) | (minor(device) & 0xFFFFF));
}

// Opens an existing file for reading; for FILE_WRITE_ATTRIBUTES, keeps the path for SetFileTime
// after checking that it exists; with FILE_FLAG_BACKUP_SEMANTICS, opens what the path names
// (following links) for its identity and final path.
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
  std::string bytes = ToBytes(path);
  if (disposition != OPEN_EXISTING) {
    SetLastErrorCode(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  int fd;
  if (flags & FILE_FLAG_BACKUP_SEMANTICS) {
    fd = open(bytes.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
      Fail(errno);
      return INVALID_HANDLE_VALUE;
    }
  } else if (access & GENERIC_READ) {
    struct stat st;
    fd = OpenRegularFileAt(AT_FDCWD, bytes.c_str(), &st);
    if (fd < 0)
      return INVALID_HANDLE_VALUE;
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  } else {
    // The time change never goes through a symbolic link (O_NOFOLLOW opens the link itself).
    fd = open(bytes.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISLNK(st.st_mode)) {
      close(fd);
      fd = -1;
      errno = ELOOP;
    }
    if (fd < 0) {
      Fail(errno);
      return INVALID_HANDLE_VALUE;
    }
  }
  return new PosixFile{fd, bytes};
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  struct stat st;
  if (fstat(static_cast<PosixFile*>(file)->fd, &st) != 0)
    return Fail(errno);
  *information = BY_HANDLE_FILE_INFORMATION{};
  information->dwVolumeSerialNumber = VolumeSerial(st.st_dev);
  information->nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_ino) >> 32);
  information->nFileIndexLow = static_cast<DWORD>(st.st_ino);
  return TRUE;
}

// The path with every link resolved. Needs no /proc (a chroot may lack it).
DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD chars, DWORD) {
  char resolved[PATH_MAX];
  if (realpath(static_cast<PosixFile*>(file)->path.c_str(), resolved) == nullptr) {
    Fail(errno);
    return 0;
  }
  std::wstring wide = FromBytes(resolved, std::char_traits<char>::length(resolved));
  if (wide.size() + 1 > chars)
    return static_cast<DWORD>(wide.size() + 1);
  wide.copy(path, wide.size());
  path[wide.size()] = 0;
  return static_cast<DWORD>(wide.size());
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, LPDWORD read, void*) {
  size_t count = 0;
  bool done = ReadBlock(static_cast<PosixFile*>(file)->fd, buffer, bytes, &count);
  *read = static_cast<DWORD>(count);
  return done ? TRUE : FALSE;
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* position, DWORD) {
  off_t at = lseek(static_cast<PosixFile*>(file)->fd, distance.QuadPart, SEEK_SET);
  if (at < 0)
    return Fail(errno);
  if (position != nullptr)
    position->QuadPart = at;
  return TRUE;
}

BOOL DeviceIoControl(HANDLE file, DWORD code, void* in, DWORD inBytes, void* out, DWORD outBytes,
                     LPDWORD returned, void*) {
  *returned = 0;
  if (code != FSCTL_QUERY_ALLOCATED_RANGES || inBytes < sizeof(FILE_ALLOCATED_RANGE_BUFFER) ||
      outBytes < sizeof(FILE_ALLOCATED_RANGE_BUFFER)) {
    SetLastErrorCode(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  off_t data, hole;
  int found =
      DataRangeAt(static_cast<PosixFile*>(file)->fd,
                  static_cast<FILE_ALLOCATED_RANGE_BUFFER*>(in)->FileOffset.QuadPart, &data, &hole);
  if (found <= 0)
    return found == 0 ? TRUE : Fail(errno);  // 0: only a hole follows
  FILE_ALLOCATED_RANGE_BUFFER* range = static_cast<FILE_ALLOCATED_RANGE_BUFFER*>(out);
  range->FileOffset.QuadPart = data;
  range->Length.QuadPart = hole - data;
  *returned = sizeof *range;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  PosixFile* file = static_cast<PosixFile*>(handle);
  if (file->fd > STDERR_FILENO)
    close(file->fd);
  if (file == GetStdHandle(STD_OUTPUT_HANDLE) || file == GetStdHandle(STD_ERROR_HANDLE)) {
    return TRUE;
  }
  delete file;
  return TRUE;
}

// Sets the modification time, to the nanosecond where the file system keeps it, and the access
// time in the same call (the given one, else the new modification time): some FUSE file systems
// drop a modification time set alone. Linux has no creation time to set.
BOOL SetFileTime(HANDLE file, const FILETIME*, const FILETIME* lastAccess,
                 const FILETIME* lastWrite) {
  if (lastWrite == nullptr)
    return TRUE;
  struct timespec times[2];
  times[1] = FromFileTime(*lastWrite);
  times[0] = lastAccess != nullptr ? FromFileTime(*lastAccess) : times[1];
  if (utimensat(AT_FDCWD, static_cast<PosixFile*>(file)->path.c_str(), times,
                AT_SYMLINK_NOFOLLOW) != 0) {
    return Fail(errno);
  }
  return TRUE;
}

// Subtracts the local time zone's current offset from UTC.
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
  time_t now = time(nullptr);
  struct tm parts;
  localtime_r(&now, &parts);
  long long offset = static_cast<long long>(parts.tm_gmtoff) * 10000000LL;
  unsigned long long ticks =
      (static_cast<unsigned long long>(local->dwHighDateTime) << 32) | local->dwLowDateTime;
  ticks -= static_cast<unsigned long long>(offset);
  utc->dwLowDateTime = static_cast<DWORD>(ticks);
  utc->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return TRUE;
}

// unlink and rename ignore the file's own mode and attributes: nothing is cleared, so the
// file's other names (hard links) keep theirs.
bool DeleteProtectedFile(const wchar_t* path, DWORD) {
  return DeleteFileW(path) != 0;
}

std::wstring UnprotectForReplace(const wchar_t*, DWORD) {
  return std::wstring();
}

void ReprotectAfterReplace(const std::wstring&, const wchar_t*, DWORD, bool) {}

BOOL DeleteFileW(LPCWSTR path) {
  return DeleteFileEntry(AT_FDCWD, ToBytes(path).c_str()) ? TRUE : FALSE;
}

BOOL MoveFileW(LPCWSTR from, LPCWSTR to) {
  if (lstrcmpW(from, to) == 0)
    return TRUE;  // names are case-sensitive here: the name is already as given
  return MoveFileExW(from, to, 0);
}

// Without MOVEFILE_REPLACE_EXISTING an existing target makes the move fail (ERROR_ALREADY_EXISTS).
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  std::string a = ToBytes(from), b = ToBytes(to);
  bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
  if (!MoveIntoPlace(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), replace))
    return Fail(errno);
  return TRUE;
}

DWORD GetTickCount() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<DWORD>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

DWORD GetCurrentProcessId() {
  return static_cast<DWORD>(getpid());
}

// Makes the directory with the template's permission bits plus the owner's write bit (so that
// the copy can fill it) and the template's user.DOSATTRIB.
BOOL CreateDirectoryExW(LPCWSTR templateDirectory, LPCWSTR path, LPSECURITY_ATTRIBUTES) {
  std::string from = ToBytes(templateDirectory), to = ToBytes(path);
  return MakeDirectoryLike(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str()) ? TRUE : FALSE;
}

BOOL RemoveDirectoryW(LPCWSTR path) {
  return RemoveDirectoryEntry(AT_FDCWD, ToBytes(path).c_str()) ? TRUE : FALSE;
}
