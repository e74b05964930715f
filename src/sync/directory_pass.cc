#include "sync/directory_pass.h"

#include "settings/options.h"
#include "output/console.h"
#include "sync/comparisons_ahead.h"
#include "sync/copies_in_flight.h"
#include "sync/file_actions.h"
#include "sync/listing_ahead.h"
#include "sync/run_summary.h"
#include "sync/tree_actions.h"
#include "sync/walk_guard.h"
#include "sync/workers.h"

void MergeEntryLists(Pass& pass, const EntryList& sourceList, const EntryList& destinationList,
                     EntryPairHandler handler) {
  const EntryArray& source = sourceList.Entries;
  const EntryArray& destination = destinationList.Entries;
  // An entry the filter leaves out hides its counterpart: the pair is left alone.
  auto call = [&pass, handler](const DirectoryEntry* s, const DirectoryEntry* d) {
    if (EntryFiltered(s) || EntryFiltered(d))
      return;
    if (!pass.Copies.empty())
      AwaitCopiesOfName(pass, s != nullptr ? s->Name : d->Name);
    handler(pass, s, d);
  };
  size_t s = 0, d = 0;
  while (s < source.size() && d < destination.size()) {
    int order = CompareNames(source[s].Name, destination[d].Name);
    if (order == 0) {
      call(&source[s++], &destination[d++]);
    } else if (order < 0) {
      call(&source[s++], nullptr);
    } else {
      call(nullptr, &destination[d++]);
    }
  }
  for (; s < source.size(); s++) call(&source[s], nullptr);
  for (; d < destination.size(); d++) call(nullptr, &destination[d]);
}

namespace {

bool IsLink(const DirectoryEntry* entry) {
  return (entry->Attributes & kAttributeReparsePoint) != 0;
}

// Opens the pair's side directory (for a sub-directory pair) and lists it; false when either
// failed (reported).
bool OpenAndList(Pass& pass, WalkSide& side, const DirectoryEntry* entry, EntryList& files,
                 EntryList& subdirectories) {
  if (entry != nullptr && !EnterSideDirectory(side, WideName(entry->Name), IsLink(entry)))
    return false;
  return &side == &pass.Source
             ? ListSourceDirectory(pass, files, subdirectories)
             : ListDirectory(side.Directory(), side.Path, files, subdirectories, kDestinationSide);
}

// A pair listed ahead becomes the current pair: its texts written and its source side classified
// where the walk would have listed it; false where a side could not be listed.
bool UseListedPair(Pass& pass, ListedPair& pair) {
  WriteHeldTexts(pair.SourceTexts);
  if (!pair.SourceListed)
    return false;
  pass.Source.Levels.push_back(std::move(pair.SourceDirectory));
  ClassifySourceSubdirectories(pass, pair.SourceDirectories);
  WriteHeldTexts(pair.DestinationTexts);
  if (!pair.DestinationListed)
    return false;
  pass.Destination.Levels.push_back(std::move(pair.DestinationDirectory));
  return true;
}

// Opens and lists the pair's two sides: a worker lists the destination side while this thread
// lists the source side; its texts come after the source's, and only where the source side was
// listed, as with one thread.
bool ListPair(Pass& pass, const DirectoryEntry* source, const DirectoryEntry* destination,
              EntryList& sourceFiles, EntryList& sourceDirectories, EntryList& destinationFiles,
              EntryList& destinationDirectories) {
  auto listDestination = [&] {
    return OpenAndList(pass, pass.Destination, destination, destinationFiles,
                       destinationDirectories);
  };
  if (!WorkersRunning()) {
    return OpenAndList(pass, pass.Source, source, sourceFiles, sourceDirectories) &&
           listDestination();
  }
  std::vector<HeldText> held;
  bool destinationListed = false;
  WorkerTask task = RunOnWorker([&] {
    HoldTexts hold(held);
    destinationListed = listDestination();
  });
  bool sourceListed = OpenAndList(pass, pass.Source, source, sourceFiles, sourceDirectories);
  task.Wait();
  if (!sourceListed)
    return false;
  WriteHeldTexts(held);
  return destinationListed;
}

bool WalkDirectoryPair(Pass& pass, const DirectoryEntry* source,
                       const DirectoryEntry* destination) {
  EntryList sourceFiles, sourceDirectories, destinationFiles, destinationDirectories;
  // Source entries too long to list stay in the lists, marked, so that their destination
  // counterparts are kept rather than taken for destination-only entries.
  if (std::unique_ptr<ListedPair> listed = TakeListedPair(pass, source)) {
    if (!UseListedPair(pass, *listed))
      return false;
    sourceFiles = std::move(listed->SourceFiles);
    sourceDirectories = std::move(listed->SourceDirectories);
    destinationFiles = std::move(listed->DestinationFiles);
    destinationDirectories = std::move(listed->DestinationDirectories);
  } else if (!ListPair(pass, source, destination, sourceFiles, sourceDirectories, destinationFiles,
                       destinationDirectories)) {
    return false;
  }
  RunSummary& summary = pass.Summary;
  summary.SourceEntries += sourceFiles.Entries.size() + sourceDirectories.Entries.size();
  summary.DestinationEntries +=
      destinationFiles.Entries.size() + destinationDirectories.Entries.size();
  ShowProgress(summary, pass.Source.Path);
  ListingAhead ahead;
  StartListingAhead(pass, sourceDirectories, destinationDirectories, ahead);
  MergeEntryLists(pass, sourceDirectories, destinationDirectories, ProcessExtraDirectory);
  ComparisonsAhead compared;
  StartComparisonsAhead(pass, sourceFiles, destinationFiles, compared);
  MergeEntryLists(pass, sourceFiles, destinationFiles, ProcessFileEntry);
  FinishComparisonsAhead(pass, compared);
  MergeEntryLists(pass, sourceDirectories, destinationDirectories, ProcessDirectoryEntry);
  FinishListingAhead(pass, ahead);
  FinishCopies(pass);
  return true;
}

}  // namespace

bool ProcessDirectoryPair(Pass& pass, const DirectoryEntry* source,
                          const DirectoryEntry* destination) {
  if (OptionSet(kLogDirectories))
    WriteLogLine(L"directory", pass.Destination.Path.c_str());
  // The directories opened for this pair are closed when it is done.
  const size_t sourceLevels = pass.Source.Levels.size();
  const size_t destinationLevels = pass.Destination.Levels.size();
  bool walked = WalkDirectoryPair(pass, source, destination);
  pass.Source.Levels.resize(sourceLevels);
  pass.Destination.Levels.resize(destinationLevels);
  return walked;
}
