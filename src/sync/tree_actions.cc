#include "sync/tree_actions.h"

#include "settings/options.h"
#include "output/console.h"
#include "scan/filter.h"
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

bool DeleteTree(const wchar_t* directory) {
  if (OptionSet(kLogDirectories))
    WriteLogLine(L"directory", directory);
  std::unique_ptr<WIN32_FIND_DATAW> data(new WIN32_FIND_DATAW);
  HANDLE search = BeginDirectorySearch(directory, data.get());
  if (search == INVALID_HANDLE_VALUE)
    return false;
  bool succeeded = true, nothingKept = true;
  PathBuffer path;
  do {
    const DirectoryEntry entry = ListedEntry(*data);
    Summary.DestinationEntries += IsDotName(entry.cFileName) ? 0 : 1;
    ShowProgress(directory);
    if (!CombinePath(path.get(), directory, entry.cFileName))
      continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (IsDotName(entry.cFileName))
        continue;
      bool removed =
          IsDirectoryLink(entry) ? RemoveDirectoryLink(path.get()) : DeleteTree(path.get());
      if (!removed)
        succeeded = false;
    } else if (!PathPassesFilter(path.get())) {
      nothingKept = false;
    } else if (!DeleteDestinationFile(path.get(), entry.dwFileAttributes)) {
      succeeded = false;
    }
  } while (FindNextFileW(search, data.get()));
  if (!EnumerationComplete(directory))
    succeeded = false;
  FindClose(search);
  if (!OptionSet(kVirtual) && succeeded && nothingKept && !RemoveDirectoryW(directory)) {
    ReportSystemError(L"Unable to delete directory %s", directory);
    succeeded = false;
  }
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
  Summary.DirectoriesDeleted++;
  if (IsDirectoryLink(*destination)) {
    RemoveDirectoryLink(path.get());
  } else {
    DeleteTree(path.get());
  }
}

void CopyNewTree(const DirectoryEntry& source) {
  if (!ExtendPathPair(source.cFileName))
    return;
  EnterSourceDirectory(source);
  bool complete = false;
  if (OptionSet(kLogDirectories))
    WriteLogLine(L"directory", DestinationPath);
  if (!OptionSet(kVirtual) && !CreateDirectoryExW(SourcePath, DestinationPath, nullptr) &&
      !DirectoryAlreadyThere(DestinationPath)) {
    ReportSystemError(L"Unable to create directory %s", DestinationPath);
  } else {
    std::unique_ptr<WIN32_FIND_DATAW> data(new WIN32_FIND_DATAW);
    HANDLE search = BeginDirectorySearch(SourcePath, data.get());
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const DirectoryEntry entry = ListedEntry(*data);
        Summary.SourceEntries += IsDotName(entry.cFileName) ? 0 : 1;
        ShowProgress(SourcePath);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          if (IsDotName(entry.cFileName))
            continue;
          SourceDirectoryKind kind = ClassifySourceDirectory(entry);
          if (kind == kDestinationRoot)
            continue;
          if (kind == kLoopDirectory)
            ReportLoop(SourcePath, entry.cFileName);
          else
            CopyNewTree(entry);
        } else if (EntryPassesFilter(SourcePath, entry)) {
          AddFile(entry);
        }
      } while (FindNextFileW(search, data.get()));
      complete = EnumerationComplete(SourcePath);
      FindClose(search);
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
