#include "scan/listing.h"

#include <algorithm>

#include "settings/options.h"
#include "output/console.h"
#include "scan/filter.h"
#include "scan/path_text.h"

int CompareNames(const NameChar* a, const NameChar* b) {
  int order = CompareIgnoringCase(a, b);
  if (order != 0 || kNamesIgnoreCase)
    return order;
  return CompareNameCodes(a, b);
}

DirectoryEntry ListedEntry(const ListedRecord& record) {
  DirectoryEntry entry;
  entry.Name = record.Name;
  entry.WriteTime = record.WriteTime;
  entry.IdentityKnown = record.IdentityKnown && PackIdentity(record.Identity, &entry.Identity);
  entry.Attributes = record.Attributes;
  entry.SizeLow = static_cast<uint32_t>(record.Size);
  entry.SizeHigh = static_cast<uint32_t>(record.Size >> 32);
  entry.Mark = 0;
  entry.Link = 0;
  if (OptionSet(kSymlinks) && record.SymbolicLink) {
    entry.Link = (entry.Attributes & kAttributeDirectory) ? kDirectoryLink : kFileLink;
    entry.Attributes = (entry.Attributes & ~kAttributeDirectory) | kAttributeReparsePoint;
  }
  entry.AttributesUnknown = record.AttributesUnknown;
  entry.Permissions = record.Permissions;
  return entry;
}

const NameChar* NameStore::Add(const NameChar* name) {
  size_t chars = std::char_traits<NameChar>::length(name) + 1;
  if (used_ + chars > kBlockChars) {
    blocks_.emplace_back(new NameChar[chars > kBlockChars ? chars : kBlockChars]);
    used_ = 0;
  }
  NameChar* copy = blocks_.back().get() + used_;
  std::char_traits<NameChar>::copy(copy, name, chars);
  used_ += chars;
  return copy;
}

void EntryList::Add(const DirectoryEntry& entry) {
  Entries.Append(entry).Name = Names.Add(entry.Name);
}

// Names equal but for case (on a case-sensitive source) keep one order from run to run, by their
// character codes, so the same one of them is paired and copied first every time.
void SortEntryList(EntryList& list) {
  std::sort(list.Entries.begin(), list.Entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) {
              int order = CompareNames(a.Name, b.Name);
              return (order != 0 ? order : CompareNameCodes(a.Name, b.Name)) < 0;
            });
}

bool ListDirectory(const OpenDirectory& directory, const std::wstring& path, EntryList& files,
                   EntryList& subdirectories, ListingSide side, bool* leftOut) {
  bool keepTooLong = side == kSourceSide, left = false;
  bool complete = ListOpenDirectory(directory, [&](const ListedRecord& record) {
    DirectoryEntry entry = ListedEntry(record);
    if (OptionSet(kNoJunctions) && (entry.Attributes & kAttributeReparsePoint)) {
      left = true;
      return;
    }
    EntryList* list = &files;
    if (entry.Attributes & kAttributeDirectory) {
      if (OptionSet(kNoRecurse))
        return;
      list = &subdirectories;
    }
    bool tooLong = false;
    if (!EntryPassesFilter(path, entry, &tooLong)) {
      if (!tooLong) {
        // Kept, marked: it hides its counterpart on the other side (a pattern that names one
        // root's spelling matches on that side only).
        entry.Mark = kEntryFiltered;
        list->Add(entry);
        return;
      }
      if (!keepTooLong)
        return;
      // Kept, marked, in both lists: whatever the other side holds under this name stays.
      entry.Mark = kEntryTooLong;
      (list == &files ? subdirectories : files).Add(entry);
    }
    list->Add(entry);
  });
  // An enumeration that broke off is a failed listing: acting on part of a directory could
  // delete the counterparts of entries that were never seen.
  if (!complete) {
    ReportSystemError(L"Unable to browse directory %s", path.c_str());
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
