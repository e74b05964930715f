// The directory pass: lists one directory pair and walks the two listings three times.
#pragma once

#include "scan/listing.h"
#include "sync/pass.h"

// A walk handler: the source entry or null, the destination entry or null (never both null).
typedef void (*EntryPairHandler)(Pass& pass, const DirectoryEntry* source,
                                 const DirectoryEntry* destination);

// Synchronises a directory pair and below it: with entries, the pair of sub-directories they
// name in the current pair (each opened through a link only when it is one: the walk decided to
// enter it), which becomes the current pair while it lasts; without, the current pair. False
// when either side could not be listed (reported).
bool ProcessDirectoryPair(Pass& pass, const DirectoryEntry* source = nullptr,
                          const DirectoryEntry* destination = nullptr);
// Calls the handler once per name in name order, with the entries of equal names together.
void MergeEntryLists(Pass& pass, const EntryList& source, const EntryList& destination,
                     EntryPairHandler handler);
