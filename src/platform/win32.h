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

// A directory's identity on its machine: the volume and the file index, the same for every
// spelling of its path (letter case, ".", "..", links).
struct FileIdentity {
  uint64_t volume;
  uint64_t index;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index == other.index;
  }
};

// Clears a destination file's protective attributes (read-only, hidden, system) before it is
// deleted or replaced, as Windows requires; POSIX needs nothing cleared, and nothing is changed
// there. Returns what ReprotectFile needs afterwards.
HANDLE UnprotectFile(const wchar_t* path, DWORD attributes);
// After the deletion or replacement: when it failed (not done) the file gets its protective
// attributes back; when it was done, the file's other names (hard links) get them back, since
// deleting or replacing one name must never change the others. Keeps the last error.
void ReprotectFile(HANDLE unprotected, const wchar_t* path, DWORD attributes, bool done);

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
