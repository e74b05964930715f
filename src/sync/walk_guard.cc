#include "sync/walk_guard.h"

#include <string>
#include <vector>

#include "output/console.h"
#include "sync/paths.h"

namespace {

// One source directory on the walk's current path, from the source root down.
struct SourceLevel {
  FileIdentity identity;
  bool known;             // identity asked for (Windows asks only where it must)
  bool holdsDestination;  // the destination root lies below it on the file system
  int pathLength;         // SourcePath's length at this level, to ask for the identity later
};

std::vector<SourceLevel> SourceLevels;
FileIdentity DestinationRoot;
// Each root's parents as the file system holds them, nearest first.
std::vector<FileIdentity> DestinationParents, SourceParents;
FileIdentity SourceRoot;

// Opens what a path names, a directory too, following links: for its identity and final path.
HANDLE OpenObject(const wchar_t* path) {
  return CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool OpenedIdentity(const wchar_t* path, FileIdentity* identity) {
  HANDLE file = OpenObject(path);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  BY_HANDLE_FILE_INFORMATION information;
  bool known = GetFileInformationByHandle(file, &information) != 0;
  if (known) {
    identity->volume = information.dwVolumeSerialNumber;
    identity->index =
        (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  }
  CloseHandle(file);
  return known;
}

// Where the names of a final path begin: after "/", "\\?\C:\" or "\\?\UNC\server\share\".
size_t RootLength(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) != 0)
    return 1;
  size_t at = path.find(L'\\', 4);
  if (path.compare(4, 4, L"UNC\\") == 0)
    for (int skip = 0; skip < 2 && at != std::wstring::npos; skip++) at = path.find(L'\\', at + 1);
  return at == std::wstring::npos ? path.size() : at + 1;
}

// The identities of a directory and of every directory above it once links are resolved,
// nearest first, as far up as they can be opened; empty, with the last error set, when the
// directory itself cannot be. The final path keeps its long form ("\\?\"), whatever its
// length: a mapped drive or a deep root may have one far longer than the path typed.
std::vector<FileIdentity> DirectoryChain(const wchar_t* directory) {
  std::vector<FileIdentity> chain;
  HANDLE file = OpenObject(directory);
  if (file == INVALID_HANDLE_VALUE)
    return chain;
  std::vector<wchar_t> final(MAX_PATH);
  DWORD length = 0;
  for (int attempt = 0; attempt < 2; attempt++) {
    length = GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()),
                                       FILE_NAME_NORMALIZED);
    if (length < final.size())
      break;
    final.resize(length + 1);  // the length asked for, terminator included
  }
  DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(length >= final.size() ? ERROR_FILENAME_EXCED_RANGE : error);
  if (length == 0 || length >= final.size())
    return chain;
  std::wstring path(final.data(), length);
  size_t root = RootLength(path);
  for (;;) {
    FileIdentity identity;
    if (!OpenedIdentity(path.c_str(), &identity))
      break;
    chain.push_back(identity);
    if (path.size() <= root)
      break;
    size_t cut = path.find_last_of(PATH_SEPARATOR_TEXT[0]);
    path.resize(cut == std::wstring::npos || cut < root ? root : cut);
  }
  return chain;
}

bool Contains(const std::vector<FileIdentity>& list, const FileIdentity& identity) {
  for (const FileIdentity& item : list)
    if (item == identity)
      return true;
  return false;
}

bool LevelIdentity(SourceLevel& level, FileIdentity* identity) {
  if (!level.known) {
    PathBuffer path;
    lstrcpyW(path.get(), SourcePath);
    path.get()[level.pathLength] = 0;
    level.known = OpenedIdentity(path.get(), &level.identity);
    if (!level.known)
      return false;
  }
  *identity = level.identity;
  return true;
}

// The entry's identity where the walk needs it: free from the listing, or asked for when the
// entry is a link or may lead to the destination root. A plain sub-directory of a directory that
// does not hold the destination can be neither the destination nor a loop.
// The path is that of the entry itself, or with a name, of the entry of that name below it.
bool EntryIdentity(const DirectoryEntry& entry, const wchar_t* path, const wchar_t* name,
                   FileIdentity* identity) {
  if (entry.IdentityKnown) {
    *identity = entry.Identity;
    return true;
  }
  bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!link && (SourceLevels.empty() || !SourceLevels.back().holdsDestination))
    return false;
  PathBuffer joined;
  if (name != nullptr && !PathCombineW(joined.get(), path, name))
    return false;
  return OpenedIdentity(name != nullptr ? joined.get() : path, identity);
}

}  // namespace

bool CheckRoots() {
  SourceLevels.clear();
  // Without both identities nothing could tell whether the mirror would delete its source.
  std::vector<FileIdentity> source = DirectoryChain(SourcePath);
  if (source.empty()) {
    ReportSystemError(L"Unable to browse directory %s", SourcePath);
    return false;
  }
  std::vector<FileIdentity> destination = DirectoryChain(DestinationPath);
  if (destination.empty()) {
    ReportSystemError(L"Unable to browse directory %s", DestinationPath);
    return false;
  }
  SourceRoot = source[0];
  DestinationRoot = destination[0];
  DestinationParents.assign(destination.begin() + 1, destination.end());
  SourceParents.assign(source.begin() + 1, source.end());
  if (SourceRoot == DestinationRoot) {
    WriteError(L"Error: the source and destination directories are the same: `%s'\n",
               DestinationPath);
    return false;
  }
  for (size_t i = 1; i < source.size(); i++) {
    if (source[i] == DestinationRoot) {
      WriteError(L"Error: the source directory lies inside the destination directory: `%s'\n",
                 SourcePath);
      return false;
    }
  }
  SourceLevels.push_back(SourceLevel{SourceRoot, true, Contains(DestinationParents, SourceRoot),
                                     lstrlenW(SourcePath)});
  return true;
}

SourceDirectoryKind ClassifySourceDirectory(const DirectoryEntry& entry) {
  FileIdentity identity;
  bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (link) {
    // A link may lead anywhere: into the destination tree, or to a parent of the source root
    // (the whole file system above it would be copied). Neither is entered.
    PathBuffer path;
    if (!PathCombineW(path.get(), SourcePath, entry.cFileName))
      return kWalkDirectory;
    std::vector<FileIdentity> target = DirectoryChain(path.get());
    if (target.empty())
      return kWalkDirectory;  // the listing of what it leads to fails and is reported
    if (target[0] == DestinationRoot)
      return kDestinationRoot;
    if (Contains(target, DestinationRoot) || target[0] == SourceRoot ||
        Contains(SourceParents, target[0]))
      return kLoopDirectory;
    identity = target[0];
  } else if (!EntryIdentity(entry, SourcePath, entry.cFileName, &identity)) {
    return kWalkDirectory;
  } else if (identity == DestinationRoot) {
    return kDestinationRoot;
  }
  // Where identities are not free (Windows), only a link can lead to one of its own parents.
  if (!link && !entry.IdentityKnown)
    return kWalkDirectory;
  FileIdentity levelIdentity;
  for (SourceLevel& level : SourceLevels) {
    if (LevelIdentity(level, &levelIdentity) && levelIdentity == identity)
      return kLoopDirectory;
  }
  return kWalkDirectory;
}

void EnterSourceDirectory(const DirectoryEntry& entry) {
  SourceLevel level{};
  level.known = EntryIdentity(entry, SourcePath, nullptr, &level.identity);
  level.holdsDestination = level.known && Contains(DestinationParents, level.identity);
  level.pathLength = lstrlenW(SourcePath);
  SourceLevels.push_back(level);
}

void LeaveSourceDirectory() {
  SourceLevels.pop_back();
}

bool DestinationLinkLeadsOutside(const wchar_t* path) {
  std::vector<FileIdentity> target = DirectoryChain(path);
  if (target.empty())
    return true;  // leads nowhere: the listing of it fails and is reported
  return !Contains(target, SourceRoot) && !Contains(target, DestinationRoot) &&
         !Contains(SourceParents, target[0]) && !Contains(DestinationParents, target[0]);
}

void ReportLoop(const wchar_t* path, const wchar_t* name) {
  PathBuffer joined;
  if (name != nullptr) {
    if (!CombinePath(joined.get(), path, name))
      return;
    path = joined.get();
  }
  SetLastError(ERROR_CANT_RESOLVE_FILENAME);
  ReportSystemError(L"Unable to browse directory %s", path);
}

bool ListSourceDirectory(const wchar_t* directory, EntryList& files, EntryList& subdirectories) {
  if (!ListDirectory(directory, files, subdirectories, kSourceSide))
    return false;
  std::vector<DirectoryEntry>& entries = subdirectories.Entries;
  size_t kept = 0;
  for (DirectoryEntry& entry : entries) {
    if (entry.Mark == 0) {
      SourceDirectoryKind kind = ClassifySourceDirectory(entry);
      if (kind == kDestinationRoot)
        continue;  // the mirror never holds itself
      if (kind == kLoopDirectory)
        entry.Mark = kEntryLoop;
    }
    entries[kept++] = entry;
  }
  entries.resize(kept);
  return true;
}
