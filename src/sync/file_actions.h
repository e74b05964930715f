// Actions on single files: add, update, delete, leave, and the source's archive attribute.
#pragma once

#include "scan/listing.h"

// Walk 2's handler: every file name of the current directory pair.
void ProcessFileEntry(const DirectoryEntry* source, const DirectoryEntry* destination);
// A source-only file of the current directory pair.
void AddFile(const DirectoryEntry& source);
// Copies through a temporary file in the destination directory moved into place in one step, so
// the destination name shows the old file or the whole copy, never part of one. With replace
// (an update) the old file goes; without (an add) a name taken since the listing makes the copy
// fail and the file there stays. On failure the temporary file is removed.
bool CopyIntoPlace(const wchar_t* sourceFile, const wchar_t* destinationFile, bool replace);
// CopyIntoPlace, reporting a failure.
bool CopySourceFile(const wchar_t* sourceFile, const wchar_t* destinationFile, bool replace);
// True when the file is gone (or would be, in virtual mode).
bool DeleteDestinationFile(const wchar_t* file, DWORD attributes);
// Under unset-archive, outside virtual mode: clears the archive attribute of a source entry.
// A failure is silent, unless the platform says it must be reported (a stored attribute that
// cannot be read, POSIX).
void ClearSourceArchive(const wchar_t* file, DWORD attributes);
// The "ignore" line of a source-only entry left alone under no-add (it names the source path).
void LogIgnoredSourceEntry(const DirectoryEntry& source);
// A destination entry kept because its source counterpart's path is too long to list.
void KeepDestinationEntry(const DirectoryEntry& destination);
