// The one platform header of the program. On Windows it is the Windows API itself; elsewhere
// it declares the subset the program uses, implemented over POSIX in src/platform/posix/.
// The few places where the program itself differs by platform use the constants below.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shlwapi.h>
#include <winioctl.h>

// Path separator as a wide literal, for messages that join two texts.
#define PATH_SEPARATOR_TEXT L"\\"
#define PATH_SEPARATOR_ASCII "\\"
// Size of the formatting buffer; wvsprintfW never writes more than 1024 characters.
#define FORMAT_BUFFER_CHARS 1024
// Console texts end lines with carriage return plus line feed.
#define CONSOLE_CRLF 1
// Names pair regardless of letter case, as the file system looks them up.
#define NAMES_IGNORE_CASE 1
// Code page of the console text under log-oem.
#define CONSOLE_CODE_PAGE CP_OEMCP
// CopyFileW writes in place: the program copies to a temporary name and moves it itself.
#define COPY_FILE_MOVES_INTO_PLACE 0
#ifdef _WIN64
#define BUILD_LINE "x64 Unicode version"
#else
#define BUILD_LINE "Win32 Unicode version (incompatible with Windows 95/98/ME)"
#endif

#else

#include "platform/posix/windows_api.h"

#endif

#include <cstdint>
#include <string>

// A directory's identity on its machine: the volume and the file index, the same for every
// spelling of its path (letter case, ".", "..", links).
struct FileIdentity {
  uint64_t volume;
  uint64_t index;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index == other.index;
  }
};

// Deleting or replacing one name of a file never changes its other names (hard links). Windows
// refuses to delete or replace a file with protective attributes (read-only, hidden, system),
// so they are cleared first and given back to the other names afterwards; POSIX needs nothing
// cleared, and nothing is changed there.
// Deletes a file whose listed attributes are given; on failure it keeps them.
bool DeleteProtectedFile(const wchar_t* path, DWORD attributes);
// Before a file is replaced: clears its protective attributes; returns what
// ReprotectAfterReplace needs to give them back to its other names.
std::wstring UnprotectForReplace(const wchar_t* path, DWORD attributes);
// After the replacement (or its failure, when the file keeps them). Keeps the last error.
void ReprotectAfterReplace(const std::wstring& kept, const wchar_t* path, DWORD attributes,
                           bool replaced);

// The identity of a listed entry where the listing already gives it (the POSIX listing's stat);
// false where it must be asked for by opening the entry (Windows).
inline bool ListedIdentity(const WIN32_FIND_DATAW& entry, FileIdentity* identity) {
#ifdef _WIN32
  (void)entry;
  (void)identity;
  return false;
#else
  *identity = FileIdentity{entry.posixVolume, entry.posixIndex};
  return true;
#endif
}

#ifdef _WIN32
// The Windows builds mirror no permission bits: an entry carries none, and no pair gets any.
struct ListedPermissions {};
inline ListedPermissions ListedPermissionsOf(const WIN32_FIND_DATAW&) {
  return {};
}
inline bool PermissionBitsToSet(const ListedPermissions&, const ListedPermissions&, DWORD, DWORD*) {
  return false;
}
inline BOOL SetPermissionBits(LPCWSTR, DWORD) {
  return FALSE;
}
#endif

// True when a listed entry is a link: a junction, symbolic link or mount point (a name-surrogate
// reparse point, whose tag the find record holds). Other reparse points (cloud placeholders,
// deduplicated files, sockets) are ordinary files and directories. On POSIX only symbolic links
// carry the reparse-point bit.
inline bool ListedAsLink(const WIN32_FIND_DATAW& entry) {
  if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
#ifdef _WIN32
  return (entry.dwReserved0 & 0x20000000) != 0;  // IsReparseTagNameSurrogate
#else
  return true;
#endif
}

// True where the listing could not read the entry's stored attributes (POSIX: an entry the
// runner may not read): its attribute word then holds only the bits that could be known.
inline bool ListedAttributesUnknown(const WIN32_FIND_DATAW& entry) {
#ifdef _WIN32
  (void)entry;
  return false;
#else
  return entry.posixAttributesUnknown;
#endif
}

// Whether a failed change of the archive attribute, otherwise silent, is reported: on POSIX when
// it left a user.DOSATTRIB that cannot be read as it was (such a value is never rewritten).
inline bool AttributeFailureReported() {
#ifdef _WIN32
  return false;
#else
  return GetLastError() == ERROR_INVALID_DATA;
#endif
}
