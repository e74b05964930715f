// File opens, reads, time changes, deletions, renames and directories of the POSIX build.
// Deletions remove a symbolic link itself, never what it points to.
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/internal.h"

namespace {
bool Fail(int error) {
  SetLastErrorFromErrno(error);
  return false;
}
}  // namespace

int OpenRegularFile(const std::string& path, struct stat* st) {
  // Not blocking on the open: a FIFO put in place since the listing must not hang the run.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    Fail(errno);
    return -1;
  }
  int error = 0;
  if (fstat(fd, st) != 0) {
    error = errno;
  } else if (!S_ISREG(st->st_mode)) {
    error = S_ISDIR(st->st_mode) ? EISDIR : EACCES;
  }
  if (error != 0) {
    close(fd);
    Fail(error);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// Opens an existing file for reading, or, for FILE_WRITE_ATTRIBUTES, keeps the path for
// SetFileTime after checking that it exists.
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE) {
  std::string bytes = ToBytes(path);
  if (disposition != OPEN_EXISTING) {
    SetLastErrorCode(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  int fd;
  if (access & GENERIC_READ) {
    struct stat st;
    fd = OpenRegularFile(bytes, &st);
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

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, LPDWORD read, void*) {
  int fd = static_cast<PosixFile*>(file)->fd;
  for (;;) {
    ssize_t n = ::read(fd, buffer, bytes);
    if (n >= 0) {
      *read = static_cast<DWORD>(n);
      return TRUE;
    }
    if (errno != EINTR) {
      *read = 0;
      return Fail(errno);
    }
  }
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

// Sets the modification time, to the nanosecond where the file system keeps it; the
// creation and access times are left alone (Linux has no creation time to set).
BOOL SetFileTime(HANDLE file, const FILETIME*, const FILETIME*, const FILETIME* lastWrite) {
  if (lastWrite == nullptr)
    return TRUE;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = FromFileTime(*lastWrite);
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

BOOL DeleteFileW(LPCWSTR path) {
  if (unlink(ToBytes(path).c_str()) != 0)
    return Fail(errno == EISDIR ? EACCES : errno);
  return TRUE;
}

BOOL MoveFileW(LPCWSTR from, LPCWSTR to) {
  std::string a = ToBytes(from), b = ToBytes(to);
  if (a == b)
    return TRUE;  // names are case-sensitive here: the name is already as given
  if (access(b.c_str(), F_OK) == 0)
    return Fail(EEXIST);
  if (rename(a.c_str(), b.c_str()) != 0)
    return Fail(errno);
  return TRUE;
}

// Makes the directory with the template's permission bits plus the owner's write bit (so that
// the copy can fill it) and the template's user.DOSATTRIB.
BOOL CreateDirectoryExW(LPCWSTR templateDirectory, LPCWSTR path, LPSECURITY_ATTRIBUTES) {
  std::string from = ToBytes(templateDirectory), to = ToBytes(path);
  struct stat st;
  if (stat(from.c_str(), &st) != 0)
    return Fail(errno);
  if (mkdir(to.c_str(), 0700) != 0)
    return Fail(errno);
  chmod(to.c_str(), (st.st_mode & 07777) | S_IWUSR);
  int source = open(from.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int target = open(to.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (source >= 0 && target >= 0)
    CopyDosAttribute(source, target);
  if (source >= 0)
    close(source);
  if (target >= 0)
    close(target);
  return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR path) {
  std::string bytes = ToBytes(path);
  struct stat st;
  if (lstat(bytes.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (unlink(bytes.c_str()) != 0)
      return Fail(errno);
    return TRUE;
  }
  if (rmdir(bytes.c_str()) != 0)
    return Fail(errno);
  return TRUE;
}
