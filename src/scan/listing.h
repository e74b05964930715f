// Listing one directory into name-sorted lists of files and sub-directories.
#pragma once

#include <compare>
#include <cstddef>
#include <iterator>
#include <memory>
#include <vector>

#include <string>

#include "platform/file_system.h"

// One listed entry: only what the run reads of the platform's find record, the name kept in the
// listing's name store. Small, so that a directory of a million entries fits in little memory
// and the sort moves little.
struct DirectoryEntry {
  const NameChar* Name;
  FileTime WriteTime;
  [[no_unique_address]] ListedIdentity Identity;  // where IdentityKnown: the listing gave it
  uint32_t SizeLow;
  uint32_t SizeHigh;
  ListedAttributeWord Attributes;
  uint16_t Mark : 2;  // 0, kEntryTooLong, kEntryLoop or kEntryFiltered
  uint16_t Link : 2;  // under symlinks, for a symbolic link: kFileLink or kDirectoryLink; else 0
  uint16_t IdentityKnown : 1;
  // The listing could not read the entry's stored attributes (POSIX): the word holds only the
  // bits that could be known, and no attribute correction is made from it.
  uint16_t AttributesUnknown : 1;
  [[no_unique_address]] ListedPermissions Permissions;  // empty on Windows
};
// 48 bytes natively, 32 on 64-bit Windows: a listing of a million entries keeps them in little
// more than that many megabytes.
static_assert(sizeof(DirectoryEntry) <= 48, "the entry record grew");

// The entry of a listed record, its name still in the record.
DirectoryEntry ListedEntry(const ListedRecord& record);

// The names of a listing, copied into blocks that never move, so entries can point into them.
class NameStore {
 public:
  const NameChar* Add(const NameChar* name);
  void Clear() { blocks_.clear(), used_ = kBlockChars; }

 private:
  static const size_t kBlockChars = 16384;
  std::vector<std::unique_ptr<NameChar[]>> blocks_;
  size_t used_ = kBlockChars;
};

// The entries of a listing, in blocks that never move: it grows without copying and holds at
// most one block of spare room, where a doubling vector may hold twice what it needs, and both
// copies while it grows. Random access, for the sort.
class EntryArray {
 public:
  static const size_t kBlockEntries = 256;

  template <typename Entry>
  class Iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = DirectoryEntry;
    using difference_type = std::ptrdiff_t;
    using pointer = Entry*;
    using reference = Entry&;

    Iterator() = default;
    Iterator(const std::unique_ptr<DirectoryEntry[]>* blocks, size_t index)
        : blocks_(blocks), index_(index) {}
    reference operator*() const { return blocks_[index_ / kBlockEntries][index_ % kBlockEntries]; }
    pointer operator->() const { return &**this; }
    reference operator[](difference_type n) const { return *(*this + n); }
    Iterator& operator++() { return index_++, *this; }
    Iterator& operator--() { return index_--, *this; }
    Iterator operator++(int) { return Iterator(blocks_, index_++); }
    Iterator operator--(int) { return Iterator(blocks_, index_--); }
    Iterator& operator+=(difference_type n) { return index_ += n, *this; }
    Iterator& operator-=(difference_type n) { return index_ -= n, *this; }
    friend Iterator operator+(Iterator a, difference_type n) { return a += n; }
    friend Iterator operator+(difference_type n, Iterator a) { return a += n; }
    friend Iterator operator-(Iterator a, difference_type n) { return a -= n; }
    friend difference_type operator-(const Iterator& a, const Iterator& b) {
      return static_cast<difference_type>(a.index_ - b.index_);
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.index_ == b.index_; }
    friend auto operator<=>(const Iterator& a, const Iterator& b) { return a.index_ <=> b.index_; }

   private:
    const std::unique_ptr<DirectoryEntry[]>* blocks_ = nullptr;
    size_t index_ = 0;
  };

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  DirectoryEntry& operator[](size_t i) { return blocks_[i / kBlockEntries][i % kBlockEntries]; }
  const DirectoryEntry& operator[](size_t i) const {
    return blocks_[i / kBlockEntries][i % kBlockEntries];
  }
  Iterator<DirectoryEntry> begin() { return {blocks_.data(), 0}; }
  Iterator<DirectoryEntry> end() { return {blocks_.data(), size_}; }
  Iterator<const DirectoryEntry> begin() const { return {blocks_.data(), 0}; }
  Iterator<const DirectoryEntry> end() const { return {blocks_.data(), size_}; }

  DirectoryEntry& Append(const DirectoryEntry& entry) {
    if (size_ == blocks_.size() * kBlockEntries)
      blocks_.emplace_back(new DirectoryEntry[kBlockEntries]);
    return (*this)[size_++] = entry;
  }
  // Keeps the first count entries.
  void Truncate(size_t count) {
    size_ = count;
    blocks_.resize((count + kBlockEntries - 1) / kBlockEntries);
  }
  void clear() { Truncate(0); }

 private:
  std::vector<std::unique_ptr<DirectoryEntry[]>> blocks_;
  size_t size_ = 0;
};

// The entries of a listing, sorted by name, and the store holding their names.
struct EntryList {
  EntryArray Entries;
  NameStore Names;
  // Appends a copy of entry whose name is kept in this list's store.
  void Add(const DirectoryEntry& entry);
  void Clear() { Entries.clear(), Names.Clear(); }
};

// Read-only, hidden and system: cleared before an overwrite or deletion, and the only bits whose
// difference causes an attribute correction.
const uint32_t kProtectiveAttributes = kAttributeReadOnly | kAttributeHidden | kAttributeSystem;

inline uint64_t EntrySize(const DirectoryEntry& entry) {
  return (static_cast<uint64_t>(entry.SizeHigh) << 32) | entry.SizeLow;
}

// Marks a source entry left out because its full path does not fit: it is never acted on, and
// the destination entry of the same name is kept.
const uint8_t kEntryTooLong = 1;
inline bool EntryTooLong(const DirectoryEntry* entry) {
  return entry != nullptr && entry->Mark == kEntryTooLong;
}
// Marks a source directory that is one of the directories being walked above
// it (a link loop): it is reported, never entered, and its destination counterpart is kept.
const uint8_t kEntryLoop = 2;
inline bool EntryLoop(const DirectoryEntry* entry) {
  return entry != nullptr && entry->Mark == kEntryLoop;
}

// Marks an entry the filter leaves out. It is never acted on, and neither is the entry of the
// same name on the other side: the filter decides for the pair.
const uint8_t kEntryFiltered = 3;
inline bool EntryFiltered(const DirectoryEntry* entry) {
  return entry != nullptr && entry->Mark == kEntryFiltered;
}

// Under symlinks a symbolic link is listed among the files, as a link: compared by its target
// text, copied and deleted as itself, never followed. Its kind says how Windows removes it.
const uint8_t kFileLink = 1;
const uint8_t kDirectoryLink = 2;
inline bool IsLinkEntry(const DirectoryEntry* entry) {
  return entry != nullptr && entry->Link != 0;
}

// Which tree a listing reads: the source side keeps entries too long to list (marked); the walk
// guard then classifies its sub-directories (ListSourceDirectory).
enum ListingSide { kSourceSide, kDestinationSide };

// The name order of every sort and every pairing. Case-insensitive; on a case-sensitive file
// system names equal but for case are then ordered case-sensitively, as two entries.
int CompareNames(const NameChar* a, const NameChar* b);
void SortEntryList(EntryList& list);
// The directory's files and sub-directories that pass the skip rules, sorted; those the filter
// leaves out are kept, marked: the one listing of the pair walk and of the whole-tree actions.
// path is the directory as printed (the filter and the reports read it). False, with both lists
// empty, when the directory could not be enumerated to the end (reported).
// On the source side, entries left out for their length are kept, marked, in both lists.
// *leftOut (when given) is set when no-junctions left out an entry, which therefore stays.
bool ListDirectory(const OpenDirectory& directory, const std::wstring& path, EntryList& files,
                   EntryList& subdirectories, ListingSide side, bool* leftOut = nullptr);
