// Open directories on POSIX: descriptors, the root's opened by its path and every other
// relative to its parent's, never through a link unless asked; their identities and the
// identities above them, climbed through "..", and the name of their file system.
#include <climits>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "platform/file_system.h"
#include "platform/posix/internal.h"

namespace {

FileIdentity IdentityOf(const struct stat& st) {
  return FileIdentity{static_cast<uint64_t>(st.st_dev), st.st_ino};
}

// Makes directory hold fd, closing what it held.
void Hold(OpenDirectory* directory, int fd) {
  if (directory->Descriptor >= 0)
    close(directory->Descriptor);
  directory->Descriptor = fd;
}

// Opens the directory a path of any length leads to, following links: a path of PATH_MAX bytes
// or more a part at a time, each relative to the directory the one before led to. -1 with errno
// set on failure.
int OpenDirectoryPath(const std::string& path) {
  const int flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  int at = AT_FDCWD;
  for (size_t start = 0;;) {
    size_t end = path.size();
    if (end - start >= PATH_MAX) {
      end = path.rfind('/', start + PATH_MAX - 1);
      if (end == std::string::npos || end <= start) {
        if (at != AT_FDCWD)
          close(at);
        errno = ENAMETOOLONG;
        return -1;
      }
    }
    int fd = openat(at, path.substr(start, end - start).c_str(), flags);
    int error = errno;
    if (at != AT_FDCWD)
      close(at);
    errno = error;
    if (fd < 0 || end == path.size())
      return fd;
    at = fd, start = end + 1;
  }
}

}  // namespace

OpenDirectory::OpenDirectory(OpenDirectory&& other) noexcept : Descriptor(other.Descriptor) {
  other.Descriptor = -1;
}

OpenDirectory& OpenDirectory::operator=(OpenDirectory&& other) noexcept {
  if (this != &other) {
    Hold(this, other.Descriptor);
    other.Descriptor = -1;
  }
  return *this;
}

OpenDirectory::~OpenDirectory() {
  if (Descriptor >= 0)
    close(Descriptor);
}

bool OpenDirectory::IsOpen() const {
  return Descriptor >= 0;
}

bool OpenRootDirectory(const wchar_t* path, OpenDirectory* directory) {
  // O_PATH: the descriptor only names the directory for the *at calls; a listing opens it for
  // reading itself, so a directory that cannot be read fails where it is listed.
  int fd = OpenDirectoryPath(ToBytes(path));
  if (fd < 0) {
    SetErrorCode(errno);
    return false;
  }
  Hold(directory, fd);
  return true;
}

bool IsDirectoryPath(const wchar_t* path) {
  int fd = OpenDirectoryPath(ToBytes(path));
  if (fd >= 0)
    close(fd);
  return fd >= 0;
}

bool OpenChildDirectory(const OpenDirectory& parent, const wchar_t* name, bool followLink,
                        OpenDirectory* child) {
  std::string bytes = ToBytes(name);
  int fd = openat(parent.Descriptor, bytes.c_str(),
                  O_PATH | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
  if (fd < 0) {
    // O_NOFOLLOW with O_DIRECTORY refuses a link as not a directory: a link not to be followed
    // fails with ELOOP (kErrorLinkRefused), as a link loop does.
    int error = errno;
    struct stat st;
    if (error == ENOTDIR && !followLink &&
        fstatat(parent.Descriptor, bytes.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(st.st_mode)) {
      error = ELOOP;
    }
    SetErrorCode(error);
    return false;
  }
  Hold(child, fd);
  return true;
}

bool IdentityAt(const OpenDirectory& directory, const wchar_t* name, FileIdentity* identity) {
  struct stat st;
  int result = name == nullptr ? fstat(directory.Descriptor, &st)
                               : fstatat(directory.Descriptor, ToBytes(name).c_str(), &st, 0);
  if (result != 0) {
    SetErrorCode(errno);
    return false;
  }
  *identity = IdentityOf(st);
  return true;
}

// Climbs through ".." from what the entry leads to until ".." is the directory itself (the root
// of the file system, or of a chroot); ".." of a mount's root is the directory it is mounted on.
std::vector<FileIdentity> IdentityChainAt(const OpenDirectory& directory, const wchar_t* name) {
  std::vector<FileIdentity> chain;
  int fd = openat(directory.Descriptor, name == nullptr ? "." : ToBytes(name).c_str(),
                  O_PATH | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    SetErrorCode(errno);
    if (fd >= 0)
      close(fd);
    return chain;
  }
  chain.push_back(IdentityOf(st));
  for (;;) {
    int parent = openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    fd = parent;
    if (fd < 0 || fstat(fd, &st) != 0)
      break;  // as far up as the directories can be opened
    FileIdentity identity = IdentityOf(st);
    if (identity == chain.back())
      break;
    chain.push_back(identity);
  }
  if (fd >= 0)
    close(fd);
  return chain;
}

bool FileSystemNameOf(const OpenDirectory& directory, std::wstring* name) {
  struct statfs fs;
  if (fstatfs(directory.Descriptor, &fs) != 0) {
    SetErrorCode(errno);
    return false;
  }
  *name = FileSystemName(static_cast<unsigned long>(fs.f_type));
  return true;
}
