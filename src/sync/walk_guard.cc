#include "sync/walk_guard.h"

#include <vector>

#include "output/console.h"
#include "scan/path_text.h"

namespace {

bool Contains(const std::vector<FileIdentity>& list, const FileIdentity& identity) {
  for (const FileIdentity& item : list)
    if (item == identity)
      return true;
  return false;
}

// The identity of source level i, asked for the first time it is needed.
bool LevelIdentity(Pass& pass, size_t i, FileIdentity* identity) {
  SourceLevel& level = pass.Guard.Levels[i];
  if (!level.Known) {
    if (i >= pass.Source.Levels.size())
      return false;
    level.Known = IdentityAt(pass.Source.Levels[i], nullptr, &level.Identity);
    if (!level.Known)
      return false;
  }
  *identity = level.Identity;
  return true;
}

// The identity of a sub-directory entry of the current source directory where the walk needs
// it: free from the listing, or asked for when the entry is a link or may lead to the
// destination root. A plain sub-directory of a directory that does not hold the destination can
// be neither the destination nor a loop.
bool EntryIdentity(Pass& pass, const DirectoryEntry& entry, FileIdentity* identity) {
  if (entry.IdentityKnown) {
    *identity = UnpackIdentity(entry.Identity);
    return true;
  }
  bool link = (entry.Attributes & kAttributeReparsePoint) != 0;
  if (!link && (pass.Guard.Levels.empty() || !pass.Guard.Levels.back().HoldsDestination))
    return false;
  return IdentityAt(pass.Source.Directory(), WideName(entry.Name), identity);
}

// Opens a root, with its identity chain; false, reported, when either cannot be had.
bool OpenRoot(WalkSide& side, std::vector<FileIdentity>* chain) {
  OpenDirectory root;
  if (OpenRootDirectory(side.Path.c_str(), &root)) {
    *chain = IdentityChainAt(root, nullptr);
    if (!chain->empty()) {
      side.Levels.push_back(std::move(root));
      return true;
    }
  }
  ReportSystemError(L"Unable to browse directory %s", side.Path.c_str());
  return false;
}

}  // namespace

bool CheckRoots(Pass& pass) {
  WalkGuard& guard = pass.Guard;
  // Without both identities nothing could tell whether the mirror would delete its source.
  std::vector<FileIdentity> source, destination;
  if (!OpenRoot(pass.Source, &source) || !OpenRoot(pass.Destination, &destination))
    return false;
  guard.SourceRoot = source[0];
  guard.DestinationRoot = destination[0];
  guard.DestinationParents.assign(destination.begin() + 1, destination.end());
  guard.SourceParents.assign(source.begin() + 1, source.end());
  if (guard.SourceRoot == guard.DestinationRoot) {
    WriteError(L"Error: the source and destination directories are the same: `%s'\n",
               pass.Destination.Path.c_str());
    return false;
  }
  if (Contains(guard.SourceParents, guard.DestinationRoot)) {
    WriteError(L"Error: the source directory lies inside the destination directory: `%s'\n",
               pass.Source.Path.c_str());
    return false;
  }
  guard.Levels.push_back(
      SourceLevel{guard.SourceRoot, true, Contains(guard.DestinationParents, guard.SourceRoot)});
  return true;
}

SourceDirectoryKind ClassifySourceDirectory(Pass& pass, const DirectoryEntry& entry) {
  const WalkGuard& guard = pass.Guard;
  FileIdentity identity;
  bool link = (entry.Attributes & kAttributeReparsePoint) != 0;
  if (link) {
    // A link may lead anywhere: into the destination tree, or to a parent of the source root
    // (the whole file system above it would be copied). Neither is entered.
    std::vector<FileIdentity> target =
        IdentityChainAt(pass.Source.Directory(), WideName(entry.Name));
    if (target.empty())
      return kWalkDirectory;  // the listing of what it leads to fails and is reported
    if (target[0] == guard.DestinationRoot)
      return kDestinationRoot;
    if (Contains(target, guard.DestinationRoot) || target[0] == guard.SourceRoot ||
        Contains(guard.SourceParents, target[0]))
      return kLoopDirectory;
    identity = target[0];
  } else if (!EntryIdentity(pass, entry, &identity)) {
    return kWalkDirectory;
  } else if (identity == guard.DestinationRoot) {
    return kDestinationRoot;
  }
  // Where identities are not free (Windows), only a link can lead to one of its own parents.
  if (!link && !entry.IdentityKnown)
    return kWalkDirectory;
  FileIdentity levelIdentity;
  for (size_t i = 0; i < pass.Guard.Levels.size(); i++) {
    if (LevelIdentity(pass, i, &levelIdentity) && levelIdentity == identity)
      return kLoopDirectory;
  }
  return kWalkDirectory;
}

void EnterSourceDirectory(Pass& pass, const DirectoryEntry& entry) {
  SourceLevel level{};
  level.Known = EntryIdentity(pass, entry, &level.Identity);
  level.HoldsDestination = level.Known && Contains(pass.Guard.DestinationParents, level.Identity);
  pass.Guard.Levels.push_back(level);
}

void LeaveSourceDirectory(Pass& pass) {
  pass.Guard.Levels.pop_back();
}

bool DestinationLinkLeadsOutside(Pass& pass, const wchar_t* name) {
  const WalkGuard& guard = pass.Guard;
  std::vector<FileIdentity> target = IdentityChainAt(pass.Destination.Directory(), name);
  if (target.empty())
    return true;  // leads nowhere: opening it fails and is reported
  return !Contains(target, guard.SourceRoot) && !Contains(target, guard.DestinationRoot) &&
         !Contains(guard.SourceParents, target[0]) &&
         !Contains(guard.DestinationParents, target[0]);
}

void ReportLoop(const std::wstring& path, const wchar_t* name) {
  std::wstring joined = path;
  if (name != nullptr && !CombinePath(&joined, path, name))
    return;
  SetErrorCode(kErrorLinkRefused);
  ReportSystemError(L"Unable to browse directory %s", joined.c_str());
}

bool ListSourceDirectory(Pass& pass, EntryList& files, EntryList& subdirectories) {
  if (!ListDirectory(pass.Source.Directory(), pass.Source.Path, files, subdirectories, kSourceSide))
    return false;
  ClassifySourceSubdirectories(pass, subdirectories);
  return true;
}

void ClassifySourceSubdirectories(Pass& pass, EntryList& subdirectories) {
  EntryArray& entries = subdirectories.Entries;
  size_t kept = 0;
  for (DirectoryEntry& entry : entries) {
    if (entry.Mark == 0) {
      SourceDirectoryKind kind = ClassifySourceDirectory(pass, entry);
      if (kind == kDestinationRoot)
        continue;  // the mirror never holds itself
      if (kind == kLoopDirectory)
        entry.Mark = kEntryLoop;
    }
    entries[kept++] = entry;
  }
  entries.Truncate(kept);
}
