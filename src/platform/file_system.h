// The program's interface to the file system: every operation names an entry relative to an
// open directory, never by a full path string. The run opens each root once and every other
// directory relative to its parent, so a directory replaced by a link after it was listed is
// never entered or written through (POSIX), and a name is always itself, whatever it ends in
// (Windows). Implemented in posix/ and windows/, chosen by the build.
//
// Every call that fails returns false (or the value it documents) with the last error set
// (LastErrorCode), as the reports format it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/system.h"

// An entry's attribute word: the bits below, as Windows keeps them and the POSIX build stores
// them (user.DOSATTRIB, the mode's write bits).
using AttributeWord = uint32_t;
// The word as a listed entry keeps it: natively the bits the POSIX build gives (none above
// kAttributeReparsePoint) fit in 16.
#ifdef _WIN32
using ListedAttributeWord = uint32_t;
#else
using ListedAttributeWord = uint16_t;
#endif
const AttributeWord kAttributeReadOnly = 0x00000001;
const AttributeWord kAttributeHidden = 0x00000002;
const AttributeWord kAttributeSystem = 0x00000004;
const AttributeWord kAttributeDirectory = 0x00000010;
const AttributeWord kAttributeArchive = 0x00000020;
const AttributeWord kAttributeDevice = 0x00000040;
const AttributeWord kAttributeNormal = 0x00000080;  // no other bit set
const AttributeWord kAttributeSparse = 0x00000200;
const AttributeWord kAttributeReparsePoint = 0x00000400;
const AttributeWord kAttributeCompressed = 0x00000800;
const AttributeWord kAttributeOffline = 0x00001000;
const AttributeWord kAttributeNotIndexed = 0x00002000;
const AttributeWord kAttributeEncrypted = 0x00004000;
const AttributeWord kAttributeIntegrityStream = 0x00008000;
const AttributeWord kAttributeVirtual = 0x00010000;
const AttributeWord kAttributeRecallOnOpen = 0x00040000;
const AttributeWord kAttributeRecallOnDataAccess = 0x00400000;
// What a failed read of the word returns.
const AttributeWord kInvalidAttributes = 0xFFFFFFFF;

// A file time: 100 ns units since 1601-01-01 UTC, in two 32-bit halves so that the records
// holding one stay small (4-byte aligned).
struct FileTime {
  uint32_t Low, High;
  uint64_t Ticks() const { return (uint64_t{High} << 32) | Low; }
  static FileTime Of(uint64_t ticks) {
    return {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
  }
};

// A directory's identity on its machine: the volume and the file index, the same for every
// spelling of its path (letter case, ".", "..", links). On Windows the index is 128 bits wide
// where the file system has such ids (ReFS: indexHigh), the volume serial 64 bits where the
// system gives it; natively the inode number is the index.
struct FileIdentity {
  uint64_t volume;
  uint64_t index;
#ifdef _WIN32
  uint64_t indexHigh = 0;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index == other.index && indexHigh == other.indexHigh;
  }
#else
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index == other.index;
  }
#endif
};

// An identity as a listed entry keeps it, small: natively the device in 32 bits (Linux device
// numbers fit in them) and the inode; nothing on Windows, whose listing does not give one.
#ifdef _WIN32
struct ListedIdentity {};
inline bool PackIdentity(const FileIdentity&, ListedIdentity*) {
  return false;
}
inline FileIdentity UnpackIdentity(const ListedIdentity&) {
  return FileIdentity{};
}
#else
struct ListedIdentity {
  uint32_t Volume, IndexLow, IndexHigh;  // 4-byte words: the entry record has no gap
};
// False when the identity does not fit (the entry's identity is then asked for where needed).
inline bool PackIdentity(const FileIdentity& identity, ListedIdentity* packed) {
  *packed = {static_cast<uint32_t>(identity.volume), static_cast<uint32_t>(identity.index),
             static_cast<uint32_t>(identity.index >> 32)};
  return identity.volume <= UINT32_MAX;
}
inline FileIdentity UnpackIdentity(const ListedIdentity& packed) {
  return FileIdentity{packed.Volume, (uint64_t{packed.IndexHigh} << 32) | packed.IndexLow};
}
#endif

// Called by every thread that touches files, at its start (the program's own first): on Windows
// the 32-bit program turns the 64-bit system's file-system redirection off, so that System32 is
// itself and not SysWOW64.
#ifdef _WIN32
void PrepareThreadForFiles();
#else
inline void PrepareThreadForFiles() {}
#endif

// The attribute word a correction writes: the modelled bits (read-only, hidden, system,
// archive) of wanted, every other bit of current kept (offline, pinned, not indexed, ...) except
// those the file system keeps itself, which some systems refuse in the word; never 0, which
// the system does not take (kAttributeNormal instead).
AttributeWord CorrectedAttributeWord(AttributeWord current, AttributeWord wanted);

// True when a contents comparison may skip the holes two files share: both are sparse and
// neither is a placeholder (offline, recall on open, recall on data access), whose holes are
// data not yet fetched, not zeros.
bool SkipsSharedHoles(AttributeWord sourceAttributes, AttributeWord destinationAttributes);

class OpenDirectory;

#ifdef _WIN32
// The Windows builds mirror no permission bits: an entry carries none, and no pair gets any.
struct ListedPermissions {};
inline bool PermissionBitsToSet(const ListedPermissions&, const ListedPermissions&, AttributeWord,
                                uint32_t*) {
  return false;
}
// Nor any owner.
inline bool OwnerToSet(const ListedPermissions&, const ListedPermissions&, AttributeWord) {
  return false;
}
inline void TakeOwner(ListedPermissions*, const ListedPermissions&, AttributeWord) {}
inline bool SetOwnerAt(const OpenDirectory&, const wchar_t*, const ListedPermissions&) {
  return false;
}
// Nor the link counts that hard links need: a file may always have other names.
const bool kNamesCounted = false;
inline uint32_t LinkCountOf(const ListedPermissions&) {
  return 1;
}
inline bool LinkFileAt(const OpenDirectory&, const wchar_t*, const OpenDirectory&, const wchar_t*) {
  SetErrorCode(kErrorNotSupported);
  return false;
}
// Nor extended attributes beyond the attribute word.
inline void KeepExtendedAttributes(bool) {}
inline bool ExtendedAttributesRefused() {
  return false;
}
inline bool ExtendedAttributesDiffer(const OpenDirectory&, const OpenDirectory&, const wchar_t*) {
  return false;
}
inline bool CopyExtendedAttributesAt(const OpenDirectory&, const OpenDirectory&, const wchar_t*) {
  return true;
}
#else
// What the listing gives of an entry: its owner and group, its permission bits (07777, or
// kPermissionsNotKept) and whether it has other names (hard links). Small: the owner and group
// are kept as the number the run gave their pair (OwnersNumber).
struct ListedPermissions {
  uint32_t Owners;
  uint16_t Mode : 13;
  uint16_t MoreNames : 1;
};
// The number of an owner and group pair, the same for the same pair throughout the run.
uint32_t OwnersNumber(uint32_t owner, uint32_t group);
const bool kNamesCounted = true;
// 2 stands for any number of names above one.
inline uint32_t LinkCountOf(const ListedPermissions& permissions) {
  return permissions.MoreNames ? 2 : 1;
}
// Makes name in directory another name of the file existing (a path relative to the open
// directory root), as a hard link.
bool LinkFileAt(const OpenDirectory& root, const wchar_t* existing, const OpenDirectory& directory,
                const wchar_t* name);
// Whether copies, new directories and equal pairs carry extended attributes of the user, trusted
// and security namespaces and POSIX ACLs (set after the owner and mode); off by default.
// user.DOSATTRIB is the attribute word's and always kept.
void KeepExtendedAttributes(bool keep);
// True once per run, with that error as the last error, after a destination's file system
// first refused them: copies are then made without them.
bool ExtendedAttributesRefused();
// Whether the entry name of the destination directory carries other attributes than the
// source's (when kept); false where either cannot be read, the destination is a link or its
// file system keeps no permission bits (FAT, exFAT).
bool ExtendedAttributesDiffer(const OpenDirectory& source, const OpenDirectory& destination,
                              const wchar_t* name);
// Gives the destination entry the source's attributes (a refusal is noted as above).
bool CopyExtendedAttributesAt(const OpenDirectory& source, const OpenDirectory& destination,
                              const wchar_t* name);
// The permission bits of an entry whose file system keeps none (FAT, exFAT).
const uint16_t kPermissionsNotKept = 0x1000;
// True when an equal pair's destination (its attribute word given) must get other permission
// bits, *mode: the source's, the set-user-ID and set-group-ID bits only where the destination
// has the source's owner and group; a directory keeps its owner's write bit, which a later run
// needs to fill it. Never where either side's file system keeps no permission bits, and never
// through a destination link.
bool PermissionBitsToSet(const ListedPermissions& source, const ListedPermissions& destination,
                         AttributeWord destinationAttributes, uint32_t* mode);
// True when an equal pair's destination (its attribute word given) must get the source's owner
// and group: only run as root (effective user 0; anyone else cannot give files away), never
// where either side's file system keeps no permission bits (nor owners), never through a link.
bool OwnerToSet(const ListedPermissions& source, const ListedPermissions& destination,
                AttributeWord destinationAttributes);
// What a destination's permissions become once it has the source's owner and group: chown
// clears a file's set-user-ID and set-group-ID bits.
void TakeOwner(ListedPermissions* destination, const ListedPermissions& source,
               AttributeWord destinationAttributes);
// Gives the entry name itself (never through a link) the owner and group of source.
bool SetOwnerAt(const OpenDirectory& directory, const wchar_t* name,
                const ListedPermissions& source);
#endif

// Whether a failed change of the archive attribute, otherwise silent, is reported: on POSIX when
// it left a user.DOSATTRIB that cannot be read as it was (such a value is never rewritten).
#ifndef _WIN32
// The error of a user.DOSATTRIB that holds no attribute number (left as it is).
extern const ErrorCode kErrorAttributeWordUnreadable;
#endif
inline bool AttributeFailureReported() {
#ifdef _WIN32
  return false;
#else
  return LastErrorCode() == kErrorAttributeWordUnreadable;
#endif
}

// An open directory. POSIX: a descriptor opened with O_DIRECTORY | O_NOFOLLOW relative to its
// parent's (the root's by its path). Windows: its full path in the "\\?\" form ("\\?\UNC\..."
// for a share), from which each call's path is made. Moves, never copies; closed when destroyed.
class OpenDirectory {
 public:
  OpenDirectory() = default;
  OpenDirectory(OpenDirectory&& other) noexcept;
  OpenDirectory& operator=(OpenDirectory&& other) noexcept;
  OpenDirectory(const OpenDirectory&) = delete;
  OpenDirectory& operator=(const OpenDirectory&) = delete;
  ~OpenDirectory();
  bool IsOpen() const;

#ifdef _WIN32
  std::wstring Path;  // "\\?\C:\dir", no trailing separator except at a drive's root
#else
  int Descriptor = -1;
#endif
};

// What a listing gives of one entry.
struct ListedRecord {
  const NameChar* Name;  // valid during the listing's callback only
  // The attribute word: kAttributeReparsePoint only on links (junctions, symbolic links,
  // mount points: ReparseTagIsLink); kAttributeDirectory for a directory, or a link to one.
  AttributeWord Attributes;
  FileTime WriteTime;
  uint64_t Size;
  FileIdentity Identity;  // where IdentityKnown: the listing gave it (POSIX)
  bool IdentityKnown;
  // The entry's stored attributes could not be read (POSIX): Attributes holds the bits that can
  // be known, and no attribute correction is made from it.
  bool AttributesUnknown;
  // A symbolic link (on Windows, not a junction or mount point), whatever it leads to.
  bool SymbolicLink;
  ListedPermissions Permissions;
};

// True for a reparse tag that makes an entry a link: a name surrogate (junction, symbolic link,
// mount point). Other reparse points (cloud placeholders, deduplicated files) are plain entries.
inline bool ReparseTagIsLink(uint32_t tag) {
  return (tag & 0x20000000) != 0;
}

// Opens a root: the directory the path names (following links; on Windows a drive-relative
// "D:" is that drive's current directory).
bool OpenRootDirectory(const wchar_t* path, OpenDirectory* directory);
// Opens the sub-directory name of parent; a link is opened only when followLink is set (the
// walk decided to enter it), otherwise it fails (kErrorLinkRefused).
bool OpenChildDirectory(const OpenDirectory& parent, const wchar_t* name, bool followLink,
                        OpenDirectory* child);
// Calls visit once per entry of the directory, "." and ".." and special files (FIFOs, sockets,
// devices) left out, in the file system's order. False when the directory could not be
// enumerated to the end (the error of the failure); entries already visited stay visited.
bool ListOpenDirectory(const OpenDirectory& directory,
                       const std::function<void(const ListedRecord&)>& visit);

// The attribute word of an entry (kInvalidAttributes on failure), read again when the
// listing could not; a link by what it points to, with kAttributeReparsePoint.
AttributeWord ReadAttributesAt(const OpenDirectory& directory, const wchar_t* name);
// Sets the modelled bits (read-only, hidden, system, archive) of an entry itself, never through
// a link; every other bit it holds stays.
bool SetAttributesAt(const OpenDirectory& directory, const wchar_t* name, AttributeWord attributes);
// Sets the permission bits of an entry itself (POSIX; fails on Windows, which keeps none).
bool SetPermissionsAt(const OpenDirectory& directory, const wchar_t* name, uint32_t mode);
// Sets the modification time of an entry itself.
bool SetWriteTimeAt(const OpenDirectory& directory, const wchar_t* name, const FileTime& time);
// Gives an entry the letter case of name (the file system found it under another case).
bool RenameToCaseAt(const OpenDirectory& directory, const wchar_t* name);

// The target text of the symbolic link name itself (never followed).
bool ReadLinkAt(const OpenDirectory& directory, const wchar_t* name, std::wstring* target);
// Makes name a symbolic link with this target text (on Windows a directory link when
// directoryLink is set; made without privilege where the system allows it, else refused). Fails
// with kErrorNameTaken when the name is taken.
bool MakeLinkAt(const OpenDirectory& directory, const wchar_t* name, const std::wstring& target,
                bool directoryLink);

// Makes the directory name in parent, given the modelled attributes (and natively the permission
// bits and owner rules) of the directory templateName in templateParent. Fails with
// kErrorNameTaken when the name is taken. A directory whose attributes cannot be given is
// removed again: the creation failed.
bool MakeDirectoryAt(const OpenDirectory& templateParent, const wchar_t* templateName,
                     const OpenDirectory& parent, const wchar_t* name);
// Removes the empty directory name, or a directory link itself (never what it points to).
bool RemoveDirectoryAt(const OpenDirectory& parent, const wchar_t* name);
// Deletes the file name, whose listed attribute word is given. Its other names (hard links)
// keep their attributes; on failure it keeps them too.
bool DeleteFileAt(const OpenDirectory& directory, const wchar_t* name, AttributeWord attributes);
// The number of names (hard links) of an entry itself, asked of the file system; 0 when it
// cannot be told. For where the listing does not count them (kNamesCounted).
uint32_t CountNamesAt(const OpenDirectory& directory, const wchar_t* name);
// Copies the file fromName of from into to as toName, through a temporary file in to moved into
// place in one step, so toName shows the old file or the whole copy, never part of one. With
// replace (an update: the old file's listed attribute word given) the old file goes and its other
// names keep their attributes; without (an add) a name taken since the listing makes the copy
// fail (an error of a taken name) and the file there stays. On failure the
// temporary file is removed. A source link is copied as the file it points to.
bool CopyFileAt(const OpenDirectory& from, const wchar_t* fromName, const OpenDirectory& to,
                const wchar_t* toName, bool replace, AttributeWord replacedAttributes);

// The identities of the directory an entry leads to (following links) and of every directory
// above it once links are resolved, nearest first, as far up as they can be opened; empty, with
// the last error set, when it cannot be opened. With a null name, those of directory itself.
std::vector<FileIdentity> IdentityChainAt(const OpenDirectory& directory, const wchar_t* name);
// The identity of what an entry leads to (following links); with a null name, of directory.
bool IdentityAt(const OpenDirectory& directory, const wchar_t* name, FileIdentity* identity);

// The name of the file system holding an open directory ("FAT32", "exFAT", "NTFS", ...).
bool FileSystemNameOf(const OpenDirectory& directory, std::wstring* name);

// A file open for the contents comparison. Closed when destroyed.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();
#ifdef _WIN32
  void* Handle = nullptr;  // null when not open
#else
  int Descriptor = -1;
#endif
};
// Opens a regular file (following links) for reading from its start.
bool OpenFileAt(const OpenDirectory& directory, const wchar_t* name, InputFile* file);
// Reads up to size bytes at the current position; *read 0 at the end of the file.
bool ReadFileBlock(InputFile& file, void* buffer, size_t size, size_t* read);
// Where the file's next data lies at or after offset, as the file system tells it (kNoMoreData
// when only a hole follows); offset itself where it cannot tell.
const uint64_t kNoMoreData = ~uint64_t{0};
uint64_t NextDataOffset(InputFile& file, uint64_t offset);
// Moves the file's position.
bool SeekFile(InputFile& file, uint64_t offset);
