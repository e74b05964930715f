// CopyFileW of the POSIX build: the contents go into a new temporary file in the destination
// directory (by the kernel's copy offload where it can), then the permission bits,
// user.DOSATTRIB and the modification time, and the temporary file is renamed over the
// destination in one step. On any failure the temporary file is removed and an existing
// destination is left exactly as it was. A source symbolic link is copied as its target.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/posix/internal.h"

namespace {

bool CopyContents(int from, int to, off_t size) {
  off_t done = 0;
  bool offload = true;
  while (offload && done < size) {
    ssize_t n = copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(size - done), 0);
    if (n > 0) {
      done += n;
    } else if (n == 0) {
      break;  // the file got shorter; the plain loop below finds its end
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
               errno == EBADF || errno == EPERM) {
      offload = false;
    } else {
      return false;
    }
  }
  if (lseek(from, done, SEEK_SET) < 0 || lseek(to, done, SEEK_SET) < 0)
    return false;
  std::vector<char> buffer(1 << 17);
  for (;;) {
    ssize_t n = read(from, buffer.data(), buffer.size());
    if (n == 0)
      return true;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    for (ssize_t written = 0; written < n;) {
      ssize_t w = write(to, buffer.data() + written, static_cast<size_t>(n - written));
      if (w < 0) {
        if (errno == EINTR)
          continue;
        return false;
      }
      written += w;
    }
  }
}

}  // namespace

BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  std::string source = ToBytes(from), target = ToBytes(to);
  struct stat st;
  int in = OpenRegularFile(source, &st);
  if (in < 0)
    return FALSE;
  if (failIfExists && access(target.c_str(), F_OK) == 0) {
    close(in);
    SetLastErrorCode(ERROR_FILE_EXISTS);
    return FALSE;
  }

  size_t slash = target.find_last_of('/');
  std::string temporary =
      (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
      ".tandrel-copy-XXXXXX";
  int out = mkostemp(temporary.data(), O_CLOEXEC);
  if (out < 0) {
    int error = errno;
    close(in);
    SetLastErrorFromErrno(error);
    return FALSE;
  }

  int error = 0;
  if (!CopyContents(in, out, st.st_size))
    error = errno;
  // Permission bits and the attribute may be refused by the target file system (FAT): the
  // contents and the time still make a good copy.
  if (error == 0) {
    fchmod(out, st.st_mode & 07777);
    CopyDosAttribute(in, out);
    struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    if (futimens(out, times) != 0)
      error = errno;
  }
  if (close(out) != 0 && error == 0)
    error = errno;
  close(in);
  if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0)
    error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    SetLastErrorFromErrno(error == EISDIR ? EACCES : error);
    return FALSE;
  }
  return TRUE;
}
