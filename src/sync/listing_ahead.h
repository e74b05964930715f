// Directory pairs listed ahead (-j): while the walk works on a pair, workers open and list the
// sub-directory pairs it will enter next. What a worker writes is held and written when the walk
// comes to the pair, where one thread writes it; the walk guard classifies the source side then.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/console.h"
#include "scan/listing.h"
#include "sync/pass.h"
#include "sync/workers.h"

// One sub-directory pair, opened (never through a link) and listed by a worker.
struct ListedPair {
  const DirectoryEntry *Source, *Destination;  // their entries in the parent pair's listings
  std::wstring SourcePath, DestinationPath;    // as printed
  OpenDirectory SourceDirectory, DestinationDirectory;
  EntryList SourceFiles, SourceDirectories, DestinationFiles, DestinationDirectories;
  // The destination side's listing is used only where the source side was listed.
  bool SourceListed = false, DestinationListed = false;
  std::vector<HeldText> SourceTexts, DestinationTexts;
  std::optional<WorkerTask> SourceTask, DestinationTask;
};

// The sub-directory pairs of one directory pair, in walk order, the first ones started.
struct ListingAhead {
  std::vector<std::unique_ptr<ListedPair>> Pairs;
  size_t Taken = 0;    // the pairs before it are the walk's or dropped
  size_t Started = 0;  // the pairs before it were handed to workers
  const OpenDirectory *SourceParent = nullptr, *DestinationParent = nullptr;
  ListingAhead* Outer = nullptr;  // the enclosing pair's
};

// Plans the current pair's sub-directory pairs that the walk enters as pairs (neither a link,
// neither marked) and starts as many as may run ahead; the pass's listing ahead until
// FinishListingAhead.
void StartListingAhead(Pass& pass, const EntryList& sourceDirectories,
                       const EntryList& destinationDirectories, ListingAhead& ahead);
// Waits for the pairs the walk did not take and gives the pass the enclosing pair's back.
void FinishListingAhead(Pass& pass, ListingAhead& ahead);
// Waits until the pair named by this source entry of the current pair is no longer being listed:
// the walk is about to change its destination directory (Windows refuses to rename a directory
// while it is listed), which one thread would only do after listing it.
void AwaitListedPair(Pass& pass, const DirectoryEntry* source);
// The pair named by this source entry of the current pair, listed ahead; null where it was not
// (the walk lists it itself).
std::unique_ptr<ListedPair> TakeListedPair(Pass& pass, const DirectoryEntry* source);
