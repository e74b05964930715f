// The metadata correction of an entry that stays in place.
#pragma once

#include <string>

#include "scan/listing.h"
#include "sync/pass.h"

// Writes the "meta" line for path when it is still pending, once.
void ReportMetaOnce(bool& metaLinePending, const std::wstring& path);
// Corrects the destination entry of a pair in the current destination directory (path as
// printed), in this order: the read-only, hidden and system attributes, the permission bits
// (POSIX), the last-write time (files under time-meta whose times disagree) and the letter case
// of the name.
void UpdateMetadata(Pass& pass, const std::wstring& path, const DirectoryEntry& source,
                    const DirectoryEntry& destination, bool timesEqual);
