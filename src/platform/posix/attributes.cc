// Attribute words and file times of the POSIX build. Read-only is the absence of every write
// permission bit on a non-directory; hidden, system and archive live in user.DOSATTRIB as a
// hexadecimal number with a 0x prefix; a file without it reports archive set, and a name
// beginning with "." reports hidden.
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
const DWORD kStoredBits = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
const long long kUnixEpochSeconds = 11644473600LL;  // 1601-01-01 to 1970-01-01
const long long kTicksPerSecond = 10000000LL;
// The getxattrat system call (Linux 6.13), the same number on every architecture.
const long kGetXattrAt = 464;

// Parses "0x..." up to the first byte that is not a hexadecimal digit: the number and the
// length of its text. False when it is no such number: no prefix, no digit, or more than 32 bits.
bool ParseDosAttribute(const char* text, size_t length, DWORD* bits, size_t* end) {
  if (length < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
    return false;
  DWORD value = 0;
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
    value = (value << 4) | static_cast<DWORD>(digit);
  }
  *bits = value;
  *end = i;
  return i > 2;
}

// The whole value of an extended attribute, whatever its size, through get(buffer, size) (a
// getxattr or fgetxattr call): false, empty, with errno set when there is none or it cannot be
// read. One call where the value is short, as it usually is.
template <typename Get>
bool ReadWholeValue(Get get, std::string* value) {
  value->resize(256);
  for (;;) {
    ssize_t length = get(value->data(), value->size());
    if (length >= 0) {
      value->resize(static_cast<size_t>(length));
      return true;
    }
    ssize_t size = errno == ERANGE ? get(nullptr, 0) : -1;  // else it grew in between
    if (size <= 0) {
      value->clear();
      return size == 0;
    }
    value->resize(static_cast<size_t>(size));
  }
}

}  // namespace

const char* BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path.c_str() : path.c_str() + slash + 1;
}

// user.DOSATTRIB of name relative to a directory descriptor (or AT_FDCWD): by getxattrat where
// the kernel has it, which spares a lookup of the whole path for every listed entry; else by
// the whole path, prefix + name.
ssize_t ReadDosAttribute(int directory, const std::string& prefix, const char* name, char* text,
                         size_t size) {
  static bool atUnsupported = false;
  if (!atUnsupported) {
    struct {
      uint64_t value;
      uint32_t size;
      uint32_t flags;
    } arguments = {reinterpret_cast<uintptr_t>(text), static_cast<uint32_t>(size), 0};
    long length =
        syscall(kGetXattrAt, directory, name, 0, kDosAttributeName, &arguments, sizeof arguments);
    if (length >= 0 || errno != ENOSYS)
      return length;
    atUnsupported = true;
  }
  return getxattr((prefix + name).c_str(), kDosAttributeName, text, size);
}

DWORD StoredDosAttributes(int directory, const std::string& prefix, const char* name,
                          const char* baseName) {
  char text[64];
  ssize_t length = ReadDosAttribute(directory, prefix, name, text, sizeof text);
  std::string whole;  // a longer value
  if (length < 0 && errno == ERANGE) {
    auto get = [&](char* buffer, size_t size) {
      return getxattr((prefix + name).c_str(), kDosAttributeName, buffer, size);
    };
    if (ReadWholeValue(get, &whole))
      length = static_cast<ssize_t>(whole.size());
  }
  // An attribute that cannot be read is not a missing one. A path too long to name (its entry
  // is too long for the walk, which leaves it out) reports the defaults.
  if (length < 0 && errno != ENODATA && errno != ENOTSUP && errno != ENAMETOOLONG)
    return INVALID_FILE_ATTRIBUTES;
  DWORD bits = FILE_ATTRIBUTE_ARCHIVE;
  DWORD stored;
  size_t end;
  if (length > 0 && ParseDosAttribute(whole.empty() ? text : whole.data(),
                                      static_cast<size_t>(length), &stored, &end)) {
    bits = stored & kStoredBits;
  }
  if (baseName[0] == '.')
    bits |= FILE_ATTRIBUTE_HIDDEN;
  return bits;
}

DWORD AttributesOf(const struct stat& target, bool isLink, int directory, const std::string& prefix,
                   const char* name, const char* baseName, bool* known) {
  const DWORD dotName = baseName[0] == '.' ? FILE_ATTRIBUTE_HIDDEN : 0;
  // A link whose target cannot be reached is the link itself, which stores no attribute.
  DWORD attributes = S_ISLNK(target.st_mode)
                         ? FILE_ATTRIBUTE_ARCHIVE | dotName
                         : StoredDosAttributes(directory, prefix, name, baseName);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (known == nullptr)
      return attributes;
    *known = false;  // the bits that can be known without it
    attributes = dotName;
  }
  if (S_ISDIR(target.st_mode)) {
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  } else if ((target.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    attributes |= FILE_ATTRIBUTE_READONLY;
  }
  // Fewer blocks than bytes: the file has holes.
  if (S_ISREG(target.st_mode) && static_cast<off_t>(target.st_blocks) * 512 < target.st_size)
    attributes |= FILE_ATTRIBUTE_SPARSE_FILE;
  if (isLink)
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  if (attributes == 0)
    attributes = FILE_ATTRIBUTE_NORMAL;
  return attributes;
}

FILETIME ToFileTime(const struct timespec& time) {
  unsigned long long ticks = static_cast<unsigned long long>(
      (static_cast<long long>(time.tv_sec) + kUnixEpochSeconds) * kTicksPerSecond +
      time.tv_nsec / 100);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

struct timespec FromFileTime(const FILETIME& time) {
  long long ticks = static_cast<long long>(
      (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  struct timespec result;
  long long seconds = ticks / kTicksPerSecond;
  result.tv_sec = static_cast<time_t>(seconds - kUnixEpochSeconds);
  result.tv_nsec = static_cast<long>((ticks % kTicksPerSecond) * 100);
  return result;
}

DWORD GetFileAttributesW(LPCWSTR path) {
  std::string bytes = ToBytes(path);
  struct stat link, target;
  if (lstat(bytes.c_str(), &link) != 0) {
    SetLastErrorFromErrno(errno);
    return INVALID_FILE_ATTRIBUTES;
  }
  bool isLink = S_ISLNK(link.st_mode);
  if (!isLink || stat(bytes.c_str(), &target) != 0)
    target = link;
  DWORD attributes = AttributesOf(target, isLink, AT_FDCWD, "", bytes.c_str(), BaseName(bytes));
  if (attributes == INVALID_FILE_ATTRIBUTES)
    SetLastErrorFromErrno(errno);
  return attributes;
}

// Read-only goes to the permission bits (clearing it gives back the owner's write bit);
// hidden, system and archive go to user.DOSATTRIB, written only when they change. Only those
// bits of its number change: its other bits and every byte after it (Samba keeps a binary
// block there) stay. A value that is no such number is never rewritten: the call fails
// (ERROR_INVALID_DATA) and changes nothing.
bool StatOfEntryItself(const std::string& path, struct stat* st) {
  if (lstat(path.c_str(), st) != 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  if (S_ISLNK(st->st_mode)) {
    SetLastErrorFromErrno(ENOTSUP);
    return false;
  }
  return true;
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
  std::string bytes = ToBytes(path);
  struct stat st;
  if (!StatOfEntryItself(bytes, &st))
    return FALSE;
  std::string value;
  auto get = [&](char* buffer, size_t size) {
    return getxattr(bytes.c_str(), kDosAttributeName, buffer, size);
  };
  if (!ReadWholeValue(get, &value) && errno != ENODATA && errno != ENOTSUP) {
    SetLastErrorFromErrno(errno);
    return FALSE;
  }
  DWORD number = FILE_ATTRIBUTE_ARCHIVE;  // what a missing value stands for
  size_t end = 0;
  bool readable = value.empty() || ParseDosAttribute(value.data(), value.size(), &number, &end);
  // The bits as listed (a dot name is hidden whatever is stored); those that differ change.
  DWORD listed = (readable ? number : FILE_ATTRIBUTE_ARCHIVE) & kStoredBits;
  if (BaseName(bytes)[0] == '.')
    listed |= FILE_ATTRIBUTE_HIDDEN;
  DWORD changed = (attributes ^ listed) & kStoredBits;
  if (changed != 0 && !readable) {
    SetLastErrorCode(ERROR_INVALID_DATA);
    return FALSE;
  }
  bool modeChanged = false;
  if (!S_ISDIR(st.st_mode)) {
    mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
    bool readOnlyNow = (st.st_mode & writeBits) == 0;
    bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly != readOnlyNow) {
      mode_t mode = readOnly ? (st.st_mode & ~writeBits) : (st.st_mode | S_IWUSR);
      if (chmod(bytes.c_str(), mode & 07777) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
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
    if (setxattr(bytes.c_str(), kDosAttributeName, written.data(), written.size(), 0) != 0) {
      int error = errno;
      if (modeChanged)  // a failed change leaves the entry as it was
        chmod(bytes.c_str(), st.st_mode & 07777);
      SetLastErrorFromErrno(error);
      return FALSE;
    }
  }
  return TRUE;
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
