// The state of one pass over the two trees, handed down the walk's calls: the current directory
// pair (as printed and as open directories), the walk guard's view of the source branch and the
// counts behind the summary.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "output/console.h"
#include "platform/file_system.h"
#include "scan/listing.h"
#include "sync/run_summary.h"
#include "sync/workers.h"

// One tree's side of the current pair.
struct WalkSide {
  std::wstring Path;            // as printed: the root as typed, then the names
  std::vector<size_t> Lengths;  // Path's length before each name the walk added
  // The open directories of the current branch, the root first and Path's directory last: one
  // per level, closed as the walk climbs; they stay where they are while deeper ones come and go
  // (workers listing ahead hold them).
  std::deque<OpenDirectory> Levels;
  const OpenDirectory& Directory() const { return Levels.back(); }
};

// One source directory on the walk's current branch, for the walk guard.
struct SourceLevel {
  FileIdentity Identity;
  bool Known;             // identity asked for (Windows asks only where it must)
  bool HoldsDestination;  // the destination root lies below it on the file system
};

// What the walk guard compares against: the roots, their parents, the source branch.
struct WalkGuard {
  FileIdentity SourceRoot, DestinationRoot;
  // Each root's parents as the file system holds them, nearest first.
  std::vector<FileIdentity> SourceParents, DestinationParents;
  std::vector<SourceLevel> Levels;  // parallel to the source side's Levels
};

struct ListingAhead;
struct ComparisonsAhead;

// A file copy handed to a worker (sync/copies_in_flight.h). Its source entry and directory are
// the current pair's, which stays until every copy of it is finished.
struct CopyInFlight {
  std::optional<WorkerTask> Task;
  bool Copied = false;
  std::vector<HeldText> Reports;  // the worker's
  std::vector<HeldText> After;    // the walking thread's texts that come after the copy
  const OpenDirectory *SourceDirectory, *DestinationDirectory;
  const DirectoryEntry* Source;
  std::wstring SourcePath;             // as printed
  unsigned long RunSummary::*Counter;  // where a good copy is counted: added or updated
};

struct Pass {
  WalkSide Source, Destination;
  WalkGuard Guard;
  RunSummary Summary{};
  // Under hard-links, for each source file with more than one name that has a destination
  // name: that name, relative to the destination root.
  std::map<std::pair<uint64_t, uint64_t>, std::wstring> HardLinks;
  // The current pair's sub-directory pairs listed ahead by workers, and how many pairs in all
  // are ahead (listed or being listed, not yet taken by the walk).
  ListingAhead* Ahead = nullptr;
  int PairsAhead = 0;
  // The current pair's file pairs compared ahead by workers.
  ComparisonsAhead* Compared = nullptr;
  // Copies on workers, oldest first.
  std::deque<CopyInFlight> Copies;
};

// Extends a side's path by one name; false, unchanged, when it is too long (reported).
bool ExtendPath(WalkSide& side, const wchar_t* name);
// Extends both current paths by one name, or neither.
bool ExtendPathPair(Pass& pass, const wchar_t* name);
// Gives a side's path back the length it had before its last extension.
void StripPath(WalkSide& side);
// Opens the sub-directory name of the side's current directory as its new current directory
// (a link only with followLink); a failure is reported as a directory that cannot be browsed.
bool EnterSideDirectory(WalkSide& side, const wchar_t* name, bool followLink);
