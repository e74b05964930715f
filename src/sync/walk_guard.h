// Keeps the walk out of link loops, out of its own destination, and out of the source tree on
// the destination side. Directories are told apart by identity, never by the spelling of paths.
#pragma once

#include "scan/listing.h"
#include "sync/pass.h"

// What a source sub-directory is to the walk.
enum SourceDirectoryKind {
  kWalkDirectory,    // walked as usual
  kDestinationRoot,  // the destination root itself: invisible on the source side
  kLoopDirectory,    // one of the source directories being walked above it: never entered
};

// Opens the two roots and compares them before anything is written. False, with the error
// written, when either cannot be opened or identified, when they are the same directory or when
// the source lies inside the destination (the mirror would delete its own source). Otherwise
// records what the walk checks against and enters the source root.
bool CheckRoots(Pass& pass);
// What the sub-directory entry of the current source directory is.
SourceDirectoryKind ClassifySourceDirectory(Pass& pass, const DirectoryEntry& entry);
// The walk enters the source sub-directory of this entry (already open as the source side's
// current directory, or not open when that failed), or leaves it.
void EnterSourceDirectory(Pass& pass, const DirectoryEntry& entry);
void LeaveSourceDirectory(Pass& pass);
// True when the destination directory link name (in the current destination directory) leads
// outside both trees to a directory that holds neither root: only such a link is entered. Any
// other would have the pass write into the source, into the destination through another name, or
// delete everything above the roots.
bool DestinationLinkLeadsOutside(Pass& pass, const wchar_t* name);
// Reports a directory the walk does not enter for a loop or a link into the source: the one at
// path, or with a name, the one of that name below it.
void ReportLoop(const std::wstring& path, const wchar_t* name = nullptr);
// Classifies the sub-directories of the current source directory's listing: the destination root
// left out, loops and links above or across the roots marked.
void ClassifySourceSubdirectories(Pass& pass, EntryList& subdirectories);
// Lists the current source directory (ListDirectory) and classifies its sub-directories.
bool ListSourceDirectory(Pass& pass, EntryList& files, EntryList& subdirectories);
