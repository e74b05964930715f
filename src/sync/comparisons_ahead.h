// Contents compared ahead (-j, under compare-contents or time-compare-contents): when the walk
// comes to a directory pair's files, workers begin reading the pairs whose listing leaves their
// contents to decide, in walk order, a few ahead of the walk; the walk writes each pair's lines
// when it comes to it, with the result then waited for.
#pragma once

#include <optional>
#include <vector>

#include "scan/listing.h"
#include "sync/pass.h"
#include "sync/workers.h"

struct ComparisonAhead {
  const DirectoryEntry *Source, *Destination;
  bool Equal = false;
  std::optional<WorkerTask> Task;
};

struct ComparisonsAhead {
  std::vector<ComparisonAhead> Pairs;  // walk order
  size_t Taken = 0, Started = 0;
  // While planning: the name of the pair before, and whether it was planned.
  const NameChar* PreviousName = nullptr;
  bool PreviousPlanned = false;
};

// Plans the current pair's file pairs whose contents decide and starts the first ones; the
// pass's comparisons ahead until FinishComparisonsAhead.
void StartComparisonsAhead(Pass& pass, const EntryList& sourceFiles,
                           const EntryList& destinationFiles, ComparisonsAhead& ahead);
// The result of this pair's comparison, when it was compared ahead (waited for); null when it
// was not.
const bool* TakeComparison(Pass& pass, const DirectoryEntry& source);
// Waits for the comparisons the walk did not take.
void FinishComparisonsAhead(Pass& pass, ComparisonsAhead& ahead);
