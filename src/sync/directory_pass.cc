#include "sync/directory_pass.h"

#include "settings/options.h"
#include "output/console.h"
#include "sync/file_actions.h"
#include "sync/run_summary.h"
#include "sync/tree_actions.h"
#include "sync/walk_guard.h"
#include "sync/workers.h"

void MergeEntryLists(Pass& pass, const EntryList& sourceList, const EntryList& destinationList,
                     EntryPairHandler handler) {
  const std::vector<DirectoryEntry>& source = sourceList.Entries;
  const std::vector<DirectoryEntry>& destination = destinationList.Entries;
  // An entry the filter leaves out hides its counterpart: the pair is left alone.
  auto call = [&pass, handler](const DirectoryEntry* s, const DirectoryEntry* d) {
    if (!EntryFiltered(s) && !EntryFiltered(d))
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
  if (entry != nullptr && !EnterSideDirectory(side, entry->Name, IsLink(entry)))
    return false;
  return &side == &pass.Source
             ? ListSourceDirectory(pass, files, subdirectories)
             : ListDirectory(side.Directory(), side.Path, files, subdirectories, kDestinationSide);
}

bool WalkDirectoryPair(Pass& pass, const DirectoryEntry* source,
                       const DirectoryEntry* destination) {
  EntryList sourceFiles, sourceDirectories, destinationFiles, destinationDirectories;
  // Source entries too long to list stay in the lists, marked, so that their destination
  // counterparts are kept rather than taken for destination-only entries.
  auto listDestination = [&] {
    return OpenAndList(pass, pass.Destination, destination, destinationFiles,
                       destinationDirectories);
  };
  if (!WorkersRunning()) {
    if (!OpenAndList(pass, pass.Source, source, sourceFiles, sourceDirectories) ||
        !listDestination())
      return false;
  } else {
    // A worker lists the destination side while this thread lists the source side; its reports
    // come after the source's, and only where the source side was listed, as with one thread.
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
    if (!destinationListed)
      return false;
  }
  RunSummary& summary = pass.Summary;
  summary.SourceEntries += sourceFiles.Entries.size() + sourceDirectories.Entries.size();
  summary.DestinationEntries +=
      destinationFiles.Entries.size() + destinationDirectories.Entries.size();
  ShowProgress(summary, pass.Source.Path);
  MergeEntryLists(pass, sourceDirectories, destinationDirectories, ProcessExtraDirectory);
  MergeEntryLists(pass, sourceFiles, destinationFiles, ProcessFileEntry);
  MergeEntryLists(pass, sourceDirectories, destinationDirectories, ProcessDirectoryEntry);
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
