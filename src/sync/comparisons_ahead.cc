#include "sync/comparisons_ahead.h"

#include "settings/options.h"
#include "sync/compare.h"
#include "sync/directory_pass.h"

namespace {

// Keeps twice as many comparisons started as there are threads.
void StartMore(Pass& pass, ComparisonsAhead& ahead) {
  const size_t limit = ahead.Taken + 2 * static_cast<size_t>(OptionValue(kThreads));
  const OpenDirectory *from = &pass.Source.Directory(), *to = &pass.Destination.Directory();
  for (; ahead.Started < ahead.Pairs.size() && ahead.Started < limit; ahead.Started++) {
    ComparisonAhead& pair = ahead.Pairs[ahead.Started];
    pair.Task = RunOnWorker([&pair, from, to] {
      pair.Equal = CompareContents(*from, *to, *pair.Source, *pair.Destination);
    });
  }
}

// Whether the walk compares the pair by its contents.
bool ContentsDecide(const DirectoryEntry* source, const DirectoryEntry* destination) {
  if (source == nullptr || destination == nullptr || EntryTooLong(source) || IsLinkEntry(source) ||
      IsLinkEntry(destination))
    return false;
  PairTimes times;
  bool timesEqual;
  return JudgeListedPair(*source, *destination, &times, &timesEqual) ==
         ListedVerdict::kReadContents;
}

// MergeEntryLists' handler while planning: the pairs the walk will compare by their contents.
// Names differing in letter case alone (POSIX) are left to the walk: on a drive that folds case
// they are one file, which the walk may change between them.
void PlanComparison(Pass& pass, const DirectoryEntry* source, const DirectoryEntry* destination) {
  ComparisonsAhead& ahead = *pass.Compared;
  const NameChar* name = source != nullptr ? source->Name : destination->Name;
  bool sameLetters =
      ahead.PreviousName != nullptr && CompareIgnoringCase(ahead.PreviousName, name) == 0;
  if (sameLetters && ahead.PreviousPlanned)
    ahead.Pairs.pop_back();
  ahead.PreviousName = name;
  ahead.PreviousPlanned = !sameLetters && ContentsDecide(source, destination);
  if (ahead.PreviousPlanned)
    ahead.Pairs.push_back({source, destination, false, std::nullopt});
}

}  // namespace

void StartComparisonsAhead(Pass& pass, const EntryList& sourceFiles,
                           const EntryList& destinationFiles, ComparisonsAhead& ahead) {
  if (!WorkersRunning() || !(OptionSet(kCompareContents) || OptionSet(kTimeCompareContents)))
    return;
  pass.Compared = &ahead;
  MergeEntryLists(pass, sourceFiles, destinationFiles, PlanComparison);
  StartMore(pass, ahead);
}

const bool* TakeComparison(Pass& pass, const DirectoryEntry& source) {
  ComparisonsAhead* ahead = pass.Compared;
  if (ahead == nullptr || ahead->Taken == ahead->Pairs.size() ||
      ahead->Pairs[ahead->Taken].Source != &source)
    return nullptr;
  ComparisonAhead& pair = ahead->Pairs[ahead->Taken++];
  StartMore(pass, *ahead);
  pair.Task->Wait();
  return &pair.Equal;
}

void FinishComparisonsAhead(Pass& pass, ComparisonsAhead& ahead) {
  for (size_t i = ahead.Taken; i < ahead.Started; i++) ahead.Pairs[i].Task->Wait();
  pass.Compared = nullptr;
}
