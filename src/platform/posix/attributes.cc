// Attribute words and file times of the POSIX build. Read-only is the absence of every write
// permission bit on a non-directory; hidden, system and archive live in user.DOSATTRIB as a
// hexadecimal number with a 0x prefix; a file without it reports archive set, and a name
// beginning with "." reports hidden.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/internal.h"

namespace {

const char kDosAttributeName[] = "user.DOSATTRIB";
const uint32_t kStoredBits = kAttributeHidden | kAttributeSystem | kAttributeArchive;
const long long kUnixEpochSeconds = 11644473600LL;  // 1601-01-01 to 1970-01-01
const long long kTicksPerSecond = 10000000LL;
// The setxattrat and getxattrat system calls (Linux 6.13), the same numbers on every
// architecture.
const long kSetXattrAt = 463;
const long kGetXattrAt = 464;

// Parses "0x..." up to the first byte that is not a hexadecimal digit: the number and the
// length of its text. False when it is no such number: no prefix, no digit, or more than 32 bits.
bool ParseDosAttribute(const char* text, size_t length, uint32_t* bits, size_t* end) {
  if (length < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
    return false;
  uint32_t value = 0;
  size_t i = 2;
  for (; i < length; i++) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      break;
    if (value > 0x0FFFFFFF)
      return false;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  *bits = value;
  *end = i;
  return i > 2;
}

}  // namespace

const char* BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash == nullptr ? path : slash + 1;
}

namespace {

// The arguments of getxattrat and setxattrat.
struct XattrArguments {
  uint64_t value;
  uint32_t size;
  uint32_t flags;
};

// A path that names the entry name of a directory descriptor without its full path, for the
// calls that take none: "/proc/self/fd/N/name" (a path relative to AT_FDCWD stays itself).
std::string PathThrough(int directory, const char* name) {
  if (directory == AT_FDCWD)
    return name;
  return "/proc/self/fd/" + std::to_string(directory) + "/" + name;
}

// Calls call(fd) with the entry opened relative to its directory (flags added to the open's), for
// a kernel with neither the *xattrat calls nor /proc: never blocking on a FIFO.
template <typename Call>
ssize_t ThroughOpenEntry(int directory, const char* name, int flags, Call call) {
  int fd = openat(directory, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags);
  if (fd < 0)
    return -1;
  ssize_t result = call(fd);
  int error = errno;
  close(fd);
  errno = error;
  return result;
}

// user.DOSATTRIB of name relative to a directory descriptor (or AT_FDCWD), following links: by
// getxattrat where the kernel has it, which spares a lookup of the whole path for every listed
// entry; else through /proc, else through the entry opened.
ssize_t ReadDosAttribute(int directory, const char* name, char* text, size_t size) {
  static std::atomic<bool> atUnsupported{false};
  if (!atUnsupported.load(std::memory_order_relaxed)) {
    XattrArguments arguments = {reinterpret_cast<uintptr_t>(text), static_cast<uint32_t>(size), 0};
    long length =
        syscall(kGetXattrAt, directory, name, 0, kDosAttributeName, &arguments, sizeof arguments);
    if (length >= 0 || errno != ENOSYS)
      return length;
    atUnsupported = true;
  }
  ssize_t length = getxattr(PathThrough(directory, name).c_str(), kDosAttributeName, text, size);
  if (length >= 0 || errno != ENOENT || directory == AT_FDCWD)
    return length;
  return ThroughOpenEntry(directory, name, 0,
                          [&](int fd) { return fgetxattr(fd, kDosAttributeName, text, size); });
}

// Writes user.DOSATTRIB of name relative to a directory descriptor (or AT_FDCWD), never through
// a link where the kernel has setxattrat; false with errno set.
bool WriteDosAttribute(int directory, const char* name, const std::string& value) {
  static std::atomic<bool> atUnsupported{false};
  if (!atUnsupported.load(std::memory_order_relaxed)) {
    XattrArguments arguments = {reinterpret_cast<uintptr_t>(value.data()),
                                static_cast<uint32_t>(value.size()), 0};
    long result = syscall(kSetXattrAt, directory, name, AT_SYMLINK_NOFOLLOW, kDosAttributeName,
                          &arguments, sizeof arguments);
    if (result == 0 || errno != ENOSYS)
      return result == 0;
    atUnsupported = true;
  }
  if (lsetxattr(PathThrough(directory, name).c_str(), kDosAttributeName, value.data(), value.size(),
                0) == 0) {
    return true;
  }
  if (errno != ENOENT || directory == AT_FDCWD)
    return false;
  return ThroughOpenEntry(directory, name, O_NOFOLLOW, [&](int fd) {
           return fsetxattr(fd, kDosAttributeName, value.data(), value.size(), 0);
         }) == 0;
}

}  // namespace

uint32_t StoredDosAttributes(int directory, const char* name) {
  char text[64];
  ssize_t length = ReadDosAttribute(directory, name, text, sizeof text);
  std::string whole;  // a longer value
  if (length < 0 && errno == ERANGE) {
    auto get = [&](char* buffer, size_t size) {
      return ReadDosAttribute(directory, name, buffer, size);
    };
    if (ReadWholeValue(get, &whole))
      length = static_cast<ssize_t>(whole.size());
  }
  // An attribute that cannot be read is not a missing one. A path too long to name (its entry
  // is too long for the walk, which leaves it out) reports the defaults.
  if (length < 0 && errno != ENODATA && errno != ENOTSUP && errno != ENAMETOOLONG)
    return kInvalidAttributes;
  uint32_t bits = kAttributeArchive;
  uint32_t stored;
  size_t end;
  if (length > 0 && ParseDosAttribute(whole.empty() ? text : whole.data(),
                                      static_cast<size_t>(length), &stored, &end)) {
    bits = stored & kStoredBits;
  }
  if (BaseName(name)[0] == '.')
    bits |= kAttributeHidden;
  return bits;
}

uint32_t AttributesOf(const struct stat& target, bool isLink, int directory, const char* name,
                      bool* known) {
  const uint32_t dotName = BaseName(name)[0] == '.' ? kAttributeHidden : 0;
  // A link whose target cannot be reached is the link itself, which stores no attribute.
  uint32_t attributes =
      S_ISLNK(target.st_mode) ? kAttributeArchive | dotName : StoredDosAttributes(directory, name);
  if (attributes == kInvalidAttributes) {
    if (known == nullptr)
      return attributes;
    *known = false;  // the bits that can be known without it
    attributes = dotName;
  }
  if (S_ISDIR(target.st_mode)) {
    attributes |= kAttributeDirectory;
  } else if ((target.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    attributes |= kAttributeReadOnly;
  }
  // Fewer blocks than bytes: the file has holes.
  if (S_ISREG(target.st_mode) && static_cast<off_t>(target.st_blocks) * 512 < target.st_size)
    attributes |= kAttributeSparse;
  if (isLink)
    attributes |= kAttributeReparsePoint;
  if (attributes == 0)
    attributes = kAttributeNormal;
  return attributes;
}

FileTime ToFileTime(const struct timespec& time) {
  unsigned long long ticks = static_cast<unsigned long long>(
      (static_cast<long long>(time.tv_sec) + kUnixEpochSeconds) * kTicksPerSecond +
      time.tv_nsec / 100);
  return FileTime{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

struct timespec FromFileTime(const FileTime& time) {
  long long ticks =
      static_cast<long long>((static_cast<unsigned long long>(time.High) << 32) | time.Low);
  struct timespec result;
  long long seconds = ticks / kTicksPerSecond;
  result.tv_sec = static_cast<time_t>(seconds - kUnixEpochSeconds);
  result.tv_nsec = static_cast<long>((ticks % kTicksPerSecond) * 100);
  return result;
}

uint32_t AttributesAt(int directory, const char* name) {
  struct stat link, target;
  if (fstatat(directory, name, &link, AT_SYMLINK_NOFOLLOW) != 0) {
    SetErrorCode(errno);
    return kInvalidAttributes;
  }
  bool isLink = S_ISLNK(link.st_mode);
  if (!isLink || fstatat(directory, name, &target, 0) != 0)
    target = link;
  uint32_t attributes = AttributesOf(target, isLink, directory, name);
  if (attributes == kInvalidAttributes)
    SetErrorCode(errno);
  return attributes;
}

// Read-only goes to the permission bits (clearing it gives back the owner's write bit);
// hidden, system and archive go to user.DOSATTRIB, written only when they change. Only those
// bits of its number change: its other bits and every byte after it (Samba keeps a binary
// block there) stay. A value that is no such number is never rewritten: the call fails
// (kErrorAttributeWordUnreadable) and changes nothing.
bool StatOfEntryItself(int directory, const char* name, struct stat* st) {
  if (fstatat(directory, name, st, AT_SYMLINK_NOFOLLOW) != 0) {
    SetErrorCode(errno);
    return false;
  }
  if (S_ISLNK(st->st_mode)) {
    SetErrorCode(ENOTSUP);
    return false;
  }
  return true;
}

bool SetAttributesOfEntry(int directory, const char* name, uint32_t attributes) {
  struct stat st;
  if (!StatOfEntryItself(directory, name, &st))
    return false;
  std::string value;
  auto get = [&](char* buffer, size_t size) {
    return ReadDosAttribute(directory, name, buffer, size);
  };
  if (!ReadWholeValue(get, &value) && errno != ENODATA && errno != ENOTSUP) {
    SetErrorCode(errno);
    return false;
  }
  uint32_t number = kAttributeArchive;  // what a missing value stands for
  size_t end = 0;
  bool readable = value.empty() || ParseDosAttribute(value.data(), value.size(), &number, &end);
  // The bits as listed (a dot name is hidden whatever is stored); those that differ change.
  uint32_t listed = (readable ? number : kAttributeArchive) & kStoredBits;
  if (BaseName(name)[0] == '.')
    listed |= kAttributeHidden;
  uint32_t changed = (attributes ^ listed) & kStoredBits;
  if (changed != 0 && !readable) {
    SetErrorCode(kErrorAttributeWordUnreadable);
    return false;
  }
  bool modeChanged = false;
  if (!S_ISDIR(st.st_mode)) {
    mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
    bool readOnlyNow = (st.st_mode & writeBits) == 0;
    bool readOnly = (attributes & kAttributeReadOnly) != 0;
    if (readOnly != readOnlyNow) {
      mode_t mode = readOnly ? (st.st_mode & ~writeBits) : (st.st_mode | S_IWUSR);
      if (fchmodat(directory, name, mode & 07777, 0) != 0) {
        SetErrorCode(errno);
        return false;
      }
      modeChanged = true;
    }
  }
  if (changed != 0) {
    number = (number & ~changed) | (attributes & changed);
    char text[16];
    std::snprintf(text, sizeof text, "%.2s%x", end != 0 ? value.c_str() : "0x",
                  static_cast<unsigned>(number));
    std::string written = text + value.substr(end);
    if (!WriteDosAttribute(directory, name, written)) {
      int error = errno;
      if (modeChanged)  // a failed change leaves the entry as it was
        fchmodat(directory, name, st.st_mode & 07777, 0);
      SetErrorCode(error);
      return false;
    }
  }
  return true;
}

// Copies user.DOSATTRIB from one open file to another where the source has one; the target
// file system may refuse it, which the caller may ignore.
bool CopyDosAttribute(int from, int to) {
  std::string value;
  auto get = [&](char* buffer, size_t size) {
    return fgetxattr(from, kDosAttributeName, buffer, size);
  };
  if (!ReadWholeValue(get, &value))
    return errno == ENODATA || errno == ENOTSUP;
  if (value.empty())
    return true;
  return fsetxattr(to, kDosAttributeName, value.data(), value.size(), 0) == 0 ||
         RefusedByFileSystem(errno);
}
