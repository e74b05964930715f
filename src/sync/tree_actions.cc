#include "sync/tree_actions.h"

#include "settings/options.h"
#include "output/console.h"
#include "scan/path_text.h"
#include "sync/copies_in_flight.h"
#include "sync/directory_pass.h"
#include "sync/file_actions.h"
#include "sync/listing_ahead.h"
#include "sync/metadata.h"
#include "sync/walk_guard.h"
#include "sync/run_summary.h"

namespace {

bool IsDirectoryLink(const DirectoryEntry& entry) {
  return (entry.Attributes & kAttributeDirectory) && (entry.Attributes & kAttributeReparsePoint);
}

// A junction or directory link is removed as a link; what it points to is never touched.
bool RemoveDirectoryLink(const OpenDirectory& parent, const wchar_t* name,
                         const std::wstring& path) {
  if (OptionSet(kVirtual) || RemoveDirectoryAt(parent, name))
    return true;
  ReportSystemError(L"Unable to delete directory %s", path.c_str());
  return false;
}

// A new directory whose name is taken by a directory (one differing in case alone, on a drive
// that folds case) is entered; a file or a link (left out of the listing by --no-junctions: it
// may lead anywhere, into the source too) that took its name fails the whole tree.
bool DirectoryAlreadyThere(const OpenDirectory& parent, const wchar_t* name) {
  if (LastErrorCode() != kErrorNameTaken)
    return false;
  uint32_t attributes = ReadAttributesAt(parent, name);
  if (attributes != kInvalidAttributes &&
      (attributes & (kAttributeDirectory | kAttributeReparsePoint)) == kAttributeDirectory)
    return true;
  SetErrorCode(kErrorNameTaken);
  return false;
}

// Under directory-times, gives the destination directory the source's modification time once
// its contents are done (a copy into a directory changes its time). The current destination
// directory is its parent, the destination path its own.
void SetDirectoryTime(Pass& pass, const DirectoryEntry& source) {
  if (!OptionSet(kDirectoryTimes) || OptionSet(kVirtual))
    return;
  if (!SetWriteTimeAt(pass.Destination.Directory(), WideName(source.Name), source.WriteTime))
    ReportSystemError(L"Unable to set modification time %s", pass.Destination.Path.c_str());
}

}  // namespace

bool DeleteTree(Pass& pass, const OpenDirectory& parent, const wchar_t* name,
                const std::wstring& directoryPath, bool* keptOut) {
  if (OptionSet(kLogDirectories))
    WriteLogLine(L"directory", directoryPath.c_str());
  // The tree is seen as the pair walk sees it: what the filter or no-junctions leaves out stays,
  // and with it this directory. It is opened as itself, never through a link.
  OpenDirectory directory;
  if (!OpenChildDirectory(parent, name, false, &directory)) {
    ReportSystemError(L"Unable to browse directory %s", directoryPath.c_str());
    return false;
  }
  EntryList files, subdirectories;
  bool succeeded = true, kept = false;
  if (!ListDirectory(directory, directoryPath, files, subdirectories, kDestinationSide, &kept))
    return false;
  pass.Summary.DestinationEntries += files.Entries.size() + subdirectories.Entries.size();
  ShowProgress(pass.Summary, directoryPath);
  std::wstring path;
  for (const DirectoryEntry& entry : subdirectories.Entries) {
    if (EntryFiltered(&entry)) {
      kept = true;
      continue;
    }
    if (!CombinePath(&path, directoryPath, WideName(entry.Name)))
      continue;
    // A sub-directory that keeps what the filter protects stays, and with it this one: no
    // failure.
    bool subdirectoryKept = false;
    bool removed = IsDirectoryLink(entry)
                       ? RemoveDirectoryLink(directory, WideName(entry.Name), path)
                       : DeleteTree(pass, directory, WideName(entry.Name), path, &subdirectoryKept);
    if (subdirectoryKept)
      kept = true;
    else if (!removed)
      succeeded = false;
  }
  for (const DirectoryEntry& entry : files.Entries) {
    ShowProgress(pass.Summary, directoryPath);
    if (EntryFiltered(&entry)) {
      kept = true;
    } else if (CombinePath(&path, directoryPath, WideName(entry.Name)) &&
               !DeleteDestinationFile(pass, directory, entry, path)) {
      succeeded = false;
    }
  }
  if (!OptionSet(kVirtual) && succeeded && !kept && !RemoveDirectoryAt(parent, name)) {
    ReportSystemError(L"Unable to delete directory %s", directoryPath.c_str());
    succeeded = false;
  }
  if (keptOut != nullptr)
    *keptOut = kept;
  return succeeded;
}

void ProcessExtraDirectory(Pass& pass, const DirectoryEntry* source,
                           const DirectoryEntry* destination) {
  if (source != nullptr)
    return;
  std::wstring path;
  if (!CombinePath(&path, pass.Destination.Path, WideName(destination->Name)))
    return;
  if (OptionSet(kNoDelete)) {
    if (OptionSet(kLogIgnored))
      WriteLogLine(L"ignore dir", path.c_str());
    pass.Summary.Ignored++;
    return;
  }
  if (OptionSet(kLogChanges))
    WriteLogLine(L"delete dir", path.c_str());
  // Counted when it is gone (in virtual mode, would be): not when it failed, nor when it stays
  // for what the filter keeps in it.
  const OpenDirectory& parent = pass.Destination.Directory();
  bool kept = false;
  if (IsDirectoryLink(*destination)
          ? RemoveDirectoryLink(parent, WideName(destination->Name), path)
          : DeleteTree(pass, parent, WideName(destination->Name), path, &kept) && !kept)
    pass.Summary.DirectoriesDeleted++;
}

namespace {

// Makes the new destination directory and opens it (in virtual mode neither: its place is held
// by a directory that is not open, never used since nothing is written). False when it could not
// be made or opened (reported).
bool MakeNewDirectory(Pass& pass, const DirectoryEntry& source) {
  WalkSide& side = pass.Destination;
  if (OptionSet(kVirtual)) {
    side.Levels.emplace_back();
    return true;
  }
  const OpenDirectory& sourceParent = pass.Source.Levels[pass.Source.Levels.size() - 2];
  WideName name(source.Name);
  if (!MakeDirectoryAt(sourceParent, name, side.Directory(), name) &&
      !DirectoryAlreadyThere(side.Directory(), name)) {
    ReportSystemError(L"Unable to create directory %s", side.Path.c_str());
    return false;
  }
  ReportRefusedAttributes(side.Path);
  return EnterSideDirectory(side, name, false);
}

}  // namespace

void CopyNewTree(Pass& pass, const DirectoryEntry& source) {
  if (!ExtendPathPair(pass, WideName(source.Name)))
    return;
  EnterSourceDirectory(pass, source);
  const size_t sourceLevels = pass.Source.Levels.size();
  const size_t destinationLevels = pass.Destination.Levels.size();
  bool complete = false;
  if (OptionSet(kLogDirectories))
    WriteLogLine(L"directory", pass.Destination.Path.c_str());
  // Listed before it is made: a source directory that cannot be read is reported as such, and
  // leaves no empty copy that would pass for its backup.
  EntryList files, subdirectories;
  bool listed = EnterSideDirectory(pass.Source, WideName(source.Name),
                                   (source.Attributes & kAttributeReparsePoint) != 0) &&
                ListSourceDirectory(pass, files, subdirectories);
  if (listed && MakeNewDirectory(pass, source)) {
    pass.Summary.SourceEntries += files.Entries.size() + subdirectories.Entries.size();
    // As the pair walk lists it: files, then sub-directories, each in name order. Marked entries
    // are not copied: those too long to list were reported by the listing, and the filter left
    // out the others.
    complete = true;
    for (const DirectoryEntry& entry : files.Entries) {
      ShowProgress(pass.Summary, pass.Source.Path);
      if (entry.Mark != 0)
        continue;
      AwaitCopiesOfName(pass, entry.Name);
      AddFile(pass, entry);
    }
    for (const DirectoryEntry& entry : subdirectories.Entries) {
      if (EntryLoop(&entry)) {
        ReportLoop(pass.Source.Path, WideName(entry.Name));
      } else if (entry.Mark == 0) {
        AwaitCopiesOfName(pass, entry.Name);
        CopyNewTree(pass, entry);
      }
    }
    FinishCopies(pass);
  }
  pass.Source.Levels.resize(sourceLevels);
  pass.Destination.Levels.resize(destinationLevels);
  // A directory listed to the end counts as backed up.
  if (complete) {
    SetDirectoryTime(pass, source);
    ClearSourceArchive(pass.Source.Directory(), source, pass.Source.Path);
  }
  LeaveSourceDirectory(pass);
  StripPath(pass.Source);
  StripPath(pass.Destination);
}

void ProcessDirectoryEntry(Pass& pass, const DirectoryEntry* source,
                           const DirectoryEntry* destination) {
  if (source == nullptr)
    return;
  if (EntryTooLong(source)) {
    if (destination != nullptr)
      KeepDestinationEntry(pass, *destination);
    return;
  }
  if (EntryLoop(source)) {
    ReportLoop(pass.Source.Path, WideName(source->Name));
    return;
  }
  if (destination == nullptr) {
    if (OptionSet(kNoAdd)) {
      LogIgnoredSourceEntry(pass, *source);
      return;
    }
    CopyNewTree(pass, *source);
    return;
  }
  if (!ExtendPath(pass.Destination, WideName(source->Name)))
    return;
  if ((destination->Attributes & kAttributeReparsePoint) &&
      !DestinationLinkLeadsOutside(pass, WideName(destination->Name))) {
    ReportLoop(pass.Destination.Path);
  } else {
    AwaitListedPair(pass, source);
    UpdateMetadata(pass, pass.Destination.Path, *source, *destination, true);
    if (ExtendPath(pass.Source, WideName(source->Name))) {
      EnterSourceDirectory(pass, *source);
      // A destination link (leading outside both trees) keeps its own time.
      if (ProcessDirectoryPair(pass, source, destination) &&
          !(destination->Attributes & kAttributeReparsePoint))
        SetDirectoryTime(pass, *source);
      LeaveSourceDirectory(pass);
      ClearSourceArchive(pass.Source.Directory(), *source, pass.Source.Path);
      StripPath(pass.Source);
    }
  }
  StripPath(pass.Destination);
}
