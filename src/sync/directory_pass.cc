#include "sync/directory_pass.h"

#include "settings/options.h"
#include "output/console.h"
#include "sync/file_actions.h"
#include "sync/paths.h"
#include "sync/run_summary.h"
#include "sync/tree_actions.h"
#include "sync/walk_guard.h"

void MergeEntryLists(const EntryList& sourceList, const EntryList& destinationList,
                     EntryPairHandler handler) {
  const std::vector<DirectoryEntry>& source = sourceList.Entries;
  const std::vector<DirectoryEntry>& destination = destinationList.Entries;
  // An entry the filter leaves out hides its counterpart: the pair is left alone.
  auto call = [handler](const DirectoryEntry* s, const DirectoryEntry* d) {
    if (!EntryFiltered(s) && !EntryFiltered(d))
      handler(s, d);
  };
  size_t s = 0, d = 0;
  while (s < source.size() && d < destination.size()) {
    int order = CompareNames(source[s].cFileName, destination[d].cFileName);
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

void ProcessDirectoryPair() {
  if (OptionSet(kLogDirectories))
    WriteLogLine(L"directory", DestinationPath);
  EntryList sourceFiles, sourceDirectories, destinationFiles, destinationDirectories;
  // Source entries too long to list stay in the lists, marked, so that their destination
  // counterparts are kept rather than taken for destination-only entries.
  if (!ListSourceDirectory(SourcePath, sourceFiles, sourceDirectories))
    return;
  if (!ListDirectory(DestinationPath, destinationFiles, destinationDirectories, kDestinationSide))
    return;
  Summary.SourceEntries += sourceFiles.Entries.size() + sourceDirectories.Entries.size();
  Summary.DestinationEntries +=
      destinationFiles.Entries.size() + destinationDirectories.Entries.size();
  ShowProgress(SourcePath);
  MergeEntryLists(sourceDirectories, destinationDirectories, ProcessExtraDirectory);
  MergeEntryLists(sourceFiles, destinationFiles, ProcessFileEntry);
  MergeEntryLists(sourceDirectories, destinationDirectories, ProcessDirectoryEntry);
}
