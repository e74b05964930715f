// Actions on sub-directories: destination-only trees deleted, source-only trees copied,
// directory pairs corrected and descended into.
#pragma once

#include <string>

#include "scan/listing.h"
#include "sync/pass.h"

// Walk 1's handler: deletes a destination-only directory tree, or leaves it under no-delete.
void ProcessExtraDirectory(Pass& pass, const DirectoryEntry* source,
                           const DirectoryEntry* destination);
// Walk 3's handler: corrects and descends into a directory pair, or copies a new tree.
void ProcessDirectoryEntry(Pass& pass, const DirectoryEntry* source,
                           const DirectoryEntry* destination);
// Deletes the destination tree name of parent (path as printed), keeping what its listing leaves
// out (the filter, no-junctions) with the directories that hold it. True when nothing failed;
// *kept tells whether the directory stays for what it keeps.
bool DeleteTree(Pass& pass, const OpenDirectory& parent, const wchar_t* name,
                const std::wstring& path, bool* kept = nullptr);
// Copies the source sub-directory of this entry into the current destination directory, what its
// listing shows of it, and, under unset-archive, clears its archive attribute once it was listed
// to the end.
void CopyNewTree(Pass& pass, const DirectoryEntry& source);
