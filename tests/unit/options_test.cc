// The option table: its rows, and the value rules of yes/no and number options as the command
// line sets them.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "capture.h"
#include "cli/command_line.h"
#include "cli/options.h"
#include "program_state.h"

namespace {

struct ExpectedRow {
  const wchar_t* longName;
  const wchar_t* shortName;
  bool numeric;
  int value;
};

const ExpectedRow kExpectedRows[] = {
    {L"virtual", L"v", false, 0},
    {L"unset-archive", L"ua", false, 0},
    {L"no-recurse", L"nr", false, 0},
    {L"no-junctions", L"nj", false, 0},
    {L"no-delete", L"nd", false, 0},
    {L"no-add", L"na", false, 0},
    {L"no-update", L"nu", false, 0},
    {L"no-meta", L"nm", false, 0},
    {L"compare-time", L"ct", false, 1},
    {L"compare-size", L"cs", false, 1},
    {L"compare-archive", L"ca", false, 0},
    {L"compare-contents", L"cc", false, 0},
    {L"time-compare-contents", L"tcc", false, 0},
    {L"time-shift-fat", L"fsf", false, 1},
    {L"time-precision", L"tp", true, 5},
    {L"time-shift", L"ts", true, 0},
    {L"time-meta", L"tm", false, 0},
    {L"log-header", L"lh", false, 1},
    {L"log-changes", L"lc", false, 1},
    {L"log-equal", L"le", false, 0},
    {L"log-ignored", L"li", false, 0},
    {L"log-compare-contents", L"lcc", false, 1},
    {L"log-time-diff", L"ltd", false, 0},
    {L"log-meta", L"lm", false, 1},
    {L"log-directories", L"ld", false, 0},
    {L"log-list", L"ll", false, 0},
    {L"log-oem", L"lo", false, 1},
};

class OptionTableTest : public ProgramStateTest {
 protected:
  // Parses the arguments (no error expected) and gives the value of one row afterwards.
  int ValueAfter(std::initializer_list<std::wstring> arguments, OptionRow row) {
    ArgumentVector args(arguments);
    CapturedConsole console;
    EXPECT_TRUE(ParseCommandLine(args.argc(), args.argv())) << Narrow(args[1]);
    EXPECT_EQ(console.err(), "");
    int value = OptionTable[row].Value;
    ResetProgramState();
    return value;
  }
};

TEST_F(OptionTableTest, HasTwentySevenRowsInTheirOrderWithTheirDefaults) {
  static_assert(std::size(OptionTable) == 27, "the table has 27 rows");
  static_assert(std::size(kExpectedRows) == 27, "27 expected rows");
  for (int row = 0; row < 27; row++) {
    SCOPED_TRACE(row);
    EXPECT_EQ(std::wstring(OptionTable[row].LongName), kExpectedRows[row].longName);
    EXPECT_EQ(std::wstring(OptionTable[row].ShortName), kExpectedRows[row].shortName);
    EXPECT_EQ(OptionTable[row].Numeric, kExpectedRows[row].numeric);
    EXPECT_EQ(OptionTable[row].Value, kExpectedRows[row].value);
  }
  // The constant row of each option the other procedures read.
  EXPECT_EQ(std::wstring(OptionTable[kVirtual].LongName), L"virtual");
  EXPECT_EQ(std::wstring(OptionTable[kCompareTime].LongName), L"compare-time");
  EXPECT_EQ(std::wstring(OptionTable[kTimePrecision].LongName), L"time-precision");
  EXPECT_EQ(std::wstring(OptionTable[kTimeShift].LongName), L"time-shift");
  EXPECT_EQ(std::wstring(OptionTable[kLogList].LongName), L"log-list");
  EXPECT_EQ(std::wstring(OptionTable[kLogOem].LongName), L"log-oem");
}

TEST_F(OptionTableTest, RestoreDefaultOptionsPutsBackEveryRow) {
  for (int row = 0; row < kOptionCount; row++) OptionTable[row].Value = 77;
  RestoreDefaultOptions();
  for (int row = 0; row < kOptionCount; row++) {
    EXPECT_EQ(OptionTable[row].Value, kExpectedRows[row].value) << row;
  }
}

TEST_F(OptionTableTest, EveryRowIsFoundByItsLongAndItsShortName) {
  for (int row = 0; row < kOptionCount; row++) {
    SCOPED_TRACE(row);
    // Each name sets its own row to a value that differs from its default, and no other row.
    std::wstring value = kExpectedRows[row].numeric ? L"=-9"
                         : kExpectedRows[row].value ? L"=n"
                                                    : L"";
    int expected = kExpectedRows[row].numeric ? -9 : 1 - kExpectedRows[row].value;
    for (const std::wstring& argument :
         {L"--" + std::wstring(kExpectedRows[row].longName) + value,
          L"-" + std::wstring(kExpectedRows[row].shortName) + value}) {
      ArgumentVector args({argument});
      CapturedConsole console;
      ASSERT_TRUE(ParseCommandLine(args.argc(), args.argv())) << Narrow(argument);
      for (int other = 0; other < kOptionCount; other++) {
        EXPECT_EQ(OptionTable[other].Value, other == row ? expected : kExpectedRows[other].value)
            << Narrow(argument) << " row " << other;
      }
      ResetProgramState();
    }
  }
}

TEST_F(OptionTableTest, YesNoValueRules) {
  // No value, or one character "y" or "1": yes.
  EXPECT_EQ(ValueAfter({L"--virtual"}, kVirtual), 1);
  EXPECT_EQ(ValueAfter({L"--virtual=y"}, kVirtual), 1);
  EXPECT_EQ(ValueAfter({L"-v=1"}, kVirtual), 1);
  EXPECT_EQ(ValueAfter({L"-v"}, kVirtual), 1);
  // Any other single character: no. Case counts: "Y" is not "y".
  EXPECT_EQ(ValueAfter({L"-ct=n"}, kCompareTime), 0);
  EXPECT_EQ(ValueAfter({L"-ct=0"}, kCompareTime), 0);
  EXPECT_EQ(ValueAfter({L"-ct=Y"}, kCompareTime), 0);
  EXPECT_EQ(ValueAfter({L"-ct=x"}, kCompareTime), 0);
  EXPECT_EQ(ValueAfter({L"-v=1", L"-v=N"}, kVirtual), 0);
  // Two characters or more leave the value as it was, from yes and from no.
  for (const wchar_t* longer : {L"yes", L"no", L"10", L"00", L"y1", L"nn"}) {
    SCOPED_TRACE(Narrow(longer));
    EXPECT_EQ(ValueAfter({std::wstring(L"--virtual=") + longer}, kVirtual), 0);
    EXPECT_EQ(ValueAfter({L"-v", std::wstring(L"--virtual=") + longer}, kVirtual), 1);
    EXPECT_EQ(ValueAfter({std::wstring(L"-ct=") + longer}, kCompareTime), 1);
  }
  // An empty value leaves it as it was too.
  EXPECT_EQ(ValueAfter({L"-v="}, kVirtual), 0);
  EXPECT_EQ(ValueAfter({L"-v", L"-v="}, kVirtual), 1);
  EXPECT_EQ(ValueAfter({L"--compare-time="}, kCompareTime), 1);
  // A later occurrence overrides an earlier one.
  EXPECT_EQ(ValueAfter({L"-lo=n", L"--log-oem"}, kLogOem), 1);
  EXPECT_EQ(ValueAfter({L"-lo", L"--log-oem=0"}, kLogOem), 0);
}

TEST_F(OptionTableTest, NumberValueRules) {
  // No value, and the one character "y", leave the value as it was.
  EXPECT_EQ(ValueAfter({L"-tp"}, kTimePrecision), 5);
  EXPECT_EQ(ValueAfter({L"-tp=y"}, kTimePrecision), 5);
  EXPECT_EQ(ValueAfter({L"-tp=7", L"-tp"}, kTimePrecision), 7);
  EXPECT_EQ(ValueAfter({L"-tp=7", L"--time-precision=y"}, kTimePrecision), 7);
  EXPECT_EQ(ValueAfter({L"-ts=-40", L"-ts=y"}, kTimeShift), -40);
  // Any other value is converted: sign, digits up to the first other character, else 0.
  EXPECT_EQ(ValueAfter({L"-tp=-3"}, kTimePrecision), -3);
  EXPECT_EQ(ValueAfter({L"-tp=-4"}, kTimePrecision), -4);
  EXPECT_EQ(ValueAfter({L"-tp=12abc"}, kTimePrecision), 12);
  EXPECT_EQ(ValueAfter({L"-tp=0"}, kTimePrecision), 0);
  EXPECT_EQ(ValueAfter({L"-tp=1"}, kTimePrecision), 1);
  EXPECT_EQ(ValueAfter({L"-tp=abc"}, kTimePrecision), 0);
  EXPECT_EQ(ValueAfter({L"-tp=n"}, kTimePrecision), 0);
  EXPECT_EQ(ValueAfter({L"-tp=Y"}, kTimePrecision), 0);
  EXPECT_EQ(ValueAfter({L"-tp=yes"}, kTimePrecision), 0);
  EXPECT_EQ(ValueAfter({L"-tp="}, kTimePrecision), 0);
  EXPECT_EQ(ValueAfter({L"--time-shift=3600"}, kTimeShift), 3600);
  EXPECT_EQ(ValueAfter({L"-ts=-3600"}, kTimeShift), -3600);
  EXPECT_EQ(ValueAfter({L"-ts=2147483647"}, kTimeShift), 2147483647);
  EXPECT_EQ(ValueAfter({L"-ts=-2147483648"}, kTimeShift), -2147483647 - 1);
  EXPECT_EQ(ValueAfter({L"-ts=12=5"}, kTimeShift), 12);
}

TEST_F(OptionTableTest, TheFirstEqualsSignEndsTheArgument) {
  ArgumentVector args({L"-tp=3", L"--virtual=y=n", L"-lc"});
  ASSERT_TRUE(ParseCommandLine(args.argc(), args.argv()));
  EXPECT_EQ(args[1], L"-tp");
  EXPECT_EQ(args[2], L"--virtual");
  EXPECT_EQ(args[3], L"-lc");
  // "y=n" is a longer value: virtual is unchanged.
  EXPECT_EQ(OptionTable[kVirtual].Value, 0);
  EXPECT_EQ(OptionTable[kTimePrecision].Value, 3);
}

TEST_F(OptionTableTest, ApplyOptionValueFollowsTheSameRules) {
  ApplyOptionValue(kNoDelete, nullptr);
  EXPECT_EQ(OptionTable[kNoDelete].Value, 1);
  ApplyOptionValue(kNoDelete, L"yes");
  EXPECT_EQ(OptionTable[kNoDelete].Value, 1);
  ApplyOptionValue(kNoDelete, L"0");
  EXPECT_EQ(OptionTable[kNoDelete].Value, 0);
  ApplyOptionValue(kTimeShift, L"-12");
  EXPECT_EQ(OptionTable[kTimeShift].Value, -12);
  ApplyOptionValue(kTimeShift, nullptr);
  EXPECT_EQ(OptionTable[kTimeShift].Value, -12);
  ApplyOptionValue(kTimeShift, L"y");
  EXPECT_EQ(OptionTable[kTimeShift].Value, -12);
  ApplyOptionValue(kTimeShift, L"");
  EXPECT_EQ(OptionTable[kTimeShift].Value, 0);
}

}  // namespace
