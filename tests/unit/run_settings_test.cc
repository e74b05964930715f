// Run preparation: the settings other options imply, the time shift in file-time units, and the
// FAT detection of a root directory.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "cli/command_line.h"
#include "cli/options.h"
#include "cli/run.h"
#include "program_state.h"

namespace {

class RunSettingsTest : public ProgramStateTest {
 protected:
  // Parses the options as the entry point does, then derives the settings as the run does.
  void Derive(std::initializer_list<std::wstring> arguments) {
    ResetProgramState();
    ArgumentVector args(arguments);
    CapturedConsole console;
    ASSERT_TRUE(ParseCommandLine(args.argc(), args.argv()));
    DeriveSettings();
  }
};

TEST(FatFileSystemName, OnlyNamesBeginningWithFat) {
  EXPECT_TRUE(IsFatFileSystemName(L"FAT"));
  EXPECT_TRUE(IsFatFileSystemName(L"FAT32"));
  EXPECT_TRUE(IsFatFileSystemName(L"FAT12"));
  EXPECT_TRUE(IsFatFileSystemName(L"fat16"));
  EXPECT_TRUE(IsFatFileSystemName(L"Fat"));
  EXPECT_FALSE(IsFatFileSystemName(L"exFAT"));
  EXPECT_FALSE(IsFatFileSystemName(L"NTFS"));
  EXPECT_FALSE(IsFatFileSystemName(L""));
  EXPECT_FALSE(IsFatFileSystemName(L"FA"));
  EXPECT_FALSE(IsFatFileSystemName(L"F"));
  EXPECT_FALSE(IsFatFileSystemName(L"ext4"));
  EXPECT_FALSE(IsFatFileSystemName(L"vfat"));
}

TEST_F(RunSettingsTest, NegativeTimePrecisionBecomesZero) {
  Derive({L"-tp=-1"});
  EXPECT_EQ(OptionTable[kTimePrecision].Value, 0);
  Derive({L"-tp=-2147483648"});
  EXPECT_EQ(OptionTable[kTimePrecision].Value, 0);
  Derive({L"-tp=0"});
  EXPECT_EQ(OptionTable[kTimePrecision].Value, 0);
  Derive({L"-tp=7"});
  EXPECT_EQ(OptionTable[kTimePrecision].Value, 7);
  Derive({});
  EXPECT_EQ(OptionTable[kTimePrecision].Value, 5);
}

TEST_F(RunSettingsTest, ContentsOptionsSwitchOnTheComparisonsTheyNeed) {
  Derive({L"-ct=n", L"-tcc"});
  EXPECT_EQ(OptionTable[kCompareTime].Value, 1);
  Derive({L"-cs=n", L"-cc"});
  EXPECT_EQ(OptionTable[kCompareSize].Value, 1);
  EXPECT_EQ(OptionTable[kCompareTime].Value, 1);
  Derive({L"-cs=n", L"-tcc"});
  EXPECT_EQ(OptionTable[kCompareSize].Value, 1);
  // compare-contents alone leaves compare-time as it is.
  Derive({L"-ct=n", L"-cc"});
  EXPECT_EQ(OptionTable[kCompareTime].Value, 0);
  EXPECT_EQ(OptionTable[kCompareSize].Value, 1);
  // Without a contents option both keep their own values.
  Derive({L"-ct=n", L"-cs=n"});
  EXPECT_EQ(OptionTable[kCompareTime].Value, 0);
  EXPECT_EQ(OptionTable[kCompareSize].Value, 0);
  EXPECT_EQ(OptionTable[kCompareContents].Value, 0);
  EXPECT_EQ(OptionTable[kTimeCompareContents].Value, 0);
  Derive({L"-ct=n", L"-cs=n", L"-tcc=n", L"-cc=n"});
  EXPECT_EQ(OptionTable[kCompareTime].Value, 0);
  EXPECT_EQ(OptionTable[kCompareSize].Value, 0);
}

TEST_F(RunSettingsTest, TimeShiftInFileTimeUnits) {
  Derive({});
  EXPECT_EQ(TimeShiftTicks, 0);
  Derive({L"-ts=-3600"});
  EXPECT_EQ(TimeShiftTicks, -36000000000LL);
  Derive({L"--time-shift=1"});
  EXPECT_EQ(TimeShiftTicks, 10000000LL);
  // Widened before the multiplication: every 32-bit value fits.
  Derive({L"-ts=2147483647"});
  EXPECT_EQ(TimeShiftTicks, 21474836470000000LL);
  Derive({L"-ts=-2147483648"});
  EXPECT_EQ(TimeShiftTicks, -21474836480000000LL);
  // The option itself keeps its seconds.
  EXPECT_EQ(OptionTable[kTimeShift].Value, -2147483647 - 1);
}

TEST_F(RunSettingsTest, WithoutTimeShiftFatNoVolumeIsQueried) {
  TempDir dir;
  std::wstring path = WidePath(dir.path());
  OptionTable[kTimeShiftFat].Value = 0;
  // The last error stays as it was: no system call was made.
  SetLastError(0x2000FFFF);
  EXPECT_FALSE(IsOnFatVolume(path.c_str()));
  EXPECT_FALSE(IsOnFatVolume(L"no-such-directory"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(0x2000FFFF));
}

#ifndef _WIN32
// The mount that holds a path, from /proc/self/mountinfo: its mount point and file system type.
struct Mount {
  std::string point, type;
};

std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); i++) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool Below(const std::string& path, const std::string& point) {
  if (point == "/")
    return true;
  return path == point || (path.compare(0, point.size(), point) == 0 && path[point.size()] == '/');
}

Mount MountHolding(const std::string& path) {
  std::ifstream info("/proc/self/mountinfo");
  Mount best;
  for (std::string line; std::getline(info, line);) {
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string word; fields >> word;) words.push_back(word);
    size_t dash = 0;
    while (dash < words.size() && words[dash] != "-") dash++;
    if (words.size() < 5 || dash + 1 >= words.size())
      continue;
    std::string point = Unescape(words[4]);
    // Later mounts on the same point hide earlier ones.
    if (Below(path, point) && point.size() >= best.point.size())
      best = {point, words[dash + 1]};
  }
  return best;
}

// The name the platform gives a file system type, or "" where the test does not know it.
std::wstring PlatformName(const std::string& type) {
  if (type == "ext2" || type == "ext3" || type == "ext4")
    return L"ext4";
  if (type == "vfat" || type == "msdos")
    return L"FAT";
  if (type == "exfat")
    return L"exFAT";
  if (type == "ntfs" || type == "ntfs3")
    return L"NTFS";
  for (const char* same : {"tmpfs", "btrfs", "xfs", "overlay", "nfs", "zfs", "f2fs", "ramfs"}) {
    if (type == same)
      return std::wstring(type.begin(), type.end());
  }
  return L"";
}
#endif

TEST_F(RunSettingsTest, DirectoryBelowAMountGetsTheAnswerOfThatMount) {
#ifdef _WIN32
  GTEST_SKIP() << "mount points are checked on the native build";
#else
  TempDir dir;
  fs::path deep = fs::canonical(dir.path()) / "one" / "two" / "three";
  fs::create_directories(deep);
  Mount mount = MountHolding(deep.native());
  ASSERT_FALSE(mount.point.empty());
  std::wstring expected = PlatformName(mount.type);
  if (expected.empty())
    GTEST_SKIP() << "unknown file system type " << mount.type;

  // Below the mount point no directory is a volume root; the mount point is one, of its type.
  wchar_t volume[256], fileSystem[256];
  for (fs::path p = deep; p.native().size() > mount.point.size(); p = p.parent_path()) {
    std::wstring root = WidePath(p) + L"/";
    EXPECT_FALSE(GetVolumeInformationW(root.c_str(), volume, 256, nullptr, nullptr, nullptr,
                                       fileSystem, 256))
        << p;
  }
  std::wstring point = WidePath(mount.point);
  if (point.back() != L'/')
    point += L'/';
  ASSERT_TRUE(
      GetVolumeInformationW(point.c_str(), volume, 256, nullptr, nullptr, nullptr, fileSystem, 256))
      << mount.point;
  EXPECT_EQ(std::wstring(fileSystem), expected) << mount.type;

  std::wstring deepPath = WidePath(deep);
  bool onFat = IsFatFileSystemName(expected.c_str());
  EXPECT_EQ(IsOnFatVolume(deepPath.c_str()), onFat);
  EXPECT_EQ(IsOnFatVolume((deepPath + L"/").c_str()), onFat);
  EXPECT_EQ(IsOnFatVolume(point.c_str()), onFat);
#endif
}

}  // namespace
