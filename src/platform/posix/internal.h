// Helpers shared by the POSIX implementation of the platform layer.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <sys/stat.h>

#include "platform/file_system.h"

// Wide text to the bytes of a file name or console text: UTF-8, with the escapes
// U+DC80..U+DCFF turned back into the single bytes they stand for.
std::string ToBytes(const wchar_t* text);
std::string ToBytes(const wchar_t* text, size_t chars);
// Bytes to wide text: UTF-8, with each byte that is not part of valid UTF-8 carried as
// U+DC80 + (byte - 0x80).
std::wstring FromBytes(const char* bytes, size_t count);

// File times: 100 ns units since 1601, and back.
FileTime ToFileTime(const struct timespec& time);
struct timespec FromFileTime(const FileTime& time);

// The attribute word of a file system object: stat data of what it names (the target of a link,
// or the link itself where that cannot be reached), whether the name itself is a link, and where
// it is: name relative to a directory descriptor (or a path relative to AT_FDCWD). When its
// stored attribute cannot be read: kInvalidAttributes with errno set, or with known given,
// the bits that can be known and *known false.
uint32_t AttributesOf(const struct stat& target, bool isLink, int directory, const char* name,
                      bool* known = nullptr);
// The attribute word of the entry name (as AttributesOf, its stat data read first);
// kInvalidAttributes with the last error set on failure.
uint32_t AttributesAt(int directory, const char* name);
// The hidden, system and archive bits as stored in user.DOSATTRIB (following links), or
// archive alone when the attribute is missing; dot names report hidden too.
// kInvalidAttributes with errno set when it cannot be read.
uint32_t StoredDosAttributes(int directory, const char* name);
// Sets the modelled bits of the entry name itself (never through a link), as SetFileAttributesW
// describes; false with the last error set.
bool SetAttributesOfEntry(int directory, const char* name, uint32_t attributes);
// Sets the permission bits of the entry name itself (never through a link); false with the last
// error set.
bool SetModeOfEntry(int directory, const char* name, mode_t mode);
// The stat data of the entry name itself; false, with the last error set, when it cannot be
// read or is a symbolic link: attributes and modes are never changed through a link (what it
// points to may lie outside the trees).
bool StatOfEntryItself(int directory, const char* name, struct stat* st);
// The last component of a byte path.
const char* BaseName(const char* path);
// A change of permission bits or extended attributes that the file system cannot keep (FAT),
// as opposed to one that failed.
inline bool RefusedByFileSystem(int error) {
  return error == ENOTSUP || error == EPERM;
}
// Whether the file system of the entry name (relative to a directory descriptor; device is
// its st_dev) keeps permission bits: not FAT or exFAT, where every file reads back with one
// fixed mode. Asked once per device.
bool PermissionBitsKept(int directory, const char* name, dev_t device);
// Copies user.DOSATTRIB between open files where the source has one; false (errno set) when it
// cannot be read or written, unless the target's file system refuses it.
bool CopyDosAttribute(int from, int to);
// Whether the program runs as root (effective user 0), which alone can give files away.
bool RunAsRoot();
// Run as root, gives the open copy or new directory made (its stat data madeStat, kept up to
// date) the owner and group of source where they differ (before its mode: chown clears set-ID
// bits); true where not run as root or the file system refuses owners (FAT, exFAT). False with
// errno set.
bool KeepOwner(int made, const struct stat& source, struct stat* madeStat);
// The permission bits of a copy or new directory (made) of source: the set-user-ID and
// set-group-ID bits only when it has the source's owner and group, so that a run as root never
// makes a user's set-ID file root's.
mode_t CopiedMode(const struct stat& source, const struct stat& made);
// Renames from over to (each relative to its directory descriptor, or AT_FDCWD). Without replace
// a taken name fails with EEXIST, in one step where the file system can refuse it itself.
bool MoveIntoPlace(int fromDirectory, const char* from, int toDirectory, const char* to,
                   bool replace);
// Opens the regular file name (relative to a directory descriptor, or a path relative to
// AT_FDCWD) for reading, following links, with its stat data; -1 with the last error set when it
// cannot be opened or is not a regular file.
int OpenRegularFileAt(int directory, const char* name, struct stat* st);
// Copies the open regular file in (st its stat data) into directory as name: through a
// temporary file there, moved into place over name (replace) or only where name is free. On
// failure the temporary file is removed and the last error set.
bool CopyIntoDirectory(int in, const struct stat& st, int directory, const char* name,
                       bool replace);
// Reads up to size bytes at the file's position (*read 0 at its end); false with the last error
// set.
bool ReadBlock(int fd, void* buffer, size_t size, size_t* read);
// The data region at or after offset: 1 with [*data, *hole) (hole null: its start alone), 0 when
// only a hole follows, -1 with errno set when the file system cannot tell. The file's position
// stays where it was.
int DataRangeAt(int fd, off_t offset, off_t* data, off_t* hole);

// Makes the directory name (relative to directory) with the permission bits, owner write bit
// and user.DOSATTRIB of templateName (relative to templateDirectory); removed again when those
// cannot be given. False with the last error set.
bool MakeDirectoryLike(int templateDirectory, const char* templateName, int directory,
                       const char* name);
// Removes the empty directory name, or a link itself; false with the last error set.
bool RemoveDirectoryEntry(int directory, const char* name);
// Unlinks the file name; a directory reports access denied. False with the last error set.
bool DeleteFileEntry(int directory, const char* name);
// The name of a file system from its statfs type: "FAT", "exFAT", "NTFS", "ext4", ...
const wchar_t* FileSystemName(unsigned long type);

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

// Under xattrs: extended attributes of the user, trusted and security namespaces and POSIX
// ACLs (user.DOSATTRIB aside, always kept). Gives the open file or directory to the source's
// (those that differ set, those the source lacks removed); true where the target's file system
// refuses them (noted for ExtendedAttributesRefused) or the option is off. False with errno
// set.
bool CopyExtendedAttributes(int from, int to);
