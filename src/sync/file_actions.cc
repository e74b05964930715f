#include "sync/file_actions.h"

#include <string>
#include <vector>

#include "settings/options.h"
#include "output/console.h"
#include "sync/compare.h"
#include "sync/metadata.h"
#include "sync/paths.h"
#include "sync/run_summary.h"

namespace {

// A temporary name in the destination directory: ".tandrel-" and eight hexadecimal digits that
// differ from run to run and from try to try.
void MakeTemporaryName(wchar_t* name) {
  static DWORD state = GetTickCount() ^ (GetCurrentProcessId() << 16);
  state = state * 1664525 + 1013904223;
  lstrcpyW(name, L".tandrel-");
  for (int i = 0; i < 8; i++) name[9 + i] = L"0123456789abcdef"[(state >> (28 - 4 * i)) & 15];
  name[17] = 0;
}

// Removes a temporary file whatever attributes the copy gave it, keeping the last error.
void RemoveTemporaryFile(const wchar_t* path) {
  DWORD error = GetLastError();
  SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path);
  SetLastError(error);
}

void LogIf(OptionRow option, const wchar_t* label, const wchar_t* path) {
  if (OptionSet(option))
    WriteLogLine(label, path);
}

}  // namespace

bool CopyIntoPlace(const wchar_t* sourceFile, const wchar_t* destinationFile, bool replace) {
  if (COPY_FILE_MOVES_INTO_PLACE)
    return CopyFileW(sourceFile, destinationFile, replace ? FALSE : TRUE) != 0;
  // The temporary path may be longer than the destination's: the long form has room for it.
  std::wstring temporary(destinationFile);
  size_t separator = temporary.find_last_of(PATH_SEPARATOR_TEXT);
  temporary.resize(separator == std::wstring::npos ? 0 : separator + 1);
  if (temporary.size() + 18 >= MAX_PATH) {
    std::vector<wchar_t> full(32768);
    DWORD length = GetFullPathNameW(temporary.c_str(), 32768, full.data(), nullptr);
    if (length == 0 || length >= 32768)
      return false;
    bool unc = full[0] == L'\\' && full[1] == L'\\';
    temporary = (unc ? std::wstring(L"\\\\?\\UNC") + (full.data() + 1)
                     : std::wstring(L"\\\\?\\") + full.data());
  }
  size_t directoryLength = temporary.size();
  wchar_t name[18];
  for (int attempt = 0;; attempt++) {
    MakeTemporaryName(name);
    temporary.resize(directoryLength);
    temporary += name;
    if (CopyFileW(sourceFile, temporary.c_str(), TRUE))
      break;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      if (attempt == 100)
        return false;  // the name is another's: never removed
      continue;
    }
    RemoveTemporaryFile(temporary.c_str());  // a copy that failed part-way
    return false;
  }
  if (MoveFileExW(temporary.c_str(), destinationFile, replace ? MOVEFILE_REPLACE_EXISTING : 0))
    return true;
  RemoveTemporaryFile(temporary.c_str());
  return false;
}

void ClearSourceArchive(const wchar_t* file, DWORD attributes) {
  if (!OptionSet(kVirtual) && OptionSet(kUnsetArchive) && (attributes & FILE_ATTRIBUTE_ARCHIVE)) {
    if (!SetFileAttributesW(file, attributes & ~FILE_ATTRIBUTE_ARCHIVE) &&
        AttributeFailureReported()) {
      ReportSystemError(L"Unable to set attributes %s", file);
    }
  }
}

bool CopySourceFile(const wchar_t* sourceFile, const wchar_t* destinationFile, bool replace) {
  if (CopyIntoPlace(sourceFile, destinationFile, replace))
    return true;
  ReportSystemError(L"Unable to copy %s", sourceFile);
  return false;
}

bool DeleteDestinationFile(const wchar_t* file, DWORD attributes) {
  if (OptionSet(kVirtual))
    return true;
  bool deleted = DeleteProtectedFile(file, attributes) || GetLastError() == ERROR_FILE_NOT_FOUND;
  if (!deleted)
    ReportSystemError(L"Unable to delete %s", file);
  return deleted;
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
  if (OptionSet(kVirtual)) {
    CountCopy(Summary.Added, source);
    return;
  }
  if (!CombinePath(sourceFile.get(), SourcePath, source.cFileName) ||
      !CombinePath(destinationFile.get(), DestinationPath, source.cFileName)) {
    return;
  }
  // The archive attribute says the file is not backed up yet: it goes only with a good copy.
  if (CopySourceFile(sourceFile.get(), destinationFile.get(), false)) {
    CountCopy(Summary.Added, source);
    ClearSourceArchive(sourceFile.get(), source.dwFileAttributes);
  }
}

void ProcessFileEntry(const DirectoryEntry* source, const DirectoryEntry* destination) {
  ShowProgress(SourcePath);
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
    if (DeleteDestinationFile(destinationFile.get(), destination->dwFileAttributes))
      Summary.Deleted++;
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
    if (OptionSet(kVirtual)) {
      CountCopy(Summary.Updated, *source);
      return;
    }
    std::wstring kept = UnprotectForReplace(destinationFile.get(), destination->dwFileAttributes);
    // A failed copy leaves the old file as it was, attributes included, and the archive
    // attribute set, so the next run still sees the change.
    bool copied = CopySourceFile(sourceFile.get(), destinationFile.get(), true);
    ReprotectAfterReplace(kept, destinationFile.get(), destination->dwFileAttributes, copied);
    if (!copied)
      return;
    CountCopy(Summary.Updated, *source);
  }
  ClearSourceArchive(sourceFile.get(), source->dwFileAttributes);
}
