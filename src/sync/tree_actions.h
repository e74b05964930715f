// Actions on sub-directories: destination-only trees deleted, source-only trees copied,
// directory pairs corrected and descended into.
#pragma once

#include "scan/listing.h"

// Walk 1's handler: deletes a destination-only directory tree, or leaves it under no-delete.
void ProcessExtraDirectory(const DirectoryEntry* source, const DirectoryEntry* destination);
// Walk 3's handler: corrects and descends into a directory pair, or copies a new tree.
void ProcessDirectoryEntry(const DirectoryEntry* source, const DirectoryEntry* destination);
// Deletes a destination tree, keeping what its listing leaves out (the filter, no-junctions) with
// the directories that hold it. True when nothing failed; *kept tells whether the directory
// stays for what it keeps.
bool DeleteTree(const wchar_t* directory, bool* kept = nullptr);
// Copies the source sub-directory of this entry into the current destination directory, what its
// listing shows of it, and, under unset-archive, clears its archive attribute once it was listed
// to the end.
void CopyNewTree(const DirectoryEntry& source);
