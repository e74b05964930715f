#include "sync/copies_in_flight.h"

#include <atomic>
#include <cstdlib>

#include "settings/options.h"
#include "output/console.h"
#include "sync/run_summary.h"

namespace {

// Handing a copy over costs a wake-up or two, and two copies into one directory of a fast local
// disk take longer side by side than one after the other: a small file goes to a worker only
// where copies wait on their device (a USB drive, a network share), as the copies so far tell.
const uint64_t kLargeCopy = 64 * 1024;
const int64_t kSlowCopyNanoseconds = 200 * 1000;
std::atomic<int64_t> typicalCopyNanoseconds{0};  // a running average of every copy's time

// Whether an entry of directory may have other names: as its listing counts them, or else as
// the file system tells (Windows).
bool MayHaveOtherNames(const OpenDirectory& directory, const DirectoryEntry& entry) {
  return kNamesCounted ? LinkCountOf(entry.Permissions) >= 2
                       : CountNamesAt(directory, WideName(entry.Name)) != 1;
}

// Takes the oldest copy's outcome: its reports and the texts held after it are written, a good
// copy counted and its source's archive attribute cleared (the reports of that come where one
// thread writes them: after the copy's).
void FinishOldestCopy(Pass& pass) {
  CopyInFlight& copy = pass.Copies.front();
  copy.Task->Wait();
  // Written, not held: this copy's texts come before everything still in flight.
  std::vector<HeldText>* holding = HoldTextsIn(nullptr);
  WriteHeldTexts(copy.Reports);
  if (copy.Copied) {
    CountCopy(pass.Summary, pass.Summary.*copy.Counter, *copy.Source);
    ClearSourceArchive(*copy.SourceDirectory, *copy.Source, copy.SourcePath);
  }
  WriteHeldTexts(copy.After);
  bool last = pass.Copies.size() == 1;
  pass.Copies.pop_front();
  HoldTextsIn(last ? nullptr : holding);
}

}  // namespace

bool CopyFileReported(const OpenDirectory& from, const OpenDirectory& to, const wchar_t* name,
                      const std::wstring& sourcePath, bool replace, uint32_t replacedAttributes) {
  int64_t start = SteadyNanoseconds();
  bool copied = CopyFileAt(from, name, to, name, replace, replacedAttributes);
  int64_t typical = typicalCopyNanoseconds.load(std::memory_order_relaxed);
  typicalCopyNanoseconds.store(typical + (SteadyNanoseconds() - start - typical) / 8,
                               std::memory_order_relaxed);
  if (copied)
    return true;
  ReportSystemError(L"Unable to copy %s", sourcePath.c_str());
  return false;
}

bool CopyMayRunAhead(const Pass& pass, const DirectoryEntry& source,
                     const DirectoryEntry* replaced) {
  if (!WorkersRunning() || OptionSet(kXattrs))
    return false;
  bool everyCopy = false;
#ifdef TANDREL_TEST_HOOKS
  // Test builds: every copy may go (TANDREL_EVERY_COPY_AHEAD), whatever the files and the disk.
  static const bool everyCopyAsked = std::getenv("TANDREL_EVERY_COPY_AHEAD") != nullptr;
  everyCopy = everyCopyAsked;
#endif
  if (!everyCopy && EntrySize(source) < kLargeCopy &&
      typicalCopyNanoseconds.load(std::memory_order_relaxed) < kSlowCopyNanoseconds)
    return false;
  if ((OptionSet(kHardLinks) || OptionSet(kUnsetArchive)) &&
      MayHaveOtherNames(pass.Source.Directory(), source))
    return false;
  return replaced == nullptr || !MayHaveOtherNames(pass.Destination.Directory(), *replaced);
}

void AwaitCopiesBeforeChanging(Pass& pass, const OpenDirectory& directory,
                               const DirectoryEntry& destination) {
  if (!pass.Copies.empty() && !(destination.Attributes & kAttributeDirectory) &&
      MayHaveOtherNames(directory, destination))
    FinishCopies(pass);
}

void StartCopy(Pass& pass, const DirectoryEntry& source, const std::wstring& sourcePath,
               bool replace, uint32_t replacedAttributes, unsigned long RunSummary::*counter) {
  // A bounded number in flight: enough to keep every worker busy, few held texts.
  if (pass.Copies.size() >= 2 * static_cast<size_t>(OptionValue(kThreads)))
    FinishOldestCopy(pass);
  CopyInFlight& copy = pass.Copies.emplace_back();
  copy.SourceDirectory = &pass.Source.Directory();
  copy.DestinationDirectory = &pass.Destination.Directory();
  copy.Source = &source;
  copy.SourcePath = sourcePath;
  copy.Counter = counter;
  copy.Task = RunOnWorker([&copy, replace, replacedAttributes] {
    HoldTexts hold(copy.Reports);
    copy.Copied =
        CopyFileReported(*copy.SourceDirectory, *copy.DestinationDirectory,
                         WideName(copy.Source->Name), copy.SourcePath, replace, replacedAttributes);
  });
  HoldTextsIn(&copy.After);
}

void ClearSourceArchive(const OpenDirectory& directory, const DirectoryEntry& entry,
                        const std::wstring& path) {
  uint32_t attributes = entry.Attributes;
  if (!OptionSet(kVirtual) && OptionSet(kUnsetArchive) && (attributes & kAttributeArchive)) {
    if (!SetAttributesAt(directory, WideName(entry.Name), attributes & ~kAttributeArchive) &&
        AttributeFailureReported()) {
      ReportSystemError(L"Unable to set attributes %s", path.c_str());
    }
  }
}

void AwaitCopiesOfName(Pass& pass, const NameChar* name) {
  for (const CopyInFlight& copy : pass.Copies) {
    if (copy.DestinationDirectory == &pass.Destination.Directory() &&
        CompareIgnoringCase(copy.Source->Name, name) == 0) {
      FinishCopies(pass);
      return;
    }
  }
}

void FinishCopies(Pass& pass) {
  while (!pass.Copies.empty()) FinishOldestCopy(pass);
}
