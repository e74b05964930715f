// The option table: its rows, and the value rules of yes/no and number options as the command
// line sets them.
#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <tuple>

#include "cli/options.h"
#include "program_state.h"

// Long name, short name, default.
// clang-format off
const std::tuple<const wchar_t*, const wchar_t*, int> kRows[] = {
    {L"virtual", L"v", 0}, {L"unset-archive", L"ua", 0}, {L"no-recurse", L"nr", 0},
    {L"no-junctions", L"nj", 0}, {L"no-delete", L"nd", 0}, {L"no-add", L"na", 0},
    {L"no-update", L"nu", 0}, {L"no-meta", L"nm", 0}, {L"compare-time", L"ct", 1},
    {L"compare-size", L"cs", 1}, {L"compare-archive", L"ca", 0}, {L"compare-contents", L"cc", 0},
    {L"time-compare-contents", L"tcc", 0}, {L"time-shift-fat", L"fsf", 1},
    {L"time-precision", L"tp", 5}, {L"time-shift", L"ts", 0}, {L"time-meta", L"tm", 0},
    {L"log-header", L"lh", 1}, {L"log-changes", L"lc", 1}, {L"log-equal", L"le", 0},
    {L"log-ignored", L"li", 0}, {L"log-compare-contents", L"lcc", 1}, {L"log-time-diff", L"ltd", 0},
    {L"log-meta", L"lm", 1}, {L"log-directories", L"ld", 0}, {L"log-list", L"ll", 0},
    {L"log-oem", L"lo", 1}};
// clang-format on

using OptionTableTest = ProgramStateTest;

TEST_F(OptionTableTest, TwentySevenRowsInOrderEachSetByItsOwnTwoNamesOnly) {
  static_assert(std::size(OptionTable) == 27 && std::size(kRows) == 27);
  for (int row = 0; row < kOptionCount; row++) {
    const auto& [longName, shortName, defaultValue] = kRows[row];
    SCOPED_TRACE(Narrow(longName));
    EXPECT_EQ(std::wstring(OptionTable[row].LongName), longName);
    EXPECT_EQ(std::wstring(OptionTable[row].ShortName), shortName);
    EXPECT_EQ(OptionTable[row].Numeric, row == kTimePrecision || row == kTimeShift);
    EXPECT_EQ(OptionTable[row].Value, defaultValue);
    // Each name sets its row to a value other than its default, and leaves every other row (the
    // reset between the names puts every row back).
    bool number = OptionTable[row].Numeric;
    std::wstring value = number ? L"=-9" : defaultValue ? L"=n" : L"";
    for (const std::wstring& argument :
         {L"--" + std::wstring(longName) + value, L"-" + std::wstring(shortName) + value}) {
      ASSERT_TRUE(Parse({argument})) << Narrow(argument);
      for (int other = 0; other < kOptionCount; other++) {
        EXPECT_EQ(OptionTable[other].Value,
                  other == row ? (number ? -9 : 1 - defaultValue) : std::get<2>(kRows[other]))
            << Narrow(argument) << " row " << other;
      }
    }
  }
}

TEST_F(OptionTableTest, ValueRules) {
  // clang-format off
  const std::tuple<Strings, OptionRow, int> cases[] = {
      // Yes/no: no value, "y" or "1" is yes; any other single character is no ("Y" too).
      {{L"--virtual"}, kVirtual, 1}, {{L"-v=y"}, kVirtual, 1}, {{L"-v=1"}, kVirtual, 1},
      {{L"-ct=n"}, kCompareTime, 0}, {{L"-ct=Y"}, kCompareTime, 0}, {{L"-ct=0"}, kCompareTime, 0},
      {{L"-v=1", L"-v=x"}, kVirtual, 0}, {{L"-lo=n", L"--log-oem"}, kLogOem, 1},
      // An empty value, or one of two characters or more, leaves the value as it was.
      {{L"-v=yes"}, kVirtual, 0}, {{L"-v", L"--virtual=no"}, kVirtual, 1}, {{L"-v="}, kVirtual, 0},
      {{L"-ct=10"}, kCompareTime, 1}, {{L"-ct="}, kCompareTime, 1}, {{L"-v=y=n"}, kVirtual, 0},
      // Numbers: no value and "y" leave the value; anything else is converted (no digits: 0).
      {{L"-tp"}, kTimePrecision, 5}, {{L"-tp=7", L"-tp"}, kTimePrecision, 7},
      {{L"-tp=7", L"--time-precision=y"}, kTimePrecision, 7}, {{L"-tp=-3"}, kTimePrecision, -3},
      {{L"-tp=12abc"}, kTimePrecision, 12}, {{L"-tp=Y"}, kTimePrecision, 0},
      {{L"-tp=n"}, kTimePrecision, 0}, {{L"-tp=yes"}, kTimePrecision, 0},
      {{L"-tp="}, kTimePrecision, 0}, {{L"-ts=12=5"}, kTimeShift, 12},
      {{L"-ts=2147483647"}, kTimeShift, INT_MAX}, {{L"-ts=-2147483648"}, kTimeShift, INT_MIN}};
  // clang-format on
  for (const auto& [arguments, row, value] : cases) {
    SCOPED_TRACE(Narrow(arguments.back()));
    ASSERT_TRUE(Parse(arguments)) << err_;
    EXPECT_EQ(OptionTable[row].Value, value);
  }
}
