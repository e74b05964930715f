#include "scan/listing.h"

#include <algorithm>

#include "settings/options.h"
#include "output/console.h"
#include "scan/filter.h"
#include "scan/path_text.h"

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
DirectoryEntry ListedEntry(const WIN32_FIND_DATAW& data) {
  DirectoryEntry entry;
  entry.cFileName = data.cFileName;
  entry.ftLastWriteTime = data.ftLastWriteTime;
  entry.IdentityKnown = ListedIdentity(data, &entry.Identity);
  entry.dwFileAttributes = data.dwFileAttributes;
  // Only links count as reparse points for no-junctions, deletion as a link and the walk guard.
  if (!ListedAsLink(data))
    entry.dwFileAttributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
  entry.nFileSizeLow = data.nFileSizeLow;
  entry.nFileSizeHigh = data.nFileSizeHigh;
  entry.Mark = 0;
  entry.AttributesUnknown = ListedAttributesUnknown(data);
  entry.Permissions = ListedPermissionsOf(data);
  return entry;
}

const wchar_t* NameStore::Add(const wchar_t* name) {
  size_t chars = static_cast<size_t>(lstrlenW(name)) + 1;
  if (used_ + chars > kBlockChars) {
    blocks_.emplace_back(new wchar_t[chars > kBlockChars ? chars : kBlockChars]);
    used_ = 0;
  }
  wchar_t* copy = blocks_.back().get() + used_;
  lstrcpyW(copy, name);
  used_ += chars;
  return copy;
}

void EntryList::Add(const DirectoryEntry& entry) {
  Entries.push_back(entry);
  Entries.back().cFileName = Names.Add(entry.cFileName);
}

void SortEntryList(EntryList& list) {
  std::sort(list.Entries.begin(), list.Entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) {
              int order = CompareNames(a.cFileName, b.cFileName);
              if (order != 0)
                return order < 0;
              const wchar_t *x = a.cFileName, *y = b.cFileName;
              for (; *x != 0 && *x == *y; x++, y++) {
              }
              return *x < *y;
            });
}

namespace {

// Joins directory with "*" and starts an enumeration, reporting a failure itself.
HANDLE BeginDirectorySearch(const wchar_t* directory, WIN32_FIND_DATAW* data) {
  PathBuffer pattern;
  if (!CombinePath(pattern.get(), directory, L"*"))
    return INVALID_HANDLE_VALUE;
  // The basic record (no short names) in large batches: less work per entry on Windows.
  HANDLE search = FindFirstFileExW(pattern.get(), FindExInfoBasic, data, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    ReportSystemError(L"Unable to browse directory %s", directory);
  }
  return search;
}

// After FindNextFileW returned false: true when the enumeration reached the end. One that broke
// off is reported as a failure to browse the directory.
bool EnumerationComplete(const wchar_t* directory) {
  if (GetLastError() == ERROR_NO_MORE_FILES)
    return true;
  ReportSystemError(L"Unable to browse directory %s", directory);
  return false;
}

}  // namespace

bool ListDirectory(const wchar_t* directory, EntryList& files, EntryList& subdirectories,
                   ListingSide side, bool* leftOut) {
  bool keepTooLong = side == kSourceSide, left = false;
  // The platform's record is large: one serves the whole enumeration.
  std::unique_ptr<WIN32_FIND_DATAW> data(new WIN32_FIND_DATAW);
  HANDLE search = BeginDirectorySearch(directory, data.get());
  if (search == INVALID_HANDLE_VALUE)
    return false;
  do {
    DirectoryEntry entry = ListedEntry(*data);
    if (OptionSet(kNoJunctions) && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      left = true;
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
      if (!tooLong) {
        // Kept, marked: it hides its counterpart on the other side (a pattern that names one
        // root's spelling matches on that side only).
        entry.Mark = kEntryFiltered;
        list->Add(entry);
        continue;
      }
      if (!keepTooLong)
        continue;
      // Kept, marked, in both lists: whatever the other side holds under this name stays.
      entry.Mark = kEntryTooLong;
      (list == &files ? subdirectories : files).Add(entry);
    }
    list->Add(entry);
  } while (FindNextFileW(search, data.get()));
  // An enumeration that broke off is a failed listing: acting on part of a directory could
  // delete the counterparts of entries that were never seen.
  bool complete = EnumerationComplete(directory);
  FindClose(search);
  if (!complete) {
    files.Clear();
    subdirectories.Clear();
    return false;
  }
  SortEntryList(files);
  SortEntryList(subdirectories);
  if (leftOut)
    *leftOut = left;
  return true;
}
