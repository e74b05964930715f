#include "sync/tree_actions.h"

#include "settings/options.h"
#include "output/console.h"
#include "sync/directory_pass.h"
#include "sync/file_actions.h"
#include "sync/metadata.h"
#include "sync/paths.h"
#include "sync/walk_guard.h"
#include "sync/run_summary.h"

namespace {

bool IsDirectoryLink(const DirectoryEntry& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A junction or directory link is removed as a link; what it points to is never touched.
bool RemoveDirectoryLink(const wchar_t* path) {
  if (OptionSet(kVirtual) || RemoveDirectoryW(path))
    return true;
  ReportSystemError(L"Unable to delete directory %s", path);
  return false;
}

// A new directory whose name is taken by a directory (one differing in case alone, on a drive
// that folds case) is entered; a file or a link (left out of the listing by --no-junctions: it
// may lead anywhere, into the source too) that took its name fails the whole tree.
bool DirectoryAlreadyThere(const wchar_t* path) {
  if (GetLastError() != ERROR_ALREADY_EXISTS)
    return false;
  DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
          FILE_ATTRIBUTE_DIRECTORY)
    return true;
  SetLastError(ERROR_ALREADY_EXISTS);
  return false;
}

}  // namespace

bool DeleteTree(const wchar_t* directory, bool* keptOut) {
  if (OptionSet(kLogDirectories))
    WriteLogLine(L"directory", directory);
  // The tree is seen as the pair walk sees it: what the filter or no-junctions leaves out stays,
  // and with it this directory.
  EntryList files, subdirectories;
  bool succeeded = true, kept = false;
  if (!ListDirectory(directory, files, subdirectories, kDestinationSide, &kept))
    return false;
  Summary.DestinationEntries += files.Entries.size() + subdirectories.Entries.size();
  ShowProgress(directory);
  PathBuffer path;
  for (const DirectoryEntry& entry : subdirectories.Entries) {
    if (EntryFiltered(&entry)) {
      kept = true;
      continue;
    }
    if (!CombinePath(path.get(), directory, entry.cFileName))
      continue;
    // A sub-directory that keeps what the filter protects stays, and with it this one: no
    // failure.
    bool subdirectoryKept = false;
    bool removed = IsDirectoryLink(entry) ? RemoveDirectoryLink(path.get())
                                          : DeleteTree(path.get(), &subdirectoryKept);
    if (subdirectoryKept)
      kept = true;
    else if (!removed)
      succeeded = false;
  }
  for (const DirectoryEntry& entry : files.Entries) {
    ShowProgress(directory);
    if (EntryFiltered(&entry)) {
      kept = true;
    } else if (CombinePath(path.get(), directory, entry.cFileName) &&
               !DeleteDestinationFile(path.get(), entry.dwFileAttributes)) {
      succeeded = false;
    }
  }
  if (!OptionSet(kVirtual) && succeeded && !kept && !RemoveDirectoryW(directory)) {
    ReportSystemError(L"Unable to delete directory %s", directory);
    succeeded = false;
  }
  if (keptOut != nullptr)
    *keptOut = kept;
  return succeeded;
}

void ProcessExtraDirectory(const DirectoryEntry* source, const DirectoryEntry* destination) {
  if (source != nullptr)
    return;
  PathBuffer path;
  if (!CombinePath(path.get(), DestinationPath, destination->cFileName))
    return;
  if (OptionSet(kNoDelete)) {
    if (OptionSet(kLogIgnored))
      WriteLogLine(L"ignore dir", path.get());
    Summary.Ignored++;
    return;
  }
  if (OptionSet(kLogChanges))
    WriteLogLine(L"delete dir", path.get());
  // Counted when it is gone (in virtual mode, would be): not when it failed, nor when it stays
  // for what the filter keeps in it.
  bool kept = false;
  if (IsDirectoryLink(*destination) ? RemoveDirectoryLink(path.get())
                                    : DeleteTree(path.get(), &kept) && !kept)
    Summary.DirectoriesDeleted++;
}

void CopyNewTree(const DirectoryEntry& source) {
  if (!ExtendPathPair(source.cFileName))
    return;
  EnterSourceDirectory(source);
  bool complete = false;
  if (OptionSet(kLogDirectories))
    WriteLogLine(L"directory", DestinationPath);
  // Listed before it is made: a source directory that cannot be read is reported as such, and
  // leaves no empty copy that would pass for its backup.
  EntryList files, subdirectories;
  bool listed = ListSourceDirectory(SourcePath, files, subdirectories);
  if (listed && !OptionSet(kVirtual) && !CreateDirectoryExW(SourcePath, DestinationPath, nullptr) &&
      !DirectoryAlreadyThere(DestinationPath)) {
    ReportSystemError(L"Unable to create directory %s", DestinationPath);
  } else if (listed) {
    Summary.SourceEntries += files.Entries.size() + subdirectories.Entries.size();
    // As the pair walk lists it: files, then sub-directories, each in name order. Marked entries
    // are not copied: those too long to list were reported by the listing, and the filter left
    // out the others.
    complete = true;
    for (const DirectoryEntry& entry : files.Entries) {
      ShowProgress(SourcePath);
      if (entry.Mark == 0)
        AddFile(entry);
    }
    for (const DirectoryEntry& entry : subdirectories.Entries) {
      if (EntryLoop(&entry))
        ReportLoop(SourcePath, entry.cFileName);
      else if (entry.Mark == 0)
        CopyNewTree(entry);
    }
  }
  // A directory listed to the end counts as backed up.
  if (complete)
    ClearSourceArchive(SourcePath, source.dwFileAttributes);
  LeaveSourceDirectory();
  StripPath(SourcePath);
  StripPath(DestinationPath);
}

void ProcessDirectoryEntry(const DirectoryEntry* source, const DirectoryEntry* destination) {
  if (source == nullptr)
    return;
  if (EntryTooLong(source)) {
    if (destination != nullptr)
      KeepDestinationEntry(*destination);
    return;
  }
  if (EntryLoop(source)) {
    ReportLoop(SourcePath, source->cFileName);
    return;
  }
  if (destination == nullptr) {
    if (OptionSet(kNoAdd)) {
      LogIgnoredSourceEntry(*source);
      return;
    }
    CopyNewTree(*source);
    return;
  }
  if (!ExtendPath(DestinationPath, source->cFileName))
    return;
  if ((destination->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      !DestinationLinkLeadsOutside(DestinationPath)) {
    ReportLoop(DestinationPath);
  } else {
    UpdateMetadata(DestinationPath, *source, *destination, true);
    if (ExtendPath(SourcePath, source->cFileName)) {
      EnterSourceDirectory(*source);
      ProcessDirectoryPair();
      LeaveSourceDirectory();
      ClearSourceArchive(SourcePath, source->dwFileAttributes);
      StripPath(SourcePath);
    }
  }
  StripPath(DestinationPath);
}
