// Helpers shared by the Windows implementation of the platform layer: every call names an entry
// by its open directory's "\\?\" path and the entry's name, so a name is always itself.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shlwapi.h>
#include <winioctl.h>

#include <string>

#include "platform/file_system.h"

// Attribute bits of newer systems that not every SDK names.
#ifndef FILE_ATTRIBUTE_INTEGRITY_STREAM
#define FILE_ATTRIBUTE_INTEGRITY_STREAM 0x00008000
#endif
#ifndef FILE_ATTRIBUTE_RECALL_ON_OPEN
#define FILE_ATTRIBUTE_RECALL_ON_OPEN 0x00040000
#endif
#ifndef FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS
#define FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS 0x00400000
#endif

// The full path of name in directory, or of directory itself with a null name. At a root
// ("\\?\C:\", "\\?\UNC\server\share\") the separator is already there. Empty for a directory
// that is not open.
std::wstring EntryPath(const OpenDirectory& directory, const wchar_t* name);

// Where the names of a "\\?\" path begin: after "\\?\C:\", "\\?\UNC\server\share\" or
// "\\?\Volume{...}\"; 1 for any other path (a "/" root).
size_t RootLength(const std::wstring& path);

// The attribute word of what path names itself (a link, not what it points to), with
// FILE_ATTRIBUTE_REPARSE_POINT kept only on a link (a name-surrogate reparse point);
// INVALID_FILE_ATTRIBUTES on failure.
DWORD OwnAttributes(const std::wstring& path);

// Opens what a path names, a directory too, following links: for its identity and final path.
HANDLE OpenObject(const wchar_t* path);
// The identity of what a path names, following links.
bool OpenedIdentity(const wchar_t* path, FileIdentity* identity);

// Deleting or replacing one name of a file never changes its other names (hard links). Windows
// refuses to delete or replace a file with protective attributes (read-only, hidden, system),
// so they are cleared first and given back to the other names afterwards.
// Deletes a file whose listed attributes are given; on failure it keeps them.
bool DeleteProtectedFile(const wchar_t* path, DWORD attributes);
// Before a file is replaced: clears its protective attributes; returns what
// ReprotectAfterReplace needs to give them back to its other names.
std::wstring UnprotectForReplace(const wchar_t* path, DWORD attributes);
// After the replacement (or its failure, when the file keeps them). Keeps the last error.
void ReprotectAfterReplace(const std::wstring& kept, const wchar_t* path, DWORD attributes,
                           bool replaced);
