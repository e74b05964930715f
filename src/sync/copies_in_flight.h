// Copies on workers (-j): the walk writes a file's "add" or "update" line, hands the copy to a
// worker and goes on. Each copy's outcome (its reports, its count, the source's archive
// attribute) is taken in walk order, and while any copy is in flight the walking thread's own
// texts are held behind it: both streams keep the order and interleaving one thread gives them.
#pragma once

#include <string>

#include "scan/listing.h"
#include "sync/pass.h"

// Whether the copy of this source file of the current pair (over the replaced destination file,
// if any) may go to a worker: workers run, the copy is worth a hand-over (a large file, or copies
// that wait on their device), and no other copy nor later step of the walk depends on it. Not so
// for a source file with other names under hard-links (they are linked to its copy) or under
// unset-archive (clearing its archive attribute changes them, and a copy of one may be in
// flight); nor for the replacement of a file with other names (one may be a source file a copy
// reads: Windows clears a protected file's attributes for a moment, and refuses to replace a
// file another thread holds open); nor under xattrs (the first refusal is reported with the
// name of the copy that met it).
bool CopyMayRunAhead(const Pass& pass, const DirectoryEntry& source,
                     const DirectoryEntry* replaced = nullptr);
// Before the walk changes or deletes an existing file of the destination directory given: when
// it may be another name of a source file that a copy in flight reads, the copies are finished
// first, as one thread would have finished them.
void AwaitCopiesBeforeChanging(Pass& pass, const OpenDirectory& directory,
                               const DirectoryEntry& destination);
// Hands the copy of the source file of the current pair (path as printed) to a worker, as
// CopyFileAt; once it succeeded, it counts in counter and clears the source's archive attribute.
void StartCopy(Pass& pass, const DirectoryEntry& source, const std::wstring& sourcePath,
               bool replace, uint32_t replacedAttributes, unsigned long RunSummary::*counter);
// Before the walk acts on a name of the current destination directory: finishes the copies in
// flight when one is to this name regardless of letter case (on a drive that folds case it is
// the same entry, and one thread would have finished it first).
void AwaitCopiesOfName(Pass& pass, const NameChar* name);
// Waits for every copy in flight and takes their outcomes, in order. The walk calls it before
// the current pair's listings or directories go, and before it changes the directory they went
// into.
void FinishCopies(Pass& pass);
// Copies the file name of directory from into directory to, as CopyFileAt; a failure is
// reported with the source path (as printed).
bool CopyFileReported(const OpenDirectory& from, const OpenDirectory& to, const wchar_t* name,
                      const std::wstring& sourcePath, bool replace, uint32_t replacedAttributes);
// Under unset-archive, outside virtual mode: clears the archive attribute of the source entry of
// directory (path as printed). A failure is silent, unless the platform says it must be reported
// (a stored attribute that cannot be read, POSIX).
void ClearSourceArchive(const OpenDirectory& directory, const DirectoryEntry& entry,
                        const std::wstring& path);
