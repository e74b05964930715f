// Actions on single files: add, update, delete, leave, and the source's archive attribute.
#pragma once

#include <string>

#include "scan/listing.h"
#include "sync/pass.h"

// Walk 2's handler: every file name of the current directory pair.
void ProcessFileEntry(Pass& pass, const DirectoryEntry* source, const DirectoryEntry* destination);
// A source-only file of the current directory pair.
void AddFile(Pass& pass, const DirectoryEntry& source);
// Deletes the file entry of directory (path as printed); true when it is gone (or would be, in
// virtual mode).
bool DeleteDestinationFile(Pass& pass, const OpenDirectory& directory, const DirectoryEntry& entry,
                           const std::wstring& path);
// The "ignore" line of a source-only entry left alone under no-add (it names the source path).
void LogIgnoredSourceEntry(Pass& pass, const DirectoryEntry& source);
// A destination entry kept because its source counterpart's path is too long to list.
void KeepDestinationEntry(Pass& pass, const DirectoryEntry& destination);
