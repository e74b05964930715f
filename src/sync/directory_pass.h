// The directory pass: lists one directory pair and walks the two listings three times.
#pragma once

#include "scan/listing.h"

// A walk handler: the source entry or null, the destination entry or null (never both null).
typedef void (*EntryPairHandler)(const DirectoryEntry* source, const DirectoryEntry* destination);

// Synchronises the pair named by SourcePath and DestinationPath, and below it.
void ProcessDirectoryPair();
// Calls the handler once per name in name order, with the entries of equal names together.
void MergeEntryLists(const EntryList& source, const EntryList& destination,
                     EntryPairHandler handler);
