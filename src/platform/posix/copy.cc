// File copies of the POSIX build: the contents go into a new temporary file in the destination
// directory (by the kernel's copy offload where it can), then the permission bits,
// user.DOSATTRIB and the times (run as root, the owner and group first), and the temporary file is
// moved into place in one step. On any failure the temporary file is removed and an existing
// destination is left exactly as it was. A source symbolic link is copied as its target.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <limits>
#include <vector>

#include "platform/posix/internal.h"

namespace {

// Copies [start, end) of one file to the same offsets of another, stopping early at the end of
// the file: by the kernel's copy offload where it can, else by reads and writes.
bool CopyRange(int from, int to, off_t start, off_t end) {
  off_t in = start, out = start;
  while (in < end) {
    size_t length = static_cast<size_t>(std::min<off_t>(end - in, off_t{1} << 30));
    ssize_t n = copy_file_range(from, &in, to, &out, length, 0);
    if (n > 0)
      continue;
    if (n == 0)
      return true;
    if (errno == EINTR)
      continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
        errno != EBADF && errno != EPERM) {
      return false;
    }
    break;  // no offload between these two files
  }
  std::vector<char> buffer(1 << 17);
  while (in < end) {
    size_t length = static_cast<size_t>(std::min<off_t>(end - in, buffer.size()));
    ssize_t n = pread(from, buffer.data(), length, in);
    if (n == 0)
      return true;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    for (ssize_t written = 0; written < n;) {
      ssize_t w =
          pwrite(to, buffer.data() + written, static_cast<size_t>(n - written), in + written);
      if (w < 0) {
        if (errno == EINTR)
          continue;
        return false;
      }
      written += w;
    }
    in += n;
  }
  return true;
}

// Copies a whole file. A file with fewer blocks than its size has holes: only its data regions
// are copied, so the holes stay holes, and the copy is given the source's size.
bool CopyContents(int from, int to, const struct stat& st) {
  const off_t kEnd = std::numeric_limits<off_t>::max();
  if (static_cast<off_t>(st.st_blocks) * 512 >= st.st_size)
    return CopyRange(from, to, 0, kEnd);
  off_t data = 0, size = st.st_size;
  for (;;) {
    data = lseek(from, data, SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO)
        break;  // only a hole up to the end
      return false;
    }
    off_t hole = lseek(from, data, SEEK_HOLE);
    if (hole < 0 || !CopyRange(from, to, data, hole))
      return false;
    size = std::max(size, hole);
    data = hole;
  }
  return ftruncate(to, size) == 0;
}

// Creates a new file with a short random name in the directory: ".tandrel-" and eight letters.
// Copies run on several threads at once: each takes the next state in one step.
int CreateTemporaryFile(int directory, const char* target, char* name) {
  static std::atomic<unsigned long long> next{[] {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<unsigned long long>(now.tv_nsec) ^
           (static_cast<unsigned long long>(getpid()) << 32) ^ 0x9E3779B97F4A7C15ULL;
  }()};
  for (int attempt = 0; attempt < 100; attempt++) {
    unsigned long long state = next.load(), following;
    do {
      following = state * 6364136223846793005ULL + 1442695040888963407ULL;
    } while (!next.compare_exchange_weak(state, following));
    state = following;
    char* p = name + std::snprintf(name, 32, ".tandrel-");
    for (int i = 0; i < 8; i++) *p++ = static_cast<char>('a' + (state >> (20 + 5 * i)) % 26);
    *p = 0;
#ifdef TANDREL_TEST_HOOKS
    // Test builds: the first name tried may be given, so that a test can plant an entry there;
    // "*" asks for one drawn from the target's name, the same in every run.
    const char* given = std::getenv("TANDREL_TEMPORARY_NAME");
    if (attempt == 0 && given != nullptr && std::strcmp(given, "*") == 0) {
      unsigned long long hash = 14695981039346656037ULL;
      for (const char* c = target; *c != 0; c++)
        hash = (hash ^ static_cast<unsigned char>(*c)) * 1099511628211ULL;
      for (int i = 0; i < 8; i++) name[9 + i] = static_cast<char>('a' + (hash >> (5 * i)) % 26);
    } else if (attempt == 0 && given != nullptr && *given != 0) {
      std::snprintf(name, 32, "%s", given);
    }
#endif
    int fd = openat(directory, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

}  // namespace

bool RunAsRoot() {
  static const bool root = geteuid() == 0;  // asked once: a copy is a dozen calls
  return root;
}

bool KeepOwner(int made, const struct stat& source, struct stat* madeStat) {
  if (!RunAsRoot() || (madeStat->st_uid == source.st_uid && madeStat->st_gid == source.st_gid))
    return true;
  if (fchown(made, source.st_uid, source.st_gid) != 0)
    return RefusedByFileSystem(errno);
  madeStat->st_uid = source.st_uid, madeStat->st_gid = source.st_gid;
  return true;
}

mode_t CopiedMode(const struct stat& source, const struct stat& made) {
  mode_t mode = source.st_mode & 07777;
  if (made.st_uid != source.st_uid || made.st_gid != source.st_gid)
    mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
  return mode;
}

bool MoveIntoPlace(int fromDirectory, const char* from, int toDirectory, const char* to,
                   bool replace) {
  if (replace)
    return renameat(fromDirectory, from, toDirectory, to) == 0;
  if (renameat2(fromDirectory, from, toDirectory, to, RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
    return false;
  // The file system cannot refuse a taken name itself (some FUSE drivers): look first. The name
  // is looked up as the file system does, so on FAT a name in another letter case counts.
  struct stat st;
  if (fstatat(toDirectory, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return false;
  }
  if (errno != ENOENT)
    return false;
  return renameat(fromDirectory, from, toDirectory, to) == 0;
}

bool CopyIntoDirectory(int in, const struct stat& st, int directory, const char* name,
                       bool replace) {
  char temporary[32];
  int out = CreateTemporaryFile(directory, name, temporary);
  if (out < 0) {
    SetErrorCode(errno);
    return false;
  }
  int error = 0;
  if (!CopyContents(in, out, st))
    error = errno;
  // Permission bits and the attribute may be refused by the target file system (FAT): the
  // contents and the time still make a good copy; any other failure fails the copy. Both times
  // are set in one call: some FUSE file systems drop a modification time set alone.
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  struct stat made;
  if (error == 0 && (fstat(out, &made) != 0 || !KeepOwner(out, st, &made) ||
                     (fchmod(out, CopiedMode(st, made)) != 0 && !RefusedByFileSystem(errno)) ||
                     !CopyExtendedAttributes(in, out) || !CopyDosAttribute(in, out) ||
                     futimens(out, times) != 0)) {
    error = errno;
  }
  if (close(out) != 0 && error == 0)
    error = errno;
  if (error == 0 && !MoveIntoPlace(directory, temporary, directory, name, replace))
    error = errno;
  if (error != 0) {
    unlinkat(directory, temporary, 0);
    SetErrorCode(error == EISDIR ? EACCES : error);
    return false;
  }
  return true;
}
