// Run preparation: the settings other options imply, the time shift in file-time units, and the
// FAT detection of a root directory.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "cli/options.h"
#include "cli/run.h"
#include "program_state.h"

using RunSettingsTest = ProgramStateTest;

TEST(FatFileSystemName, OnlyNamesBeginningWithFatInAnyCase) {
  for (const wchar_t* name : {L"FAT", L"FAT32", L"fat16", L"Fat"}) {
    EXPECT_TRUE(IsFatFileSystemName(name)) << Narrow(name);
  }
  for (const wchar_t* name : {L"exFAT", L"NTFS", L"", L"FA", L"vfat"}) {
    EXPECT_FALSE(IsFatFileSystemName(name)) << Narrow(name);
  }
}

TEST_F(RunSettingsTest, DerivedSettings) {
  Derive({L"-tp=-1"});
  EXPECT_EQ(OptionTable[kTimePrecision].Value, 0);
  Derive({L"-tp=7", L"-ct=n", L"-cs=n", L"-cc"});  // contents compared: sizes too, not times
  EXPECT_EQ(OptionTable[kTimePrecision].Value, 7);
  EXPECT_EQ(OptionTable[kCompareTime].Value, 0);
  EXPECT_EQ(OptionTable[kCompareSize].Value, 1);
  Derive({L"-ct=n", L"-cs=n", L"-tcc"});  // contents compared when times differ: both
  EXPECT_EQ(OptionTable[kCompareTime].Value, 1);
  EXPECT_EQ(OptionTable[kCompareSize].Value, 1);
  Derive({L"-ts=-3600"});
  EXPECT_EQ(TimeShiftTicks, -3600 * 10000000LL);
  Derive({L"-ts=2147483647"});  // widened before the multiplication
  EXPECT_EQ(TimeShiftTicks, 2147483647 * 10000000LL);
}

TEST_F(RunSettingsTest, WithoutTimeShiftFatNoVolumeIsQueried) {
  TempDir dir;
  OptionTable[kTimeShiftFat].Value = 0;
  SetLastError(0x2000FFFF);  // stays as it is: no system call was made
  EXPECT_FALSE(IsOnFatVolume(WidePath(dir.path()).c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(0x2000FFFF));
}

TEST_F(RunSettingsTest, NativeDirectoryGetsTheAnswerOfTheMountHoldingIt) {
  if (kWindowsBuild) {
    GTEST_SKIP() << "mount points are read from /proc/self/mountinfo on the native build";
  }
  TempDir dir;
  fs::path deep = fs::canonical(dir.path()) / "one" / "two";
  fs::create_directories(deep);
  // The longest mount point above the directory (later mounts on one point hide earlier ones).
  std::ifstream info("/proc/self/mountinfo");
  std::string point, type, path = deep.string();
  for (std::string line; std::getline(info, line);) {
    std::istringstream fields(line), tail(line.substr(line.find(" - ") + 3));
    std::string skip, mountPoint, fileSystem;
    fields >> skip >> skip >> skip >> skip >> mountPoint;
    tail >> fileSystem;
    if (mountPoint != "/")
      mountPoint += "/";
    if ((path + "/").rfind(mountPoint, 0) == 0 && mountPoint.size() >= point.size())
      point = mountPoint, type = fileSystem;
  }
  const std::map<std::string, std::wstring> kNames = {
      {"vfat", L"FAT"},    {"msdos", L"FAT"}, {"exfat", L"exFAT"},    {"ntfs3", L"NTFS"},
      {"ext4", L"ext4"},   {"ext3", L"ext4"}, {"ext2", L"ext4"},      {"tmpfs", L"tmpfs"},
      {"btrfs", L"btrfs"}, {"xfs", L"xfs"},   {"overlay", L"overlay"}};
  if (kNames.count(type) == 0) {
    GTEST_SKIP() << "file system type \"" << type << "\" has no name known to this test";
  }
  // The mount point is a volume root, of its type; the directory gets the same answer.
  wchar_t name[256];
  std::wstring root = WidePath(point);
  ASSERT_TRUE(
      GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, 256));
  EXPECT_EQ(std::wstring(name), kNames.at(type)) << type;
  EXPECT_EQ(IsOnFatVolume(WidePath(deep).c_str()), kNames.at(type) == L"FAT");
}
