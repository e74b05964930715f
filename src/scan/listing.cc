#include "scan/listing.h"

#include <algorithm>

#include "cli/options.h"
#include "output/console.h"
#include "scan/filter.h"
#include "sync/paths.h"
#include "sync/walk_guard.h"

int CompareNames(const wchar_t* a, const wchar_t* b) {
  int order = lstrcmpiW(a, b);
  if (order != 0 || NAMES_IGNORE_CASE)
    return order;
  return lstrcmpW(a, b);
}

bool IsDotName(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// Names equal but for case (on a case-sensitive source) keep one order from run to run, by their
// character codes, so the same one of them is paired and copied first every time.
void SortEntryList(EntryList& list) {
  std::sort(list.begin(), list.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
    int order = CompareNames(a.cFileName, b.cFileName);
    if (order != 0)
      return order < 0;
    const wchar_t *x = a.cFileName, *y = b.cFileName;
    for (; *x != 0 && *x == *y; x++, y++) {
    }
    return *x < *y;
  });
}

HANDLE BeginDirectorySearch(const wchar_t* directory, DirectoryEntry* entry) {
  PathBuffer pattern;
  if (!CombinePath(pattern.get(), directory, L"*"))
    return INVALID_HANDLE_VALUE;
  HANDLE search = FindFirstFileW(pattern.get(), entry);
  if (search == INVALID_HANDLE_VALUE) {
    ReportSystemError(L"Unable to browse directory %s", directory);
  }
  return search;
}

bool EnumerationComplete(const wchar_t* directory) {
  if (GetLastError() == ERROR_NO_MORE_FILES)
    return true;
  ReportSystemError(L"Unable to browse directory %s", directory);
  return false;
}

bool ListDirectory(const wchar_t* directory, EntryList& files, EntryList& subdirectories,
                   ListingSide side) {
  bool keepTooLong = side == kSourceSide;
  DirectoryEntry entry;
  HANDLE search = BeginDirectorySearch(directory, &entry);
  if (search == INVALID_HANDLE_VALUE)
    return false;
  do {
    if (OptionSet(kNoJunctions) && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      continue;
    }
    EntryList* list = &files;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (OptionSet(kNoRecurse) || IsDotName(entry.cFileName))
        continue;
      list = &subdirectories;
    }
    bool tooLong = false;
    if (!EntryPassesFilter(directory, entry, &tooLong)) {
      if (!tooLong || !keepTooLong)
        continue;
      // Kept, marked, in both lists: whatever the other side holds under this name stays.
      entry.dwReserved1 = kEntryTooLong;
      (list == &files ? subdirectories : files).push_back(entry);
    } else if (list == &subdirectories && side == kSourceSide) {
      SourceDirectoryKind kind = ClassifySourceDirectory(entry);
      if (kind == kDestinationRoot)
        continue;  // the mirror never holds itself
      if (kind == kLoopDirectory)
        entry.dwReserved1 = kEntryLoop;
    }
    list->push_back(entry);
  } while (FindNextFileW(search, &entry));
  // An enumeration that broke off is a failed listing: acting on part of a directory could
  // delete the counterparts of entries that were never seen.
  bool complete = EnumerationComplete(directory);
  FindClose(search);
  if (!complete) {
    files.clear();
    subdirectories.clear();
    return false;
  }
  SortEntryList(files);
  SortEntryList(subdirectories);
  return true;
}
