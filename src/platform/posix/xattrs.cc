// Extended attributes and POSIX ACLs under xattrs: read whole from open files, compared by name
// and value, written to make the target's equal to the source's. A target file system that
// refuses them (FAT, exFAT, some FUSE drivers) is noted once, and copies are made without them.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix/internal.h"

namespace {

std::atomic<bool> kept{false};
std::atomic<int> refusal{0};       // the errno of the first refusal, until it is reported
std::atomic<bool> refused{false};  // once per run

using Attributes = std::vector<std::pair<std::string, std::string>>;

// The attributes a backup carries: user.DOSATTRIB is the attribute word's, always kept.
bool Carried(const char* name) {
  auto prefix = [name](const char* text) {
    return std::strncmp(name, text, std::strlen(text)) == 0;
  };
  return (prefix("user.") && std::strcmp(name, "user.DOSATTRIB") != 0) || prefix("trusted.") ||
         prefix("security.") || std::strcmp(name, "system.posix_acl_access") == 0 ||
         std::strcmp(name, "system.posix_acl_default") == 0;
}

// The carried attributes of an open file, sorted by name; false with errno set.
bool ReadAttributes(int fd, Attributes* attributes) {
  std::string names, value;
  if (!ReadWholeValue([fd](char* b, size_t n) { return flistxattr(fd, b, n); }, &names))
    return false;
  attributes->clear();
  for (size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
    const char* name = names.c_str() + at;
    if (!Carried(name))
      continue;
    if (!ReadWholeValue([fd, name](char* b, size_t n) { return fgetxattr(fd, name, b, n); },
                        &value)) {
      if (errno == ENODATA)
        continue;  // removed since it was listed
      return false;
    }
    attributes->emplace_back(name, value);
  }
  std::sort(attributes->begin(), attributes->end());
  return true;
}

// Makes the target's carried attributes the source's: those that differ set, those the source
// lacks removed. False with errno set.
bool Apply(int to, const Attributes& source, const Attributes& target) {
  auto find = [](const Attributes& list, const std::string& name) {
    auto found = std::lower_bound(list.begin(), list.end(), std::make_pair(name, std::string()));
    return found != list.end() && found->first == name ? &*found : nullptr;
  };
  for (const auto& item : source) {
    const auto* there = find(target, item.first);
    if ((there == nullptr || there->second != item.second) &&
        fsetxattr(to, item.first.c_str(), item.second.data(), item.second.size(), 0) != 0)
      return false;
  }
  for (const auto& item : target)
    if (find(source, item.first) == nullptr && fremovexattr(to, item.first.c_str()) != 0 &&
        errno != ENODATA)
      return false;
  return true;
}

// A failure to write them: a refusal of the target's file system is noted (the first one, for
// its report) and counts as done; any other failure stays one (errno set).
bool Refused(int error) {
  if (!RefusedByFileSystem(error)) {
    errno = error;
    return false;
  }
  if (!refused.exchange(true))
    refusal = error;
  return true;
}

// The attributes of both entries of a pair: the source's following a link, the destination's
// never through one, and only where its file system keeps permission bits (not FAT or exFAT).
// False when they cannot be read.
bool ReadPair(const OpenDirectory& from, const OpenDirectory& to, const wchar_t* name,
              Attributes* source, Attributes* target, int* destination) {
  std::string bytes = ToBytes(name);
  struct stat st;
  int in = openat(from.Descriptor, bytes.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  *destination = openat(to.Descriptor, bytes.c_str(),
                        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW);
  bool read = in >= 0 && *destination >= 0 && fstat(*destination, &st) == 0 &&
              PermissionBitsKept(to.Descriptor, bytes.c_str(), st.st_dev) &&
              ReadAttributes(in, source) && ReadAttributes(*destination, target);
  int error = errno;
  if (in >= 0)
    close(in);
  errno = error;
  return read;
}

}  // namespace

void KeepExtendedAttributes(bool keep) {
  kept = keep;
}

bool ExtendedAttributesRefused() {
  int error = refusal.exchange(0);
  if (error == 0)
    return false;
  SetErrorCode(error);
  return true;
}

bool CopyExtendedAttributes(int from, int to) {
  if (!kept)
    return true;
  Attributes source, target;
  if (!ReadAttributes(from, &source))
    return RefusedByFileSystem(errno);  // a source file system that keeps none
  if (!ReadAttributes(to, &target))
    return Refused(errno);
  return Apply(to, source, target) || Refused(errno);
}

bool ExtendedAttributesDiffer(const OpenDirectory& from, const OpenDirectory& to,
                              const wchar_t* name) {
  Attributes source, target;
  int destination = -1;
  bool differ =
      kept && ReadPair(from, to, name, &source, &target, &destination) && source != target;
  if (destination >= 0)
    close(destination);
  return differ;
}

bool CopyExtendedAttributesAt(const OpenDirectory& from, const OpenDirectory& to,
                              const wchar_t* name) {
  Attributes source, target;
  int destination = -1;
  bool copied = ReadPair(from, to, name, &source, &target, &destination) &&
                (Apply(destination, source, target) || Refused(errno));
  int error = errno;
  if (destination >= 0)
    close(destination);
  if (!copied)
    SetErrorCode(error);
  return copied;
}
