// Volumes of the POSIX build: a directory is the root of a volume when its device differs
// from its parent's, or when it is "/"; the file system is named from statfs.
#include <cerrno>
#include <sys/stat.h>
#include <sys/vfs.h>

#include "platform/posix/internal.h"

const wchar_t* FileSystemName(unsigned long type) {
  switch (type) {
    case 0x4d44:
      return L"FAT";  // MSDOS_SUPER_MAGIC: FAT12, FAT16 and FAT32
    case 0x2011BAB0:
      return L"exFAT";
    case 0x5346544e:
      return L"NTFS";
    case 0xEF53:
      return L"ext4";
    case 0x01021994:
      return L"tmpfs";
    case 0x9123683E:
      return L"btrfs";
    case 0x58465342:
      return L"xfs";
    case 0x794c7630:
      return L"overlay";
    case 0x6969:
      return L"nfs";
    case 0xFF534D42:
      return L"cifs";
    case 0x65735546:
      return L"fuse";
    case 0x2FC12FC1:
      return L"zfs";
    case 0x9660:
      return L"iso9660";
    case 0x15013346:
      return L"udf";
    case 0x3153464a:
      return L"jfs";
    case 0xF2F52010:
      return L"f2fs";
    case 0x858458f6:
      return L"ramfs";
    default:
      return L"unknown";
  }
}
