// Helpers shared by the POSIX implementation of the platform layer.
#pragma once

#include <cerrno>
#include <string>
#include <sys/stat.h>

#include "platform/posix/windows_api.h"

// An open file: the descriptor and, for the time change, the path it was opened by.
struct PosixFile {
  int fd;
  std::string path;
};

// Wide text to the bytes of a file name or console text: UTF-8, with the escapes
// U+DC80..U+DCFF turned back into the single bytes they stand for.
std::string ToBytes(LPCWSTR text);
std::string ToBytes(LPCWSTR text, size_t chars);
// Bytes to wide text: UTF-8, with each byte that is not part of valid UTF-8 carried as
// U+DC80 + (byte - 0x80).
std::wstring FromBytes(const char* bytes, size_t count);

// Records errno as the last error: the mapped Windows code, and the errno for its text.
void SetLastErrorFromErrno(int error);
// Records a Windows code as the last error, with no errno behind it.
void SetLastErrorCode(DWORD code);

// The volume serial number that stands for a device number.
DWORD VolumeSerial(dev_t device);

// File times: 100 ns units since 1601, and back.
FILETIME ToFileTime(const struct timespec& time);
struct timespec FromFileTime(const FILETIME& time);

// The attribute word of a file system object: stat data of what it names (the target of a link,
// or the link itself where that cannot be reached), whether the name itself is a link, where it
// is (name relative to a directory descriptor or AT_FDCWD; prefix + name is its whole path) and
// its last component. When its stored attribute cannot be read: INVALID_FILE_ATTRIBUTES with
// errno set, or with known given, the bits that can be known and *known false.
DWORD AttributesOf(const struct stat& target, bool isLink, int directory, const std::string& prefix,
                   const char* name, const char* baseName, bool* known = nullptr);
// The hidden, system and archive bits as stored in user.DOSATTRIB (following links), or
// archive alone when the attribute is missing; dot names report hidden too.
// INVALID_FILE_ATTRIBUTES with errno set when it cannot be read.
DWORD StoredDosAttributes(int directory, const std::string& prefix, const char* name,
                          const char* baseName);
// The stat data of the entry at path itself; false, with the last error set, when it cannot be
// read or is a symbolic link: attributes and modes are never changed through a link (what it
// points to may lie outside the trees).
bool StatOfEntryItself(const std::string& path, struct stat* st);
// The last component of a byte path.
const char* BaseName(const std::string& path);
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
// The permission bits of a copy or new directory (made) of source: the set-user-ID and
// set-group-ID bits only when it has the source's owner and group, so that a run as root never
// makes a user's set-ID file root's.
mode_t CopiedMode(const struct stat& source, const struct stat& made);
// Renames from over to (each relative to its directory descriptor, or AT_FDCWD). Without replace
// a taken name fails with EEXIST, in one step where the file system can refuse it itself.
bool MoveIntoPlace(int fromDirectory, const char* from, int toDirectory, const char* to,
                   bool replace);
// Opens a regular file for reading (following links), with its stat data; -1 with the last
// error set when it cannot be opened or is not a regular file.
int OpenRegularFile(const std::string& path, struct stat* st);
