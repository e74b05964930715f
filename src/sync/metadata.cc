#include "sync/metadata.h"

#include "settings/options.h"
#include "output/console.h"
#include "scan/path_text.h"
#include "sync/copies_in_flight.h"

namespace {

// The attribute word of an entry of directory (path as printed) when its listing could not read
// it, read again; false, reported with the entry's own path, when it still cannot be. A
// directory is not reported: the listing of it that follows fails for the same reason and says
// so.
bool AttributesReadAgain(const OpenDirectory& directory, const std::wstring& path,
                         const DirectoryEntry& entry, uint32_t* attributes) {
  uint32_t word = ReadAttributesAt(directory, WideName(entry.Name));
  if (word == kInvalidAttributes) {
    if (!(entry.Attributes & kAttributeDirectory))
      ReportSystemError(L"Unable to read attributes %s", path.c_str());
    return false;
  }
  *attributes = word;
  return true;
}

}  // namespace

void ReportRefusedAttributes(const std::wstring& directory, const wchar_t* name) {
  std::wstring path = directory;
  if (ExtendedAttributesRefused() && (name == nullptr || CombinePath(&path, directory, name)))
    ReportSystemError(L"Unable to copy extended attributes %s", path.c_str());
}

void ReportMetaOnce(bool& metaLinePending, const std::wstring& path) {
  if (!metaLinePending)
    return;
  metaLinePending = false;
  WriteLogLine(L"meta", path.c_str());
}

void UpdateMetadata(Pass& pass, const std::wstring& path, const DirectoryEntry& source,
                    const DirectoryEntry& destination, bool timesEqual) {
  if (OptionSet(kNoMeta))
    return;
  bool metaLinePending = OptionSet(kLogMeta);
  bool change = !OptionSet(kVirtual);
  const OpenDirectory& directory = pass.Destination.Directory();
  WideName name(source.Name);
  auto changing = [&] {
    ReportMetaOnce(metaLinePending, path);
    if (change)
      AwaitCopiesBeforeChanging(pass, directory, destination);
  };

  // Attributes that stay unknown correct nothing and are corrected from nothing: hidden and
  // system are never stripped on a guess.
  uint32_t s = source.Attributes, d = destination.Attributes;
  bool known =
      !destination.AttributesUnknown || AttributesReadAgain(directory, path, destination, &d);
  if (known && source.AttributesUnknown) {
    std::wstring sourcePath;
    known = CombinePath(&sourcePath, pass.Source.Path, WideName(source.Name)) &&
            AttributesReadAgain(pass.Source.Directory(), sourcePath, source, &s);
  }
  // Unknown attributes leave the permission bits alone too.
  bool attributesSet = known;
  if (known && ((s ^ d) & kProtectiveAttributes)) {
    changing();
    uint32_t word = (s & ~kAttributeArchive) | (d & kAttributeArchive);
    if (change && !SetAttributesAt(directory, name, word)) {
      ReportSystemError(L"Unable to set attributes %s", path.c_str());
      attributesSet = false;
    }
  }

  // Run as root, the owner and group before the mode: chown clears a file's set-ID bits, which
  // then go back with the source's mode.
  ListedPermissions permissions = destination.Permissions;
  if (attributesSet && OwnerToSet(source.Permissions, permissions, d)) {
    changing();
    if (!change || SetOwnerAt(directory, name, source.Permissions))
      TakeOwner(&permissions, source.Permissions, d);
    else
      ReportSystemError(L"Unable to set attributes %s", path.c_str());
  }

  // After a failed attribute change the permission bits stay as they are too: their write bits
  // are its read-only half.
  uint32_t mode;
  if (attributesSet && PermissionBitsToSet(source.Permissions, permissions, d, &mode)) {
    changing();
    if (change && !SetPermissionsAt(directory, name, mode))
      ReportSystemError(L"Unable to set attributes %s", path.c_str());
  }

  // Extended attributes and ACLs after the owner (chown drops file capabilities) and the mode.
  if (attributesSet && ExtendedAttributesDiffer(pass.Source.Directory(), directory, name)) {
    changing();
    if (change && !CopyExtendedAttributesAt(pass.Source.Directory(), directory, name))
      ReportSystemError(L"Unable to set attributes %s", path.c_str());
    ReportRefusedAttributes(path);
  }

  if (OptionSet(kTimeMeta) && !timesEqual) {
    changing();
    if (change && !SetWriteTimeAt(directory, name, source.WriteTime))
      ReportSystemError(L"Unable to set modification time %s", path.c_str());
  }

  if (CompareNameCodes(destination.Name, source.Name) != 0) {
    changing();
    if (change && !RenameToCaseAt(directory, name))
      ReportSystemError(L"Unable to rename %s", path.c_str());
  }
}
