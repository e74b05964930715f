// Permission bits of the POSIX build: whether a file system keeps them, which bits an equal
// pair's destination must get, and setting them.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/posix/internal.h"

namespace {

const unsigned long kFatMagic = 0x4d44;  // MSDOS_SUPER_MAGIC: FAT12, FAT16 and FAT32
const unsigned long kExFatMagic = 0x2011BAB0;
const unsigned long kFuseMagic = 0x65735546;

// The boot sector of a FAT or exFAT volume: "EXFAT" at 3, "FAT12"/"FAT16" at 54, "FAT32" at 82.
bool FatBootSector(const char* sector) {
  return std::memcmp(sector + 3, "EXFAT   ", 8) == 0 || std::memcmp(sector + 54, "FAT1", 4) == 0 ||
         std::memcmp(sector + 82, "FAT32   ", 8) == 0;
}

// A FUSE volume on a block device names its driver nowhere the program can ask; the device's
// boot sector tells FAT and exFAT (where the runner may read the device, as root can).
bool FuseVolumeIsFat(dev_t device) {
  std::ifstream mounts("/proc/self/mountinfo");
  const std::string number = std::to_string(major(device)) + ":" + std::to_string(minor(device));
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string id, parent, deviceNumber, word, type, source;
    fields >> id >> parent >> deviceNumber;
    if (deviceNumber != number)
      continue;
    while (fields >> word && word != "-") {
    }
    fields >> type >> source;
    if (type.rfind("fuseblk", 0) != 0)
      return false;
    char sector[512];
    int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    bool fat =
        fd >= 0 && pread(fd, sector, sizeof sector, 0) == sizeof sector && FatBootSector(sector);
    if (fd >= 0)
      close(fd);
    return fat;
  }
  return false;
}

}  // namespace

bool PermissionBitsKept(int directory, const char* name, dev_t device) {
  static std::mutex lock;
  static std::vector<std::pair<dev_t, bool>> known;  // by device, once per run
  {
    std::lock_guard<std::mutex> hold(lock);
    for (const auto& [volume, kept] : known)
      if (volume == device)
        return kept;
  }
  // Where the file system cannot be asked, the bits are compared.
  int fd = openat(directory, name, O_PATH | O_CLOEXEC);
  if (fd < 0)
    return true;
  struct statfs fs;
  int asked = fstatfs(fd, &fs);
  close(fd);
  if (asked != 0)
    return true;
  unsigned long type = static_cast<unsigned long>(fs.f_type);
  bool kept =
      type != kFatMagic && type != kExFatMagic && !(type == kFuseMagic && FuseVolumeIsFat(device));
  std::lock_guard<std::mutex> hold(lock);
  known.emplace_back(device, kept);
  return kept;
}

namespace {

// Every owner and group pair listed in the run, numbered in the order the listings met them.
std::mutex ownersLock;
std::vector<std::pair<uint32_t, uint32_t>> ownerPairs;
std::unordered_map<uint64_t, uint32_t> ownerNumbers;

std::pair<uint32_t, uint32_t> OwnersOfNumber(uint32_t number) {
  std::lock_guard<std::mutex> hold(ownersLock);
  return ownerPairs[number];
}

}  // namespace

uint32_t OwnersNumber(uint32_t owner, uint32_t group) {
  // Most entries of a listing share the pair of the one before.
  thread_local bool cached = false;
  thread_local uint64_t cachedKey;
  thread_local uint32_t cachedNumber;
  uint64_t key = (uint64_t{owner} << 32) | group;
  if (cached && key == cachedKey)
    return cachedNumber;
  std::lock_guard<std::mutex> hold(ownersLock);
  auto found = ownerNumbers.try_emplace(key, static_cast<uint32_t>(ownerPairs.size()));
  if (found.second)
    ownerPairs.emplace_back(owner, group);
  cached = true, cachedKey = key, cachedNumber = found.first->second;
  return cachedNumber;
}

bool PermissionBitsToSet(const ListedPermissions& source, const ListedPermissions& destination,
                         uint32_t destinationAttributes, uint32_t* mode) {
  if (source.Mode == kPermissionsNotKept || destination.Mode == kPermissionsNotKept ||
      (destinationAttributes & kAttributeReparsePoint)) {
    return false;
  }
  uint32_t wanted = source.Mode;
  if (source.Owners != destination.Owners)
    wanted &= ~static_cast<uint32_t>(S_ISUID | S_ISGID);
  if (destinationAttributes & kAttributeDirectory)
    wanted |= S_IWUSR;
  *mode = wanted;
  return wanted != destination.Mode;
}

bool SetModeOfEntry(int directory, const char* name, mode_t mode) {
  struct stat st;
  if (!StatOfEntryItself(directory, name, &st))
    return false;
  if (fchmodat(directory, name, mode, 0) != 0) {
    SetErrorCode(errno);
    return false;
  }
  return true;
}

bool OwnerToSet(const ListedPermissions& source, const ListedPermissions& destination,
                uint32_t destinationAttributes) {
  // The owners first: most pairs share theirs, and then nothing else is asked.
  return source.Owners != destination.Owners && source.Mode != kPermissionsNotKept &&
         destination.Mode != kPermissionsNotKept &&
         !(destinationAttributes & kAttributeReparsePoint) && RunAsRoot();
}

void TakeOwner(ListedPermissions* destination, const ListedPermissions& source,
               uint32_t destinationAttributes) {
  destination->Owners = source.Owners;
  if (!(destinationAttributes & kAttributeDirectory) && destination->Mode != kPermissionsNotKept)
    destination->Mode &= static_cast<uint16_t>(~(S_ISUID | S_ISGID));
}

bool SetOwnerAt(const OpenDirectory& directory, const wchar_t* name,
                const ListedPermissions& source) {
  std::string bytes = ToBytes(name);
  struct stat st;
  if (!StatOfEntryItself(directory.Descriptor, bytes.c_str(), &st))
    return false;
  std::pair<uint32_t, uint32_t> owners = OwnersOfNumber(source.Owners);
  if (fchownat(directory.Descriptor, bytes.c_str(), owners.first, owners.second,
               AT_SYMLINK_NOFOLLOW) != 0) {
    SetErrorCode(errno);
    return false;
  }
  return true;
}
