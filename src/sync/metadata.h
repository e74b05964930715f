// The metadata correction of an entry that stays in place.
#pragma once

#include "scan/listing.h"

// Writes the "meta" line for path when it is still pending, once.
void ReportMetaOnce(bool& metaLinePending, const wchar_t* path);
// Corrects, in this order, the read-only, hidden and system attributes, the permission bits
// (POSIX), the last-write time (files under time-meta whose times disagree) and the letter case
// of the name.
void UpdateMetadata(const wchar_t* path, const DirectoryEntry& source,
                    const DirectoryEntry& destination, bool timesEqual);
