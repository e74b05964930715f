#include "sync/file_actions.h"

#include "settings/options.h"
#include "output/console.h"
#include "scan/path_text.h"
#include "sync/compare.h"
#include "sync/comparisons_ahead.h"
#include "sync/copies_in_flight.h"
#include "sync/metadata.h"
#include "sync/run_summary.h"

namespace {

void LogIf(OptionRow option, const wchar_t* label, const std::wstring& path) {
  if (OptionSet(option))
    WriteLogLine(label, path.c_str());
}

// Copies the source file of the current pair into place under its name (see CopyFileAt),
// reporting a failure with the source path.
bool CopySourceFile(Pass& pass, const DirectoryEntry& source, const std::wstring& sourcePath,
                    bool replace, uint32_t replacedAttributes) {
  if (!CopyFileReported(pass.Source.Directory(), pass.Destination.Directory(),
                        WideName(source.Name), sourcePath, replace, replacedAttributes))
    return false;
  ReportRefusedAttributes(pass.Destination.Path, WideName(source.Name));
  return true;
}

// Under hard-links, the key of a source file with other names; false for any other file.
bool HardLinkKey(const DirectoryEntry& source, std::pair<uint64_t, uint64_t>* key) {
  if (!OptionSet(kHardLinks) || !source.IdentityKnown || source.Link != 0 ||
      LinkCountOf(source.Permissions) < 2)
    return false;
  FileIdentity identity = UnpackIdentity(source.Identity);
  *key = {identity.volume, identity.index};
  return true;
}

// Remembers the destination name of a source file with other names (path as printed, kept
// relative to the destination root), the first one it gets: its other names are linked to it.
void RememberHardLink(Pass& pass, const DirectoryEntry& source, const std::wstring& path) {
  std::pair<uint64_t, uint64_t> key;
  if (!HardLinkKey(source, &key))
    return;
  const WalkSide& side = pass.Destination;
  size_t start = side.Lengths.empty() ? side.Path.size() : side.Lengths[0];
  while (start < path.size() && (path[start] == L'/' || path[start] == L'\\')) start++;
  pass.HardLinks.emplace(key, path.substr(start));
}

// Makes the destination name of the current pair a symbolic link with the source link's target
// text (read into *target when empty); a failure is reported with the source path.
bool CopySourceLink(Pass& pass, const DirectoryEntry& source, const std::wstring& sourcePath,
                    std::wstring* target) {
  if ((!target->empty() || ReadLinkAt(pass.Source.Directory(), WideName(source.Name), target)) &&
      MakeLinkAt(pass.Destination.Directory(), WideName(source.Name), *target,
                 source.Link == kDirectoryLink))
    return true;
  ReportSystemError(L"Unable to copy %s", sourcePath.c_str());
  return false;
}

// The source file of the current pair as a new name of a file already in the destination, when
// it has other names and one of them was copied there (hard-links); else copied (an add).
bool AddSourceFile(Pass& pass, const DirectoryEntry& source, const std::wstring& sourcePath,
                   bool* linked) {
  std::pair<uint64_t, uint64_t> key;
  auto copied = HardLinkKey(source, &key) ? pass.HardLinks.find(key) : pass.HardLinks.end();
  *linked = copied != pass.HardLinks.end();
  if (!*linked)
    return CopySourceFile(pass, source, sourcePath, false, 0);
  if (LinkFileAt(pass.Destination.Levels.front(), copied->second.c_str(),
                 pass.Destination.Directory(), WideName(source.Name)))
    return true;
  ReportSystemError(L"Unable to copy %s", sourcePath.c_str());
  return false;
}

}  // namespace

bool DeleteDestinationFile(Pass& pass, const OpenDirectory& directory, const DirectoryEntry& entry,
                           const std::wstring& path) {
  if (OptionSet(kVirtual))
    return true;
  AwaitCopiesBeforeChanging(pass, directory, entry);
  bool deleted = (entry.Link == kDirectoryLink
                      ? RemoveDirectoryAt(directory, WideName(entry.Name))
                      : DeleteFileAt(directory, WideName(entry.Name), entry.Attributes)) ||
                 LastErrorCode() == kErrorNotFound;
  if (!deleted)
    ReportSystemError(L"Unable to delete %s", path.c_str());
  return deleted;
}

void KeepDestinationEntry(Pass& pass, const DirectoryEntry& destination) {
  pass.Summary.Ignored++;
  std::wstring path;
  if (OptionSet(kLogIgnored) &&
      CombinePath(&path, pass.Destination.Path, WideName(destination.Name)))
    WriteLogLine(L"ignore", path.c_str());
}

void LogIgnoredSourceEntry(Pass& pass, const DirectoryEntry& source) {
  pass.Summary.Ignored++;
  std::wstring path;
  if (OptionSet(kLogIgnored) && CombinePath(&path, pass.Source.Path, WideName(source.Name)))
    WriteLogLine(L"ignore", path.c_str());
}

void AddFile(Pass& pass, const DirectoryEntry& source) {
  if (OptionSet(kNoAdd)) {
    LogIgnoredSourceEntry(pass, source);
    return;
  }
  std::wstring sourceFile, destinationFile;
  WideName name(source.Name);
  if (OptionSet(kLogChanges) && CombinePath(&destinationFile, pass.Destination.Path, name))
    WriteLogLine(L"add", destinationFile.c_str());
  if (OptionSet(kVirtual)) {
    CountCopy(pass.Summary, pass.Summary.Added, source);
    return;
  }
  if (!CombinePath(&sourceFile, pass.Source.Path, name) ||
      !CombinePath(&destinationFile, pass.Destination.Path, name)) {
    return;
  }
  if (source.Link == 0 && CopyMayRunAhead(pass, source)) {
    StartCopy(pass, source, sourceFile, false, 0, &RunSummary::Added);
    return;
  }
  // The archive attribute says the file is not backed up yet: it goes only with a good copy.
  bool linked = source.Link != 0;
  std::wstring target;
  if (linked ? CopySourceLink(pass, source, sourceFile, &target)
             : AddSourceFile(pass, source, sourceFile, &linked)) {
    if (linked)
      pass.Summary.Added++;  // no bytes copied
    else
      CountCopy(pass.Summary, pass.Summary.Added, source);
    RememberHardLink(pass, source, destinationFile);
    if (source.Link == 0)
      ClearSourceArchive(pass.Source.Directory(), source, sourceFile);
  }
}

namespace {

// Under symlinks, a pair of which one side or both are links: equal when both are links with
// the same target text; else the destination entry is replaced (deleted as what it is, then the
// link made or the file copied), with an "update" line.
void ProcessLinkPair(Pass& pass, const DirectoryEntry& source, const DirectoryEntry& destination,
                     const std::wstring& sourceFile, const std::wstring& destinationFile) {
  RunSummary& summary = pass.Summary;
  std::wstring target, existing;
  if (source.Link != 0 && !ReadLinkAt(pass.Source.Directory(), WideName(source.Name), &target)) {
    ReportSystemError(L"Unable to copy %s", sourceFile.c_str());
    return;
  }
  if (source.Link != 0 && destination.Link != 0 &&
      ReadLinkAt(pass.Destination.Directory(), WideName(destination.Name), &existing) &&
      existing == target) {
    LogIf(kLogEqual, L"equal", destinationFile);
    summary.Equal++;
    return;
  }
  if (OptionSet(kNoUpdate)) {
    LogIf(kLogIgnored, L"ignore", destinationFile);
    summary.Ignored++;
    return;
  }
  LogIf(kLogChanges, L"update", destinationFile);
  if (OptionSet(kVirtual)) {
    summary.Updated++;
    return;
  }
  if (!DeleteDestinationFile(pass, pass.Destination.Directory(), destination, destinationFile))
    return;
  if (source.Link != 0 ? CopySourceLink(pass, source, sourceFile, &target)
                       : CopySourceFile(pass, source, sourceFile, false, 0)) {
    summary.Updated++;
    if (source.Link == 0)
      ClearSourceArchive(pass.Source.Directory(), source, sourceFile);
  }
}

}  // namespace

void ProcessFileEntry(Pass& pass, const DirectoryEntry* source, const DirectoryEntry* destination) {
  RunSummary& summary = pass.Summary;
  ShowProgress(summary, pass.Source.Path);
  if (EntryTooLong(source)) {
    if (destination != nullptr)
      KeepDestinationEntry(pass, *destination);
    return;
  }
  if (source == nullptr) {
    std::wstring destinationFile;
    if (!CombinePath(&destinationFile, pass.Destination.Path, WideName(destination->Name)))
      return;
    if (OptionSet(kNoDelete)) {
      LogIf(kLogIgnored, L"ignore", destinationFile);
      summary.Ignored++;
      return;
    }
    LogIf(kLogChanges, L"delete", destinationFile);
    if (DeleteDestinationFile(pass, pass.Destination.Directory(), *destination, destinationFile))
      summary.Deleted++;
    return;
  }
  if (destination == nullptr) {
    AddFile(pass, *source);
    return;
  }

  std::wstring sourceFile, destinationFile;
  WideName name(source->Name);
  if (!CombinePath(&sourceFile, pass.Source.Path, name))
    return;
  if (!CombinePath(&destinationFile, pass.Destination.Path, name))
    return;
  if (IsLinkEntry(source) || IsLinkEntry(destination)) {
    ProcessLinkPair(pass, *source, *destination, sourceFile, destinationFile);
    return;
  }
  bool timesEqual;
  if (CompareFiles(pass.Source.Directory(), pass.Destination.Directory(), destinationFile, *source,
                   *destination, timesEqual, TakeComparison(pass, *source))) {
    LogIf(kLogEqual, L"equal", destinationFile);
    summary.Equal++;
    UpdateMetadata(pass, destinationFile, *source, *destination, timesEqual);
    RememberHardLink(pass, *source, destinationFile);
  } else if (OptionSet(kNoUpdate)) {
    LogIf(kLogIgnored, L"ignore", destinationFile);
    summary.Ignored++;
    return;
  } else {
    LogIf(kLogChanges, L"update", destinationFile);
    if (OptionSet(kVirtual)) {
      CountCopy(summary, summary.Updated, *source);
      return;
    }
    // A failed copy leaves the old file as it was, attributes included, and the archive
    // attribute set, so the next run still sees the change.
    if (CopyMayRunAhead(pass, *source, destination)) {
      StartCopy(pass, *source, sourceFile, true, destination->Attributes, &RunSummary::Updated);
      return;
    }
    AwaitCopiesBeforeChanging(pass, pass.Destination.Directory(), *destination);
    if (!CopySourceFile(pass, *source, sourceFile, true, destination->Attributes))
      return;
    CountCopy(summary, summary.Updated, *source);
    RememberHardLink(pass, *source, destinationFile);
  }
  ClearSourceArchive(pass.Source.Directory(), *source, sourceFile);
}
