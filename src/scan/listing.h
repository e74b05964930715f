// Listing one directory into name-sorted lists of files and sub-directories.
#pragma once

#include <vector>

#include "platform/win32.h"

// One enumerated entry, the platform's whole record.
typedef WIN32_FIND_DATAW DirectoryEntry;
typedef std::vector<DirectoryEntry> EntryList;

// Read-only, hidden and system: cleared before an overwrite or deletion, and the only bits whose
// difference causes an attribute correction.
const DWORD kProtectiveAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Marks, in dwReserved1, a source entry left out because its full path does not fit: it is
// never acted on, and the destination entry of the same name is kept.
const DWORD kEntryTooLong = 0x544C4F4E;
inline bool EntryTooLong(const DirectoryEntry* entry) {
  return entry != nullptr && entry->dwReserved1 == kEntryTooLong;
}
// Marks, in dwReserved1, a source directory that is one of the directories being walked above
// it (a link loop): it is reported, never entered, and its destination counterpart is kept.
const DWORD kEntryLoop = 0x4C4F4F50;
inline bool EntryLoop(const DirectoryEntry* entry) {
  return entry != nullptr && entry->dwReserved1 == kEntryLoop;
}

// Which tree a listing reads: the source side keeps entries too long to list (marked), leaves
// out the destination root and marks loops.
enum ListingSide { kSourceSide, kDestinationSide };

// The name order of every sort and every pairing. Case-insensitive; on a case-sensitive file
// system names equal but for case are then ordered case-sensitively, as two entries.
int CompareNames(const wchar_t* a, const wchar_t* b);
bool IsDotName(const wchar_t* name);
void SortEntryList(EntryList& list);
// Joins directory with "*" and starts an enumeration, reporting a failure itself.
HANDLE BeginDirectorySearch(const wchar_t* directory, DirectoryEntry* entry);
// After FindNextFileW returned false: true when the enumeration reached the end. One that broke
// off is reported as a failure to browse the directory.
bool EnumerationComplete(const wchar_t* directory);
// The directory's files and sub-directories that pass the skip rules and the filter, sorted.
// False, with both lists empty, when the directory could not be enumerated to the end (reported).
// On the source side, entries left out for their length are kept, marked, in both lists.
bool ListDirectory(const wchar_t* directory, EntryList& files, EntryList& subdirectories,
                   ListingSide side);
