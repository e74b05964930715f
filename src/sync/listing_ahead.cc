#include "sync/listing_ahead.h"

#include "scan/path_text.h"
#include "settings/options.h"

namespace {

bool IsPlainDirectory(const DirectoryEntry& entry) {
  return entry.Mark == 0 && entry.Link == 0 && !(entry.Attributes & kAttributeReparsePoint);
}

// Opens name below parent and lists it as side; what it writes goes to texts.
bool OpenAndListAhead(const OpenDirectory& parent, const wchar_t* name, const std::wstring& path,
                      OpenDirectory& directory, EntryList& files, EntryList& subdirectories,
                      ListingSide side, std::vector<HeldText>& texts) {
  HoldTexts hold(texts);
  if (!OpenChildDirectory(parent, name, false, &directory)) {
    ReportSystemError(L"Unable to browse directory %s", path.c_str());
    return false;
  }
  return ListDirectory(directory, path, files, subdirectories, side);
}

void WaitForPair(ListedPair& pair) {
  pair.SourceTask->Wait();
  pair.DestinationTask->Wait();
}

// Starts pairs in walk order while fewer than two per thread are ahead: enough to keep every
// worker busy, little memory.
void StartMore(Pass& pass, ListingAhead& ahead) {
  const int limit = 2 * OptionValue(kThreads);
  for (; ahead.Started < ahead.Pairs.size() && pass.PairsAhead < limit; ahead.Started++) {
    ListedPair* pair = ahead.Pairs[ahead.Started].get();
    const OpenDirectory *source = ahead.SourceParent, *destination = ahead.DestinationParent;
    pass.PairsAhead++;
    pair->SourceTask = RunOnWorker([pair, source] {
      pair->SourceListed = OpenAndListAhead(
          *source, WideName(pair->Source->Name), pair->SourcePath, pair->SourceDirectory,
          pair->SourceFiles, pair->SourceDirectories, kSourceSide, pair->SourceTexts);
    });
    pair->DestinationTask = RunOnWorker([pair, destination] {
      pair->DestinationListed =
          OpenAndListAhead(*destination, WideName(pair->Destination->Name), pair->DestinationPath,
                           pair->DestinationDirectory, pair->DestinationFiles,
                           pair->DestinationDirectories, kDestinationSide, pair->DestinationTexts);
    });
  }
}

}  // namespace

void StartListingAhead(Pass& pass, const EntryList& sourceDirectories,
                       const EntryList& destinationDirectories, ListingAhead& ahead) {
  ahead.Outer = pass.Ahead;
  pass.Ahead = &ahead;
  if (!WorkersRunning())
    return;
  ahead.SourceParent = &pass.Source.Directory();
  ahead.DestinationParent = &pass.Destination.Directory();
  const EntryArray& source = sourceDirectories.Entries;
  const EntryArray& destination = destinationDirectories.Entries;
  for (size_t s = 0, d = 0; s < source.size() && d < destination.size();) {
    int order = CompareNames(source[s].Name, destination[d].Name);
    if (order == 0 && IsPlainDirectory(source[s]) && IsPlainDirectory(destination[d])) {
      auto pair = std::make_unique<ListedPair>();
      pair->Source = &source[s];
      pair->Destination = &destination[d];
      // Paths that do not fit are left to the walk, which reports them.
      if (JoinWithinLimit(&pair->SourcePath, pass.Source.Path, WideName(source[s].Name)) &&
          JoinWithinLimit(&pair->DestinationPath, pass.Destination.Path, WideName(source[s].Name)))
        ahead.Pairs.push_back(std::move(pair));
    }
    s += order <= 0 ? 1 : 0;
    d += order >= 0 ? 1 : 0;
  }
  StartMore(pass, ahead);
}

void FinishListingAhead(Pass& pass, ListingAhead& ahead) {
  for (size_t i = ahead.Taken; i < ahead.Started; i++) {
    WaitForPair(*ahead.Pairs[i]);
    pass.PairsAhead--;
  }
  pass.Ahead = ahead.Outer;
}

void AwaitListedPair(Pass& pass, const DirectoryEntry* source) {
  ListingAhead* ahead = pass.Ahead;
  for (size_t i = ahead != nullptr ? ahead->Taken : 0; ahead != nullptr && i < ahead->Started;
       i++) {
    if (ahead->Pairs[i]->Source == source)
      WaitForPair(*ahead->Pairs[i]);
  }
}

std::unique_ptr<ListedPair> TakeListedPair(Pass& pass, const DirectoryEntry* source) {
  ListingAhead* ahead = pass.Ahead;
  if (ahead == nullptr)
    return nullptr;
  size_t i = ahead->Taken;
  while (i < ahead->Pairs.size() && ahead->Pairs[i]->Source != source) i++;
  if (i == ahead->Pairs.size())
    return nullptr;
  // The walk has passed the pairs before this one: they go, once their workers are done.
  std::unique_ptr<ListedPair> pair;
  for (; ahead->Taken <= i; ahead->Taken++) {
    pair = std::move(ahead->Pairs[ahead->Taken]);
    if (ahead->Taken < ahead->Started) {
      WaitForPair(*pair);
      pass.PairsAhead--;
    } else {
      pair.reset();
    }
  }
  if (ahead->Started < ahead->Taken)
    ahead->Started = ahead->Taken;
  StartMore(pass, *ahead);
  return pair;
}
