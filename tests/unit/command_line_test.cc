// The command line and the run settings it leads to: the option table and its value rules, option
// names, patterns, directories (error texts: end to end), numbers, derived settings, the FAT
// detection.
#include <tuple>

#include "settings/options.h"
#include "cli/run.h"
#include "program_state.h"
#include "scan/filter.h"

namespace {

using CommandLineTest = ProgramStateTest;

TEST_F(CommandLineTest, ValueRulesAndDerivedSettings) {
  // The arguments; an option row (kOptionCount: the time shift in ticks); its value at last.
  // clang-format off
  const std::tuple<Strings, int, int64_t> cases[] = {
      // Yes/no: no value, "y", "Y" or "1" is yes; "n", "N" or "0" no (others: end to end).
      {{L"--virtual"}, kVirtual, 1}, {{L"-v=y"}, kVirtual, 1}, {{L"-v=1"}, kVirtual, 1},
      {{L"-ct=n"}, kCompareTime, 0}, {{L"-ct=n", L"-ct=Y"}, kCompareTime, 1},
      {{L"-ct=0"}, kCompareTime, 0}, {{L"-v=1", L"-v=N"}, kVirtual, 0},
      {{L"-lo=n", L"--log-oem"}, kLogOem, 1},
      // An empty value leaves the value as it was.
      {{L"-v="}, kVirtual, 0}, {{L"-v", L"-v="}, kVirtual, 1}, {{L"-ct="}, kCompareTime, 1},
      // Numbers: no value and "y" leave the value; anything else is converted (no digits: 0).
      {{L"-tp"}, kTimePrecision, 5}, {{L"-tp=7", L"-tp"}, kTimePrecision, 7},
      {{L"-tp=7", L"--time-precision=y"}, kTimePrecision, 7}, {{L"-tp=Y"}, kTimePrecision, 0},
      {{L"-tp=7", L"-tp="}, kTimePrecision, 0}, {{L"-ts=-12=5"}, kTimeShift, -12},
      // Derived: a negative precision is 0; contents compared: sizes too (not times), and when
      // times differ, times too; the shift in ticks, widened before the multiplication.
      {{L"-tp=-1"}, kTimePrecision, 0}, {{L"-ct=n", L"-cs=n", L"-cc"}, kCompareTime, 0},
      {{L"-ct=n", L"-cs=n", L"-cc"}, kCompareSize, 1}, {{L"-ct=n", L"-tcc"}, kCompareTime, 1},
      {{L"-cs=n", L"-tcc"}, kCompareSize, 1}, {{L"-ts=-3600"}, kOptionCount, -3600 * 10000000LL},
      {{L"-ts=2147483647"}, kOptionCount, 2147483647 * 10000000LL}};
  // clang-format on
  for (const auto& [arguments, row, value] : cases) {
    Derive(arguments);
    EXPECT_EQ(row < kOptionCount ? OptionTable[row].Value : TimeShiftTicks, value)
        << Narrow(arguments.back());
  }
  // A pattern option without a value sets the kind only: include mode, no pattern.
  Derive({L"--include"});
  EXPECT_TRUE(IncludeMode && PatternList.empty());
}

TEST_F(CommandLineTest, FatVolumesByTheFileSystemNameAndRootsOnly) {
  std::string fat;  // only names beginning with "FAT" in any case
  for (const wchar_t* name : {L"FAT", L"FAT32", L"fat16", L"Fat", L"exFAT", L"NTFS", L"", L"FA"})
    fat += IsFatFileSystemName(name) ? 'y' : 'n';
  EXPECT_EQ(fat, "yyyynnnn");
  // Without time-shift-fat no volume is queried: the last error stays as it was.
  TempDir dir;
  OpenDirectory directory;
  ASSERT_TRUE(OpenRootDirectory(WidePath(dir.path()).c_str(), &directory));
  OptionTable[kTimeShiftFat].Value = 0;
  SetErrorCode(0x2000FFFF);
  EXPECT_FALSE(IsOnFatVolume(directory));
  EXPECT_EQ(LastErrorCode(), ErrorCode{0x2000FFFF});
}

}  // namespace
