// Keeps the walk out of link loops, out of its own destination, and out of the source tree on
// the destination side. Directories are told apart by identity, never by the spelling of paths.
#pragma once

#include "scan/listing.h"

// What a source sub-directory is to the walk.
enum SourceDirectoryKind {
  kWalkDirectory,    // walked as usual
  kDestinationRoot,  // the destination root itself: invisible on the source side
  kLoopDirectory,    // one of the source directories being walked above it: never entered
};

// Compares the two roots before anything is written. False, with the error written, when they
// are the same directory or the source lies inside the destination (the mirror would delete its
// own source). Otherwise records what the walk checks against and enters the source root.
bool CheckRoots();
// What the sub-directory entry of the current source directory (SourcePath) is.
SourceDirectoryKind ClassifySourceDirectory(const DirectoryEntry& entry);
// The walk enters the source directory SourcePath now names (reached through entry), or leaves
// it before SourcePath is stripped.
void EnterSourceDirectory(const DirectoryEntry& entry);
void LeaveSourceDirectory();
// True when a destination directory link at path leads outside both trees to a directory that
// holds neither root: only such a link is entered. Any other would have the pass write into the
// source, into the destination through another name, or delete everything above the roots.
bool DestinationLinkLeadsOutside(const wchar_t* path);
// Reports a directory the walk does not enter for a loop or a link into the source: the one at
// path, or with a name, the one of that name below it.
void ReportLoop(const wchar_t* path, const wchar_t* name = nullptr);
// Lists a source directory (ListDirectory) and classifies its sub-directories: the destination
// root left out, loops and links above or across the roots marked.
bool ListSourceDirectory(const wchar_t* directory, EntryList& files, EntryList& subdirectories);
