// The listing of an open directory on POSIX: each entry is examined with fstatat relative to
// the directory's descriptor. FIFOs, sockets and devices are left out; a symbolic link is listed
// by what it points to, with the reparse-point bit, or where that cannot be reached, as the link
// itself; an entry whose stored attribute cannot be read is listed, marked (one entry the runner
// may not read never hides its directory).
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_system.h"
#include "platform/posix/internal.h"

namespace {

// One entry of a directory as the listing gives it.
struct ExaminedEntry {
  struct stat target;  // what it names, or a link itself whose target cannot be reached
  bool isLink;
  uint32_t attributes;
  bool attributesKnown;
  uint16_t mode;  // the permission bits, or kPermissionsNotKept
};
enum class Examined { kListed, kLeftOut, kFailed };
// Examines the entry name of a directory (its descriptor) for a listing: kLeftOut for special
// files and entries removed since the directory was read, kFailed with the last error set when
// it cannot be examined at all. A dangling link is listed as itself; an entry whose stored
// attribute cannot be read is listed with attributesKnown false.
Examined ExamineEntry(int directory, const char* name, ExaminedEntry* entry) {
  struct stat link;
  if (fstatat(directory, name, &link, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT)
      return Examined::kLeftOut;  // removed since the directory was read
    SetErrorCode(errno);
    return Examined::kFailed;
  }
  struct stat& target = entry->target;
  entry->isLink = S_ISLNK(link.st_mode);
  if (!entry->isLink || fstatat(directory, name, &target, 0) != 0)
    target = link;
  if (!S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode) && !S_ISLNK(target.st_mode))
    return Examined::kLeftOut;  // special files are invisible to the run
  entry->attributesKnown = true;
  entry->attributes = AttributesOf(target, entry->isLink, directory, name, &entry->attributesKnown);
  entry->mode = PermissionBitsKept(directory, name, target.st_dev)
                    ? static_cast<uint16_t>(target.st_mode & 07777)
                    : kPermissionsNotKept;
  return Examined::kListed;
}

}  // namespace

bool ListOpenDirectory(const OpenDirectory& directory,
                       const std::function<void(const ListedRecord&)>& visit) {
  // A descriptor of its own, read from the start, leaving the directory's as it is; its entries
  // read with getdents64 itself (a directory stream would cost three more calls to set up).
  int fd = openat(directory.Descriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    SetErrorCode(errno);
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};  // closed however the listing ends
  const size_t kBufferBytes = 32768;
  std::unique_ptr<char[]> buffer(new char[kBufferBytes]);
  for (;;) {
    ssize_t got = getdents64(fd, buffer.get(), kBufferBytes);
    if (got <= 0) {
      if (got == 0)
        return true;
      SetErrorCode(errno);
      return false;
    }
    for (ssize_t at = 0; at < got;) {
      const struct dirent64* entry = reinterpret_cast<const struct dirent64*>(buffer.get() + at);
      at += entry->d_reclen;
      const char* n = entry->d_name;
      if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
        continue;
      ExaminedEntry examined;
      Examined result = ExamineEntry(fd, n, &examined);
      if (result == Examined::kFailed)
        return false;
      if (result == Examined::kLeftOut)
        continue;
      const struct stat& target = examined.target;
      ListedRecord record;
      record.Name = n;
      record.Attributes = examined.attributes;
      record.WriteTime = ToFileTime(target.st_mtim);
      // A link whose target cannot be reached has its own size, the length of its text.
      record.Size = S_ISDIR(target.st_mode) ? 0 : static_cast<uint64_t>(target.st_size);
      record.Identity = FileIdentity{static_cast<uint64_t>(target.st_dev), target.st_ino};
      record.IdentityKnown = true;
      record.AttributesUnknown = !examined.attributesKnown;
      record.SymbolicLink = examined.isLink;
      record.Permissions = ListedPermissions{OwnersNumber(target.st_uid, target.st_gid),
                                             examined.mode, target.st_nlink > 1};
      visit(record);
    }
  }
}
