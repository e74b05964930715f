// The metadata correction of an entry that stays in place.
#pragma once

#include <string>

#include "scan/listing.h"
#include "sync/pass.h"

// Writes the "meta" line for path when it is still pending, once.
void ReportMetaOnce(bool& metaLinePending, const std::wstring& path);
// Reports, once per run, that the destination's file system refused extended attributes (the
// copy or change of the entry name of directory, or with a null name of directory itself, was
// made without them).
void ReportRefusedAttributes(const std::wstring& directory, const wchar_t* name = nullptr);
// Corrects the destination entry of a pair in the current destination directory (path as
// printed), in this order: the read-only, hidden and system attributes, the owner and the
// permission bits (POSIX), the extended attributes (under xattrs), the last-write time (files
// under time-meta whose times disagree) and the letter case of the name.
void UpdateMetadata(Pass& pass, const std::wstring& path, const DirectoryEntry& source,
                    const DirectoryEntry& destination, bool timesEqual);
