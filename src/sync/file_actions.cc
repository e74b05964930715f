#include "sync/file_actions.h"

#include "cli/options.h"
#include "output/console.h"
#include "sync/compare.h"
#include "sync/metadata.h"
#include "sync/paths.h"
#include "sync/run_summary.h"

namespace {

void LogIf(OptionRow option, const wchar_t* label, const wchar_t* path) {
  if (OptionSet(option))
    WriteLogLine(label, path);
}
}  // namespace

void ClearProtectiveAttributes(const wchar_t* file, DWORD attributes) {
  if (attributes & kProtectiveAttributes) {
    SetFileAttributesW(file, attributes & ~kProtectiveAttributes);
  }
}

void ClearSourceArchive(const wchar_t* file, DWORD attributes) {
  if (!OptionSet(kVirtual) && OptionSet(kUnsetArchive) && (attributes & FILE_ATTRIBUTE_ARCHIVE)) {
    SetFileAttributesW(file, attributes & ~FILE_ATTRIBUTE_ARCHIVE);
  }
}

bool CopySourceFile(const wchar_t* sourceFile, const wchar_t* destinationFile) {
  if (CopyFileW(sourceFile, destinationFile, FALSE))
    return true;
  ReportSystemError(L"Unable to copy %s", sourceFile);
  return false;
}

bool DeleteDestinationFile(const wchar_t* file, DWORD attributes) {
  if (OptionSet(kVirtual))
    return true;
  ClearProtectiveAttributes(file, attributes);
  if (DeleteFileW(file))
    return true;
  if (GetLastError() == ERROR_FILE_NOT_FOUND)
    return true;
  ReportSystemError(L"Unable to delete %s", file);
  return false;
}

void KeepDestinationEntry(const DirectoryEntry& destination) {
  Summary.Ignored++;
  PathBuffer path;
  if (OptionSet(kLogIgnored) && CombinePath(path.get(), DestinationPath, destination.cFileName)) {
    WriteLogLine(L"ignore", path.get());
  }
}

void LogIgnoredSourceEntry(const DirectoryEntry& source) {
  Summary.Ignored++;
  PathBuffer path;
  if (OptionSet(kLogIgnored) && CombinePath(path.get(), SourcePath, source.cFileName)) {
    WriteLogLine(L"ignore", path.get());
  }
}

void AddFile(const DirectoryEntry& source) {
  if (OptionSet(kNoAdd)) {
    LogIgnoredSourceEntry(source);
    return;
  }
  PathBuffer sourceFile, destinationFile;
  if (OptionSet(kLogChanges) &&
      CombinePath(destinationFile.get(), DestinationPath, source.cFileName)) {
    WriteLogLine(L"add", destinationFile.get());
  }
  CountCopyDecided(Summary.Added, source);
  if (OptionSet(kVirtual))
    return;
  if (!CombinePath(sourceFile.get(), SourcePath, source.cFileName) ||
      !CombinePath(destinationFile.get(), DestinationPath, source.cFileName)) {
    return;
  }
  // The archive attribute says the file is not backed up yet: it goes only with a good copy.
  if (CopySourceFile(sourceFile.get(), destinationFile.get())) {
    CountCopyDone(source);
    ClearSourceArchive(sourceFile.get(), source.dwFileAttributes);
  }
}

void ProcessFileEntry(const DirectoryEntry* source, const DirectoryEntry* destination) {
  if (EntryTooLong(source)) {
    if (destination != nullptr)
      KeepDestinationEntry(*destination);
    return;
  }
  if (source == nullptr) {
    PathBuffer destinationFile;
    if (!CombinePath(destinationFile.get(), DestinationPath, destination->cFileName))
      return;
    if (OptionSet(kNoDelete)) {
      LogIf(kLogIgnored, L"ignore", destinationFile.get());
      Summary.Ignored++;
      return;
    }
    LogIf(kLogChanges, L"delete", destinationFile.get());
    Summary.Deleted++;
    DeleteDestinationFile(destinationFile.get(), destination->dwFileAttributes);
    return;
  }
  if (destination == nullptr) {
    AddFile(*source);
    return;
  }

  PathBuffer sourceFile, destinationFile;
  if (!CombinePath(sourceFile.get(), SourcePath, source->cFileName))
    return;
  if (!CombinePath(destinationFile.get(), DestinationPath, source->cFileName))
    return;
  bool timesEqual;
  if (CompareFiles(sourceFile.get(), destinationFile.get(), *source, *destination, timesEqual)) {
    LogIf(kLogEqual, L"equal", destinationFile.get());
    Summary.Equal++;
    UpdateMetadata(destinationFile.get(), *source, *destination, timesEqual);
  } else if (OptionSet(kNoUpdate)) {
    LogIf(kLogIgnored, L"ignore", destinationFile.get());
    Summary.Ignored++;
    return;
  } else {
    LogIf(kLogChanges, L"update", destinationFile.get());
    CountCopyDecided(Summary.Updated, *source);
    if (OptionSet(kVirtual))
      return;
    ClearProtectiveAttributes(destinationFile.get(), destination->dwFileAttributes);
    // A failed copy leaves the archive attribute set, so the next run still sees the change.
    if (!CopySourceFile(sourceFile.get(), destinationFile.get()))
      return;
    CountCopyDone(*source);
  }
  ClearSourceArchive(sourceFile.get(), source->dwFileAttributes);
}
