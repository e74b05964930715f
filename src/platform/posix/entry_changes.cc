// Changes to one entry of an open directory on POSIX, each relative to the directory's
// descriptor: attributes, permission bits, times, new directories, removals and deletions. None
// goes through a link: a link is removed or deleted as itself, and its attributes, mode and time
// are never changed.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_system.h"
#include "platform/posix/internal.h"

bool MakeDirectoryLike(int templateDirectory, const char* templateName, int directory,
                       const char* name) {
  struct stat st;
  if (fstatat(templateDirectory, templateName, &st, 0) != 0 ||
      mkdirat(directory, name, 0700) != 0) {
    SetErrorCode(errno);
    return false;
  }
  // A directory whose bits or attribute could not be given is removed again: the creation failed.
  int error = 0, source = -1;
  int made = openat(directory, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat madeStat;
  if (made < 0 || fstat(made, &madeStat) != 0 || !KeepOwner(made, st, &madeStat) ||
      (fchmod(made, CopiedMode(st, madeStat) | S_IWUSR) != 0 && !RefusedByFileSystem(errno))) {
    error = errno;
  } else if ((source = openat(templateDirectory, templateName,
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC)) < 0 ||
             !CopyExtendedAttributes(source, made) || !CopyDosAttribute(source, made)) {
    error = errno;
  }
  if (source >= 0)
    close(source);
  if (made >= 0)
    close(made);
  if (error != 0) {
    unlinkat(directory, name, AT_REMOVEDIR);
    SetErrorCode(error);
    return false;
  }
  return true;
}

bool RemoveDirectoryEntry(int directory, const char* name) {
  struct stat st;
  bool isLink = fstatat(directory, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
  if (unlinkat(directory, name, isLink ? 0 : AT_REMOVEDIR) != 0) {
    SetErrorCode(errno);
    return false;
  }
  return true;
}

bool DeleteFileEntry(int directory, const char* name) {
  if (unlinkat(directory, name, 0) != 0) {
    SetErrorCode(errno == EISDIR ? EACCES : errno);
    return false;
  }
  return true;
}

uint32_t ReadAttributesAt(const OpenDirectory& directory, const wchar_t* name) {
  return AttributesAt(directory.Descriptor, ToBytes(name).c_str());
}

bool SetAttributesAt(const OpenDirectory& directory, const wchar_t* name, uint32_t attributes) {
  return SetAttributesOfEntry(directory.Descriptor, ToBytes(name).c_str(), attributes);
}

bool SetPermissionsAt(const OpenDirectory& directory, const wchar_t* name, uint32_t mode) {
  return SetModeOfEntry(directory.Descriptor, ToBytes(name).c_str(), static_cast<mode_t>(mode));
}

// The access time is set to the same time in the one call: some FUSE file systems drop a
// modification time set alone. A link is refused (ELOOP), never changed itself.
bool SetWriteTimeAt(const OpenDirectory& directory, const wchar_t* name, const FileTime& time) {
  std::string bytes = ToBytes(name);
  struct stat st;
  if (fstatat(directory.Descriptor, bytes.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    SetErrorCode(errno);
    return false;
  }
  if (S_ISLNK(st.st_mode)) {
    SetErrorCode(ELOOP);
    return false;
  }
  struct timespec times[2];
  times[0] = times[1] = FromFileTime(time);
  if (utimensat(directory.Descriptor, bytes.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    SetErrorCode(errno);
    return false;
  }
  return true;
}

// Names are case-sensitive here: two names pair only when identical, so the entry already has
// the letter case asked for.
bool RenameToCaseAt(const OpenDirectory&, const wchar_t*) {
  return true;
}

bool MakeDirectoryAt(const OpenDirectory& templateParent, const wchar_t* templateName,
                     const OpenDirectory& parent, const wchar_t* name) {
  return MakeDirectoryLike(templateParent.Descriptor, ToBytes(templateName).c_str(),
                           parent.Descriptor, ToBytes(name).c_str());
}

bool RemoveDirectoryAt(const OpenDirectory& parent, const wchar_t* name) {
  return RemoveDirectoryEntry(parent.Descriptor, ToBytes(name).c_str());
}

// unlink ignores the file's own mode and attributes: nothing is cleared, so its other names
// (hard links) keep theirs.
uint32_t CountNamesAt(const OpenDirectory& directory, const wchar_t* name) {
  struct stat st;
  if (fstatat(directory.Descriptor, ToBytes(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return 0;
  return static_cast<uint32_t>(st.st_nlink);
}

bool DeleteFileAt(const OpenDirectory& directory, const wchar_t* name, uint32_t) {
  return DeleteFileEntry(directory.Descriptor, ToBytes(name).c_str());
}
